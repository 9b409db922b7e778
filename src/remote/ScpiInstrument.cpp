#include "remote/ScpiInstrument.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <utility>

#include "autoout/ArbitraryTable.h"
#include "autoout/AutoOutSettingsRules.h"
#include "dialogs/ConversionRules.h"
#include "dialogs/GeneratorInfoReport.h"
#include "loopcheck/LoopCheckDatabase.h"
#include "loopcheck/LoopCheckProcedure.h"
#include "model/CVelmoraDoc.h"
#include "model/NumberText.h"
#include "model/RangeTable.h"
#include "panelcore/PanelSession.h"
#include "panelcore/PanelTexts.h"
#include "platform/Cp932.h"
#include "platform/Translate.h"
#include "protocol/GeneratorLink.h"
#include "remote/ScpiErrors.h"
#include "remote/ScpiPattern.h"

namespace velmora::remote {

using scpi::MessageUnit;
using scpi::Param;
using scpi::Unit;
namespace err = scpi::error;

// ---------------------------------------------------------------------------
// What a handler works with

struct ScpiInstrument::Context {
    ScpiInstrument& inst;
    Client& client;
    ClientId id = 0;
    const MessageUnit& unit;
    int channel = 0; // 0-3
    std::vector<std::string>& answers;
    bool failed = false;

    PanelSession& Session() { return *inst.m_pSession; }
    CVelmoraDoc& Doc() { return Session().Document(); }
    GeneratorModel& Model() { return Doc().m_model; }
    ChannelOperations& Ops() { return Session().Operations(); }
    const std::vector<Param>& Params() const { return unit.params; }

