#pragma once
// The settings document: the generator model and the four channels'
// automatic-output data, read and written as one binary file. The same
// format serves the documents the operator saves and opens and the state
// file "vkx.ini" in Hovelt/Velmora below the working directory, read at
// construction and written at destruction so that the program starts where
// it was closed.
//
// Messages (a refused or truncated file) go to the Prompter with the
// application title and the exclamation icon; nothing here throws.
//
// Thread contract: UI thread only, like the model.

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "model/AutoOutputData.h"
#include "model/GeneratorModel.h"
#include "model/SettingsArchive.h"
#include "platform/AtomicFile.h"
#include "platform/Prompter.h"
#include "platform/Translate.h"

namespace velmora {

inline constexpr std::int32_t kFrameWidthNarrow = 300;
inline constexpr std::int32_t kFrameWidthWide = 432;
// Four columns 205 pixels apart do not fit the two-column width; the frame
// grows by two columns so that every channel can be reached.
inline constexpr std::int32_t kFrameWidthFour = 842;

inline constexpr const char* kStartMarker = "<<## VKX Start ##>>";
inline constexpr const char* kEndMarker = "<<## VKX End ##>>";
inline constexpr const char* kFormatVersion = "0100";

inline constexpr const char* kMsgWrongFormat = N_("ファイル形式が違います。");
inline constexpr const char* kMsgWrongVersion =
    N_("ファイルバージョンが異なります、最新バージョンをインストールしてください。");
// %1 is the file's path.
inline constexpr const char* kMsgReadPastEnd = N_("%1 の末尾以降にアクセスしようとしました。");
inline constexpr const char* kMsgCannotOpen = N_("%1 を開けません。");
inline constexpr const char* kMsgCannotSave = N_("%1 を保存できません。");

enum class ReadResult {
    Ok,
    WrongFormat,  // start marker or channel count: nothing changed
    WrongVersion, // nothing changed
    PastEnd,      // the values read before the end stay
};

enum class OpenResult {
    Read,         // read completely
    EmptySkipped, // a 0-byte document: not read, the settings stay
    Refused,      // wrong format or version; message shown, nothing changed
    Truncated,    // read error shown; the values read before the end stay
    CannotOpen,   // missing, unreadable or not a regular file; nothing shown
};

// The framework takes the file as opened (path, title, recent list) for
// every result but CannotOpen.
inline bool CountsAsOpened(OpenResult r)
{
    return r != OpenResult::CannotOpen;
}

// Converts a version text as C's atoi does: leading blanks, an optional sign,
// decimal digits up to the first other character; 0 without digits. Values
// beyond int32 saturate instead of wrapping.
std::int32_t ParseVersionNumber(const std::string& text);

// True when `code` names no range for the repair: 4, 8 or 9, or outside
// 0-12 (so 13-15 are reset as well).
bool RangeCodeNeedsRepair(std::int32_t code);

// The working directory as read at the moment of the call; nothing when it
// cannot be read.
using WorkingDirectoryFn = std::function<std::optional<std::string>()>;
std::optional<std::string> ProcessWorkingDirectory();

class CVelmoraDoc {
public:
    struct NoStateFile { };

    // The application's document: the state file below the process's working
    // directory is read now and written at destruction.
    explicit CVelmoraDoc(Prompter& prompter);
    // Same, with the working directory supplied (read afresh each time).
    CVelmoraDoc(Prompter& prompter, WorkingDirectoryFn workingDirectory);
    // A document without a state file: construction values, nothing read,
    // no folder created, nothing written at destruction.
    CVelmoraDoc(Prompter& prompter, NoStateFile);
    ~CVelmoraDoc();

    CVelmoraDoc(const CVelmoraDoc&) = delete;
    CVelmoraDoc& operator=(const CVelmoraDoc&) = delete;

    GeneratorModel m_model;
    std::array<AutoOutputState, kMaxChannels> m_autoOutput{};
    // The name of the serial port last connected, empty until a connection
    // succeeds. It is kept as the file's own bytes (CP932), so a document
    // read and saved again is the same file even when those bytes do not
    // survive a round trip through UTF-8; LastPortName() and SetLastPort()
    // convert at the edge. The panel sets it after each connect and
    // preselects it in the port list.
    std::string m_strLastPort;
    std::string LastPortName() const;
    // Leaves the stored bytes alone when they already name `utf8`. A name
    // with characters CP932 lacks is kept as given for this run (its bytes
    // in the file cannot hold it), so the port stays preselected.
    void SetLastPort(std::string_view utf8);

private:
    // The name as set, while m_strLastPort still holds its CP932 form.
    std::string m_strLastPortSet;

public:
    // The main frame's width: 300 for one channel, 432 for two, 842 for
    // four. The frame takes it when it is created and whenever the panel
    // lays out its columns.
    std::int32_t m_nFrameWidth = kFrameWidthNarrow;
    // The state file was found at construction: the next new-document
    // request keeps what it supplied instead of asking for the circuit count.
    bool m_bStateLoaded = false;

    void WriteSettings(ArchiveWriter& ar) const;
    // Reads into the document, sending frames while connected as each
    // channel's flag and range are applied. Shows nothing.
    ReadResult ReadSettings(ArchiveReader& ar);

    // The new-document step. False when the operator cancels the circuit
    // count; the settings then stay as they are. Otherwise every automatic
    // output is stopped first.
    bool NewSettings();
    // Every automatic output stopped and its run (cycle count, row, due
    // time, direction) forgotten. A run carried into new settings would step
    // them from the old run's due time at the next connect: a burst of steps
    // of a ramp the operator never started.
    void StopAutoOutputs();
    // Stores the count; for 1, 2 and 4 sets the frame width (not for 4) and
    // resets the channel and automatic-output settings. A count outside 1-4
    // is ignored, since the channels in use must stay within the four records.
    void SetChannelCount(int count);
    void SetChannelDefaults();
    void RepairChannelSettings();
    void SetAutoOutputDefaults();
    void RepairAutoOutputSettings();

    // The lower and upper limit of automatic-output slot `slot` (0-15) of
    // channel `ch`: the range's for a slot that names a range, the channel's
    // conversion span otherwise.
    RangeInfo SlotLimits(int ch, int slot) const;

    // Opening a document from the menu, the recent list, the command line or
    // a drop; shows the messages. A 0-byte file is not read. Every file that
    // can be opened counts as a new document for the automatic outputs: they
    // stop before anything is read.
    OpenResult OpenDocument(const std::string& path);
    // Reading a file as the state file is read: a 0-byte file gives the read
    // error. For tools that inspect a file.
    OpenResult ReadSettingsFile(const std::string& path);
    // The file is replaced only once the new content is complete.
    AtomicWriteResult SaveDocument(const std::string& path) const;

    // Hovelt/Velmora/vkx.ini below the working directory of this moment.
    std::optional<std::string> StateFilePath() const;
    // Construction's reading of the state file (creating the folders when
    // absent). Sets m_bStateLoaded.
    void LoadStateFile();
    // Destruction's writing of the state file. Creates the folders if they
    // vanished meanwhile. Failures are not reported to the operator.
    AtomicWriteResult SaveStateFile() const;

private:
    OpenResult ReadFile(const std::string& path, bool skipEmpty);
    void ShowFileMessage(const std::string& text);

    Prompter& m_prompter;
    WorkingDirectoryFn m_workingDirectory; // empty: no state file
};

} // namespace velmora
