#pragma once
// One event of the run record: when, who asked, what kind, and the fields of
// its kind. The same field names are the database's columns, the CSV
// export's header and the JSON keys, so a user who learns one knows all
// three.
//
// Thread contract: a value type, moved from the thread that made it to the
// record's writer thread.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace velmora {

// The event kinds.
namespace record_kind {
inline constexpr std::string_view kConnect = "connect";
inline constexpr std::string_view kDisconnect = "disconnect";
inline constexpr std::string_view kLost = "lost";
inline constexpr std::string_view kSettings = "settings";
inline constexpr std::string_view kAlarm = "alarm";
inline constexpr std::string_view kAuto = "auto";
inline constexpr std::string_view kRemote = "remote";
inline constexpr std::string_view kAdjust = "adjust";
inline constexpr std::string_view kFirmware = "firmware";
inline constexpr std::string_view kGap = "gap";
} // namespace record_kind

// Every kind, in the order the README lists them.
const std::array<std::string_view, 10>& RecordKinds();
bool IsRecordKind(std::string_view kind);

// The fields an event may carry after seq, time, source and kind. Their
// order is the order of the columns and of the CSV header.
enum class RecordField : int {
    Channel,  // 1-4
    Range,    // the range's key name, 4_20mA
    Value,    // the output in the range's unit
    Unit,     // mA or V
    Eng,      // the same in engineering units, while the formula is in use
    On,       // output on
    Code,     // the output code sent; for an alarm, its alarm bits
    Raised,   // an alarm came (true) or went (false)
    Text,     // the alarm's text, a reason, a message
    Peer,     // a remote client's address
    Action,   // what happened: start, pause, connected, transfer, ...
    Status,   // the unit's status words, as hexadecimal
    Port,     // the serial port
    Version,  // the unit's (or an image's) version
    Channels, // the unit's channel count
    Serial,   // the USB serial number
    Mode,     // an automatic output's mode
    Slot,     // an automatic output's slot
    Count,    // how many (events lost)
    Detail,   // anything else, as text
    kCount
};
inline constexpr int kRecordFieldCount = static_cast<int>(RecordField::kCount);

enum class RecordFieldType { Integer, Real, Text, Boolean };

struct RecordFieldInfo {
    std::string_view name;
    RecordFieldType type;
};
const RecordFieldInfo& FieldInfo(RecordField field);

// A field's value; monostate is "not given" (NULL in the database, an
// empty CSV cell, a key left out of JSON).
using RecordValue = std::variant<std::monostate, std::int64_t, double, std::string, bool>;

struct RecordEvent {
    std::int64_t seq = 0;    // given by the database; 0 until written
    std::int64_t timeUs = 0; // UTC, microseconds since 1970
    std::string source;      // panel, auto, remote <peer>, ctl, serve
    std::string kind;
    std::array<RecordValue, kRecordFieldCount> fields{};

    RecordEvent& Set(RecordField f, RecordValue v)
    {
        fields[static_cast<std::size_t>(f)] = std::move(v);
        return *this;
    }
    RecordEvent& Set(RecordField f, int v) { return Set(f, RecordValue(static_cast<std::int64_t>(v))); }
    RecordEvent& Set(RecordField f, const char* v) { return Set(f, RecordValue(std::string(v))); }
    const RecordValue& Get(RecordField f) const { return fields[static_cast<std::size_t>(f)]; }
    bool Has(RecordField f) const { return !std::holds_alternative<std::monostate>(Get(f)); }
};

// The wall clock's time now, in UTC microseconds. The record's times come
// from here; every wait and time-out in the program uses the Clock.
std::int64_t WallClockMicros();

// "2026-12-10T05:21:48.123456Z".
std::string IsoTimeText(std::int64_t timeUs);

// A time given on a command line: ISO 8601 (a date, a date and time with
// seconds and fractions optional, 'T' or a space between; with Z or an
// offset, else local time), or relative to `nowUs`: -30s, -10m, -2h, -1d.
// Nothing when the text is neither, or when it is a local time that a
// daylight-saving change skipped or repeated (it then needs an offset).
std::optional<std::int64_t> ParseTimeArgument(std::string_view text, std::int64_t nowUs);

} // namespace velmora