    void Error(int code, std::string_view detail = {})
    {
        client.status.AddError(code, detail);
        failed = true;
    }
    void Answer(std::string text) { answers.push_back(std::move(text)); }
};

struct ScpiCommand {
    scpi::HeaderPattern pattern;
    bool channelled = false;
    std::function<void(ScpiInstrument::Context&)> set;
    std::function<void(ScpiInstrument::Context&)> query;
};

namespace {

using Context = ScpiInstrument::Context;

// The program's own words for a client: ASCII English, whatever language the
// window shows.
std::string English(const std::string& text)
{
    if (const auto found = CatalogueInto(true).Find(text))
        return std::string(*found);
    return text;
}

std::string Nr3(double value)
{
    std::array<char, 32> text{};
    std::snprintf(text.data(), text.size(), "%.6E", value);
    return text.data();
}

std::string Quoted(std::string_view text)
{
    std::string out = "\"";
    for (char ch : text) {
        out += ch;
        if (ch == '"')
            out += '"';
    }
    out += '"';
    return out;
}

// Parameter counts: the first failure is the client's error.
bool ParamCount(Context& ctx, std::size_t least, std::size_t most)
{
    if (ctx.Params().size() < least) {
        ctx.Error(err::kMissingParameter);
        return false;
    }
    if (ctx.Params().size() > most) {
        ctx.Error(err::kParameterNotAllowed);
        return false;
    }
    return true;
}

bool IsMnemonic(const Param& p, std::string_view form)
{
    return p.kind == Param::Kind::Mnemonic && scpi::MnemonicMatches(p.text, form);
}

std::optional<bool> BoolParam(Context& ctx, std::size_t i)
{
    const Param& p = ctx.Params()[i];
    if (p.kind == Param::Kind::Number) {
        if (p.unit != Unit::None) {
            ctx.Error(err::kSuffixNotAllowed);
            return std::nullopt;
        }
        return std::lround(p.number) != 0;
    }
    if (IsMnemonic(p, "ON"))
        return true;
    if (IsMnemonic(p, "OFF"))
        return false;
    ctx.Error(p.kind == Param::Kind::String ? err::kDataType : err::kIllegalParameterValue);
    return std::nullopt;
}

std::optional<long long> IntegerParam(Context& ctx, std::size_t i, long long lo, long long hi)
{
    const Param& p = ctx.Params()[i];
    if (p.kind != Param::Kind::Number) {
        ctx.Error(err::kDataType);
        return std::nullopt;
    }
    if (p.unit != Unit::None) {
        ctx.Error(err::kSuffixNotAllowed);
        return std::nullopt;
    }
    const double rounded = std::round(p.number);
    if (rounded < static_cast<double>(lo) || rounded > static_cast<double>(hi)) {
        ctx.Error(err::kDataOutOfRange);
        return std::nullopt;
    }
    return static_cast<long long>(rounded);
}

// A number in `unit` (a typed suffix must be that unit), or MIN, MAX, DEF
// when the caller gives them.
struct NumberChoices {
    std::optional<double> min;
    std::optional<double> max;
    std::optional<double> def;
};
std::optional<double> NumberParam(Context& ctx, std::size_t i, Unit unit, const NumberChoices& choices = {})
{
    const Param& p = ctx.Params()[i];
    if (p.kind == Param::Kind::Mnemonic) {
        if (choices.min && IsMnemonic(p, "MINimum"))
            return choices.min;
        if (choices.max && IsMnemonic(p, "MAXimum"))
            return choices.max;
        if (choices.def && IsMnemonic(p, "DEFault"))
            return choices.def;
        ctx.Error(err::kIllegalParameterValue);
        return std::nullopt;
    }
    if (p.kind != Param::Kind::Number) {
        ctx.Error(err::kDataType);
        return std::nullopt;
    }
    if (p.unit != Unit::None && p.unit != unit) {
        ctx.Error(err::kInvalidSuffix);
        return std::nullopt;
    }
    return p.number;
}

// The refusal of an operation as the client's error.
void Refused(Context& ctx, const OpResult& result)
{
    std::string detail = English(result.detail.empty() ? OpRefusalText(result.refusal) : result.detail);
    switch (result.refusal) {
    case OpRefusal::None:
        return;
    case OpRefusal::NoSuchChannel:
        ctx.Error(err::kHeaderSuffixOutOfRange, detail);
        return;
    case OpRefusal::NotConnected:
        if (ctx.Session().UnitLost())
            ctx.Error(err::kHardware, English(kMsgConnectionReleased));
        else
            ctx.Error(err::kHardwareMissing, detail);
        return;
    case OpRefusal::OutOfLimits:
        ctx.Error(err::kDataOutOfRange, detail);
        return;
    case OpRefusal::BadValue:
        ctx.Error(err::kIllegalParameterValue, detail);
        return;
    case OpRefusal::Refused: {
        // The settings rules' range refusals are the client's data beyond
        // the limits; the others are values no setting takes.
        const std::string& raw = result.detail;
        const bool range = raw == kAutoOutOfRangeText || raw == kStepOutOfRangeText || raw == kIntervalTooLongText ||
            raw == kTableIntervalText;
        ctx.Error(range ? err::kDataOutOfRange : err::kIllegalParameterValue, detail);
        return;
    }
    case OpRefusal::OutputOn:
    case OpRefusal::AutoOutputRunning:
    case OpRefusal::NoRange:
        ctx.Error(err::kSettingsConflict, detail);
        return;
    }
}

bool Apply(Context& ctx, const OpResult& result)
{
    if (!result.Done())
        Refused(ctx, result);
    return result.Done();
}

bool NeedConnection(Context& ctx)
{
    if (ctx.Session().IsConnected())
        return true;
    // A unit that stopped answering is a hardware error; one never
    // connected, or let go, is missing.
    if (ctx.Session().UnitLost())
        ctx.Error(err::kHardware, English(kMsgConnectionReleased));
    else
        ctx.Error(err::kHardwareMissing, English(kMsgNotConnected));
    return false;
}

// --- Levels: the model keeps mA, V, or the formula's units ---

struct LevelScale {
    bool current = false; // the range is a current range (mA in the model)
    RangeInfo range;      // the range's own limits, mA or V
};

LevelScale ScaleOf(const GeneratorModel& model, int c)
{
    const ChannelSettings& s = model.channels[static_cast<std::size_t>(c)];
    return {IsCurrentRange(s.rangeCode), GetRangeInfo(s.rangeCode)};
}

// The model's value (display unit) as amperes or volts.
double ToBase(const GeneratorModel& model, int c, double shown)
{
    const ChannelSettings& s = model.channels[static_cast<std::size_t>(c)];
    const LevelScale scale = ScaleOf(model, c);
    double v = shown;
    if (s.useConversion) {
        const double span = s.convMax - s.convMin;
        const double fraction = span == 0.0 ? 0.0 : (shown - s.convMin) / span;
        v = scale.range.lower + fraction * (scale.range.upper - scale.range.lower);
    }
    return scale.current ? v / 1000.0 : v;
}

// Amperes or volts as the model's value; nothing when the formula's span is
// empty and no value maps back.
std::optional<double> FromBase(const GeneratorModel& model, int c, double base)
{
    const ChannelSettings& s = model.channels[static_cast<std::size_t>(c)];
    const LevelScale scale = ScaleOf(model, c);
    const double v = scale.current ? base * 1000.0 : base;
    if (!s.useConversion)
        return v;
    const double rangeSpan = scale.range.upper - scale.range.lower;
    if (rangeSpan == 0.0 || s.convMax == s.convMin)
        return std::nullopt;
    return s.convMin + (v - scale.range.lower) / rangeSpan * (s.convMax - s.convMin);
}

// The ramp and list values: base units, or the formula's units under it.
std::optional<double> AutoValueParam(Context& ctx, std::size_t i)
{
    const GeneratorModel& model = ctx.Model();
    const ChannelSettings& s = model.channels[static_cast<std::size_t>(ctx.channel)];
    const Param& p = ctx.Params()[i];
    if (s.useConversion) {
        if (p.kind == Param::Kind::Number && p.unit != Unit::None) {
            ctx.Error(err::kSuffixNotAllowed, "the conversion formula is in use: engineering units");
            return std::nullopt;
        }
        return NumberParam(ctx, i, Unit::None);
    }
    const bool current = IsCurrentRange(s.rangeCode);
    const auto base = NumberParam(ctx, i, current ? Unit::Ampere : Unit::Volt);
    if (!base)
        return std::nullopt;
    return current ? *base * 1000.0 : *base;
}

// The model's value as RAMP and LIST take it.
double AutoValue(const GeneratorModel& model, int c, double shown)
{
    const ChannelSettings& s = model.channels[static_cast<std::size_t>(c)];
    if (s.useConversion)
        return shown;
    return IsCurrentRange(s.rangeCode) ? shown / 1000.0 : shown;
}

std::string AutoValueText(const GeneratorModel& model, int c, double shown)
{
    return Nr3(AutoValue(model, c, shown));
}

// --- The automatic outputs' settings ---

// The slot in use with one change, through the settings dialog's rules.
using SlotChange = std::function<void(AutoOutFieldTexts&, std::int32_t&)>;
bool ChangeSlot(Context& ctx, const SlotChange& change, const ArbitraryTable* table = nullptr)
{
    const int c = ctx.channel;
    GeneratorModel& model = ctx.Model();
    const int slot = model.ActiveSlot(c);
    if (slot == kNoSlot) {
        Refused(ctx, {OpRefusal::NoRange, {}});
        return false;
    }
    const AutoOutputState& state = ctx.Doc().m_autoOutput[static_cast<std::size_t>(c)];
    const int decimals = model.ChannelLimits(c).decimals;
    const AutoOutputSlot& stored = state.slots[static_cast<std::size_t>(slot)];
    AutoOutFieldTexts texts = AutoOutFieldTextsFor(stored, decimals);
    std::int32_t mode = DialogModeFor(stored);
    change(texts, mode);
    ArbitraryTable rows;
    if (table != nullptr)
        rows = *table;
    else
        FillTableFromPoints(rows, state.points, decimals);
    return Apply(ctx, ctx.Ops().SetAutoOutputSettings(c, mode, texts, rows));
}

const AutoOutputSlot* SlotInUse(Context& ctx)
{
    const int slot = ctx.Model().ActiveSlot(ctx.channel);
    if (slot == kNoSlot) {
        Refused(ctx, {OpRefusal::NoRange, {}});
        return nullptr;
    }
    return &ctx.Doc().m_autoOutput[static_cast<std::size_t>(ctx.channel)].slots[static_cast<std::size_t>(slot)];
}

std::string FieldNumber(double value, int decimals)
{
    return TrimSpaces(FormatEditValue(value, std::clamp(decimals, 0, kMaxDecimals)));
}

std::string SecondsText(double seconds)
{
    std::array<char, 48> text{};
    std::snprintf(text.data(), text.size(), "%.1f", seconds);
    return text.data();
}

} // namespace

// ---------------------------------------------------------------------------
// The tree

void BuildCommandTree(ScpiInstrument& instrument);
void LoopCheckCommands(std::vector<ScpiCommand>& tree);

namespace {

void Add(std::vector<ScpiCommand>& tree, std::string_view header, std::function<void(Context&)> set,
         std::function<void(Context&)> query)
{
    auto pattern = scpi::HeaderPattern::Compile(header);
    if (!pattern)
        return; // the tree's own test names every header that does not compile
    const bool channelled = header.find('#') != std::string_view::npos;
    tree.push_back({std::move(*pattern), channelled, std::move(set), std::move(query)});
}

void LevelCommands(std::vector<ScpiCommand>& tree, bool current)
{
    const char* header = current ? "[SOURce#]:CURRent[:LEVel][:IMMediate][:AMPLitude]"
                                 : "[SOURce#]:VOLTage[:LEVel][:IMMediate][:AMPLitude]";
    const Unit unit = current ? Unit::Ampere : Unit::Volt;
    auto rightRange = [current](Context& ctx) {
        if (IsCurrentRange(ctx.Model().channels[static_cast<std::size_t>(ctx.channel)].rangeCode) == current)
            return true;
        ctx.Error(err::kSettingsConflict, current ? "the range is a voltage range" : "the range is a current range");
        return false;
    };
    // The range's own ends and start, in base units, whatever the formula.
    auto choices = [](Context& ctx) {
        const ChannelSettings& s = ctx.Model().channels[static_cast<std::size_t>(ctx.channel)];
        const double k = IsCurrentRange(s.rangeCode) ? 1e-3 : 1.0;
        const RangeInfo r = GetRangeInfo(s.rangeCode);
        NumberChoices n{std::fmin(r.lower, r.upper) * k, std::fmax(r.lower, r.upper) * k, {}};
        n.def = RangeStartingValue(s.rangeCode).value_or(r.lower) * k;
        return n;
    };
    Add(
        tree, header,
        [=](Context& ctx) {
            if (!ParamCount(ctx, 1, 1) || !rightRange(ctx))
                return;
            const auto base = NumberParam(ctx, 0, unit, choices(ctx));
            if (!base || !NeedConnection(ctx))
                return;
            if (!ctx.Session().IsAutoOutputStopped(ctx.channel)) {
                Refused(ctx, {OpRefusal::AutoOutputRunning, {}});
                return;
            }
            const NumberChoices limits = choices(ctx);
            // Checked in base units: a formula's rounding must not turn the
            // range's own end into a refusal.
            if (*base < *limits.min - 1e-12 || *base > *limits.max + 1e-12) {
                Refused(ctx, {OpRefusal::OutOfLimits, {}});
                return;
            }
            const auto shown = FromBase(ctx.Model(), ctx.channel, std::clamp(*base, *limits.min, *limits.max));
            if (!shown) {
                ctx.Error(err::kSettingsConflict, "the conversion formula has an empty span");
                return;
            }
            // Kept to the decimals the panel shows, rounded: 0.012 A is
            // 11.999999999999998 mA in binary, and cutting would lose a step.
            const RangeInfo shownLimits = ctx.Model().ChannelLimits(ctx.channel);
            const double scale = DecimalScale(shownLimits.decimals);
            const double rounded =
                std::clamp(std::round(*shown * scale) / scale, std::fmin(shownLimits.lower, shownLimits.upper),
                           std::fmax(shownLimits.lower, shownLimits.upper));
            Apply(ctx, ctx.Ops().SetSetValue(ctx.channel, rounded, LimitPolicy::Refuse));
        },
        [=](Context& ctx) {
            if (!ParamCount(ctx, 0, 1) || !rightRange(ctx))
                return;
            if (ctx.Params().size() == 1) {
                const NumberChoices n = choices(ctx);
                const Param& p = ctx.Params()[0];
                if (IsMnemonic(p, "MINimum"))
                    ctx.Answer(Nr3(*n.min));
                else if (IsMnemonic(p, "MAXimum"))
                    ctx.Answer(Nr3(*n.max));
                else if (IsMnemonic(p, "DEFault"))
                    ctx.Answer(Nr3(*n.def));
                else
                    ctx.Error(err::kIllegalParameterValue);
                return;
            }
            const GeneratorModel& m = ctx.Model();
            ctx.Answer(Nr3(ToBase(m, ctx.channel, m.channels[static_cast<std::size_t>(ctx.channel)].setValue)));
        });
}

void CommonCommands(std::vector<ScpiCommand>& tree)
{
    Add(
        tree, "*CLS", [](Context& ctx) { ctx.client.status.Clear(); }, nullptr);
    Add(
        tree, "*ESE",
        [](Context& ctx) {
            if (!ParamCount(ctx, 1, 1))
                return;
            if (const auto v = IntegerParam(ctx, 0, 0, 255))
                ctx.client.status.SetEventEnable(static_cast<std::uint8_t>(*v));
        },
        [](Context& ctx) { ctx.Answer(std::to_string(ctx.client.status.EventEnable())); });
    Add(tree, "*ESR", nullptr, [](Context& ctx) { ctx.Answer(std::to_string(ctx.client.status.ReadEventStatus())); });
    Add(tree, "*IDN", nullptr, [](Context& ctx) {
        std::string serial = ctx.inst.SerialNumber().empty() ? "0" : ctx.inst.SerialNumber();
        std::string version = ctx.Model().versionText.empty() ? "0" : ctx.Model().versionText;
        // Four fields of printable ASCII: a serial or version with a comma
        // or anything else would break every client's split.
        for (std::string* field : {&serial, &version})
            for (char& ch : *field)
                if (ch < 0x21 || ch > 0x7E || ch == ',' || ch == ';')
                    ch = '_';
        std::string idn = "Hovelt,VKX," + serial.substr(0, 24) + "," + version.substr(0, 24);
        ctx.Answer(idn.substr(0, 72));
    });
    Add(
        tree, "*OPC", [](Context& ctx) { ctx.client.status.SetEvents(scpi::esr::kOperationComplete); },
        [](Context& ctx) { ctx.Answer("1"); });
    Add(
        tree, "*RST",
        [](Context& ctx) {
            ctx.inst.ClearDrafts();
            Apply(ctx, ctx.Ops().ResetOutputs());
        },
        nullptr);
    Add(
        tree, "*SRE",
        [](Context& ctx) {
            if (!ParamCount(ctx, 1, 1))
                return;
            if (const auto v = IntegerParam(ctx, 0, 0, 255))
                ctx.client.status.SetServiceRequestEnable(static_cast<std::uint8_t>(*v));
        },
        [](Context& ctx) { ctx.Answer(std::to_string(ctx.client.status.ServiceRequestEnable())); });
    Add(tree, "*STB", nullptr, [](Context& ctx) {
        ctx.inst.UpdateConditions();
        ctx.Answer(std::to_string(ctx.client.status.StatusByte()));
    });
    Add(tree, "*TST", nullptr, [](Context& ctx) {
        if (!ctx.Session().IsConnected()) {
            ctx.Answer("1");
            return;
        }
        const ScopedFlag paused = ctx.Session().PausePolling();
        std::string version;
        const bool answered = ctx.Session().Link().QueryVersion(LinkSerial, version);
        if (!answered)
            ctx.client.status.AddError(err::kHardware, "the unit did not answer");
        ctx.Answer(answered ? "0" : "1");
    });
    Add(
        tree, "*WAI", [](Context&) {}, nullptr);
}

void SystemCommands(std::vector<ScpiCommand>& tree)
{
    Add(tree, "SYSTem:ERRor[:NEXT]", nullptr,
        [](Context& ctx) { ctx.Answer(scpi::FormatErrorEntry(ctx.client.status.NextError())); });
    Add(tree, "SYSTem:ERRor:COUNt", nullptr,
        [](Context& ctx) { ctx.Answer(std::to_string(ctx.client.status.ErrorCount())); });
    Add(tree, "SYSTem:VERSion", nullptr, [](Context& ctx) { ctx.Answer("1999.0"); });
    Add(tree, "SYSTem:CHANnel[:COUNt]", nullptr,
        [](Context& ctx) { ctx.Answer(std::to_string(ctx.Model().ChannelsInUse())); });
    // The unit's own version text, as "VER" gave it (*IDN? has it made safe
    // for a comma-separated field).
    Add(tree, "SYSTem:UNIT:VERSion", nullptr,
        [](Context& ctx) { ctx.Answer(Quoted(Cp932ToUtf8(ctx.Model().versionText))); });
    Add(tree, "SYSTem:CONNected", nullptr, [](Context& ctx) { ctx.Answer(ctx.Session().IsConnected() ? "1" : "0"); });
    auto lock = [](Context& ctx, bool take) {
        if (!ctx.inst.Lock(ctx.id, ctx.client.peer, take))
            ctx.Error(err::kSettingsConflict, "another client holds the lock");
    };
    Add(
        tree, "SYSTem:RWLock", [lock](Context& ctx) { lock(ctx, true); }, nullptr);
    Add(
        tree, "SYSTem:LOCal", [lock](Context& ctx) { lock(ctx, false); }, nullptr);
    Add(
        tree, "SYSTem:REMote", [lock](Context& ctx) { lock(ctx, false); }, nullptr);
    Add(tree, "SYSTem:REPort", nullptr, [](Context& ctx) {
        if (!NeedConnection(ctx))
            return;
        const ScopedFlag paused = ctx.Session().PausePolling();
        const GeneratorReportRun run = ReadGeneratorReport(ctx.Session().Link(), ctx.Model());
        if (!run.Ok()) {
            ctx.Error(err::kHardware, English(kReportCommErrorText));
            return;
        }
        const std::string length = std::to_string(run.text.size());
        ctx.Answer("#" + std::to_string(length.size()) + length + run.text);
    });

    // STATus:QUEStionable and STATus:OPERation
    for (const bool questionable : {true, false}) {
        const std::string base = questionable ? "STATus:QUEStionable" : "STATus:OPERation";
        auto reg = [questionable](Context& ctx) -> scpi::EventRegister& {
            return questionable ? ctx.client.status.Questionable() : ctx.client.status.Operation();
        };
        Add(tree, base + "[:EVENt]", nullptr, [reg](Context& ctx) {
            ctx.inst.UpdateConditions();
            ctx.Answer(std::to_string(reg(ctx).ReadEvent()));
        });
        Add(tree, base + ":CONDition", nullptr, [reg](Context& ctx) {
            ctx.inst.UpdateConditions();
            ctx.Answer(std::to_string(reg(ctx).Condition()));
        });
        Add(
            tree, base + ":ENABle",
            [reg](Context& ctx) {
                if (!ParamCount(ctx, 1, 1))
                    return;
                if (const auto v = IntegerParam(ctx, 0, 0, 65535))
                    reg(ctx).SetEnable(static_cast<std::uint16_t>(*v));
            },
            [reg](Context& ctx) { ctx.Answer(std::to_string(reg(ctx).Enable())); });
    }
    Add(
        tree, "STATus:PRESet", [](Context& ctx) { ctx.client.status.Preset(); }, nullptr);
}

void ChannelCommands(std::vector<ScpiCommand>& tree)
{
    Add(
        tree, "[SOURce#]:RANGe",
        [](Context& ctx) {
            if (!ParamCount(ctx, 1, 1))
                return;
            const Param& p = ctx.Params()[0];
            std::optional<int> code;
            if (p.kind == Param::Kind::Number) {
                const auto n = IntegerParam(ctx, 0, 0, kSlotCount - 1);
                if (!n)
                    return;
                code = static_cast<int>(*n);
            } else {
                // The keys are case-sensitive names ("4_20mA"); a client
                // typing them as character data sends them in any case.
                for (int k = 0; k < kSlotCount && !code; ++k) {
                    const std::string key = RangeKey(k);
                    if (!key.empty() && k != kConversionSlot && key.size() == p.text.size() &&
                        std::equal(key.begin(), key.end(), p.text.begin(), [](char a, char b) {
                            return std::toupper(static_cast<unsigned char>(a)) ==
                                std::toupper(static_cast<unsigned char>(b));
                        }))
                        code = k;
                }
            }
            if (!code || !IsValidRangeCode(*code) || *code == kConversionSlot) {
                ctx.Error(err::kIllegalParameterValue, "no such range");
                return;
            }
            if (!NeedConnection(ctx))
                return;
            Apply(ctx, ctx.Ops().SelectRange(ctx.channel, *code));
        },
        [](Context& ctx) {
            const int code = ctx.Model().channels[static_cast<std::size_t>(ctx.channel)].rangeCode;
            ctx.Answer(Quoted(RangeKey(code)));
        });
    Add(tree, "[SOURce#]:FUNCtion[:MODE]", nullptr, [](Context& ctx) {
        const int code = ctx.Model().channels[static_cast<std::size_t>(ctx.channel)].rangeCode;
        ctx.Answer(IsCurrentRange(code) ? "CURR" : "VOLT");
    });
    LevelCommands(tree, true);
    LevelCommands(tree, false);
    Add(
        tree, "OUTPut#[:STATe]",
        [](Context& ctx) {
            if (!ParamCount(ctx, 1, 1))
                return;
            if (const auto on = BoolParam(ctx, 0))
                Apply(ctx, ctx.Ops().SetOutput(ctx.channel, *on));
        },
        [](Context& ctx) { ctx.Answer(ctx.Model().IsOutputOn(ctx.channel) ? "1" : "0"); });
    // The channel's last status reply: range code, status word, external
    // status word, adjustment select word.
    Add(tree, "[SOURce#]:STATus:WORDs", nullptr, [](Context& ctx) {
        const ChannelSettings& s = ctx.Model().channels[static_cast<std::size_t>(ctx.channel)];
        const int slot = s.rangeCode >= 0 && s.rangeCode < kSlotCount ? s.rangeCode : 0;
        ctx.Answer(std::to_string(s.rangeCode) + "," + std::to_string(s.statusWord) + "," +
                   std::to_string(s.extStatusWord) + "," +
                   std::to_string(s.userAdjustment[static_cast<std::size_t>(slot)].adjustSelect));
    });
    Add(tree, "[SOURce#]:ALARm", nullptr, [](Context& ctx) {
        const int code = ctx.Model().AlarmCode(ctx.channel);
        ctx.Answer(std::to_string(code) + "," + Quoted(English(AlarmText(code))));
    });

    // The conversion formula.
    Add(
        tree, "[SOURce#]:CONVersion[:STATe]",
        [](Context& ctx) {
            if (!ParamCount(ctx, 1, 1))
                return;
            if (const auto on = BoolParam(ctx, 0))
                Apply(ctx, ctx.Ops().SetConversionMode(ctx.channel, *on));
        },
        [](Context& ctx) {
            ctx.Answer(ctx.Model().channels[static_cast<std::size_t>(ctx.channel)].useConversion ? "1" : "0");
        });
    // One end or the decimals at a time, through the formula dialog's
    // checks on the texts it would have been typed as.
    enum class Part { Lower, Upper, Decimals };
    for (const Part part : {Part::Lower, Part::Upper, Part::Decimals}) {
        const char* header = part == Part::Lower ? "[SOURce#]:CONVersion:LOWer"
            : part == Part::Upper                ? "[SOURce#]:CONVersion:UPPer"
                                                 : "[SOURce#]:CONVersion:DECimals";
        Add(
            tree, header,
            [part](Context& ctx) {
                if (!ParamCount(ctx, 1, 1))
                    return;
                const ChannelSettings& s = ctx.Model().channels[static_cast<std::size_t>(ctx.channel)];
                double lo = s.convMin;
                double hi = s.convMax;
                int decimals = std::clamp(s.convDecimals, 0, kMaxDecimals);
                if (part == Part::Decimals) {
                    const auto d = IntegerParam(ctx, 0, 0, kMaxDecimals);
                    if (!d)
                        return;
                    decimals = static_cast<int>(*d);
                } else {
                    const auto v = NumberParam(ctx, 0, Unit::None);
                    if (!v)
                        return;
                    (part == Part::Lower ? lo : hi) = *v;
                }
                const ConversionCheck check =
                    CheckConversionTexts(FieldNumber(lo, decimals), FieldNumber(hi, decimals));
                if (check.error != ConversionError::None) {
                    ctx.Error(err::kIllegalParameterValue, English(ConversionErrorText(check.error)));
                    return;
                }
                Apply(ctx, ctx.Ops().SetConversion(ctx.channel, check.convMin, check.convMax, decimals));
            },
            [part](Context& ctx) {
                const ChannelSettings& s = ctx.Model().channels[static_cast<std::size_t>(ctx.channel)];
                if (part == Part::Decimals)
                    ctx.Answer(std::to_string(s.convDecimals));
                else
                    ctx.Answer(Nr3(part == Part::Lower ? s.convMin : s.convMax));
            });
    }
    Add(
        tree, "[SOURce#]:CONVersion:LEVel",
        [](Context& ctx) {
            if (!ParamCount(ctx, 1, 1))
                return;
            const ChannelSettings& s = ctx.Model().channels[static_cast<std::size_t>(ctx.channel)];
            if (!s.useConversion) {
                ctx.Error(err::kSettingsConflict, "the conversion formula is not in use");
                return;
            }
            const RangeInfo limits = ctx.Model().ChannelLimits(ctx.channel);
            const auto v =
                NumberParam(ctx, 0, Unit::None,
                            {std::fmin(limits.lower, limits.upper), std::fmax(limits.lower, limits.upper), s.convMin});
            if (!v || !NeedConnection(ctx))
                return;
            if (!ctx.Session().IsAutoOutputStopped(ctx.channel)) {
                Refused(ctx, {OpRefusal::AutoOutputRunning, {}});
                return;
            }
            Apply(ctx, ctx.Ops().SetSetValue(ctx.channel, *v, LimitPolicy::Refuse));
        },
        [](Context& ctx) {
            const ChannelSettings& s = ctx.Model().channels[static_cast<std::size_t>(ctx.channel)];
            if (!s.useConversion) {
                ctx.Error(err::kSettingsConflict, "the conversion formula is not in use");
                return;
            }
            ctx.Answer(Nr3(s.setValue));
        });

    // The presets of the slot in use.
    Add(
        tree, "[SOURce#]:PRESet[:APPLy]",
        [](Context& ctx) {
            if (!ParamCount(ctx, 1, 1))
                return;
            const auto k = IntegerParam(ctx, 0, 1, kPresetCount);
            if (!k || !NeedConnection(ctx))
                return;
            Apply(ctx, ctx.Ops().ApplyPreset(ctx.channel, static_cast<int>(*k) - 1));
        },
        nullptr);
    Add(
        tree, "[SOURce#]:PRESet:VALues",
        [](Context& ctx) {
            if (!ParamCount(ctx, kPresetCount, kPresetCount))
                return;
            const RangeInfo limits = ctx.Model().ChannelLimits(ctx.channel);
            PresetTexts texts;
            for (std::size_t k = 0; k < kPresetCount; ++k) {
                const auto v = AutoValueParam(ctx, k);
                if (!v)
                    return;
                texts[k] = FieldNumber(*v, limits.decimals);
            }
            const PresetCheck check = CheckPresetTexts(texts, {limits.lower, limits.upper, limits.decimals});
            if (check.error != PresetError::None) {
                ctx.Error(check.error == PresetError::OutOfRange ? err::kDataOutOfRange : err::kIllegalParameterValue,
                          English(PresetErrorText(check.error)) + " (preset " + std::to_string(check.index + 1) + ")");
                return;
            }
            Apply(ctx, ctx.Ops().SetPresets(ctx.channel, check.values));
        },
        [](Context& ctx) {
            const GeneratorModel& m = ctx.Model();
            const int slot = m.ActiveSlot(ctx.channel);
            if (slot == kNoSlot) {
                Refused(ctx, {OpRefusal::NoRange, {}});
                return;
            }
            std::string list;
            for (double v : m.channels[static_cast<std::size_t>(ctx.channel)].presets[static_cast<std::size_t>(slot)])
                list += (list.empty() ? "" : ",") + AutoValueText(m, ctx.channel, v);
            ctx.Answer(list);
        });
}

void AutoCommands(std::vector<ScpiCommand>& tree)
{
    Add(
        tree, "[SOURce#]:AUTO:MODE",
        [](Context& ctx) {
            if (!ParamCount(ctx, 1, 1))
                return;
            const Param& p = ctx.Params()[0];
            std::int32_t mode = -1;
            if (IsMnemonic(p, "SAWTooth"))
                mode = kAutoSawtooth;
            else if (IsMnemonic(p, "TRIangle"))
                mode = kAutoTriangle;
            else if (IsMnemonic(p, "LIST"))
                mode = kAutoArbitrary;
            if (mode < 0) {
                ctx.Error(p.kind == Param::Kind::Mnemonic ? err::kIllegalParameterValue : err::kDataType);
                return;
            }
            auto& draft = ctx.inst.Draft(ctx.channel);
            const bool useDraft = mode == kAutoArbitrary && !draft.values.empty() &&
                (draft.dwells.size() == draft.values.size() || draft.dwells.size() == 1);
            ArbitraryTable table;
            if (useDraft) {
                for (std::size_t r = 0; r < draft.values.size(); ++r) {
                    const int decimals = ctx.Model().ChannelLimits(ctx.channel).decimals;
                    table[r].value = FieldNumber(draft.values[r], decimals);
                    table[r].interval = SecondsText(draft.dwells.size() == 1 ? draft.dwells[0] : draft.dwells[r]);
                }
            }
            // A ramp takes the fields held while the slot was a list.
            auto& ramp = ctx.inst.Ramp(ctx.channel);
            const bool wave = mode != kAutoArbitrary;
            const int decimals = ctx.Model().ChannelLimits(ctx.channel).decimals;
            const auto change = [&](AutoOutFieldTexts& t, std::int32_t& m) {
                m = mode;
                if (!wave)
                    return;
                if (ramp.begin)
                    t.start = FieldNumber(*ramp.begin, decimals);
                if (ramp.end)
                    t.end = FieldNumber(*ramp.end, decimals);
                if (ramp.step)
                    t.step = FieldNumber(*ramp.step, decimals);
                if (ramp.interval)
                    t.interval = SecondsText(*ramp.interval);
            };
            if (!ChangeSlot(ctx, change, useDraft ? &table : nullptr))
                return;
            if (useDraft)
                draft = {};
            if (wave)
                ramp = {};
        },
        [](Context& ctx) {
            if (const AutoOutputSlot* slot = SlotInUse(ctx))
                ctx.Answer(slot->mode == kAutoArbitrary ? "LIST" : slot->mode == kAutoTriangle ? "TRI" : "SAWT");
        });

    enum class Field { Begin, End, Step, Interval, Count };
    // The held ramp's slot of a field other than Count.
    const auto RampField = [](ScpiInstrument::RampDraft& ramp, Field field) {
        return field == Field::Begin ? &ramp.begin
            : field == Field::End    ? &ramp.end
            : field == Field::Step   ? &ramp.step
                                     : &ramp.interval;
    };
    struct RampHeader {
        const char* header;
        Field field;
    };
    for (const RampHeader& h : {RampHeader{"[SOURce#]:RAMP:BEGin", Field::Begin},
                                {"[SOURce#]:RAMP:END", Field::End},
                                {"[SOURce#]:RAMP:STEP", Field::Step},
                                {"[SOURce#]:RAMP:INTerval", Field::Interval},
                                {"[SOURce#]:RAMP:COUNt", Field::Count},
                                {"[SOURce#]:LIST:COUNt", Field::Count}}) {
        const Field field = h.field;
        Add(
            tree, h.header,
            [field, RampField](Context& ctx) {
                if (!ParamCount(ctx, 1, 1))
                    return;
                std::string text;
                const int decimals = ctx.Model().ChannelLimits(ctx.channel).decimals;
                std::optional<double> value;
                if (field == Field::Count) {
                    const auto n = IntegerParam(ctx, 0, 0, kMaxAutoRepeat);
                    if (!n)
                        return;
                    text = std::to_string(*n);
                } else if (field == Field::Interval) {
                    if (!(value = NumberParam(ctx, 0, Unit::Second)))
                        return;
                    text = SecondsText(*value);
                } else {
                    if (!(value = AutoValueParam(ctx, 0)))
                        return;
                    if (field == Field::Step)
                        value = std::fabs(*value);
                    text = FieldNumber(*value, decimals);
                }
                if (value) {
                    const AutoOutputSlot* slot = SlotInUse(ctx);
                    if (slot == nullptr)
                        return;
                    if (slot->mode == kAutoArbitrary) {
                        *RampField(ctx.inst.Ramp(ctx.channel), field) = value;
                        return;
                    }
                }
                ChangeSlot(ctx, [field, text](AutoOutFieldTexts& t, std::int32_t&) {
                    switch (field) {
                    case Field::Begin:
                        t.start = text;
                        break;
                    case Field::End:
                        t.end = text;
                        break;
                    case Field::Step:
                        t.step = text;
                        break;
                    case Field::Interval:
                        t.interval = text;
                        break;
                    case Field::Count:
                        t.repeat = text;
                        break;
                    }
                });
            },
            [field, RampField](Context& ctx) {
                const AutoOutputSlot* slot = SlotInUse(ctx);
                if (slot == nullptr)
                    return;
                const GeneratorModel& m = ctx.Model();
                // A field held for the ramp to come answers as it was sent.
                if (field != Field::Count && slot->mode == kAutoArbitrary) {
                    if (const std::optional<double>& held = *RampField(ctx.inst.Ramp(ctx.channel), field)) {
                        ctx.Answer(field == Field::Interval ? Nr3(*held) : AutoValueText(m, ctx.channel, *held));
                        return;
                    }
                }
                switch (field) {
                case Field::Begin:
                    ctx.Answer(AutoValueText(m, ctx.channel, slot->start));
                    break;
                case Field::End:
                    ctx.Answer(AutoValueText(m, ctx.channel, slot->end));
                    break;
                case Field::Step:
                    ctx.Answer(AutoValueText(m, ctx.channel, std::fabs(slot->step)));
                    break;
                case Field::Interval:
                    ctx.Answer(Nr3(slot->interval / 10.0));
                    break;
                case Field::Count:
                    ctx.Answer(std::to_string(slot->repeat));
                    break;
                }
            });
    }

    // The list: values and dwells arrive one command each.
    for (const bool values : {true, false}) {
        Add(
            tree, values ? "[SOURce#]:LIST:VALues" : "[SOURce#]:LIST:DWELl",
            [values](Context& ctx) {
                if (!ParamCount(ctx, 1, kArbitraryPointCount))
                    return;
                std::vector<double> list;
                for (std::size_t i = 0; i < ctx.Params().size(); ++i) {
                    const auto v = values ? AutoValueParam(ctx, i) : NumberParam(ctx, i, Unit::Second);
                    if (!v)
                        return;
                    list.push_back(*v);
                }
                auto& draft = ctx.inst.Draft(ctx.channel);
                (values ? draft.values : draft.dwells) = std::move(list);
                const AutoOutputSlot* slot = SlotInUse(ctx);
                if (slot == nullptr || slot->mode != kAutoArbitrary || draft.values.empty() ||
                    (draft.dwells.size() != draft.values.size() && draft.dwells.size() != 1))
                    return; // kept until the other half, or the LIST mode, comes
                ArbitraryTable table;
                const int decimals = ctx.Model().ChannelLimits(ctx.channel).decimals;
                for (std::size_t r = 0; r < draft.values.size(); ++r) {
                    table[r].value = FieldNumber(draft.values[r], decimals);
                    table[r].interval = SecondsText(draft.dwells.size() == 1 ? draft.dwells[0] : draft.dwells[r]);
                }
                if (ChangeSlot(
                        ctx, [](AutoOutFieldTexts&, std::int32_t&) {}, &table))
                    draft = {};
            },
            [values](Context& ctx) {
                const auto& draft = ctx.inst.Draft(ctx.channel);
                const std::vector<double>& pending = values ? draft.values : draft.dwells;
                std::string list;
                if (!pending.empty()) {
                    for (double v : pending)
                        list +=
                            (list.empty() ? "" : ",") + (values ? AutoValueText(ctx.Model(), ctx.channel, v) : Nr3(v));
                    ctx.Answer(list);
                    return;
                }
                for (const ArbitraryPoint& p : ctx.Doc().m_autoOutput[static_cast<std::size_t>(ctx.channel)].points) {
                    if (!p.used)
                        break;
                    list += (list.empty() ? "" : ",") +
                        (values ? AutoValueText(ctx.Model(), ctx.channel, p.value) : Nr3(p.interval / 10.0));
                }
                ctx.Answer(list);
            });
    }
    Add(tree, "[SOURce#]:LIST:POINts", nullptr, [](Context& ctx) {
        int used = 0;
        for (const ArbitraryPoint& p : ctx.Doc().m_autoOutput[static_cast<std::size_t>(ctx.channel)].points) {
            if (!p.used)
                break;
            ++used;
        }
        ctx.Answer(std::to_string(used));
    });

    Add(
        tree, "INITiate#[:IMMediate]",
        [](Context& ctx) {
            const auto& draft = ctx.inst.Draft(ctx.channel);
            if (!draft.values.empty() || !draft.dwells.empty()) {
                ctx.Error(err::kSettingsConflict,
                          "LIST:VALues and LIST:DWELl differ in length, or the mode is not LIST");
                return;
            }
            // Started now, the list would run in place of the ramp sent.
            const auto& ramp = ctx.inst.Ramp(ctx.channel);
            const AutoOutputSlot* slot = SlotInUse(ctx);
            if (slot == nullptr)
                return;
            if (slot->mode == kAutoArbitrary && (ramp.begin || ramp.end || ramp.step || ramp.interval)) {
                ctx.Error(err::kSettingsConflict, "RAMP values wait for AUTO:MODE SAWTooth or TRIangle");
                return;
            }
            Apply(ctx, ctx.Ops().StartAutoOutput(ctx.channel));
        },
        nullptr);
    Add(
        tree, "[SOURce#]:AUTO:PAUSe", [](Context& ctx) { Apply(ctx, ctx.Ops().PauseAutoOutput(ctx.channel)); },
        nullptr);
    Add(
        tree, "ABORt#", [](Context& ctx) { Apply(ctx, ctx.Ops().StopAutoOutput(ctx.channel)); }, nullptr);
    Add(tree, "[SOURce#]:AUTO:STATe", nullptr, [](Context& ctx) {
        const std::int32_t run = ctx.Doc().m_autoOutput[static_cast<std::size_t>(ctx.channel)].runState;
        ctx.Answer(run == kAutoRunning ? "RUN" : run == kAutoPaused ? "PAUS" : "STOP");
    });
    // The value the automatic output last put out, for a client that follows
    // its steps (velmoractl auto): the run state, the value in the units
    // RAMP and LIST take, every digit kept, the completed cycles, the table
    // row (1-100; 0 for a ramp) and when the value was due, in milliseconds
    // on the program's clock. Each value put out moves the due time on, so a
    // new due time is a new step; a catch-up after an outage shows as more
    // than one interval.
    Add(tree, "[SOURce#]:AUTO:LAST", nullptr, [](Context& ctx) {
        const AutoOutputSlot* slot = SlotInUse(ctx);
        if (slot == nullptr)
            return;
        const AutoOutputState& a = ctx.Doc().m_autoOutput[static_cast<std::size_t>(ctx.channel)];
        const bool list = slot->mode == kAutoArbitrary;
        const int row = std::clamp(a.pointIndex, 0, kArbitraryPointCount - 1);
        // The next step is due one interval, of the value's own row, after it.
        const std::int32_t interval = list ? a.points[static_cast<std::size_t>(row)].interval : slot->interval;
        const std::int64_t due = a.nextStepTime - std::int64_t{interval} * kMillisPerTenth;
        const GeneratorModel& m = ctx.Model();
        std::array<char, 40> value{};
        std::snprintf(value.data(), value.size(), "%.15E",
                      AutoValue(m, ctx.channel, m.channels[static_cast<std::size_t>(ctx.channel)].setValue));
        const char* run = a.runState == kAutoRunning ? "RUN" : a.runState == kAutoPaused ? "PAUS" : "STOP";
        ctx.Answer(std::string(run) + "," + value.data() + "," + std::to_string(a.cycleCount) + "," +
                   std::to_string(list ? row + 1 : 0) + "," + std::to_string(due));
    });
}

} // namespace

// ---------------------------------------------------------------------------
// The loop check, run by a client: velmoractl through a running program, a
// test executive. One test at a time; the client that started it reads the
// state, gives the readings and may abort it.

namespace {

// Shortest text that reads back as the same number: the results' errors
// and readings go on unrounded, as the program keeps them.
std::string Exact(double value)
{
    std::array<char, 32> text{};
    const auto r = std::to_chars(text.data(), text.data() + text.size(), value == 0.0 ? 0.0 : value);
    return std::string(text.data(), r.ptr);
}

std::optional<std::string> StringParam(Context& ctx, std::size_t i)
{
    const Param& p = ctx.Params()[i];
    if (p.kind != Param::Kind::String) {
        ctx.Error(err::kDataType);
        return std::nullopt;
    }
    return p.text;
}

std::string UpperKey(std::string key)
{
    for (char& ch : key)
        ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    return key;
}

// Why a test cannot start, in the client's words.
std::string StartRefusal(LoopStartRefusal refusal, const LoopTag& tag, const GeneratorModel& model)
{
    switch (refusal) {
    case LoopStartRefusal::Busy:
        return "a loop check is running";
    case LoopStartRefusal::InvalidTag:
        return "the tag breaks a rule: " + ValidateTag(tag).value_or(TagProblem{}).message;
    case LoopStartRefusal::NoTechnician:
        return "the technician's name is empty or holds control characters";
    case LoopStartRefusal::NotConnected:
        return "the unit is not connected";
    case LoopStartRefusal::NoSuchChannel:
        return "the unit has no channel " + std::to_string(tag.channel);
    case LoopStartRefusal::WrongRange: {
        const auto& s = model.channels[static_cast<std::size_t>(tag.ChannelIndex())];
        return "channel " + std::to_string(tag.channel) + " is on " + RangeKey(s.rangeCode) + ", the tag on " +
            tag.range;
    }
    case LoopStartRefusal::AutoOutputRunning:
        return "an automatic output runs on channel " + std::to_string(tag.channel);
    case LoopStartRefusal::None:
        break;
    }
    return {};
}

} // namespace

void LoopCheckCommands(std::vector<ScpiCommand>& tree)
{
    // LCHeck:STARt "TAG","TECHNICIAN"[,FOUNd|LEFT[,"REMARK"[,ID,"REASON"]]]
    Add(tree, "LCHeck:STARt",
        [](Context& ctx) {
            if (!ParamCount(ctx, 2, 6))
                return;
            const auto tagName = StringParam(ctx, 0);
            const auto technician = tagName ? StringParam(ctx, 1) : std::nullopt;
            if (!technician)
                return;
            LoopTestRequest request;
            if (ctx.Params().size() > 2) {
                const Param& kind = ctx.Params()[2];
                if (IsMnemonic(kind, "FOUNd")) {
                    request.asLeft = false;
                } else if (IsMnemonic(kind, "LEFT")) {
                    request.asLeft = true;
                } else {
                    ctx.Error(kind.kind == Param::Kind::Mnemonic ? err::kIllegalParameterValue : err::kDataType);
                    return;
                }
            }
            if (ctx.Params().size() > 3) {
                const auto remark = StringParam(ctx, 3);
                if (!remark)
                    return;
                request.remark = *remark;
            }
            if (ctx.Params().size() == 5) {
                ctx.Error(err::kMissingParameter, "a correction names its reason");
                return;
            }
            if (ctx.Params().size() == 6) {
                const auto id = IntegerParam(ctx, 4, 1, std::numeric_limits<int>::max());
                const auto reason = id ? StringParam(ctx, 5) : std::nullopt;
                if (!reason)
                    return;
                request.supersedes = *id;
                request.supersedeReason = *reason;
            }
            ScpiInstrument& inst = ctx.inst;
            if (inst.m_pLoopCheck && inst.m_pLoopCheck->Running()) {
                ctx.Error(err::kSettingsConflict, "a loop check is running");
                return;
            }
            if (!inst.m_pLoopDb) {
                auto db = std::make_unique<LoopCheckDatabase>();
                if (db->Open(DefaultLoopCheckPath()) != LoopDbOpenResult::Ok) {
                    ctx.Error(err::kExecution, "the loop check's database cannot be opened: " + db->LastError());
                    return;
                }
                inst.m_pLoopDb = std::move(db);
            }
            const auto tag = inst.m_pLoopDb->FindTag(*tagName);
            if (!tag) {
                ctx.Error(err::kIllegalParameterValue, "there is no tag " + *tagName);
                return;
            }
            if (request.supersedes) {
                const auto corrected = inst.m_pLoopDb->Result(*request.supersedes);
                if (!corrected || corrected->tag.name != tag->name) {
                    ctx.Error(err::kIllegalParameterValue,
                              "there is no result " + std::to_string(*request.supersedes) + " of " + tag->name);
                    return;
                }
            }
            request.tag = *tag;
            request.technician = *technician;
            // The test before goes, its result long kept.
            inst.m_pLoopCheck.reset();
            auto test =
                std::make_unique<LoopCheckProcedure>(inst.m_pSession, ctx.Session().Link().GetClock(), *inst.m_pLoopDb);
            const LoopStart started = test->Start(request);
            if (!started.Started()) {
                ctx.Error(started.refusal == LoopStartRefusal::NotConnected ? err::kHardwareMissing
                                                                            : err::kSettingsConflict,
                          StartRefusal(started.refusal, request.tag, ctx.Model()));
                return;
            }
            inst.m_pLoopCheck = std::move(test);
            inst.m_loopOwner = ctx.id;
        },
        {});
    // State, point (1 based), points, nominal %, signal, its unit, the
    // expected reading, whole seconds of the settle time left.
    Add(tree, "LCHeck:STATe", {}, [](Context& ctx) {
        LoopCheckProcedure* test = ctx.inst.m_pLoopCheck.get();
        if (test == nullptr) {
            ctx.Answer("IDLE,0,0,0,0,\"\",0,0");
            return;
        }
        test->Tick();
        const char* state = "IDLE";
        switch (test->GetState()) {
        case LoopCheckProcedure::State::Idle:
            break;
        case LoopCheckProcedure::State::Settling:
            state = "SETT";
            break;
        case LoopCheckProcedure::State::AwaitingReading:
            state = "READ";
            break;
        case LoopCheckProcedure::State::Done:
            state = "DONE";
            break;
        case LoopCheckProcedure::State::Aborted:
            state = "ABOR";
            break;
        }
        const bool running = test->Running();
        ctx.Answer(std::string(state) + "," + std::to_string(running ? test->PointIndex() + 1 : test->Points().size()) +
                   "," + std::to_string(test->PointCount()) + "," + Exact(running ? test->PointPercent() : 0.0) + "," +
                   Exact(running ? test->PointSignal() : 0.0) + "," + Quoted(test->SignalUnit()) + "," +
                   Exact(running ? test->PointExpected() : 0.0) + "," +
                   std::to_string(running ? test->SettleSecondsLeft() : 0));
    });
    Add(tree, "LCHeck:READing",
        [](Context& ctx) {
            if (!ParamCount(ctx, 1, 1))
                return;
            const auto reading = NumberParam(ctx, 0, Unit::None);
            if (!reading)
                return;
            LoopCheckProcedure* test = ctx.inst.m_pLoopCheck.get();
            if (test == nullptr || test->TakeReading(*reading) != ReadingRefusal::None)
                ctx.Error(err::kSettingsConflict, "no reading is due");
        },
        {});
    // A point read: nominal %, signal, its unit, code, expected, reading,
    // error in % of span, verdict.
    Add(tree, "LCHeck:POINt", {}, [](Context& ctx) {
        if (!ParamCount(ctx, 1, 1))
            return;
        LoopCheckProcedure* test = ctx.inst.m_pLoopCheck.get();
        const long long read = test != nullptr ? static_cast<long long>(test->Points().size()) : 0;
        const auto n = IntegerParam(ctx, 0, 1, std::max(1LL, read));
        if (!n)
            return;
        if (read == 0) {
            ctx.Error(err::kSettingsConflict, "no point has been read");
            return;
        }
        const LoopPointResult& p = test->Points()[static_cast<std::size_t>(*n - 1)];
        ctx.Answer(Exact(p.percent) + "," + Exact(p.output) + "," + Quoted(p.signalUnit) + "," +
                   std::to_string(p.code) + "," + Exact(p.expected) + "," + Exact(p.reading) + "," +
                   Exact(p.errorPercent) + "," + UpperKey(PointVerdictKey(p.verdict)));
    });
    // The result once the test ended: id (0 when it could not be kept),
    // tag, kind, verdict, ending, hash, why it ended early.
    Add(tree, "LCHeck:RESult", {}, [](Context& ctx) {
        LoopCheckProcedure* test = ctx.inst.m_pLoopCheck.get();
        if (test != nullptr)
            test->Tick();
        if (test == nullptr || !test->Ended()) {
            ctx.Error(err::kSettingsConflict, "no loop check has ended");
            return;
        }
        const LoopResult& r = test->Result();
        ctx.Answer(std::to_string(r.id) + "," + Quoted(r.tag.name) + "," + UpperKey(LoopTestKindKey(r.kind)) + "," +
                   UpperKey(TestVerdictKey(r.verdict)) + "," + UpperKey(LoopTestEndingKey(r.ending)) + "," +
                   Quoted(r.hash) + "," + Quoted(r.endingDetail));
    });
    Add(tree, "LCHeck:ABORt",
        [](Context& ctx) {
            if (!ParamCount(ctx, 0, 0))
                return;
            if (LoopCheckProcedure* test = ctx.inst.m_pLoopCheck.get())
                test->Abort("aborted by " + ctx.client.peer);
        },
        {});
}

void BuildCommandTree(ScpiInstrument& instrument)
{
    std::vector<ScpiCommand>& tree = instrument.m_commands;
    CommonCommands(tree);
    SystemCommands(tree);
    ChannelCommands(tree);
    AutoCommands(tree);
    LoopCheckCommands(tree);
}

// ---------------------------------------------------------------------------
// Clients and messages

ScpiInstrument::ScpiInstrument(std::shared_ptr<PanelSession> session) : m_pSession(std::move(session))
{
    BuildCommandTree(*this);
    m_wireIdle = [this] { return m_pSession->Link().Wire().SettingsOnWire(); };
}

ScpiInstrument::~ScpiInstrument()
{
    // The test puts its channel back while the session is still there.
    m_pLoopCheck.reset();
}

bool ScpiInstrument::Ready() const
{
    return !m_ready || m_ready();
}

bool ScpiInstrument::WireIdle() const
{
    return !m_wireIdle || m_wireIdle();
}

ScpiInstrument::Client& ScpiInstrument::ClientOf(ClientId id)
{
    return m_clients[id];
}

void ScpiInstrument::ClientCame(ClientId id, const std::string& peer)
{
    ClientOf(id).peer = peer;
    Record("connected", peer);
    if (onEvent)
        onEvent(peer + " connected");
}

void ScpiInstrument::ClientRefused(const std::string& peer, const std::string& why)
{
    Record("refused", peer, why);
}

void ScpiInstrument::Record(const char* action, const std::string& peer, const std::string& text)
{
    if (RunRecorder* recorder = m_pSession->Recorder())
        recorder->Remote(action, peer, text);
}

void ScpiInstrument::ClientWent(ClientId id)
{
    const auto it = m_clients.find(id);
    if (it == m_clients.end())
        return;
    const std::string peer = it->second.peer;
    Record("went", peer);
    if (onEvent)
        onEvent(peer + " went");
    m_clients.erase(it);
    // A loop check its client left would hold the channel: it goes back.
    if (m_loopOwner == id && m_pLoopCheck && m_pLoopCheck->Running())
        m_pLoopCheck->Abort("the client went");
    if (m_lockHolder == id) {
        m_lockHolder = 0;
        // The panel is free again; without this the record would show it
        // held for ever.
        Record("unlock", peer);
        if (onLockChanged)
            onLockChanged(0);
    }
}

bool ScpiInstrument::Lock(ClientId id, const std::string& peer, bool take)
{
    const ClientId before = m_lockHolder;
    if (take && before != 0 && before != id)
        return false;
    if (take)
        m_lockHolder = id;
    else if (before == id)
        m_lockHolder = 0;
    if (m_lockHolder != before) {
        if (onLockChanged)
            onLockChanged(m_lockHolder);
        Record(take ? "lock" : "unlock", peer);
        if (onEvent)
            onEvent(peer + (take ? " took the panel's controls" : " gave the panel back"));
    }
    return true;
}

void ScpiInstrument::LineTooLong(ClientId id)
{
    ClientOf(id).status.AddError(err::kSyntax, "line longer than 64 KiB");
}

void ScpiInstrument::UpdateConditions()
{
    const CVelmoraDoc& doc = m_pSession->Document();
    std::uint16_t alarms = 0;
    std::uint16_t running = 0;
    for (int c = 0; c < doc.m_model.ChannelsInUse(); ++c) {
        if (doc.m_model.AlarmCode(c) != 0)
            alarms = static_cast<std::uint16_t>(alarms | (1u << c));
        if (doc.m_autoOutput[static_cast<std::size_t>(c)].runState == kAutoRunning)
            running = static_cast<std::uint16_t>(running | (1u << c));
    }
    for (auto& [id, client] : m_clients) {
        client.status.Questionable().SetCondition(alarms);
        client.status.Operation().SetCondition(running);
    }
}

LineService::Outcome ScpiInstrument::Execute(ClientId id, std::string_view line, std::string& response)
{
    Client& client = ClientOf(id);
    // What the message changes is put down to the client.
    const PanelSession::AskedBy asked(*m_pSession, record_source::kRemotePrefix + client.peer);
    scpi::ParsedMessage parsed = scpi::ParseProgramMessage(line);
    client.response.clear();
    client.anyQuery = false;
    const std::optional<scpi::ParseError> error = parsed.error;
    Outcome outcome = Run(id, client, std::move(parsed.units), response);
    // The grammar's error belongs after the units that ran before it.
    if (error) {
        client.status.AddError(error->code);
        if (outcome == Outcome::Held)
            client.held.clear();
    }
    return outcome;
}

LineService::Outcome ScpiInstrument::Resume(ClientId id, std::string& response)
{
    Client& client = ClientOf(id);
    if (!WireIdle())
        return Outcome::Held;
    const PanelSession::AskedBy asked(*m_pSession, record_source::kRemotePrefix + client.peer);
    std::vector<MessageUnit> rest = std::move(client.held);
    client.held.clear();
    return Run(id, client, std::move(rest), response);
}

ScpiInstrument::Outcome ScpiInstrument::Run(ClientId id, Client& client, std::vector<MessageUnit> units,
                                            std::string& response)
{
    UpdateConditions();
    std::vector<std::string> answers;
    for (std::size_t i = 0; i < units.size(); ++i) {
        const MessageUnit& unit = units[i];
        const bool waits = unit.common && unit.nodes.size() == 1 &&
            (scpi::MnemonicMatches(unit.nodes[0].mnemonic, "WAI") ||
             (unit.query && scpi::MnemonicMatches(unit.nodes[0].mnemonic, "OPC")));
        if (waits && !WireIdle()) {
            // The rest waits until the newest values are on the wire.
            for (const std::string& a : answers)
                client.response += (client.response.empty() ? "" : ";") + a;
            client.anyQuery = client.anyQuery || !answers.empty();
            client.held.assign(std::make_move_iterator(units.begin() + static_cast<std::ptrdiff_t>(i)),
                               std::make_move_iterator(units.end()));
            return Outcome::Held;
        }
        const ScpiCommand* found = nullptr;
        std::optional<int> suffix;
        for (const ScpiCommand& command : m_commands) {
            if ((suffix = command.pattern.Match(unit))) {
                found = &command;
                break;
            }
        }
        Context ctx{*this, client, id, unit, 0, answers};
        if (found == nullptr || (unit.query ? !found->query : !found->set)) {
            ctx.Error(err::kUndefinedHeader);
            continue;
        }
        if (found->channelled) {
            if (*suffix < 1 || *suffix > m_pSession->Document().m_model.ChannelsInUse()) {
                ctx.Error(err::kHeaderSuffixOutOfRange,
                          "the unit has " + std::to_string(m_pSession->Document().m_model.ChannelsInUse()) +
                              " channels");
                continue;
            }
            ctx.channel = *suffix - 1;
        }
        // A query that fails answers nothing (IEEE 488.2): its error is in
        // the queue.
        if (unit.query)
            found->query(ctx);
        else
            found->set(ctx);
    }
    for (const std::string& a : answers)
        client.response += (client.response.empty() ? "" : ";") + a;
    client.anyQuery = client.anyQuery || !answers.empty();
    if (client.anyQuery)
        response = client.response + "\n";
    client.response.clear();
    client.anyQuery = false;
    return Outcome::Done;
}

} // namespace velmora::remote
