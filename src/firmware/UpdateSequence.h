#pragma once
// The firmware update: the one unit found among the attached bridges, its
// correction data read over the bridge, checked and kept in its correction
// file (or, when the unit cannot give it, the file of an earlier update
// taken), the file read back and checked, the microcontroller programmed,
// and the correction data written back from the file.
//
// The sequence speaks only through the link's FTDI channel; the serial
// channel is closed first. What the operator sees goes through the
// ProgramObserver and the Prompter, as for the programming itself.
//
// Thread contract: UI thread only.

#include <string>

#include "firmware/BootProgrammer.h"
#include "platform/Translate.h"

namespace velmora {

class FtdiChannel;
class GeneratorLink;
class GeneratorModel;

enum class UpdateEnding {
    Finished,  // "更新が終了しました"
    Cancelled, // every failure, with its message
};

struct UpdateRun {
    UpdateEnding ending = UpdateEnding::Cancelled;
    std::string serial;         // the unit's bridge, once found
    std::string correctionFile; // where its corrections are kept
    // Set when programming ended early (a read-back difference names where).
    std::optional<ProgramFailure> programFailure;
};

inline constexpr const char* kMsgUpdateFinished = N_("更新が終了しました");
inline constexpr const char* kNotSelected = N_("未選択");

// `imagePath` the chosen image file ("未選択" or empty: none); `folder` where
// the correction files are kept (it is not created). `model` takes the
// unit's circuit count and its correction data.
UpdateRun RunFirmwareUpdate(GeneratorLink& link, FtdiChannel& ftdi, GeneratorModel& model, const std::string& imagePath,
                            const std::string& folder, ProgramObserver& observer, Prompter& prompter, Clock& clock,
                            const IdCode& idCode = {});

} // namespace velmora
