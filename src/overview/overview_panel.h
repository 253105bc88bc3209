#pragma once
// The tally overview beside the main window: opened by Ctrl+Shift+O or the "Unit Status" box's
// context menu; while it is shown, the units that carry a configured input are polled and every
// lamp is worked out again as an input or the table changes. It uses the controller link (online),
// the input watch and the installation's tables.
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <functional>

#include "changes/lamp_state.h"
#include "overview/frm_overview.h"

class QAbstractItemModel;
class QCheckBox;

namespace vendra {

class ControllerLink;
class InputWatch;
class InstallationView;

// The main window's parts the overview uses.
struct OverviewControls {
    QWidget* window;                        // the main window: the shortcut lives there
    QCheckBox* unitBox;                     // "Unit Status": its context menu opens the overview
    QAbstractItemModel* outputList;         // the output list's rows: they change with the table
    std::function<void(int)> selectOutput;  // selects output n (from 1) in the output list
};

class OverviewPanel : public QObject {
    Q_OBJECT
public:
    OverviewPanel(ControllerLink& link, InputWatch& watch, const InstallationView& installation,
                  OverviewControls controls, QObject* parent = nullptr);
    ~OverviewPanel() override;

    // Shows the overview (building it the first time) and raises it.
    void Open();
    frmOverview* Window() const { return window_; }

private:
    void ShowMenu(const QPoint& at);
    // Polls what the overview needs while it is shown and the console is online.
    void FollowInputs();
    void ScheduleRecompute();
    void Recompute();

    ControllerLink& link_;
    InputWatch& watch_;
    const InstallationView& installation_;
    OverviewControls controls_;
    QPointer<frmOverview> window_;
    QTimer recompute_;
};

}  // namespace vendra
