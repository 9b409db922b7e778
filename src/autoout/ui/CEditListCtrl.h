#pragma once
// The arbitrary table of the automatic-output settings dialog: 100 numbered
// rows of a value and a hold time, edited in place. The cells are plain
// texts, whatever was typed, read from a file or filled from the document;
// nothing here parses them. The dialog turns them into the rules' table.
//
// A double-click on a value or time cell opens a one-line edit box over it
// (CEditInListCtrl). Enter and Escape hand the focus back to the list and
// keep the typed text, Escape too; whenever the box loses the focus its text
// goes into the cell unchanged and the box goes away. Delete empties the
// value and time of every selected row.

#include <QLineEdit>
#include <QPointer>
#include <QTableWidget>

namespace velmora {

class CEditListCtrl;

class CEditInListCtrl final : public QLineEdit {
public:
    // Over the cell's rectangle, in the list viewport's coordinates.
    CEditInListCtrl(CEditListCtrl& list, int row, int column, const QRect& rect);

    int Row() const { return m_nRow; }
    int Column() const { return m_nColumn; }

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    CEditListCtrl& m_list;
    int m_nRow;
    int m_nColumn;
};

class CEditListCtrl final : public QTableWidget {
    Q_OBJECT
public:
    enum Column { kKeyColumn = 0, kOrderColumn = 1, kValueColumn = 2, kIntervalColumn = 3 };
    static constexpr int kRowCount = 100;

    explicit CEditListCtrl(QWidget* parent);

    // Empty for a cell outside the table.
    QString CellText(int row, int column) const;
    // Only the value and time columns take a text.
    void SetCellText(int row, int column, const QString& text);

    // Opens the edit box over a value or time cell; any other cell is left
    // alone. A box already open is closed first, keeping its text.
    void BeginCellEdit(int row, int column);
    // Writes the open box's text into its cell and closes the box; nothing
    // when no cell is being edited.
    void EndCellEdit();
    CEditInListCtrl* CellEditor() const { return m_pEditor; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void ClearSelectedRows();

    QPointer<CEditInListCtrl> m_pEditor;
};

} // namespace velmora
