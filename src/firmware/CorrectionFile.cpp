#include "firmware/CorrectionFile.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <optional>

#include "adjust/AdjustSession.h"
#include "autoout/AutoOutSettingsRules.h"
#include "autoout/CsvFile.h"
#include "model/NumberText.h"
#include "model/GeneratorModel.h"
#include "model/RangeTable.h"

namespace velmora {

namespace {

// The ranges of a file, voltage ranges first.
constexpr int kFileRangeOrder[] = {0, 10, 1, 2, 3, 5, 6, 7, 11, 12};
constexpr int kFieldsPerLine = 8;

// A field as strtol takes it whole (white space before the number allowed,
// nothing after it). An empty field would convert to 0 by that rule; in a
// file of corrections it is damage, not a correction of 0.
std::optional<std::int64_t> WholeInteger(const std::string& field)
{
    if (field.empty())
        return std::nullopt;
    return ParseWholeInteger(field);
}

} // namespace

std::string CorrectionFolder()
{
    std::error_code ec;
    const std::filesystem::path cwd = std::filesystem::current_path(ec);
    return (cwd / "Hovelt" / "Velmora").string();
}

std::string CorrectionFilePath(const std::string& folder, const std::string& serial)
{
    return (std::filesystem::path(folder) / (serial + "_R.txt")).string();
}

void ResetCorrections(GeneratorModel& model)
{
    for (ChannelSettings& s : model.channels) {
        s.makerCorrection.fill(MakerCorrection{});
        s.userAdjustment.fill(UserAdjustment{});
    }
}

bool CorrectionsPlausible(const GeneratorModel& model)
{
    for (int ch = 0; ch < model.ChannelsInUse(); ++ch)
        for (const UserAdjustment& u : model.channels[static_cast<std::size_t>(ch)].userAdjustment)
            if (u.adjustSelect > 2)
                return false;
    return true;
}

std::string BuildCorrectionFile(const GeneratorModel& model, const std::string& serial)
{
    std::string s = serial + ",\r\n";
    for (int ch = 0; ch < model.ChannelsInUse(); ++ch) {
        const ChannelSettings& c = model.channels[static_cast<std::size_t>(ch)];
        for (int code : kFileRangeOrder) {
            const auto r = static_cast<std::size_t>(code);
            char buf[160];
            std::snprintf(buf, sizeof buf, "%d,%d,%s,%d,%d,%d,%d,%d,\r\n", ch + 1, code, RangeKey(code).c_str(),
                          static_cast<std::int16_t>(c.makerCorrection[r].minCorrection),
                          SignedMaxCorrection(c.makerCorrection[r].maxCorrection),
                          static_cast<std::int16_t>(c.userAdjustment[r].minCorrection),
                          SignedMaxCorrection(c.userAdjustment[r].maxCorrection),
                          c.userAdjustment[r].adjustSelect & kSelectBits);
            s += buf;
        }
    }
    return s;
}

namespace {

constexpr std::size_t kMaxCorrectionFileBytes = 1u << 20;
// "-YYYYMMDD-HHMMSS-mmm.bak" after the file's name without ".txt".
constexpr std::string_view kCopyStamp = "-00000000-000000-000.bak";

// The copies' common beginning: the file's path without ".txt".
std::string CopyStem(const std::string& path)
{
    return path.ends_with(".txt") ? path.substr(0, path.size() - 4) : path;
}

std::string CopyName(const std::string& path, std::chrono::system_clock::time_point when)
{
    using namespace std::chrono;
    const auto ms = time_point_cast<milliseconds>(when);
    const auto day = floor<days>(ms);
    const year_month_day date{day};
    const hh_mm_ss<milliseconds> time{ms - day};
    char stamp[40];
    std::snprintf(stamp, sizeof stamp, "-%04d%02u%02u-%02d%02d%02d-%03d.bak", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                  static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                  static_cast<int>(time.seconds().count()), static_cast<int>(time.subseconds().count()));
    return CopyStem(path) + stamp;
}

// The time a copy's name gives; nothing for a name that is no copy's.
std::optional<std::chrono::system_clock::time_point> CopyTime(const std::string& path, const std::string& copy)
{
    using namespace std::chrono;
    const std::string stem = CopyStem(path);
    if (copy.size() != stem.size() + kCopyStamp.size() || !copy.starts_with(stem) || !copy.ends_with(".bak"))
        return std::nullopt;
    const std::string_view stamp = std::string_view(copy).substr(stem.size());
    for (std::size_t k = 0; k < kCopyStamp.size(); ++k) {
        const bool digit = kCopyStamp[k] == '0';
        if (digit ? (stamp[k] < '0' || stamp[k] > '9') : stamp[k] != kCopyStamp[k])
            return std::nullopt;
    }
    const auto number = [&stamp](std::size_t at, std::size_t len) {
        int n = 0;
        for (std::size_t k = at; k < at + len; ++k)
            n = n * 10 + (stamp[k] - '0');
        return n;
    };
    const year_month_day date{year{number(1, 4)}, month{static_cast<unsigned>(number(5, 2))},
                              day{static_cast<unsigned>(number(7, 2))}};
    if (!date.ok())
        return std::nullopt;
    return sys_days{date} + hours{number(10, 2)} + minutes{number(12, 2)} + seconds{number(14, 2)} +
        milliseconds{number(17, 3)};
}

// The file `path` as it stands, when it is one worth keeping.
std::optional<std::string> KeptBytes(const std::string& path)
{
    std::string bytes;
    if (!ReadRegularFile(path, bytes, kMaxCorrectionFileBytes) || bytes.empty() ||
        bytes.size() > kMaxCorrectionFileBytes)
        return std::nullopt;
    return bytes;
}

} // namespace

std::vector<std::string> CorrectionFileCopies(const std::string& path)
{
    std::vector<std::string> copies;
    std::error_code ec;
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    for (std::filesystem::directory_iterator it(folder.empty() ? "." : folder, ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::string name = (folder / it->path().filename()).string();
        if (it->is_regular_file(ec) && CopyTime(path, name))
            copies.push_back(name);
    }
    // Fixed-width stamps: the names sort as their times.
    std::sort(copies.begin(), copies.end());
    return copies;
}

AtomicWriteResult SaveCorrectionFile(const std::string& path, const GeneratorModel& model, const std::string& serial,
                                     std::chrono::system_clock::time_point now)
{
    // The file an earlier update left is what a unit that lost its tables
    // is given back from. A retry that read plausible but wrong tables
    // replaces it; kept copies of the last few let the good one survive
    // several such retries.
    const std::string text = BuildCorrectionFile(model, serial);
    // Each copy is written once under a name of its own, so no later save of
    // that name clears what a killed one left: the family's are cleared here.
    const std::filesystem::path stem(CopyStem(path));
    RemoveStaleTemporariesOf(stem.parent_path().string(), stem.filename().string() + "-");
    const std::optional<std::string> earlier = path.ends_with(".txt") ? KeptBytes(path) : std::nullopt;
    if (earlier && *earlier != text) {
        std::vector<std::string> copies = CorrectionFileCopies(path);
        const bool kept = !copies.empty() && KeptBytes(copies.back()) == earlier;
        if (!kept) {
            // Later than every copy, so that the oldest stays the one removed
            // first whatever the clock did.
            if (!copies.empty())
                if (const auto newest = CopyTime(path, copies.back()); newest && now <= *newest)
                    now = *newest + std::chrono::milliseconds(1);
            const std::string copy = CopyName(path, now);
            if (const AtomicWriteResult w = WriteFileAtomically(copy, *earlier); !w)
                return w;
            copies.push_back(copy);
            std::error_code ec;
            for (std::size_t k = 0; k + kKeptCorrectionCopies < copies.size(); ++k)
                std::filesystem::remove(copies[k], ec);
        }
    }
    return WriteFileAtomically(path, text);
}

CorrectionLoad LoadCorrectionFile(const std::string& path, const std::string& serial, GeneratorModel& model)
{
    std::string text;
    if (!ReadRegularFile(path, text, kMaxCsvFileBytes))
        return CorrectionLoad::CannotOpen;
    return ParseCorrections(text, serial, model);
}

CorrectionLoad ParseCorrections(std::string_view text, const std::string& serial, GeneratorModel& model)
{
    CsvReader file(text);
    std::string field;
    if (!file.ReadRow() || !file.GetField(0, field))
        return CorrectionLoad::BadContent;
    if (TrimSpaces(field) != serial)
        return CorrectionLoad::OtherSerial;

    // Every range of every channel in use must come back: a slot the file
    // leaves out would be written to the unit as no correction at all.
    std::array<std::array<bool, kSlotCount>, kMaxChannels> seen{};
    while (file.ReadRow()) {
        if (!file.GetField(0, field))
            return CorrectionLoad::BadContent;
        const std::optional<std::int64_t> channel = WholeInteger(TrimSpaces(field));
        if (!channel || (*channel != 1 && *channel != 2))
            return CorrectionLoad::BadChannel;
        std::int64_t v[kFieldsPerLine] = {};
        for (int k = 0; k < kFieldsPerLine; ++k) {
            if (!file.GetField(k, field))
                return CorrectionLoad::BadContent;
            if (k == 2)
                continue; // the range's name, for the reader of the file
            const std::optional<std::int64_t> n = WholeInteger(field);
            if (!n)
                return CorrectionLoad::BadContent;
            v[k] = *n;
        }
        // Taken as unsigned, as the code is: a negative one is above 15 too.
        if (static_cast<std::uint64_t>(v[1]) > 15u)
            return CorrectionLoad::BadRange;
        ChannelSettings& c = model.channels[static_cast<std::size_t>(v[0] - 1)];
        const auto r = static_cast<std::size_t>(v[1]);
        // 16-bit words, in unsigned arithmetic: a saturated field must not
        // overflow on the way.
        const auto word = [](std::int64_t n, unsigned offset = 0) {
            return static_cast<std::uint16_t>(static_cast<std::uint64_t>(n) + offset);
        };
        c.makerCorrection[r].minCorrection = word(v[3]);
        c.makerCorrection[r].maxCorrection = word(v[4], 0x8000u);
        c.userAdjustment[r].minCorrection = word(v[5]);
        c.userAdjustment[r].maxCorrection = word(v[6], 0x8000u);
        c.userAdjustment[r].adjustSelect = word(v[7]);
        seen[static_cast<std::size_t>(v[0] - 1)][r] = true;
    }
    for (int ch = 0; ch < model.ChannelsInUse(); ++ch)
        for (int code : kFileRangeOrder)
            if (!seen[static_cast<std::size_t>(ch)][static_cast<std::size_t>(code)])
                return CorrectionLoad::BadContent;
    return CorrectionLoad::Ok;
}

} // namespace velmora
