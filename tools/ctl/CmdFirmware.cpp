// Firmware image files and the firmware update from a script: what a file
// holds, the whole update through the USB bridge, and the unit's
// corrections kept in (and taken from) a correction file over the serial
// link.
#include <unistd.h>

#include <csignal>
#include <signal.h>
#include <cstdio>
#include <filesystem>
#include <string>

#include "Commands.h"
#include "CtlForward.h"
#include "CtlJson.h"
#include "CtlLink.h"
#include "CtlRecord.h"
#include "dialogs/GeneratorInfoReport.h"
#include "firmware/CorrectionFile.h"
#include "firmware/ImageFile.h"
#include "firmware/UpdateSequence.h"
#include "link/FtdiChannel.h"
#include "model/GeneratorModel.h"
#include "platform/Clock.h"
#include "platform/Translate.h"
#include "platform/Sha256.h"
#include "protocol/AdjustmentCommands.h"
#include "protocol/LinkFactory.h"

namespace velmora::ctl {

namespace {

int Info(const Invocation& inv)
{
    const Command& row = FindCommand("firmware");
    if (inv.args.size() < 2)
        return UsageError(row, Tr(N_("firmware info needs an image file")));
    if (inv.args.size() > 2)
        return UsageError(row, TrFormat(N_("unexpected argument '%1'"), {inv.args[2]}));
    const std::string& path = inv.args[1];
    std::string version;
    FirmwareImage image;
    ImageFileResult r = ReadImageVersion(path, version);
    if (r == ImageFileResult::Ok)
        r = LoadImage(path, image);
    if (r != ImageFileResult::Ok) {
        std::fprintf(stderr, "velmoractl: %s: %s\n", path.c_str(), Tr(ImageFileMessage(r)));
        return kExitFileRefused;
    }
    // The digest of the whole memory image, the untouched 0xFF bytes
    // included: two files that program the same bytes name the same digest.
    if (inv.json)
        PrintJsonLine(JsonObject().Add("file", path).Add("version", version).Add("sha256", Sha256Hex(image)));
    else
        std::printf("version=%s sha256=%s\n", version.c_str(), Sha256Hex(image).c_str());
    return kExitOk;
}

// Questions answered OK with --yes, otherwise on the terminal; messages on
// standard error.
// SIGINT, SIGTERM and SIGHUP ask the update to stop as the dialog's Cancel
// does: between two exchanges while the corrections are read or written
// back, between its steps while the unit is programmed, and at a question,
// which they answer No.
volatile std::sig_atomic_t g_stopRequested = 0;

void OnStop(int)
{
    g_stopRequested = 1;
}

// Without SA_RESTART, so that a question waiting for its line hears them.
void CatchStopSignals()
{
    struct sigaction action = {};
    action.sa_handler = OnStop;
    sigemptyset(&action.sa_mask);
    for (int s : {SIGINT, SIGTERM, SIGHUP})
        sigaction(s, &action, nullptr);
}

class TerminalPrompter final : public StreamPrompter {
public:
    explicit TerminalPrompter(bool yes) : StreamPrompter(stderr), m_bYes(yes) { }
    PromptAnswer Message(const std::string& text, const std::string& caption, PromptIcon icon,
                         PromptButtons buttons) override
    {
        if (buttons == PromptButtons::Ok)
            return StreamPrompter::Message(text, caption, icon, buttons);
        const bool yesNo = buttons != PromptButtons::OkCancel;
        std::fprintf(stderr, "velmoractl: %s [y/N] ", Tr(text).c_str());
        if (m_bYes) {
            std::fprintf(stderr, "y (--yes)\n");
            return yesNo ? PromptAnswer::Yes : PromptAnswer::Ok;
        }
        char line[64] = {};
        const bool terminal = ::isatty(STDIN_FILENO) != 0;
        const bool read =
            terminal && g_stopRequested == 0 && std::fgets(line, sizeof line, stdin) != nullptr && g_stopRequested == 0;
        if (!read && terminal)
            std::fprintf(stderr, "\n");
        else if (!read)
            std::fprintf(stderr, "\nvelmoractl: %s\n", Tr(N_("no answer (no terminal); give --yes to go ahead")));
        const bool ok = read && (line[0] == 'y' || line[0] == 'Y');
        if (yesNo)
            return ok ? PromptAnswer::Yes : PromptAnswer::No;
        return ok ? PromptAnswer::Ok : PromptAnswer::Cancel;
    }

private:
    bool m_bYes;
};

// The dialog's progress bar and status line, on standard error.
class TerminalProgress final : public ProgramObserver {
public:
    TerminalProgress() : m_bTty(::isatty(STDERR_FILENO) != 0) { }
    ~TerminalProgress() override { EndBar(); }

