#pragma once
// A loop-check tag: one loop that a channel of the unit drives (a PLC or DCS
// input card, an indicator, a recorder), described by what the receiver
// shows for the signal, and the arithmetic of a check point: the signal put
// out for p % of the range's span, the reading the receiver should show,
// the error in % of the receiver's span and the verdict against the
// tolerance and the adjust limit.
//
// Tags are user data kept in the loop-check database (LoopCheckDatabase.h)
// and written to and read from CSV (LoopTagCsv.h); a tag that reaches either
// has passed ValidateTag.
//
// Thread contract: plain values and functions; any thread.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

// What the receiver makes of the signal: p % of the signal shows as
// LRV + f(p) x (URV - LRV).
enum class LoopTransfer {
    Linear,     // f(p) = p / 100
    SquareRoot, // f(p) = sqrt(p / 100): a differential-pressure flow loop
};

// "linear" or "sqrt", as the CSV, the database and --json spell it.
const char* LoopTransferKey(LoopTransfer transfer);
std::optional<LoopTransfer> LoopTransferFromKey(std::string_view key);

struct LoopTag {
    static constexpr double kDefaultTolerance = 0.5; // % of span
    static constexpr double kDefaultSettleSeconds = 5.0;
    static constexpr int kDefaultDecimals = 2;
    static constexpr double kMaxSettleSeconds = 3600.0;
    static constexpr int kMaxDecimals = 6;
    static constexpr std::size_t kMaxPoints = 41;
    static constexpr std::size_t kMaxNameBytes = 64;
    static constexpr std::size_t kMaxTextBytes = 1000;

    std::string name;        // unique, e.g. "FT-101"
    std::string description; // free text
    std::string location;    // free text
    int channel = 1;         // 1-4, as on the command line and the panel
    std::string range;       // the range table's key: "4_20mA", "0_10V", ...
    double lrv = 0.0;        // what the receiver shows at 0 % of the signal
    double urv = 100.0;      // ... at 100 % (may be below the LRV: a reverse-acting loop)
    std::string unit;        // the receiver's unit text, "m³/h"
    LoopTransfer transfer = LoopTransfer::Linear;
    std::vector<double> points = DefaultPoints(); // % of the signal, in the order checked
    double tolerance = kDefaultTolerance;         // % of span: a point passes when |error| <= it
    std::optional<double> adjustLimit;            // % of span, below the tolerance: beyond it "adjust"
    double settleSeconds = kDefaultSettleSeconds; // wait after each step before the reading
    int decimals = kDefaultDecimals;              // the receiver's resolution

    // 0, 25, 50, 75, 100.
    static std::vector<double> DefaultPoints();
    // The channel as an index 0-3, for ChannelOperations.
    int ChannelIndex() const { return channel - 1; }
};

// The points with the way down added: 0,25,50,75,100 becomes
// 0,25,50,75,100,75,50,25,0 (the last point is not repeated).
std::vector<double> WithWayDown(const std::vector<double>& points);
// "0,25,50" -> the numbers; nothing when an element is not a number.
std::optional<std::vector<double>> ParsePointList(std::string_view text);
// The points as "0,25,50,75,100", each in its shortest exact form.
std::string PointListText(const std::vector<double>& points);

// Why a tag cannot be kept: which field, and the reason in the current
// language (the texts are English and pass through Tr()).
struct TagProblem {
    std::string field; // the CSV's column name and the option's name without "--"
    std::string message;
};
// Every rule a tag must keep, the first broken one reported: a name that is
// empty, too long or holds control characters; a channel outside 1-4; a
// range key the range table does not know (or the conversion formula's);
// LRV equal to URV or either not a finite number; a tolerance <= 0; an
// adjust limit <= 0 or not below the tolerance; no points, too many, or one
// outside 0-100; a settle time below 0 or above an hour; decimals outside
// 0-6; texts that are not UTF-8 or hold control characters.
std::optional<TagProblem> ValidateTag(const LoopTag& tag);

// --- The arithmetic of a point ---

enum class PointVerdict {
    Pass,   // |error| within the adjust limit (or the tolerance when there is none)
    Adjust, // between the adjust limit and the tolerance: passes, but should be adjusted
    Fail,   // beyond the tolerance
};
// "pass", "adjust", "fail".
const char* PointVerdictKey(PointVerdict verdict);
std::optional<PointVerdict> PointVerdictFromKey(std::string_view key);

// f(p) of the transfer, p in % of the signal (0-100).
double TransferFraction(LoopTransfer transfer, double percent);
// The signal for p % of the range's span, in the range's unit (mA or V):
// 4 + 0.16 p on 4-20 mA. Nothing for a key that names no output range.
std::optional<double> SignalForPercent(const std::string& rangeKey, double percent);
// "mA" or "V" for the range's key; empty for none.
std::string SignalUnit(const std::string& rangeKey);
// What the receiver should show at p %: LRV + f(p) x (URV - LRV).
double ExpectedReading(const LoopTag& tag, double percent);
// (reading - expected) / (URV - LRV) x 100, unrounded: rounding is for
// display only.
double ErrorPercentOfSpan(const LoopTag& tag, double expected, double reading);
// The verdict of an error. An error that reaches the tolerance only by the
// last bits of the arithmetic (0.5000000000001 against 0.5) is judged as the
// decimal value the technician read: a margin of 1e-9 % of span.
PointVerdict JudgeError(const LoopTag& tag, double errorPercent);

// True for UTF-8 text without control characters (line feeds allowed when
// asked): a name, a remark, a technician.
bool IsCleanText(std::string_view text, bool allowLineBreaks);

// A number as the receiver shows it, with the tag's decimals.
std::string FormatReading(const LoopTag& tag, double value);
// An error for display: two decimals, "+0.12", "-0.50".
std::string FormatErrorPercent(double errorPercent);
// A number in its shortest exact form ("0.1", "12.5", "75").
std::string ShortNumber(double value);

} // namespace velmora
