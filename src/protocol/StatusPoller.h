#pragma once
// The protocol half of the panel's 50 ms tick, shared by the window and by
// `velmoractl monitor`: take at most one line the unit sent, and poll the
// channels in use one after the other, watching for a unit that stopped
// answering.
//
// Thread contract: UI thread only.

#include <string_view>

namespace velmora {

class GeneratorLink;
class GeneratorModel;

class StatusPoller {
public:
    // Requests sent without any reply line before the unit counts as lost.
    static constexpr int kLostLimit = 100;

    StatusPoller(GeneratorLink& link, GeneratorModel& model) : m_link(link), m_model(model) { }

    // Takes at most one complete line from the serial channel and hands it to
    // the reply handlers. A line they accept resets the unanswered count.
    // True when a line was accepted.
    bool ReadReply();

    // While polling is on, sends one status request to the next channel in
    // turn. True when this request made the unanswered count reach the lost
    // limit (the count starts again at 0): the caller gives up the
    // connection.
    bool PollNext();

    // Forgets the poll position and the unanswered count (a new connection).
    void Restart()
    {
        m_nPollChannel = 0;
        m_nNoReplyCount = 0;
    }

    bool m_bPolling = false;
    int m_nNoReplyCount = 0;
    int m_nPollChannel = 0;

private:
    GeneratorLink& m_link;
    GeneratorModel& m_model;
};

} // namespace velmora