    void SetProgress(int percent) override
    {
        if (percent == m_nPercent)
            return;
        m_nPercent = percent;
        if (m_bTty) {
            const int filled = percent * 40 / 100;
            std::fprintf(stderr, "\r[%s%s] %3d%%", std::string(static_cast<std::size_t>(filled), '#').c_str(),
                         std::string(static_cast<std::size_t>(40 - filled), '.').c_str(), percent);
            m_bBar = true;
        } else if (percent / 10 != m_nLastTenth) {
            m_nLastTenth = percent / 10;
            std::fprintf(stderr, "progress %d%%\n", percent);
        }
    }
    void SetStatus(const std::string& text) override
    {
        EndBar();
        std::fprintf(stderr, "%s\n", Tr(text).c_str());
    }
    void EnableCancel(bool) override { }
    void LetEventsRun() override { }
    bool CancelRequested() const override { return g_stopRequested != 0; }
    void ClearCancel() override { g_stopRequested = 0; }

private:
    void EndBar()
    {
        if (m_bBar)
            std::fputc('\n', stderr);
        m_bBar = false;
    }

    bool m_bTty;
    bool m_bBar = false;
    int m_nPercent = -1;
    int m_nLastTenth = -1;
};

int Update(const Invocation& inv)
{
    // The update restarts the unit under the program that holds its port.
    if (int rc = RefuseWhileHeld(inv); rc != kExitOk)
        return rc;
    const Command& row = FindCommand("firmware");
    std::string path;
    bool yes = false;
    for (std::size_t i = 1; i < inv.args.size(); ++i) {
        if (inv.args[i] == "--yes")
            yes = true;
        else if (path.empty() && !inv.args[i].starts_with("--"))
            path = inv.args[i];
        else
            return UsageError(row, TrFormat(N_("unexpected argument '%1'"), {inv.args[i]}));
    }
    if (path.empty())
        return UsageError(row, Tr(N_("firmware update needs an image file")));
    std::string version;
    if (const ImageFileResult r = ReadImageVersion(path, version); r != ImageFileResult::Ok) {
        std::fprintf(stderr, "velmoractl: %s: %s\n", path.c_str(), Tr(ImageFileMessage(r)));
        return kExitFileRefused;
    }

    TerminalPrompter prompter(yes);
    auto link = MakeGeneratorLink(SteadyClock(), prompter);
    auto* ftdi = dynamic_cast<FtdiChannel*>(link->Channel(LinkFtdi));
    if (ftdi == nullptr)
        return kExitNoAnswer;
    RecordThrough(*link, inv);
    GeneratorModel model;
    TerminalProgress progress;
    CatchStopSignals();
    // The window's start makes the folder beside its state file; the first
    // update from the command line must not fail for the want of it.
    std::error_code folderError;
    std::filesystem::create_directories(CorrectionFolder(), folderError);
    const UpdateRun run =
        RunFirmwareUpdate(*link, *ftdi, model, path, CorrectionFolder(), progress, prompter, SteadyClock());
    // A read-back difference is in the update's own message, as the window
    // shows it.
    if (run.ending != UpdateEnding::Finished)
        return kExitNoAnswer;
    std::printf("updated %s to %s; corrections in %s\n", run.serial.c_str(), version.c_str(),
                run.correctionFile.c_str());
    return kExitOk;
}

// Which bridge library the update would use, and the units it finds there:
// the first thing to look at when an update cannot reach a unit.
int Bridge(const Invocation& inv)
{
    if (inv.args.size() != 1)
        return UsageError(FindCommand("firmware"), TrFormat(N_("unexpected argument '%1'"), {inv.args[1]}));
    StderrPrompter prompter;
    auto link = MakeGeneratorLink(SteadyClock(), prompter);
    auto* ftdi = dynamic_cast<FtdiChannel*>(link->Channel(LinkFtdi));
    if (ftdi == nullptr)
        return kExitNoAnswer;
    if (!ftdi->Device().Loaded()) {
        std::fprintf(stderr, "velmoractl: %s\n",
                     TrFormat(N_("no bridge library loads (looked for %1)"), {ftdi->Device().LibraryName()}).c_str());
        return kExitNoAnswer;
    }
    const int units = ftdi->CountUnits();
    if (inv.json) {
        JsonObject o;
        o.Add("library", ftdi->Device().LibraryName()).Add("units", units);
        if (units > 0)
            o.Add("serial", ftdi->LastMatchSerial());
        else
            o.AddNull("serial");
        PrintJsonLine(o);
        return kExitOk;
    }
    std::printf("library=%s units=%d", ftdi->Device().LibraryName().c_str(), units);
    if (units > 0)
        std::printf(" serial=%s", ftdi->LastMatchSerial().c_str());
    std::printf("\n");
    return kExitOk;
}

} // namespace

int RunFirmware(const Invocation& inv)
{
    const std::string sub = inv.args.empty() ? std::string() : inv.args[0];
    if (sub == "info")
        return Info(inv);
    if (sub == "update")
        return Update(inv);
    if (sub == "bridge")
        return Bridge(inv);
    return UsageError(FindCommand("firmware"),
                      sub.empty() ? Tr(N_("firmware needs info, update or bridge"))
                                  : TrFormat(N_("unknown firmware command '%1'"), {sub}));
}

// Both sets of every channel in use and every range code, to or from a
// correction file, over the serial link.
int RunCalibration(const Invocation& inv)
{
    if (int rc = RefuseWhileHeld(inv); rc != kExitOk)
        return rc;
    const Command& row = FindCommand("calibration");
    if (inv.args.size() < 2 || (inv.args[0] != "export" && inv.args[0] != "import"))
        return UsageError(row, Tr(N_("calibration needs export FILE or import FILE, and --serial SN")));
    const bool exporting = inv.args[0] == "export";
    const std::string& file = inv.args[1];
    std::string serial;
    for (std::size_t i = 2; i < inv.args.size(); ++i) {
        if (auto v = OptionValue(inv.args, i, "--serial")) {
            if (!*v || (*v)->empty())
                return UsageError(row, Tr(N_("--serial needs the unit's serial number")));
            serial = **v;
        } else {
            return UsageError(row, TrFormat(N_("unexpected argument '%1'"), {inv.args[i]}));
        }
    }
    if (serial.empty())
        return UsageError(row, Tr(N_("--serial is required: the file is named and checked by it")));

    StderrPrompter prompter;
    GeneratorModel model;
    auto link = ConnectUnit(inv, prompter);
    if (!link)
        return kExitNoAnswer;
    RecordThrough(*link, inv);
    const int count = link->QueryChannelCount();
    if (count < 0)
        return NoAnswer(inv);
    // The file names channels 1 and 2 only.
    if (count != 1 && count != 2) {
        std::fprintf(stderr, "velmoractl: %s\n",
                     TrFormat(N_("%1: a correction file holds one or two circuits; the unit has %2"),
                              {inv.port, std::to_string(count)})
                         .c_str());
        return kExitUsage;
    }
    model.channelCount = count;
    if (!exporting) {
        // The file before anything is sent: a file that is refused sends
        // nothing.
        const CorrectionLoad r = LoadCorrectionFile(file, serial, model);
        if (r != CorrectionLoad::Ok) {
            std::fprintf(stderr, "velmoractl: %s\n",
                         TrFormat(N_("%1: the correction file is refused (result %2)"),
                                  {file, std::to_string(static_cast<int>(r))})
                             .c_str());
            return kExitFileRefused;
        }
    }

    if (exporting) {
        for (int ch = 0; ch < model.ChannelsInUse(); ++ch)
            for (int code = 0; code < kSlotCount; ++code)
                for (int kind : {kAdjustMaker, kAdjustUser})
                    if (const AdjustOutcome o = ReadAdjustment(*link, model, LinkSerial, ch, kind, code);
                        !Answered(o)) {
                        std::fprintf(stderr, "velmoractl: %s\n",
                                     TrFormat(kind == kAdjustMaker ? N_("%1: %2 (channel %3, range %4, maker read %5)")
                                                                   : N_("%1: %2 (channel %3, range %4, user read %5)"),
                                              {inv.port, Tr(kReportCommErrorText), std::to_string(ch + 1),
                                               std::to_string(code), Tr(AdjustOutcomeText(o))})
                                         .c_str());
                        return kExitNoAnswer;
                    }
        if (const AtomicWriteResult w = SaveCorrectionFile(file, model, serial); !w) {
            std::fprintf(stderr, "velmoractl: %s: %s\n", file.c_str(), w.Describe().c_str());
            return kExitFileRefused;
        }
        if (RunRecorder* recorder = link->Recorder())
            recorder->Firmware("calibration_export", {}, serial, file);
        std::printf("%s: %d channels\n", file.c_str(), model.ChannelsInUse());
        return kExitOk;
    }

    // The ranges the file holds; the other slots of the unit stay as they are.
    for (int ch = 0; ch < model.ChannelsInUse(); ++ch)
        for (int code = 0; code < kSlotCount; ++code)
            for (int kind : {kAdjustMaker, kAdjustUser})
                if (!IsReportedRange(code)) {
                    continue;
                } else if (const AdjustOutcome o = TransferAdjustment(*link, model, LinkSerial, ch, code, kind);
                           !Answered(o)) {
                    std::fprintf(stderr, "velmoractl: %s\n",
                                 TrFormat(N_("%1: %2 (channel %3, range %4, transfer %5)"),
                                          {inv.port, Tr(kReportCommErrorText), std::to_string(ch + 1),
                                           std::to_string(code), Tr(AdjustOutcomeText(o))})
                                     .c_str());
                    return kExitNoAnswer;
                }
    for (int kind : {kAdjustMaker, kAdjustUser})
        if (const AdjustOutcome o = StoreAdjustment(*link, LinkSerial, kind); !Answered(o)) {
            std::fprintf(
                stderr, "velmoractl: %s\n",
                TrFormat(N_("%1: %2 (store %3)"), {inv.port, Tr(kReportCommErrorText), Tr(AdjustOutcomeText(o))})
                    .c_str());
            return kExitNoAnswer;
        }
    if (RunRecorder* recorder = link->Recorder())
        recorder->Firmware("calibration_import", {}, serial, file);
    std::printf("%s: %d channels transferred and stored\n", file.c_str(), model.ChannelsInUse());
    return kExitOk;
}

} // namespace velmora::ctl
