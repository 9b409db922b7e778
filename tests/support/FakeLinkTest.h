#pragma once
// A test fixture with a GeneratorLink over two FakeChannels (serial and FTDI)
// on a FakeClock, and helpers to script the unit's answers.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "FakeChannel.h"
#include "FakeClock.h"
#include "ScriptedPrompter.h"
#include "protocol/GeneratorLink.h"

namespace velmora::test {

using Chunk = FakeChannel::Chunk;
using Replies = std::vector<Chunk>;

class FakeLinkTest : public ::testing::Test {
protected:
    FakeLinkTest()
    {
        auto s = std::make_unique<FakeChannel>(clock);
        auto f = std::make_unique<FakeChannel>(clock);
        serial = s.get();
        ftdi = f.get();
        link = std::make_unique<GeneratorLink>(clock, prompter, std::move(s), std::move(f));
    }

    // The k-th write to `ch` is answered with script[k]; later writes get
    // no answer.
    static void Script(FakeChannel& ch, std::vector<Replies> script)
    {
        auto next = std::make_shared<size_t>(0);
        ch.SetResponder([script = std::move(script), next](const std::string&) {
            const size_t k = (*next)++;
            return k < script.size() ? script[k] : Replies{};
        });
    }

    // Every write is answered the same way.
    static void AnswerAlways(FakeChannel& ch, Replies replies)
    {
        ch.SetResponder([replies = std::move(replies)](const std::string&) { return replies; });
    }

    // What was written to `ch`, write by write.
    static std::vector<std::string> Sent(const FakeChannel& ch)
    {
        std::vector<std::string> out;
        for (const auto& w : ch.writes)
            out.push_back(w.bytes);
        return out;
    }

    FakeClock clock;
    ScriptedPrompter prompter;
    FakeChannel* serial = nullptr;
    FakeChannel* ftdi = nullptr;
    std::unique_ptr<GeneratorLink> link;
};

} // namespace velmora::test
