#pragma once
// The one way the core reaches the operator: message boxes, questions, file
// choosers and the busy indication. The GUI supplies a widget implementation,
// velmoractl one that writes to standard error, tests a scripted one.
//
// Thread contract: called on the UI thread only.
//
// Texts are UTF-8, in the language of the code that wrote them: an
// implementation shows them through Tr() (platform/Translate.h), so the
// core hands its own texts over as they are.

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "platform/Translate.h"

namespace velmora {

inline constexpr const char* kAppTitle = "Velmora";
// The caption of connection events (a port that cannot be opened, a lost
// unit), shown with the exclamation icon.
inline constexpr const char* kWarningCaption = N_("警告");

enum class PromptIcon { None, Information, Exclamation, Question, Stop };
enum class PromptButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class PromptAnswer { Ok, Cancel, Yes, No };

struct FileFilter {
    std::string label;   // "Velmora Files (*.ini)"
    std::string pattern; // "*.ini"
};

class Prompter {
public:
    virtual ~Prompter() = default;
    virtual PromptAnswer Message(const std::string& text, const std::string& caption, PromptIcon icon,
                                 PromptButtons buttons = PromptButtons::Ok) = 0;
    virtual std::optional<std::string> ChooseOpenFile(const std::string& caption,
                                                      const std::vector<FileFilter>& filters) = 0;
    virtual std::optional<std::string> ChooseSaveFile(const std::string& caption,
                                                      const std::vector<FileFilter>& filters,
                                                      const std::string& defaultExtension,
                                                      const std::string& suggestedName) = 0;
    // The circuit-count question of a new document: 1 or 2, nothing when
    // the operator cancels.
    virtual std::optional<int> AskCircuitCount() = 0;
    // Shown while the UI thread is blocked in an exchange (the wait cursor).
    virtual void SetBusy(bool busy) = 0;
};

// Writes every message to a stream, a line each, and answers it with its
// first button; chooses no file. For the command-line front end.
class StreamPrompter : public Prompter {
public:
    explicit StreamPrompter(std::FILE* stream) : m_pStream(stream) { }
    PromptAnswer Message(const std::string& text, const std::string& caption, PromptIcon icon,
                         PromptButtons buttons) override;
    std::optional<std::string> ChooseOpenFile(const std::string&, const std::vector<FileFilter>&) override
    {
        return std::nullopt;
    }
    std::optional<std::string> ChooseSaveFile(const std::string&, const std::vector<FileFilter>&, const std::string&,
                                              const std::string&) override
    {
        return std::nullopt;
    }
    std::optional<int> AskCircuitCount() override { return std::nullopt; }
    void SetBusy(bool) override { }

private:
    std::FILE* m_pStream;
};

class StderrPrompter final : public StreamPrompter {
public:
    StderrPrompter() : StreamPrompter(stderr) { }
};

// Shows the busy indication for its lifetime; nests.
class BusyScope {
public:
    explicit BusyScope(Prompter& prompter) : m_prompter(prompter) { m_prompter.SetBusy(true); }
    ~BusyScope() { m_prompter.SetBusy(false); }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    Prompter& m_prompter;
};

} // namespace velmora
