#pragma once
// A tag's history: every result kept for it (date, kind, technician,
// verdict, largest error, and whether it corrects or was corrected by
// another), oldest first, and the drift plot of its as-found tests. A
// result is never changed: 訂正の点検 asks the owner for a new test of the
// same kind that names the selected result as the one it corrects.
//
// The window reads the loop-check database of the tag list window that
// owns it, which destroys it before the database.
//
// Thread contract: UI thread only.

#include <QWidget>

#include <string>
#include <vector>

#include "loopcheck/LoopResult.h"

class QLabel;
class QPushButton;
class QTableWidget;

namespace velmora {

class CLoopDriftChart;
class LoopCheckDatabase;

class CLoopHistoryDlg : public QWidget {
    Q_OBJECT
public:
    enum Column { kId, kDate, kKind, kTechnician, kVerdict, kLargest, kCorrection, kColumns };

    CLoopHistoryDlg(LoopCheckDatabase& database, QWidget* parent = nullptr);

    // The results of the tag, read again; its current settings give the
    // tolerance band.
    void ShowTag(const LoopTag& tag);
    const std::string& TagName() const { return m_tag.name; }
    void Reload() { ShowTag(m_tag); }

    QTableWidget* Table() const { return m_pTable; }
    CLoopDriftChart* Chart() const { return m_pChart; }
    const std::vector<LoopResult>& Results() const { return m_results; }
    // Selects the row of result `id`; false when the tag has none.
    bool SelectResult(std::int64_t id);
    // The correction button: asks for a test correcting the selected result.
    void RequestCorrection();
    // The record button: asks for the record of the selected result, or of
    // the tag's latest check when none is selected.
    void RequestReport();

Q_SIGNALS:
    // A new test of `asLeft`'s kind on the tag, naming result `id`.
    void CorrectionRequested(qint64 id, bool asLeft);
    // The record of result `id` (0: the tag's latest check) to a file.
    void ReportRequested(qint64 id, const QString& tagName);

private:
    void UpdateButtons();

    LoopCheckDatabase& m_database;
    LoopTag m_tag;
    std::vector<LoopResult> m_results;
    QLabel* m_pHeading = nullptr;
    QTableWidget* m_pTable = nullptr;
    CLoopDriftChart* m_pChart = nullptr;
    QPushButton* m_pCorrect = nullptr;
    QPushButton* m_pReport = nullptr;
};

} // namespace velmora
