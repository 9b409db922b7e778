#include "CtlJson.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "adjust/AdjustSession.h"
#include "model/GeneratorModel.h"
#include "model/RangeTable.h"
#include "platform/Clock.h"

namespace velmora::ctl {

bool TakeJsonFlag(std::vector<std::string>& args)
{
    const auto end = std::remove(args.begin(), args.end(), std::string(kJsonFlag));
    const bool taken = end != args.end();
    args.erase(end, args.end());
    return taken;
}

void PrintJsonLine(const JsonObject& object)
{
    const std::string line = object.Text() + "\n";
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fflush(stdout);
}

std::string JsonArray(const std::vector<std::string>& items)
{
    std::string out = "[";
    for (std::size_t i = 0; i < items.size(); ++i)
        out += (i == 0 ? "" : ", ") + items[i];
    return out + "]";
}

std::string IsoTimeUtc(std::chrono::system_clock::time_point time)
{
    using namespace std::chrono;
    // Floors, not truncation: an instant before 1970 still names its own second.
    const auto micros = floor<microseconds>(time.time_since_epoch());
    const auto whole = floor<seconds>(micros);
    const std::time_t epochSeconds = whole.count();
    const long long fraction = (micros - whole).count();
    std::tm utc{};
    gmtime_r(&epochSeconds, &utc);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%06lldZ", utc.tm_year + 1900, utc.tm_mon + 1,
                  utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, fraction);
    return text;
}

std::string IsoTimeOfSteadyMs(std::int64_t ms)
{
    using namespace std::chrono;
    // Both clocks read once for the run: steps due at the same instant show
    // the same time, and a later step never an earlier one.
    static const auto offset =
        duration_cast<microseconds>(system_clock::now().time_since_epoch() - SteadyClock().Now());
    return IsoTimeUtc(system_clock::time_point(duration_cast<system_clock::duration>(milliseconds(ms) + offset)));
}

void AddRange(JsonObject& object, int rangeCode)
{
    if (IsValidRangeCode(rangeCode))
        object.Add("range", RangeKey(rangeCode));
    else
        object.AddNull("range");
    object.Add("range_code", rangeCode);
}

JsonObject AdjustmentJson(int ch, int rangeCode, const MakerCorrection& maker, const UserAdjustment& user)
{
    static constexpr const char* kInEffect[] = {"none", "maker", "user", "unknown"};
    const unsigned select = user.adjustSelect & kSelectBits;
    JsonObject o;
    o.Add("channel", ch + 1);
    AddRange(o, rangeCode);
    o.Add("maker_min", static_cast<int>(static_cast<std::int16_t>(maker.minCorrection)));
    o.Add("maker_max", static_cast<int>(SignedMaxCorrection(maker.maxCorrection)));
    o.Add("user_min", static_cast<int>(static_cast<std::int16_t>(user.minCorrection)));
    o.Add("user_max", static_cast<int>(SignedMaxCorrection(user.maxCorrection)));
    o.Add("select", static_cast<int>(select));
    o.Add("in_effect", kInEffect[select]);
    return o;
}

JsonObject StatusJson(const GeneratorModel& model, int ch, int rangeCode, unsigned select)
{
    const ChannelSettings& s = model.channels[static_cast<std::size_t>(ch)];
    const int alarm = model.AlarmCode(ch);
    JsonObject o;
    o.Add("channel", ch + 1);
    AddRange(o, rangeCode);
    o.Add("status_word", static_cast<int>(s.statusWord));
    o.Add("ext_status_word", static_cast<int>(s.extStatusWord));
    o.Add("adjust", static_cast<int>(select & kSelectBits));
    o.Add("alarm", alarm);
    // The alarm's Japanese name in either language, as the line has it.
    o.Add("alarm_text", AlarmText(alarm));
    return o;
}

} // namespace velmora::ctl
