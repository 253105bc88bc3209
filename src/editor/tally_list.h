#pragma once
// A multi-column list whose rows are TAB-separated texts, as the mapping editor uses them:
// rows by index, one selected row, per-row background, column widths in average characters
// of the list font, and key events that the editor may consume before the list acts on them.
#include <QColor>
#include <QTreeWidget>
#include <functional>

namespace vendra {

class TallyList : public QTreeWidget {
    Q_OBJECT
public:
    explicit TallyList(QWidget* parent = nullptr);

    // Column widths in average characters of the list font.
    void SetColumnWidths(const QList<int>& characters);
    void AddRow(const QString& tabText);
    QString RowText(int row) const;
    // Replaces the text of the selected row (nothing when no row is selected).
    void SetSelectedText(const QString& tabText);
    int RowCount() const { return topLevelItemCount(); }
    // -1 when no row is selected.
    int SelectedIndex() const;
    // Selects a row; rows outside the list are refused.
    void SetSelectedIndex(int row);
    void SetRowBackground(int row, const QColor& colour);
    QColor RowBackground(int row) const;
    void SetColours(const QColor& background, const QColor& text);

    // Called for each key press first; answering true consumes the key.
    std::function<bool(QKeyEvent*)> keyPressHook;
    std::function<void(QKeyEvent*)> keyReleaseHook;

Q_SIGNALS:
    // The operator clicked (or double-clicked) a row with the mouse.
    void RowClicked(int row);
    void RowDoubleClicked(int row);
    void MouseReleased();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QColor background_;
};

}  // namespace vendra
