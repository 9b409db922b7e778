#pragma once
// The prompter of the window benchmarks: answers the circuit question with
// two circuits, chooses no file, never blocks, and counts every message by
// its text (printing it when asked to).
//
// Thread contract: UI thread only.

#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/Prompter.h"

namespace velmora::bench {

class BenchPrompter final : public Prompter {
public:
    explicit BenchPrompter(bool print) : m_bPrint(print) { }

    PromptAnswer Message(const std::string& text, const std::string&, PromptIcon, PromptButtons) override
    {
        if (m_bPrint)
            std::fprintf(stderr, "message: %s\n", text.c_str());
        ++counts[text];
        ++messages;
        return PromptAnswer::Ok;
    }
    std::optional<std::string> ChooseOpenFile(const std::string&, const std::vector<FileFilter>&) override
    {
        return std::nullopt;
    }
    std::optional<std::string> ChooseSaveFile(const std::string&, const std::vector<FileFilter>&, const std::string&,
                                              const std::string&) override
    {
        return std::nullopt;
    }
    std::optional<int> AskCircuitCount() override { return 2; }
    void SetBusy(bool) override { }

    std::map<std::string, int> counts;
    int messages = 0;

private:
    bool m_bPrint;
};

} // namespace velmora::bench
