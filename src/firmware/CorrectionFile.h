#pragma once
// The correction file: the unit's maker and user corrections of every
// channel and range, kept on the PC across a firmware update. One file per
// unit, named by its USB bridge's serial number, in the state file's folder
// (Hovelt/Velmora below the working folder). Text in lines ending CR LF,
// fields separated and ended by ",":
//
//     VK2A0001,
//     1,0,0_5V,0,0,0,0,0,
//     1,10,1_5V,...
//
// Thread contract: none needed; plain functions over a model and a file.

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/AtomicFile.h"

namespace velmora {

class GeneratorModel;

// Hovelt/Velmora below the working folder of this moment, where the state
// file lives too.
std::string CorrectionFolder();

// "<serial>_R.txt" in the folder, which is not created here.
std::string CorrectionFilePath(const std::string& folder, const std::string& serial);

// Every correction slot of the four channels back to the values a unit
// that was never read has (select 0, minimums 0, maximums 0x8000).
void ResetCorrections(GeneratorModel& model);

// Whether every user select word of the channels in use, every range code,
// is 0, 1 or 2 (the whole word): anything else is no data to keep.
bool CorrectionsPlausible(const GeneratorModel& model);

// The file's text: the serial number, then one line per channel in use and
// range code, in the order 0, 10, 1, 2, 3, 5, 6, 7, 11, 12.
std::string BuildCorrectionFile(const GeneratorModel& model, const std::string& serial);

// How many earlier copies of a correction file are kept beside it.
inline constexpr std::size_t kKeptCorrectionCopies = 5;

// The earlier copies beside the correction file `path`, oldest first:
// "<serial>_R-YYYYMMDD-HHMMSS-mmm.bak", named by the time (UTC) they were
// put aside. Other files ("<serial>_R.bak" of earlier releases among them)
// are none of them.
std::vector<std::string> CorrectionFileCopies(const std::string& path);

// Written to a temporary file beside it and renamed over the old one, so
// that an interrupted save leaves the copy of an earlier update whole. The
// file it replaces is first kept as a copy named by `now` (one millisecond
// after the newest copy when the clock says otherwise), unless the newest
// copy or the new content already holds it; beyond the last
// kKeptCorrectionCopies, the oldest copies are removed. A copy that cannot
// be written fails the save: the file it would replace may be the only
// good one.
AtomicWriteResult SaveCorrectionFile(const std::string& path, const GeneratorModel& model, const std::string& serial,
                                     std::chrono::system_clock::time_point now = std::chrono::system_clock::now());

enum class CorrectionLoad : int {
    Ok = 0,
    CannotOpen = 1,
    OtherSerial = 2, // the first field names another unit
    BadChannel = 3,  // a channel number other than 1 or 2
    BadRange = 4,    // a range code above 15
    BadContent = 5,  // a missing line or field, or a field that is no integer
};

// Loads the file's corrections into the model; the first error ends the
// loading (what came before it stays in the model). A file that leaves out
// a range of a channel in use is bad content.
CorrectionLoad LoadCorrectionFile(const std::string& path, const std::string& serial, GeneratorModel& model);
// The same over the file's bytes (CP932, as written).
CorrectionLoad ParseCorrections(std::string_view text, const std::string& serial, GeneratorModel& model);

} // namespace velmora
