#include "firmware/UpdateSequence.h"

#include "platform/Translate.h"

#include "autoout/AutoOutSettingsRules.h"
#include "firmware/CorrectionFile.h"
#include "firmware/FtdiBootTransport.h"
#include "firmware/ImageFile.h"
#include "link/FtdiChannel.h"
#include "model/GeneratorModel.h"
#include "panelcore/PanelTexts.h"
#include "platform/Prompter.h"
#include "protocol/AdjustmentCommands.h"
#include "protocol/GeneratorLink.h"

namespace velmora {

namespace {

class Update {
public:
    Update(GeneratorLink& link, FtdiChannel& ftdi, GeneratorModel& model, const std::string& imagePath,
           const std::string& folder, ProgramObserver& o, Prompter& p, Clock& c, const IdCode& id)
        : m_link(link),
          m_ftdi(ftdi),
          m_model(model),
          m_image(imagePath),
          m_folder(folder),
          m_o(o),
          m_prompter(p),
          m_clock(c),
          m_id(id)
    {
    }

    UpdateRun Run()
    {
        const bool finished = Steps();
        if (finished) {
            Say(kMsgUpdateFinished);
            m_o.SetStatus(N_("更新正常終了"));
            m_run.ending = UpdateEnding::Finished;
        } else {
            m_o.SetStatus(N_("キャンセルしました"));
        }
        m_o.EnableCancel(true);
        if (m_ftdi.IsOpen())
            m_ftdi.CloseUnit();
        if (m_link.IsConnected())
            m_link.Disconnect();
        return m_run;
    }

private:
    void Say(const std::string& text) { m_prompter.Message(text, kCaptionConfirm, PromptIcon::Exclamation); }
    bool Ask(const std::string& text)
    {
        return m_prompter.Message(text, kCaptionConfirm, PromptIcon::Exclamation, PromptButtons::OkCancel) ==
            PromptAnswer::Ok;
    }

    bool FindUnit();
    bool ReadUnit();
    bool WriteBack();
    bool Steps();
    // The window's events run and the operator's cancel is taken, between
    // two exchanges: true when the update is to stop. A bridge that has gone
    // stops it too: every exchange left would sit out its time-outs.
    bool Stopping()
    {
        m_o.LetEventsRun();
        m_bUnplugged = m_bUnplugged || m_ftdi.ReadFailed();
        m_bCancelled = m_bCancelled || m_bUnplugged || m_o.CancelRequested();
        return m_bCancelled;
    }
    // Where the calibration is while the unit is without it.
    std::string KeptNote() const
    {
        return TrFormat(N_("発生器の補正データは補正ファイル %1 に保存されています\n更新をやり直すと書き戻されます"),
                        {m_run.correctionFile});
    }

