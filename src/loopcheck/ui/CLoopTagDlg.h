#pragma once
// A loop-check tag's every field, to add a tag or change one. OK reads the
// fields, checks the tag with the core's rules (ValidateTag) and hands it to
// the store (the database); a field that is not a number, a broken rule or
// a refusal of the store is shown in red beside its field, and the dialog
// stays open until the tag is kept.
//
//     CLoopTagDlg dlg(true, [&](const LoopTag& t) { ... keep t ... }, this);
//     dlg.SetTag(LoopTag{});
//     if (dlg.exec() == QDialog::Accepted) ... dlg.Tag() was kept
//
// Every editor is named after its field as the tag CSV names it ("name",
// "lrv", "adjust_limit", ...), its message label "problem_" and the field.
//
// Thread contract: UI thread only.

#include <QDialog>

#include <functional>
#include <map>
#include <optional>
#include <string>

#include "loopcheck/LoopTag.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QSpinBox;

namespace velmora {

class CLoopTagDlg : public QDialog {
    Q_OBJECT
public:
    // Keeps the tag; the problem (its field and message) when it cannot.
    using Store = std::function<std::optional<TagProblem>(const LoopTag&)>;

    // `adding`: a new tag, its name typed; otherwise the name is fixed (the
    // results name the tag as it was tested).
    CLoopTagDlg(bool adding, Store store, QWidget* parent = nullptr);

    void SetTag(const LoopTag& tag);
    // The tag as kept by the last accepted OK.
    const LoopTag& Tag() const { return m_tag; }
    // The message shown beside a field, empty when none.
    QString ProblemText(const std::string& field) const;

public Q_SLOTS:
    void accept() override;

private:
    void ShowProblem(const std::string& field, const QString& message);
    std::optional<LoopTag> ReadFields();
    QLineEdit* AddLine(const char* field);

    Store m_store;
    LoopTag m_tag;
    std::map<std::string, QLineEdit*> m_lines;
    std::map<std::string, QLabel*> m_problems;
    QSpinBox* m_pChannel = nullptr;
    QComboBox* m_pRange = nullptr;
    QComboBox* m_pTransfer = nullptr;
    QSpinBox* m_pDecimals = nullptr;
};

} // namespace velmora
