#pragma once
// The console's tally overview as a benchmark watches it: opened from the main window's menu,
// each polled unit's lamp read from its row.
#include <QAction>
#include <QApplication>
#include <QTableWidget>

#include "overview/frm_overview.h"
#include "support/main_rig.h"

namespace vendra::bench {

class OverviewProbe {
public:
    // Opens the overview of `rig`'s window; false when it did not open.
    bool Open(MainRig& rig) {
        for (QAction* a : rig.window->actions())
            if (a->shortcut() == QKeySequence(QStringLiteral("Ctrl+Shift+O"))) a->trigger();
        for (QWidget* top : QApplication::topLevelWidgets())
            if (auto* f = qobject_cast<frmOverview*>(top)) view_ = f;
        return view_ != nullptr;
    }
    // What the lamp column of unit `unit`'s row shows ("lit", "dark", ...): the benchmarks'
    // installations light output u by unit u's input.
    QString Lamp(int unit) const {
        QTableWidgetItem* item = view_->table->item(unit - 1, frmOverview::kLamp);
        return item ? item->text() : QString();
    }
    // Tells every change of the rows, as the window's own model does.
    QAbstractItemModel* Model() const { return view_->table->model(); }

private:
    frmOverview* view_ = nullptr;
};

}  // namespace vendra::bench
