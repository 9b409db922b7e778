// velmoractl's command-line numbers: channels, channel lists, ranges,
// values, limits, decimals and seconds, each from arbitrary text. What is
// accepted must be within its bounds.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>

#include "CtlNumbers.h"
#include "FuzzTarget.h"
#include "model/ChannelSettings.h"

using namespace velmora;
using namespace velmora::ctl;

namespace {

void Check(bool ok)
{
    if (!ok)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    if (const auto ch = ParseChannel(text))
        Check(*ch >= 0 && *ch < kMaxChannels);
    if (const auto list = ParseChannelList(text)) {
        Check(!list->empty() && list->size() <= static_cast<std::size_t>(kMaxChannels));
        for (int ch : *list)
            Check(ch >= 0 && ch < kMaxChannels && std::count(list->begin(), list->end(), ch) == 1);
    }
    if (const auto code = ParseRange(text))
        Check(*code >= 0 && *code < kSlotCount);
    if (const auto v = ParseValue(text))
        Check(std::isfinite(*v));
    if (const auto v = ParseLimit(text))
        Check(std::isfinite(*v));
    if (const auto d = ParseDecimals(text))
        Check(*d >= 0 && *d <= 6);
    if (const auto s = ParseSeconds(text))
        Check(*s >= 1);
    return 0;
}

std::vector<std::string> FuzzSeeds()
{
    return {"1", "4", "1,2,3,4", "2,2", "4_20mA", "15", "-1.5e3", "1e400", "12.5", "3", "60", "0x10", " 1", "1,"};
}