    GeneratorLink& m_link;
    FtdiChannel& m_ftdi;
    GeneratorModel& m_model;
    const std::string& m_image;
    const std::string& m_folder;
    ProgramObserver& m_o;
    Prompter& m_prompter;
    Clock& m_clock;
    const IdCode& m_id;
    UpdateRun m_run;
    bool m_bCancelled = false;
    bool m_bUnplugged = false;
};

bool Update::FindUnit()
{
    if (m_link.IsConnected())
        m_link.Disconnect();
    // Without a library there is no bridge to find; say which library is
    // missing rather than that no unit is attached.
    if (!m_ftdi.Device().Loaded()) {
        Say(TrFormat(N_("FTDI ライブラリを読み込めません\n%1"), {m_ftdi.Device().LibraryName()}));
        return false;
    }
    const int units = m_ftdi.CountUnits();
    if (units == 0) {
        Say(N_("アナログユニットが接続されていません"));
        return false;
    }
    if (units > 1) {
        Say(N_("アナログユニットが２台以上接続されています\n１台のみ接続してください"));
        return false;
    }
    m_run.serial = m_ftdi.LastMatchSerial();
    // The third character of the serial number is the unit's circuit count.
    const std::string digit = m_run.serial.size() > 2 ? m_run.serial.substr(2, 1) : std::string();
    const std::optional<std::int64_t> circuits = ParseWholeInteger(digit);
    if (!circuits) {
        Say(TrFormat(N_("FTDIシリアル番号が異常です(1)\n%1"), {m_run.serial}));
        return false;
    }
    if (*circuits != 1 && *circuits != 2) {
        Say(TrFormat(N_("FTDIシリアル番号が異常です(2)\n%1"), {m_run.serial}));
        return false;
    }
    m_model.channelCount = static_cast<std::int32_t>(*circuits);
    m_run.correctionFile = CorrectionFilePath(m_folder, m_run.serial);
    // Found but not to be opened (on Linux: the serial driver holds it, or
    // the device file's permissions): said here, not as a unit that does
    // not answer.
    if (!m_ftdi.IsOpen() && !m_ftdi.OpenUnit()) {
        Say(TrFormat(N_("アナログユニットを開けません\nシリアル番号:%1"), {m_run.serial}));
        return false;
    }
    // Which of the attached bridges the update goes through.
    m_o.SetStatus(TrFormat(N_("シリアル番号 %1 のアナログユニットを開きました"), {m_run.serial}));
    return true;
}

// Both sets of every channel and range code; false at the first read the
// unit does not answer, or when the operator cancels (nothing has changed
// in the unit yet).
bool Update::ReadUnit()
{
    ResetCorrections(m_model);
    for (int ch = 0; ch < m_model.ChannelsInUse(); ++ch)
        for (int code = 0; code < kSlotCount; ++code)
            for (int kind : {kAdjustMaker, kAdjustUser})
                if (Stopping() || !Answered(ReadAdjustment(m_link, m_model, LinkFtdi, ch, kind, code)))
                    return false;
    return true;
}

// The corrections back from the file, every slot and both stores. A silent
// unit costs each exchange its four time-outs; a cancel (SIGINT in
// velmoractl) ends it before the next one, as a write-back that failed.
bool Update::WriteBack()
{
    m_o.SetStatus(N_("補正データ転送中"));
    bool answered = true;
    for (int ch = 0; ch < m_model.ChannelsInUse(); ++ch)
        for (int code = 0; code < kSlotCount; ++code)
            for (int kind : {kAdjustMaker, kAdjustUser})
                if (!Stopping())
                    answered = Answered(TransferAdjustment(m_link, m_model, LinkFtdi, ch, code, kind)) && answered;
    if (!m_bCancelled)
        m_o.SetStatus(N_("補正データ書込中"));
    for (int kind : {kAdjustMaker, kAdjustUser})
        if (!Stopping())
            answered = Answered(StoreAdjustment(m_link, LinkFtdi, kind)) && answered;
    // The restart lets the unit take what it stored; a stopped write-back
    // stored nothing, and the unit already runs.
    if (!m_bCancelled) {
        m_o.SetStatus(N_("補正データ書込後リセット中"));
        m_ftdi.ResetIntoRunMode();
    }
    return answered && !m_bCancelled;
}

bool Update::Steps()
{
    if (!FindUnit())
        return false;
    if (m_image.empty() || m_image == kNotSelected) {
        Say(N_("ファイルが選択されていません"));
        return false;
    }
    m_o.SetStatus(N_("本体補正データ受信中"));
    bool fromUnit = ReadUnit();
    if (m_bCancelled)
        return false;
    if (!fromUnit && !Ask(N_("接続できません\nパソコン内ファイルを検索しますか。")))
        return false;
    if (fromUnit) {
        m_o.SetStatus(N_("補正データチェック中"));
        if (!CorrectionsPlausible(m_model)) {
            if (!Ask(N_("本体補正データが異常です\nパソコン内ファイルを検索しますか。")))
                return false;
            fromUnit = false;
        }
    }
    if (fromUnit) {
        if (const AtomicWriteResult saved = SaveCorrectionFile(m_run.correctionFile, m_model, m_run.serial); !saved) {
            // Which file and why, after the short text: the operator has to
            // mend it before the unit can be updated.
            Say(std::string(Tr(N_("補正データを保存できません"))) + "\n" + m_run.correctionFile + ": " +
                saved.Describe());
            return false;
        }
        if (RunRecorder* recorder = m_link.Recorder())
            recorder->Firmware("calibration_export", {}, m_run.serial, m_run.correctionFile);
    }

    m_o.SetStatus(N_("補正ファイル読込み中"));
    ResetCorrections(m_model);
    switch (LoadCorrectionFile(m_run.correctionFile, m_run.serial, m_model)) {
    case CorrectionLoad::Ok:
        if (RunRecorder* recorder = m_link.Recorder())
            recorder->Firmware("calibration_import", {}, m_run.serial, m_run.correctionFile);
        break;
    case CorrectionLoad::CannotOpen:
        Say(TrFormat(N_("パソコン内補正ファイルの読込みが行えません\n更新できません\nメーカーに連絡してください\nシリア"
                        "ル番号:%1"),
                     {m_run.serial}));
        return false;
    default:
        Say(TrFormat(
            N_("パソコン内補正ファイル内容が異常です\n更新できません\nメーカーに連絡してください\nシリアル番号:%1"),
            {m_run.serial}));
        return false;
    }
    m_o.SetStatus(N_("補正ファイル検証中"));
    if (!CorrectionsPlausible(m_model)) {
        Say(TrFormat(N_("補正データが異常です\nメーカーに連絡してください\nシリアル番号:%1"), {m_run.serial}));
        return false;
    }

    FtdiBootTransport transport(m_link, m_ftdi);
    const ProgramResult programmed = ProgramUnit(m_image, transport, m_o, m_prompter, m_clock, m_id, KeptNote());
    if (!programmed.ok) {
        m_run.programFailure = programmed.failure;
        return false;
    }

    m_o.SetStatus(N_("更新後リセット中"));
    if (!m_ftdi.IsOpen())
        m_ftdi.OpenUnit();
    m_ftdi.ResetIntoRunMode();
    // The corrections come back from the file only. The programming took the
    // unit's own: an update that did not get them back must not say it
    // finished, and the file must stay for another try.
    if (!WriteBack()) {
        const std::string gone = m_bUnplugged ? Tr(std::string(N_("USBブリッジが外れました"))) + "\n" : std::string();
        Say(TrFormat(N_("補正データを書き込めませんでした\n%1\nシリアル番号:%2"), {gone + KeptNote(), m_run.serial}));
        return false;
    }
    return true;
}

} // namespace

UpdateRun RunFirmwareUpdate(GeneratorLink& link, FtdiChannel& ftdi, GeneratorModel& model, const std::string& imagePath,
                            const std::string& folder, ProgramObserver& observer, Prompter& prompter, Clock& clock,
                            const IdCode& idCode)
{
    RunRecorder* recorder = link.Recorder();
    std::string version;
    if (recorder != nullptr) {
        // The version is the file's to say; an unreadable file is the
        // update's to refuse, and recorded as its result.
        if (ReadImageVersion(imagePath, version) != ImageFileResult::Ok)
            version.clear();
        recorder->Firmware("update_start", version, {}, imagePath);
    }
    Update update(link, ftdi, model, imagePath, folder, observer, prompter, clock, idCode);
    UpdateRun run = update.Run();
    if (recorder != nullptr) {
        std::string how = run.ending == UpdateEnding::Finished ? "finished" : "cancelled";
        if (run.programFailure)
            how += ": programming failed";
        recorder->Firmware("update_result", version, run.serial, how);
    }
    return run;
}

} // namespace velmora
