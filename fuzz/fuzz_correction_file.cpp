// Bytes of a correction file, loaded as the firmware update loads it before
// writing the corrections back into a unit. A file that loads must write
// back as it was read: saving what was loaded and loading that again gives
// the same file.
#include <cstdlib>
#include <string>
#include <string_view>

#include "FuzzTarget.h"
#include "firmware/CorrectionFile.h"
#include "model/GeneratorModel.h"

using namespace velmora;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    for (int channels : {1, 2}) {
        GeneratorModel model;
        model.channelCount = channels;
        if (ParseCorrections(bytes, "VK2A0001", model) != CorrectionLoad::Ok)
            continue;
        const std::string saved = BuildCorrectionFile(model, "VK2A0001");
        GeneratorModel again;
        again.channelCount = channels;
        if (ParseCorrections(saved, "VK2A0001", again) != CorrectionLoad::Ok ||
            BuildCorrectionFile(again, "VK2A0001") != saved)
            std::abort();
    }
    return 0;
}

std::vector<std::string> FuzzSeeds()
{
    GeneratorModel model;
    model.channelCount = 2;
    ResetCorrections(model);
    model.channels[0].makerCorrection[5] = {0x0003, 0x8005};
    model.channels[1].userAdjustment[10] = {0x0002, 0xFFF0, 0x8010};
    const std::string good = BuildCorrectionFile(model, "VK2A0001");
    return {
        good,
        good.substr(0, good.size() / 2),
        "VK2A0001,\r\n1,5,4_20mA,3,5,0,0,0,\r\n",
        "VK2A0001\n2,99,x,1,2,3,4,5\n1,-1,y,,,,,\n",
        " VK2A0001 ,\r\n\"1\",\"0\",\"a\",\"-32768\",\"32767\",\"0\",\"0\",\"3\",\r\n",
    };
}
