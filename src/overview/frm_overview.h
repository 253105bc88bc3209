#pragma once
// The "Tally Overview" window: one row per configured output with its lamp as the live inputs
// and the table make it, the mapping by input names and the reason; a "lit only" filter, a
// search on names and the count of lit outputs. It only shows what it is given; closing hides it.
#include <QHash>
#include <QList>
#include <QWidget>

#include "changes/lamp_state.h"
#include "config/tally_out_config.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QTableWidget;

namespace vendra {

class frmOverview : public QWidget {
    Q_OBJECT
public:
    enum Column { kName, kUnit, kChannel, kLamp, kMapping, kReason, kColumns };

    explicit frmOverview(QWidget* parent = nullptr);

    // Shows these rows, rewriting only the cells that changed.
    void ShowRows(const QList<LampRow>& rows);
    // The colour of each output's lit lamp (the tally out's); red where none is given.
    void SetLitColours(const QHash<int, TallyColour>& colours);
    // The alarm above the table: the polled units that stopped answering; hidden when none.
    void ShowSilentUnits(const QList<int>& units);
    const QList<LampRow>& Rows() const { return rows_; }

    QCheckBox* chkLitOnly;
    QLineEdit* txtSearch;
    QLabel* lblLitCount;
    QLabel* lblAlarm;
    QTableWidget* table;

Q_SIGNALS:
    // The operator selected the row of this output.
    void OutputSelected(int output);
    // Shown or hidden (closing by the frame hides).
    void Visible(bool shown);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void ShowRow(int i, const LampRow& row);
    void ApplyFilter();

    QList<LampRow> rows_;
    QHash<int, TallyColour> litColours_;
};

}  // namespace vendra
