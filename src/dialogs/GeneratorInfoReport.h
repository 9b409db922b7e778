#pragma once
// The generator information report: the unit's version, its circuit count
// and, for every channel in use and every output range, the maker and user
// corrections and which of them is in effect. The corrections are read fresh
// from the unit first; the text is then built from the model.
//
// The text is UTF-8 with CR LF line ends. Its columns are laid out for the
// 8-bit code page the report has always been shown in, so tab stops are
// chosen by the CP932 byte length of the range names.
//
// Thread contract: UI thread only (the reads block it).

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "protocol/AdjustmentCommands.h"
#include "platform/Translate.h"

namespace velmora {

class GeneratorLink;
class GeneratorModel;

// Shown when a read failed; the report then stays empty.
inline constexpr const char* kReportCommErrorText = N_("通信エラーが発生しました");

// The text for the select bits of a range: "無効", "メーカー", "ユーザー". Both
// bits set names no set; it is shown as "不明".
std::string AdjustSelectText(std::uint16_t adjustSelect);

// The ranges a report lists, in this order: every code with a name, except
// the slot of the conversion formula, which is no output range.
bool IsReportedRange(int code);

// The whole report from what the model holds now.
std::string BuildGeneratorReport(const GeneratorModel& model);

// What a report's text was built from, as far as the text shows it: the
// version, the circuit count, and every listed range's corrections and
// select bits, into `model`; in either language. A report another program
// built in its own language is then built again in this one's. False, with
// the model in any state, for a text that is no report.
bool ReadGeneratorReportText(std::string_view text, GeneratorModel& model);

// Which read failed.
struct ReportReadFailure {
    int channel = 0; // index 0-3
    int rangeCode = 0;
    int kind = 0; // kAdjustMaker or kAdjustUser
    AdjustOutcome outcome = AdjustOutcome::TimedOut;
};

struct GeneratorReportRun {
    // The report to show; empty when a read failed.
    std::string text;
    // Set when a read failed: the operator sees kReportCommErrorText and an
    // empty report. `partial` holds what had been built up to the failure.
    std::optional<ReportReadFailure> failure;
    std::string partial;
    // The caller's events asked to stop (the dialog went): neither a report
    // nor a failure.
    bool abandoned = false;

    bool Ok() const { return !failure.has_value() && !abandoned; }
};

// Reads the maker and then the user corrections of every listed range of
// every channel in use over the serial channel, in report order, storing
// them in the model, and builds the report, one piece of work a step: the
// head lines, the table head, one range's two reads, the finished text. A
// window runs its event loop between the steps; the run stops at the first
// read that fails.
class GeneratorReportReader {
public:
    GeneratorReportReader(GeneratorLink& link, GeneratorModel& model);
    // The next piece; false once the run has ended (built or failed).
    bool Step();
    bool Done() const { return m_stage == Stage::Done; }
    const GeneratorReportRun& Run() const { return m_run; }

private:
    enum class Stage { Head, TableHead, Ranges, Finish, Done };
    void NextRange();
    void ReadRange();
    void Fail(const ReportReadFailure& failure);
    static int FirstReportedRange();

    GeneratorLink& m_link;
    GeneratorModel& m_model;
    GeneratorReportRun m_run;
    Stage m_stage = Stage::Head;
    int m_nChannel = 0;
    int m_nCode = 0;
};

// The whole run at once. `letEventsRun`, when given, runs before each step;
// when it answers false the run stops, abandoned.
GeneratorReportRun ReadGeneratorReport(GeneratorLink& link, GeneratorModel& model,
                                       const std::function<bool()>& letEventsRun = {});

} // namespace velmora
