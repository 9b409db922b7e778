#include "firmware/CorrectionFile.h"

#include <array>
#include <cstdio>
#include <filesystem>
#include <optional>

#include "adjust/AdjustSession.h"
#include "autoout/AutoOutSettingsRules.h"
#include "autoout/CsvFile.h"
#include "dialogs/NumberText.h"
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

AtomicWriteResult SaveCorrectionFile(const std::string& path, const GeneratorModel& model,
                                     const std::string& serial)
{
    // The copy an earlier update left is the only one a unit that lost its
    // tables can be given back from; it is kept beside the new one.
    std::string earlier;
    if (ReadRegularFile(path, earlier, 1 << 20) && !earlier.empty() && earlier.size() <= (1u << 20)) {
        const std::string backup = path.substr(0, path.size() - 4) + ".bak";
        if (path.ends_with(".txt"))
            (void)WriteFileAtomically(backup, earlier);
    }
    return WriteFileAtomically(path, BuildCorrectionFile(model, serial));
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
