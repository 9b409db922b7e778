#pragma once
// The prompter of the windowed program: message boxes, the standard file
// dialogs, the wait cursor and the circuit-count dialog.
//
// Thread contract: UI thread only, like every widget.

#include <QPointer>
#include <QString>
#include <QWidget>

#include "platform/Prompter.h"

namespace velmora {

class QtPrompter final : public Prompter {
public:
    QtPrompter() = default;
    ~QtPrompter() override;

    // The window the boxes belong to. Until one is set (start-up) they
    // belong to the active window, if any.
    void SetParentWindow(QWidget* parent) { m_pParent = parent; }

    PromptAnswer Message(const std::string& text, const std::string& caption, PromptIcon icon,
                         PromptButtons buttons = PromptButtons::Ok) override;
    std::optional<std::string> ChooseOpenFile(const std::string& caption,
                                              const std::vector<FileFilter>& filters) override;
    std::optional<std::string> ChooseSaveFile(const std::string& caption, const std::vector<FileFilter>& filters,
                                              const std::string& defaultExtension,
                                              const std::string& suggestedName) override;
    std::optional<int> AskCircuitCount() override;
    void SetBusy(bool busy) override;

    // The name filter text of QFileDialog for our filters. "*.*" means every
    // file where these filters come from; Qt would want a dot in the name.
    static QString FilterText(const std::vector<FileFilter>& filters);

private:
    QWidget* Parent() const;

    QPointer<QWidget> m_pParent;
    int m_nBusyDepth = 0;
};

} // namespace velmora
