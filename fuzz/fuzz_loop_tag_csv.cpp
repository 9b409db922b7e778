// Bytes of a tag list chosen for `loopcheck tag import` or the window's
// import: read as RFC 4180 CSV into tags. Either every tag read keeps every
// rule (ValidateTag) and writes back as CSV that reads again as the same
// tags, or the file is refused with a message that names a row of it.
#include <string>
#include <string_view>
#include <variant>

#include "FuzzTarget.h"
#include "loopcheck/LoopTagCsv.h"

using namespace velmora;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto read = LoopTagsFromCsv(bytes);
    if (const auto* error = std::get_if<LoopTagCsvError>(&read)) {
        if (error->message.empty() || error->row < 0)
            __builtin_trap();
        return 0;
    }
    const auto& tags = std::get<std::vector<LoopTag>>(read);
    for (const LoopTag& t : tags) {
        if (ValidateTag(t))
            __builtin_trap();
        (void)ExpectedReading(t, t.points.front());
        (void)SignalForPercent(t.range, t.points.back());
    }
    const auto again = LoopTagsFromCsv(LoopTagsToCsv(tags));
    const auto* back = std::get_if<std::vector<LoopTag>>(&again);
    if (back == nullptr || back->size() != tags.size())
        __builtin_trap();
    for (std::size_t k = 0; k < tags.size(); ++k) {
        const LoopTag& a = tags[k];
        const LoopTag& b = (*back)[k];
        if (a.name != b.name || a.description != b.description || a.location != b.location || a.unit != b.unit ||
            a.lrv != b.lrv || a.urv != b.urv || a.points != b.points || a.tolerance != b.tolerance ||
            a.adjustLimit != b.adjustLimit || a.settleSeconds != b.settleSeconds || a.decimals != b.decimals ||
            a.channel != b.channel || a.range != b.range || a.transfer != b.transfer)
            __builtin_trap();
    }
    return 0;
}

std::vector<std::string> FuzzSeeds()
{
    return {
        "name,description,location,channel,range,lrv,urv,unit,transfer,points,tolerance,adjust_limit,settle,"
        "decimals\r\nFT-101,\"Feed, main\",Hall 2,1,4_20mA,0,150,m\xC2\xB3/h,sqrt,\"0,25,50,75,100\",0.5,0.25,5,2\r\n",
        "\xEF\xBB\xBFunit,urv,lrv,range,channel,name\nkPa,250,0,4_20mA,2,PT-3\n\nbar,1e3,-1,0_10V,4,\"P\"\"T\"\n",
        "name,channel,range,lrv,urv,unit,points\r\nA,1,4_20mA,0,100,%,\"0,150\"\r\nB,9,x,nan,1,%,\r\n\"C,",
        "name,channel,range,lrv,urv,unit,description\nT,3,-10_10V,-5,5,V,\"two\nlines\"\n,,,,,,\n",
    };
}
