#pragma once
// The unit status window and the advanced console beside the main window: their tick boxes,
// the polling of the watched unit's input bits, and their ends. They use the controller link
// (raw commands, the console's copy of the replies, busy), the input watch and the enabled units.
#include <QObject>
#include <QPointer>
#include <QTimer>

#include "diag/frm_unit_bits.h"
#include "diag/frm_verbose.h"

class QCheckBox;
class QWindow;

namespace vendra {

class ControllerLink;
class InputWatch;
class InstallationView;

// The main window's parts the panels use.
struct DiagControls {
    QWidget* window;        // the main window: the panels open beside it and hand the keys back
    QCheckBox* unitBox;     // "Unit Status"
    QCheckBox* consoleBox;  // "Advanced"
    QWidget* list;          // the output list, which takes the keys after a panel's change
};

class DiagPanels : public QObject {
    Q_OBJECT
public:
    DiagPanels(ControllerLink& link, InputWatch& inputs, const InstallationView& installation,
               DiagControls controls, QObject* parent = nullptr);
    ~DiagPanels() override;  // unloads both panels

    void UnitStatusClicked(bool ticked);
    void AdvancedClicked(bool ticked);
    // Both panels go (the main window closes).
    void UnloadSecondaryWindows();
    // True for the window of one of the panels.
    bool IsPanelWindow(const QWindow* window) const;

    frmVerbose* Verbose() const { return verbose_; }
    frmUnitBits* UnitBitsWindow() const { return unitBits_; }

    // Polls the watched unit while the unit status window is on.
    QTimer tmrInputStatus;

private:
    void TimerInputStatusTick();
    // Tells the shared poll which unit the monitor watches (none while it is off).
    void ShareWatchedUnit();
    void FocusList();
    void BackToMain();

    ControllerLink& link_;
    InputWatch& inputs_;
    const InstallationView& installation_;
    DiagControls controls_;
    QPointer<frmVerbose> verbose_;
    QPointer<frmUnitBits> unitBits_;
};

}  // namespace vendra
