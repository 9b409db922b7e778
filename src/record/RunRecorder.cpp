#include "record/RunRecorder.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "model/GeneratorModel.h"
#include "model/RangeTable.h"
#include "platform/Translate.h"
#include "record/RecordWriter.h"

namespace velmora {

RunRecorder::RunRecorder(RecordSink& sink, std::string ownSource, bool alarmsOnly)
    : m_sink(sink),
      m_bAlarmsOnly(alarmsOnly),
      m_sources{std::move(ownSource)}
{
}

int RunRecorder::OriginFor(const std::string& source)
{
    const auto it = std::find(m_sources.begin(), m_sources.end(), source);
    if (it != m_sources.end())
        return static_cast<int>(it - m_sources.begin());
    // Every remote connection is a source of its own (its port differs): a
    // server that runs for months must not collect them all. A frame still
    // queued under a forgotten number is put down to the program.
    if (m_sources.size() >= kMaxSources)
        m_sources.resize(1);
    m_sources.push_back(source);
    return static_cast<int>(m_sources.size()) - 1;
}

const std::string& RunRecorder::SourceOf(int origin) const
{
    if (origin < 0 || static_cast<std::size_t>(origin) >= m_sources.size())
        return m_sources.front();
    return m_sources[static_cast<std::size_t>(origin)];
}

void RunRecorder::Append(RecordEvent event, int origin)
{
    if (m_bAlarmsOnly && event.kind != record_kind::kAlarm)
        return;
    event.source = SourceOf(origin);
    if (!m_port.empty() && !event.Has(RecordField::Port))
        event.Set(RecordField::Port, RecordValue(m_port));
    m_sink.Append(std::move(event));
}

void RunRecorder::Note(RecordEvent event)
{
    Append(std::move(event), m_current);
}

void RunRecorder::Connected(const std::string& port, const std::string& version, int channels,
                            const std::string& serial)
{
    m_port = port;
    RecordEvent e;
    e.kind = std::string(record_kind::kConnect);
    e.Set(RecordField::Port, RecordValue(port));
    e.Set(RecordField::Version, RecordValue(version));
    e.Set(RecordField::Channels, channels);
    if (!serial.empty())
        e.Set(RecordField::Serial, RecordValue(serial));
    ResetAlarms();
    Append(std::move(e), m_current);
}

void RunRecorder::Disconnected(bool lost)
{
    RecordEvent e;
    e.kind = std::string(lost ? record_kind::kLost : record_kind::kDisconnect);
    Append(std::move(e), m_current);
}

void RunRecorder::SettingsSent(int ch, const SettingsSnapshot& s, int origin)
{
    RecordEvent e;
    e.kind = std::string(record_kind::kSettings);
    e.Set(RecordField::Channel, ch + 1);
    const std::string key = RangeKey(s.rangeCode);
    e.Set(RecordField::Range, RecordValue(key.empty() ? std::to_string(s.rangeCode) : key));
    // The output in the range's own unit: under the formula the set value is
    // in engineering units and maps linearly onto the range.
    const RangeInfo range = GetRangeInfo(s.rangeCode);
    // Kept to the six decimals any value is ever shown with: an automatic
    // output's sums (6.999999999999999) are not a value anybody set.
    const auto held = [](double v) {
        const double scale = DecimalScale(kMaxDecimals);
        return std::isfinite(v) ? std::round(v * scale) / scale : v;
    };
    double value = s.setValue;
    if (s.useConversion) {
        e.Set(RecordField::Eng, RecordValue(held(s.setValue)));
        const double span = s.convMax - s.convMin;
        value = span != 0.0 ? range.lower + (s.setValue - s.convMin) / span * (range.upper - range.lower) : range.lower;
    }
    e.Set(RecordField::Value, RecordValue(held(value)));
    if (IsValidRangeCode(s.rangeCode))
        e.Set(RecordField::Unit, IsCurrentRange(s.rangeCode) ? "mA" : "V");
    e.Set(RecordField::On, RecordValue(s.outputOn));
    e.Set(RecordField::Code, static_cast<int>(s.dacCode));
    Append(std::move(e), origin);
}

void RunRecorder::TrackAlarms(const GeneratorModel& model)
{
    for (int ch = 0; ch < model.ChannelsInUse(); ++ch) {
        const int code = model.AlarmCode(ch);
        int& last = m_alarms[static_cast<std::size_t>(ch)];
        if (code == last)
            continue;
        const bool first = last == kAlarmUnknown;
        last = code;
        const ChannelSettings& s = model.channels[static_cast<std::size_t>(ch)];
        RecordEvent e;
        e.kind = std::string(record_kind::kAlarm);
        e.Set(RecordField::Channel, ch + 1);
        e.Set(RecordField::Raised, RecordValue(code != 0));
        // The first status after a start is the state found, not a change.
        if (first)
            e.Set(RecordField::Action, "state");
        e.Set(RecordField::Code, code);
        char words[32];
        std::snprintf(words, sizeof words, "%04X %04X", s.statusWord, s.extStatusWord);
        e.Set(RecordField::Status, words);
        // The alarm's own name, as the panel and the unit's status give it,
        // whatever language the program that saw it speaks.
        if (const std::string text = AlarmText(code); !text.empty())
            e.Set(RecordField::Text, RecordValue(text));
        Append(std::move(e), m_current);
    }
}

void RunRecorder::AutoOutput(int ch, const char* action, int mode, int slot)
{
    static constexpr const char* kModes[] = {"sawtooth", "triangle", "arbitrary"};
    RecordEvent e;
    e.kind = std::string(record_kind::kAuto);
    e.Set(RecordField::Channel, ch + 1);
    e.Set(RecordField::Action, action);
    if (mode >= 0 && mode < 3)
        e.Set(RecordField::Mode, kModes[mode]);
    if (slot >= 0)
        e.Set(RecordField::Slot, slot);
    Append(std::move(e), m_current);
}

void RunRecorder::Adjust(const char* action, int ch, int rangeCode, const char* kind, const std::string& values,
                         bool acknowledged)
{
    RecordEvent e;
    e.kind = std::string(record_kind::kAdjust);
    e.Set(RecordField::Action, action);
    if (ch >= 0)
        e.Set(RecordField::Channel, ch + 1);
    if (rangeCode >= 0) {
        const std::string key = RangeKey(rangeCode);
        e.Set(RecordField::Range, RecordValue(key.empty() ? std::to_string(rangeCode) : key));
    }
    if (kind != nullptr)
        e.Set(RecordField::Mode, kind);
    if (!values.empty())
        e.Set(RecordField::Detail, RecordValue(values));
    e.Set(RecordField::Text, acknowledged ? "acknowledged" : "not acknowledged");
    Append(std::move(e), m_current);
}

void RunRecorder::AdjustTest(int ch, int rangeCode, int point, const std::string& values, bool acknowledged)
{
    static constexpr const char* kPoints[] = {"test_off", "test_lower", "test_upper"};
    RecordEvent e;
    e.kind = std::string(record_kind::kAdjust);
    e.Set(RecordField::Action, point >= 0 && point <= 2 ? kPoints[point] : "test");
    if (ch >= 0)
        e.Set(RecordField::Channel, ch + 1);
    const std::string key = RangeKey(rangeCode);
    e.Set(RecordField::Range, RecordValue(key.empty() ? std::to_string(rangeCode) : key));
    if (!values.empty())
        e.Set(RecordField::Detail, RecordValue(values));
    e.Set(RecordField::Text, acknowledged ? "acknowledged" : "not acknowledged");
    Append(std::move(e), m_current);
}

void RunRecorder::Firmware(const char* action, const std::string& version, const std::string& serial,
                           const std::string& text)
{
    RecordEvent e;
    e.kind = std::string(record_kind::kFirmware);
    e.Set(RecordField::Action, action);
    if (!version.empty())
        e.Set(RecordField::Version, RecordValue(version));
    if (!serial.empty())
        e.Set(RecordField::Serial, RecordValue(serial));
    if (!text.empty())
        e.Set(RecordField::Text, RecordValue(text));
    Append(std::move(e), m_current);
}

void RunRecorder::Remote(const char* action, const std::string& peer, const std::string& text)
{
    RecordEvent e;
    e.kind = std::string(record_kind::kRemote);
    e.Set(RecordField::Action, action);
    if (!peer.empty())
        e.Set(RecordField::Peer, RecordValue(peer));
    if (!text.empty())
        e.Set(RecordField::Text, RecordValue(text));
    Append(std::move(e), m_current);
}

} // namespace velmora
