#pragma once
// What happens to a unit, as run-record events: the connection, every
// settings frame that went onto the line, alarms coming and going, the
// automatic outputs, remote clients, adjustments and the firmware. The
// session and the front ends tell it what happened; it says it in the
// record's words and hands the events to a sink (the writer thread).
//
// Thread contract: UI thread only (the sink takes events from any thread).

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "model/ChannelSettings.h"
#include "record/RecordEvent.h"

namespace velmora {

class GeneratorModel;
class RecordSink;

// The record's sources (who asked).
namespace record_source {
inline constexpr const char* kPanel = "panel";
inline constexpr const char* kAuto = "auto";
inline constexpr const char* kCtl = "ctl";
inline constexpr const char* kServe = "serve";
inline constexpr const char* kRemotePrefix = "remote ";
} // namespace record_source

class RunRecorder {
public:
    // `ownSource` names the program (panel, serve, ctl): the source of what
    // nobody else asked for. With `alarmsOnly` only alarms are kept (a
    // monitor watches; it changes nothing).
    RunRecorder(RecordSink& sink, std::string ownSource, bool alarmsOnly = false);

    // The origin number for a source, the same number each time it is asked
    // (origin 0 is the program's own). GeneratorLink carries it with each
    // frame, so that a frame that leaves later is still put down to whoever
    // asked for it.
    int OriginFor(const std::string& source);
    const std::string& SourceOf(int origin) const;
    // Who is asking now, for events that are not frames.
    int CurrentOrigin() const { return m_current; }
    void SetCurrentOrigin(int origin) { m_current = origin; }

    void Connected(const std::string& port, const std::string& version, int channels, const std::string& serial);
    // `lost`: the unit stopped answering.
    void Disconnected(bool lost);
    // A settings frame of channel ch (0-3) went onto the line.
    void SettingsSent(int ch, const SettingsSnapshot& carried, int origin);
    // Compares every channel's alarm with the last seen: an alarm raised,
    // changed or cleared is an event. Call after each status reply.
    void TrackAlarms(const GeneratorModel& model);
    // Forgets the alarms seen: the next status of each channel is recorded
    // whatever it is, "none" included, so that an alarm that went while no
    // program watched does not stay raised in the record.
    void ResetAlarms() { m_alarms.fill(kAlarmUnknown); }
    // The port the events are about, given to each event that has none:
    // with several units recording into one file, channel 1 of one is not
    // channel 1 of another.
    void SetPort(const std::string& port) { m_port = port; }
    // An automatic output's run state changed: start, pause, resume, stop
    // (asked) or end (by itself).
    void AutoOutput(int ch, const char* action, int mode, int slot);
    // A remote client: connected, went, refused, lock, unlock.
    void Remote(const char* action, const std::string& peer, const std::string& text = {});
    // A test output of the adjustment: the point (0 off, 1 lower, 2 upper)
    // driven on channel ch (0-3) and range, with the corrections tried.
    void AdjustTest(int ch, int rangeCode, int point, const std::string& values, bool acknowledged);
    // An adjustment exchange: transfer, store or init; ch (0-3) and the
    // range code where it has them (else -1), the kind (maker, user), the
    // words sent, and whether the unit acknowledged it.
    void Adjust(const char* action, int ch, int rangeCode, const char* kind, const std::string& values,
                bool acknowledged);
    // The firmware and the calibration files: update_start, update_result,
    // calibration_export, calibration_import; the image's version or the
    // serial number, and how it ended.
    void Firmware(const char* action, const std::string& version, const std::string& serial, const std::string& text);
    // Any other event of the current source: the caller fills the fields.
    void Note(RecordEvent event);

private:
    static constexpr std::size_t kMaxSources = 1024;

    void Append(RecordEvent event, int origin);

    RecordSink& m_sink;
    bool m_bAlarmsOnly;
    std::vector<std::string> m_sources;
    int m_current = 0;
    static constexpr int kAlarmUnknown = -1;
    std::array<int, kMaxChannels> m_alarms{kAlarmUnknown, kAlarmUnknown, kAlarmUnknown, kAlarmUnknown};
    std::string m_port;
};

// Makes `origin` the recorder's current origin until the guard goes.
class ScopedRecordOrigin {
public:
    ScopedRecordOrigin(RunRecorder* recorder, int origin) : m_pRecorder(recorder)
    {
        if (m_pRecorder != nullptr) {
            m_previous = m_pRecorder->CurrentOrigin();
            m_pRecorder->SetCurrentOrigin(origin);
        }
    }
    ~ScopedRecordOrigin()
    {
        if (m_pRecorder != nullptr)
            m_pRecorder->SetCurrentOrigin(m_previous);
    }
    ScopedRecordOrigin(const ScopedRecordOrigin&) = delete;
    ScopedRecordOrigin& operator=(const ScopedRecordOrigin&) = delete;

private:
    RunRecorder* m_pRecorder;
    int m_previous = 0;
};

} // namespace velmora
