#pragma once
// A prompter that records every message and answers from a script, so tests
// never block on a modal box.

#include <deque>
#include <string>
#include <vector>

#include "platform/Prompter.h"

namespace velmora::test {

class ScriptedPrompter final : public Prompter {
public:
    struct Shown {
        std::string text;
        std::string caption;
        PromptIcon icon;
        PromptButtons buttons;
    };

    PromptAnswer Message(const std::string& text, const std::string& caption, PromptIcon icon,
                         PromptButtons buttons = PromptButtons::Ok) override
    {
        shown.push_back({text, caption, icon, buttons});
        if (!answers.empty()) {
            PromptAnswer a = answers.front();
            answers.pop_front();
            return a;
        }
        return buttons == PromptButtons::YesNo || buttons == PromptButtons::YesNoCancel ? PromptAnswer::Yes
                                                                                        : PromptAnswer::Ok;
    }
    std::optional<std::string> ChooseOpenFile(const std::string&, const std::vector<FileFilter>& filters) override
    {
        openFilters.push_back(filters);
        return TakeFile();
    }
    std::optional<std::string> ChooseSaveFile(const std::string&, const std::vector<FileFilter>&, const std::string&,
                                              const std::string&) override
    {
        return TakeFile();
    }
    std::optional<int> AskCircuitCount() override
    {
        ++circuitQuestions;
        if (circuitAnswers.empty())
            return std::nullopt;
        auto a = circuitAnswers.front();
        circuitAnswers.pop_front();
        return a;
    }
    void SetBusy(bool busy) override
    {
        busyDepth += busy ? 1 : -1;
        if (busy)
            ++busyCount;
    }

    std::vector<Shown> shown;
    std::deque<PromptAnswer> answers;
    std::deque<std::optional<std::string>> files;
    // The filters of every open chooser, in order.
    std::vector<std::vector<FileFilter>> openFilters;
    std::deque<std::optional<int>> circuitAnswers;
    int circuitQuestions = 0;
    int busyDepth = 0;
    int busyCount = 0;

private:
    std::optional<std::string> TakeFile()
    {
        if (files.empty())
            return std::nullopt;
        auto f = files.front();
        files.pop_front();
        return f;
    }
};

} // namespace velmora::test
