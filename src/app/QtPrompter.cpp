#include "app/QtPrompter.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

#include "platform/Translate.h"

#include "dialogs/ui/CDacSelect.h"

namespace velmora {

namespace {

QMessageBox::Icon BoxIcon(PromptIcon icon)
{
    switch (icon) {
    case PromptIcon::Information:
        return QMessageBox::Information;
    case PromptIcon::Exclamation:
        return QMessageBox::Warning;
    case PromptIcon::Question:
        return QMessageBox::Question;
    case PromptIcon::Stop:
        return QMessageBox::Critical;
    case PromptIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons BoxButtons(PromptButtons buttons)
{
    switch (buttons) {
    case PromptButtons::OkCancel:
        return QMessageBox::Ok | QMessageBox::Cancel;
    case PromptButtons::YesNo:
        return QMessageBox::Yes | QMessageBox::No;
    case PromptButtons::YesNoCancel:
        return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    case PromptButtons::Ok:
        break;
    }
    return QMessageBox::Ok;
}

// What closing the box without a button means: the safe answer of its set.
PromptAnswer EscapeAnswer(PromptButtons buttons)
{
    switch (buttons) {
    case PromptButtons::OkCancel:
    case PromptButtons::YesNoCancel:
        return PromptAnswer::Cancel;
    case PromptButtons::YesNo:
        return PromptAnswer::No;
    case PromptButtons::Ok:
        break;
    }
    return PromptAnswer::Ok;
}

QString FromUtf8(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// What the operator reads: the core's texts come as the core wrote them.
QString Shown(const std::string& text)
{
    return FromUtf8(Tr(text));
}

std::optional<std::string> ToPath(const QString& chosen)
{
    if (chosen.isEmpty())
        return std::nullopt;
    return chosen.toUtf8().toStdString();
}

} // namespace

QtPrompter::~QtPrompter()
{
    // A busy scope outliving the prompter must not leave the cursor behind.
    while (m_nBusyDepth > 0) {
        --m_nBusyDepth;
        QApplication::restoreOverrideCursor();
    }
}

QWidget* QtPrompter::Parent() const
{
    if (m_pParent)
        return m_pParent;
    if (QWidget* modal = QApplication::activeModalWidget())
        return modal;
    return QApplication::activeWindow();
}

PromptAnswer QtPrompter::Message(const std::string& text, const std::string& caption, PromptIcon icon,
                                 PromptButtons buttons)
{
    QMessageBox box(BoxIcon(icon), Shown(caption), Shown(text), BoxButtons(buttons), Parent());
    switch (box.exec()) {
    case QMessageBox::Ok:
        return PromptAnswer::Ok;
    case QMessageBox::Cancel:
        return PromptAnswer::Cancel;
    case QMessageBox::Yes:
        return PromptAnswer::Yes;
    case QMessageBox::No:
        return PromptAnswer::No;
    default:
        break;
    }
    return EscapeAnswer(buttons);
}

QString QtPrompter::FilterText(const std::vector<FileFilter>& filters)
{
    QStringList parts;
    for (const FileFilter& f : filters) {
        QString label = Shown(f.label);
        QString pattern = FromUtf8(f.pattern);
        const QString qtPattern = pattern == QLatin1String("*.*") ? QStringLiteral("*") : pattern;
        // Qt takes the patterns from the parentheses of the label.
        const QString shown = QStringLiteral("(") + pattern + QStringLiteral(")");
        if (label.contains(shown))
            label.replace(shown, QStringLiteral("(") + qtPattern + QStringLiteral(")"));
        else if (!qtPattern.isEmpty())
            label += QStringLiteral(" (") + qtPattern + QStringLiteral(")");
        parts << label;
    }
    return parts.join(QStringLiteral(";;"));
}

std::optional<std::string> QtPrompter::ChooseOpenFile(const std::string& caption,
                                                      const std::vector<FileFilter>& filters)
{
    return ToPath(QFileDialog::getOpenFileName(Parent(), Shown(caption), QString(), FilterText(filters)));
}

std::optional<std::string> QtPrompter::ChooseSaveFile(const std::string& caption,
                                                      const std::vector<FileFilter>& filters,
                                                      const std::string& defaultExtension,
                                                      const std::string& suggestedName)
{
    QFileDialog dialog(Parent(), Shown(caption), QString(), FilterText(filters));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    QString suffix = FromUtf8(defaultExtension);
    if (suffix.startsWith(QLatin1Char('.')))
        suffix.remove(0, 1);
    dialog.setDefaultSuffix(suffix);
    if (!suggestedName.empty())
        dialog.selectFile(FromUtf8(suggestedName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return ToPath(dialog.selectedFiles().constFirst());
}

std::optional<int> QtPrompter::AskCircuitCount()
{
    CDacSelect dialog(Parent());
    dialog.exec();
    const int circuits = dialog.CircuitCount();
    if (circuits != 1 && circuits != 2)
        return std::nullopt;
    return circuits;
}

void QtPrompter::SetBusy(bool busy)
{
    if (busy) {
        ++m_nBusyDepth;
        QApplication::setOverrideCursor(Qt::WaitCursor);
    } else if (m_nBusyDepth > 0) {
        // An unmatched "not busy" must not pop a cursor someone else set.
        --m_nBusyDepth;
        QApplication::restoreOverrideCursor();
    }
}

} // namespace velmora
