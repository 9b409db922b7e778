#include "autoout/ui/CEditListCtrl.h"

#include <QFocusEvent>
#include <QHeaderView>
#include <QKeyEvent>

#include <set>

#include "dialogs/ui/DialogMetrics.h"

namespace velmora {

namespace {

constexpr int kEditBoxId = 1060;

// Column widths in pixels; the first column only carries the row's key and
// is never seen.
constexpr int kOrderWidth = 40;
constexpr int kValueWidth = 80;
constexpr int kIntervalWidth = 100;

bool IsTextColumn(int column)
{
    return column == CEditListCtrl::kValueColumn || column == CEditListCtrl::kIntervalColumn;
}

} // namespace

CEditInListCtrl::CEditInListCtrl(CEditListCtrl& list, int row, int column, const QRect& rect)
    : QLineEdit(list.viewport()),
      m_list(list),
      m_nRow(row),
      m_nColumn(column)
{
    setObjectName(ControlName("edit", kEditBoxId));
    setFont(list.font());
    // The cell's own grid and selection show around it; a frame of its own
    // would not fit into a row of the list's height.
    setFrame(false);
    setGeometry(rect);
    setText(list.CellText(row, column));
}

bool CEditInListCtrl::event(QEvent* event)
{
    // Tab would move the list's current cell and leave the focus, and the
    // typing, in this box; it ends the edit like Enter instead.
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Tab || key == Qt::Key_Backtab) {
            event->accept();
            m_list.setFocus(Qt::TabFocusReason);
            return true;
        }
    }
    return QLineEdit::event(event);
}

void CEditInListCtrl::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
        // Taken here, so that neither reaches the dialog's OK or cancel; the
        // focus moving away is what ends the edit.
        event->accept();
        m_list.setFocus(Qt::OtherFocusReason);
        return;
    default:
        QLineEdit::keyPressEvent(event);
    }
}

void CEditInListCtrl::focusOutEvent(QFocusEvent* event)
{
    QLineEdit::focusOutEvent(event);
    // The box's own context menu takes the focus only for as long as it is
    // open; the edit goes on under it.
    if (event->reason() != Qt::PopupFocusReason)
        m_list.EndCellEdit();
}

CEditListCtrl::CEditListCtrl(QWidget* parent) : QTableWidget(kRowCount, 4, parent)
{
    setHorizontalHeaderLabels({QString(), tr("順番"), tr("値"), tr("更新間隔")});
    verticalHeader()->hide();
    QHeaderView* header = horizontalHeader();
    header->setMinimumSectionSize(1);
    header->setHighlightSections(false);
    header->setSectionsClickable(false);
    setColumnWidth(kOrderColumn, kOrderWidth);
    setColumnWidth(kValueColumn, kValueWidth);
    setColumnWidth(kIntervalColumn, kIntervalWidth);
    setColumnHidden(kKeyColumn, true);
    // Rows as tall as the text and a little air, so that several show at once
    // and the edit box fits one.
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);

    setShowGrid(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    // Cells are edited only through BeginCellEdit.
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(false);

    for (int row = 0; row < kRowCount; ++row) {
        for (int column = kOrderColumn; column <= kIntervalColumn; ++column) {
            auto* item = new QTableWidgetItem(column == kOrderColumn ? QString::number(row + 1) : QString());
            item->setTextAlignment(Qt::AlignCenter);
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            setItem(row, column, item);
        }
    }

    connect(this, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
        if (index.row() >= 0 && index.column() >= kOrderColumn)
            BeginCellEdit(index.row(), index.column());
    });
}

QString CEditListCtrl::CellText(int row, int column) const
{
    const QTableWidgetItem* cell = item(row, column);
    return cell != nullptr ? cell->text() : QString();
}

void CEditListCtrl::SetCellText(int row, int column, const QString& text)
{
    if (!IsTextColumn(column))
        return;
    if (QTableWidgetItem* cell = item(row, column))
        cell->setText(text);
}

void CEditListCtrl::BeginCellEdit(int row, int column)
{
    if (!IsTextColumn(column) || row < 0 || row >= kRowCount)
        return;
    EndCellEdit();
    const QModelIndex index = model()->index(row, column);
    scrollTo(index);
    const QRect cell = visualRect(index).adjusted(1, 1, -1, -1);
    m_pEditor = new CEditInListCtrl(*this, row, column, cell);
    m_pEditor->show();
    m_pEditor->setFocus(Qt::OtherFocusReason);
}

void CEditListCtrl::EndCellEdit()
{
    // Taken out first: hiding the box moves the focus, which comes back here.
    CEditInListCtrl* editor = m_pEditor;
    m_pEditor = nullptr;
    if (editor == nullptr)
        return;
    if (QTableWidgetItem* cell = item(editor->Row(), editor->Column()))
        cell->setText(editor->text());
    editor->hide();
    // Later, as this may run inside the box's own focus-out handler.
    editor->deleteLater();
}

void CEditListCtrl::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Delete) {
        ClearSelectedRows();
        event->accept();
        return;
    }
    QTableWidget::keyPressEvent(event);
}

void CEditListCtrl::ClearSelectedRows()
{
    std::set<int> rows;
    for (const QModelIndex& index : selectedIndexes())
        rows.insert(index.row());
    for (int row : rows) {
        SetCellText(row, kValueColumn, QString());
        SetCellText(row, kIntervalColumn, QString());
    }
}

} // namespace velmora
