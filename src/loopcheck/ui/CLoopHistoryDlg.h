#pragma once
// A tag's history: every result kept for it (date, kind, technician,
// verdict, largest error, and whether it corrects or was corrected by
// another), oldest first, and the drift plot of its as-found tests.
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

private:
    LoopCheckDatabase& m_database;
    LoopTag m_tag;
    std::vector<LoopResult> m_results;
    QLabel* m_pHeading = nullptr;
    QTableWidget* m_pTable = nullptr;
    CLoopDriftChart* m_pChart = nullptr;
};

} // namespace velmora
