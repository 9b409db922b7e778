#include "protocol/LinkFactory.h"

#include "link/FtdiDevice.h"
#include "link/FtdiChannel.h"
#include "link/SerialChannel.h"

namespace velmora {

std::unique_ptr<GeneratorLink> MakeGeneratorLink(Clock& clock, Prompter& prompter)
{
    return std::make_unique<GeneratorLink>(
        clock, prompter, std::make_unique<SerialChannel>(prompter),
        std::make_unique<FtdiChannel>(MakeFtdiDevice(prompter, clock), clock, prompter));
}

} // namespace velmora
