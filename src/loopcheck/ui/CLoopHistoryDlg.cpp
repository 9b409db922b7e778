#include "loopcheck/ui/CLoopHistoryDlg.h"

#include <QHeaderView>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>

#include <cmath>

#include "loopcheck/LoopCheckDatabase.h"
#include "loopcheck/ui/CLoopDriftChart.h"
#include "loopcheck/ui/LoopCheckShown.h"

namespace velmora {

CLoopHistoryDlg::CLoopHistoryDlg(LoopCheckDatabase& database, QWidget* parent)
    : QWidget(parent, Qt::Window),
      m_database(database)
{
    setObjectName(QStringLiteral("loophistory"));
    m_pHeading = new QLabel(this);
    QFont bold = m_pHeading->font();
    bold.setBold(true);
    m_pHeading->setFont(bold);

    m_pTable = new QTableWidget(0, kColumns, this);
    m_pTable->setObjectName(QStringLiteral("results"));
    m_pTable->setHorizontalHeaderLabels(
        {tr("番号"), tr("日時"), tr("種別"), tr("技術者"), tr("判定"), tr("最大誤差 (%)"), tr("訂正")});
    m_pTable->verticalHeader()->hide();
    m_pTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_pTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_pTable->horizontalHeader()->setStretchLastSection(true);

    connect(m_pTable, &QTableWidget::itemSelectionChanged, this, &CLoopHistoryDlg::UpdateButtons);
    m_pTable->setSelectionMode(QAbstractItemView::SingleSelection);
    m_pCorrect = new QPushButton(tr("訂正の点検(&C)..."), this);
    m_pCorrect->setObjectName(QStringLiteral("correct"));
    m_pCorrect->setToolTip(tr("選んだ結果を訂正する点検を行います。元の結果はそのまま残ります"));
    connect(m_pCorrect, &QPushButton::clicked, this, &CLoopHistoryDlg::RequestCorrection);
    m_pReport = new QPushButton(tr("記録の書出(&R)..."), this);
    m_pReport->setObjectName(QStringLiteral("report"));
    m_pReport->setToolTip(
        tr("選んだ結果の記録を PDF、HTML または CSV に書き出します。選んでいなければ最新の点検の記録です"));
    connect(m_pReport, &QPushButton::clicked, this, &CLoopHistoryDlg::RequestReport);

    m_pChart = new CLoopDriftChart(this);
    auto* split = new QSplitter(Qt::Vertical, this);
    split->addWidget(m_pTable);
    split->addWidget(m_pChart);
    split->setStretchFactor(0, 1);
    split->setStretchFactor(1, 1);

    auto* top = new QHBoxLayout;
    top->addWidget(m_pHeading, 1);
    top->addWidget(m_pReport);
    top->addWidget(m_pCorrect);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(split, 1);
    resize(760, 560);
}

void CLoopHistoryDlg::ShowTag(const LoopTag& tag)
{
    m_tag = tag;
    setWindowTitle(tr("ループチェック - 履歴 %1").arg(LoopText(tag.name)) + QStringLiteral(" - Velmora"));
    m_pHeading->setText(LoopText(tag.name) + QStringLiteral("　") + LoopText(tag.description));
    m_results = m_database.History(tag.name);
    m_pTable->setRowCount(static_cast<int>(m_results.size()));
    std::vector<CLoopDriftChart::Point> drift;
    for (std::size_t i = 0; i < m_results.size(); ++i) {
        const LoopResult& r = m_results[i];
        const auto row = static_cast<int>(i);
        const std::vector<std::int64_t> correctedBy = m_database.SupersededBy(r.id);
        QStringList correction;
        if (r.supersedes)
            correction << tr("%1 を訂正: %2").arg(*r.supersedes).arg(LoopText(r.supersedeReason));
        for (const std::int64_t by : correctedBy)
            correction << tr("%1 により訂正済み").arg(by);
        const QStringList cells = {QString::number(r.id),
                                   LoopCheckShown::LocalTime(r.startUs),
                                   LoopCheckShown::Kind(r.kind),
                                   LoopText(r.technician),
                                   LoopCheckShown::Verdict(r.verdict),
                                   LoopText(FormatErrorPercent(LoopCheckShown::LargestError(r))),
                                   correction.join(QStringLiteral("; "))};
        for (int c = 0; c < kColumns; ++c) {
            auto* item = new QTableWidgetItem(cells[c]);
            if (c == kVerdict)
                item->setBackground(LoopCheckShown::Colour(r.verdict));
            if (!correctedBy.empty())
                item->setForeground(Qt::gray);
            m_pTable->setItem(row, c, item);
        }
        // The drift is the loop as found: a test that ran to its end, not
        // one corrected by a later result.
        const bool asFound = r.kind == LoopTestKind::AsFound || r.kind == LoopTestKind::AsFoundAndLeft;
        if (asFound && r.verdict != TestVerdict::Aborted && correctedBy.empty() && !r.points.empty())
            drift.push_back({r.id, r.startUs, std::fabs(LoopCheckShown::LargestError(r)), r.verdict});
    }
    m_pTable->resizeColumnsToContents();
    m_pChart->SetData(std::move(drift), tag.tolerance, tag.adjustLimit);
    UpdateButtons();
}

void CLoopHistoryDlg::UpdateButtons()
{
    const QList<QTableWidgetItem*> selected = m_pTable->selectedItems();
    m_pCorrect->setEnabled(!selected.isEmpty());
    m_pReport->setEnabled(!m_results.empty());
}

bool CLoopHistoryDlg::SelectResult(std::int64_t id)
{
    for (std::size_t i = 0; i < m_results.size(); ++i) {
        if (m_results[i].id == id) {
            m_pTable->selectRow(static_cast<int>(i));
            return true;
        }
    }
    return false;
}

void CLoopHistoryDlg::RequestCorrection()
{
    const QList<QTableWidgetItem*> selected = m_pTable->selectedItems();
    if (selected.isEmpty())
        return;
    const auto row = static_cast<std::size_t>(selected.front()->row());
    if (row >= m_results.size())
        return;
    const LoopResult& r = m_results[row];
    Q_EMIT CorrectionRequested(r.id, r.kind == LoopTestKind::AsLeft);
}

void CLoopHistoryDlg::RequestReport()
{
    const QList<QTableWidgetItem*> selected = m_pTable->selectedItems();
    std::int64_t id = 0;
    if (!selected.isEmpty()) {
        const auto row = static_cast<std::size_t>(selected.front()->row());
        if (row < m_results.size())
            id = m_results[row].id;
    }
    Q_EMIT ReportRequested(id, LoopText(m_tag.name));
}

} // namespace velmora
