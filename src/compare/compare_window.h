#pragma once
// The comparison of a tally file with the controller, one row per output, in a window of its
// own: sortable by any column, with a filter that leaves only the outputs that differ.
#include <QList>
#include <QWidget>

#include "changes/mapping_diff.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QSortFilterProxyModel;
class QStandardItemModel;
class QTableView;

namespace vendra {

class CompareWindow : public QWidget {
    Q_OBJECT
public:
    enum Column { kOutput, kName, kUnit, kChannel, kFile, kController, kDifference, kLine };

    explicit CompareWindow(QWidget* parent = nullptr);

    // Shows the rows; fileSide and controllerSide head the two mapping columns.
    void Show(const QString& title, const QString& summary, const QList<OutputComparison>& rows,
              const QString& fileSide, const QString& controllerSide, bool canApply);

    // Rows the filter lets through, and the text of one cell in the order shown.
    int VisibleRows() const;
    QString Cell(int row, Column column) const;

    QTableView* table = nullptr;
    QCheckBox* chkDifferencesOnly = nullptr;
    QPushButton* cmdApply = nullptr;
    QPushButton* cmdClose = nullptr;
    QLabel* lblSummary = nullptr;

Q_SIGNALS:
    void ApplyRequested();

private:
    QStandardItemModel* model_ = nullptr;
    QSortFilterProxyModel* proxy_ = nullptr;
};

}  // namespace vendra
