#pragma once
// Builds the process-wide link over the real channels: the serial port and
// the FTDI device.

#include <memory>

#include "platform/Clock.h"
#include "platform/Prompter.h"
#include "protocol/GeneratorLink.h"

namespace velmora {

std::unique_ptr<GeneratorLink> MakeGeneratorLink(Clock& clock, Prompter& prompter);

} // namespace velmora
