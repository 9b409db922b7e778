#include "CtlForward.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>

#include "model/RangeTable.h"
#include "platform/Translate.h"
#include "remote/RemoteServer.h"

namespace velmora::ctl {

namespace {

// `text` split at `separator` where it stands outside a string ("..." or
// '...', a doubled quote staying inside) and outside a definite-length
// block (#<n><length><bytes>, whose bytes may hold anything).
std::vector<std::string> SplitOutside(std::string_view text, char separator)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (i == start && c == '#' && i + 1 < text.size() && text[i + 1] >= '1' && text[i + 1] <= '9') {
            const auto digits = static_cast<std::size_t>(text[i + 1] - '0');
            std::size_t length = 0;
            const char* first = text.data() + i + 2;
            const char* last = first + std::min(digits, text.size() - (i + 2));
            const auto r = std::from_chars(first, last, length);
            if (r.ec == std::errc() && r.ptr == first + digits && length <= text.size() - (i + 2 + digits)) {
                i += 2 + digits + length;
                continue;
            }
        }
        if (c == '"' || c == '\'') {
            std::size_t j = i + 1;
            for (; j < text.size(); ++j) {
                if (text[j] != c)
                    continue;
                if (j + 1 < text.size() && text[j + 1] == c) {
                    ++j;
                    continue;
                }
                break;
            }
            i = j + 1;
            continue;
        }
        if (c == separator) {
            parts.emplace_back(text.substr(start, i - start));
            start = i + 1;
        }
        ++i;
    }
    parts.emplace_back(text.substr(std::min(start, text.size())));
    return parts;
}

} // namespace

std::unique_ptr<ScpiConnection> ConnectThroughRunningVelmora(const Invocation& inv)
{
    if (inv.port.empty())
        return nullptr;
    // A folder that is not ours alone has no socket we would trust: the
    // command then opens the port and meets whatever holds it.
    const auto path = remote::LocalSocketPath(inv.port);
    if (!path)
        return nullptr;
    auto connection = std::make_unique<ScpiConnection>();
    // A stale socket of a program that was killed refuses the connection.
    if (connection->OpenLocal(*path))
        return nullptr;
    return connection;
}

int RefuseWhileHeld(const Invocation& inv)
{
    if (!ConnectThroughRunningVelmora(inv))
        return kExitOk;
    std::fprintf(
        stderr, "velmoractl: %s\n",
        TrFormat(N_("%1 is held by a running Velmora: use its window, or stop velmoractl serve"), {inv.port}).c_str());
    return kExitNoAnswer;
}

int ForwardReply::ErrorCode() const
{
    // SplitReply has checked the entry's form.
    return static_cast<int>(IntegerAnswer(Elements(error).front()).value_or(0));
}

std::optional<ForwardReply> SplitReply(std::string_view line)
{
    std::vector<std::string> parts = SplitOutside(line, ';');
    const std::vector<std::string> entry = Elements(parts.back());
    if (entry.size() != 2 || !IntegerAnswer(entry[0]) || !StringText(entry[1]))
        return std::nullopt;
    ForwardReply reply;
    reply.error = parts.back();
    parts.pop_back();
    reply.answers = std::move(parts);
    return reply;
}

bool SendAsking(ScpiConnection& connection, const std::string& message)
{
    return connection.Send(message.empty() ? std::string(":SYSTem:ERRor?") : message + ";:SYSTem:ERRor?");
}

std::optional<ForwardReply> Ask(ScpiConnection& connection, const std::string& message)
{
    if (!SendAsking(connection, message))
        return std::nullopt;
    const auto line = connection.ReadResponse(kForwardAnswerMs);
    if (!line)
        return std::nullopt;
    return SplitReply(*line);
}

std::optional<std::string> AskAnswer(const Invocation& inv, ScpiConnection& connection, const std::string& query,
                                     int& rc)
{
    const auto reply = Ask(connection, query);
    if (!reply) {
        rc = ProgramGone(inv);
        return std::nullopt;
    }
    if (!reply->Ok() || reply->answers.size() != 1) {
        rc = ProgramRefused(connection, reply->error);
        return std::nullopt;
    }
    return reply->answers[0];
}

bool ProgramPoll::Ask()
{
    if (m_bAsked)
        return !m_connection.Ended();
    m_bAsked = SendAsking(m_connection, m_message);
    return m_bAsked;
}

std::optional<ForwardReply> ProgramPoll::Answer()
{
    const auto line = m_connection.ReadResponse(0);
    if (!line)
        return std::nullopt;
    m_bAsked = false;
    return SplitReply(*line);
}

int ProgramGone(const Invocation& inv)
{
    std::fprintf(stderr, "velmoractl: %s\n",
                 TrFormat(N_("%1: the Velmora that holds the port did not answer"), {inv.port}).c_str());
    return kExitNoAnswer;
}

int ProgramRefused(ScpiConnection& connection, const std::string& first)
{
    std::fprintf(stderr, "velmoractl: %s\n", first.c_str());
    for (const std::string& e : DrainErrors(connection))
        std::fprintf(stderr, "velmoractl: %s\n", e.c_str());
    return kExitNoAnswer;
}

std::vector<std::string> Elements(std::string_view answer)
{
    return SplitOutside(answer, ',');
}

std::optional<std::string> StringText(std::string_view answer)
{
    if (answer.size() < 2 || answer.front() != '"' || answer.back() != '"')
        return std::nullopt;
    std::string text;
    for (std::size_t i = 1; i + 1 < answer.size(); ++i) {
        text += answer[i];
        if (answer[i] == '"') {
            // Inside, a quote is always doubled.
            if (answer[i + 1] != '"' || i + 2 >= answer.size())
                return std::nullopt;
            ++i;
        }
    }
    return text;
}

std::optional<std::string> BlockText(std::string_view answer)
{
    if (answer.size() < 2 || answer[0] != '#' || answer[1] < '1' || answer[1] > '9')
        return std::nullopt;
    const auto digits = static_cast<std::size_t>(answer[1] - '0');
    if (answer.size() < 2 + digits)
        return std::nullopt;
    std::size_t length = 0;
    const char* first = answer.data() + 2;
    const auto r = std::from_chars(first, first + digits, length);
    if (r.ec != std::errc() || r.ptr != first + digits || answer.size() - 2 - digits != length)
        return std::nullopt;
    return std::string(answer.substr(2 + digits));
}

std::optional<long long> IntegerAnswer(std::string_view answer)
{
    if (!answer.empty() && answer.front() == '+')
        answer.remove_prefix(1);
    long long v = 0;
    const char* end = answer.data() + answer.size();
    const auto r = std::from_chars(answer.data(), end, v);
    if (answer.empty() || r.ec != std::errc() || r.ptr != end)
        return std::nullopt;
    return v;
}

std::string NumberText(double value)
{
    // Fifteen digits: the program keeps at most six decimals of a value and
    // rounds to them, so the last bits of a division by 1000 do not matter.
    std::array<char, 40> text{};
    std::snprintf(text.data(), text.size(), "%.15g", value);
    return text.data();
}

double ToBaseUnit(int rangeCode, double value)
{
    return IsCurrentRange(rangeCode) ? value / 1000.0 : value;
}

double FromBaseUnit(int rangeCode, double value)
{
    return IsCurrentRange(rangeCode) ? value * 1000.0 : value;
}

} // namespace velmora::ctl
