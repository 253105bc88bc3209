#pragma once
// The unit status window: 32 lamps for one unit's input bits, its status line, and a spinner
// that picks the watched unit among the enabled units. The window only shows and picks; the
// main window switches the monitor on and off and runs the poll timer. Deletes itself when
// closed by its frame; whoever shows it keeps a QPointer.
#include <QWidget>
#include <array>

#include "config/enabled_units.h"

class QLabel;
class QPushButton;
class QToolButton;

namespace vendra {

class Lamp;
class InputWatch;

// Two arrow buttons holding a position between a lower and an upper limit. An upper limit
// below the lower one leaves nothing to pick: both arrows are disabled and the value stays.
class UpDownArrows : public QWidget {
    Q_OBJECT
public:
    explicit UpDownArrows(QWidget* parent = nullptr);

    int Value() const { return value_; }
    int Min() const { return min_; }
    int Max() const { return max_; }
    void SetMax(int max);

    // One step up or down, as the arrows and the arrow keys do; false at a limit.
    bool StepUp();
    bool StepDown();

    QToolButton* up;
    QToolButton* down;

Q_SIGNALS:
    // The operator moved the value.
    void Changed(int value);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    bool Step(int delta);
    void EnableArrows();

    int min_ = 1;
    int max_ = 1;
    int value_ = 1;
};

class frmUnitBits : public QWidget {
    Q_OBJECT
public:
    static constexpr int kLamps = 32;

    // The unit's lamps and status come from the input watch.
    explicit frmUnitBits(InputWatch& inputs, QWidget* parent = nullptr);

    // The load step: beside the main window, the spinner's range from the enabled units, the
    // unit at the spinner's position (1 when none is enabled) and its first status line.
    void Load(const QPoint& mainTopLeft, const EnabledUnits& units);

    // lblStatus = the watched unit's status reply.
    void ShowStatus();
    // The unit whose number lblWatchUnit shows.
    int WatchedUnit() const;
    // Lamp k lit (red) when bit k - 1 is set, dark (black) otherwise.
    void ShowLamps(quint32 lamps);

    // Lamp k (1 .. 32); null outside.
    Lamp* Shape3(int k) const;
    // Bit-number label i (0 .. 15); null outside.
    QLabel* Label1(int i) const;

    QLabel* Label2;
    QLabel* lblWatchUnit;
    UpDownArrows* UpDown1;
    QLabel* lblStatus;
    QPushButton* cmdClose;

Q_SIGNALS:
    // The spinner picked another unit (already shown and asked for its status).
    void WatchedUnitChanged();
    // "Close Window" was pressed; the window stays loaded.
    void CloseWindowClicked();
    // The frame closed the window: it is being unloaded and will be destroyed.
    void Unloaded();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void SpinnerChanged(int value);

    InputWatch& inputs_;
    EnabledUnits units_;
    std::array<Lamp*, kLamps> lamps_{};
    std::array<QLabel*, 16> bitLabels_{};
};

}  // namespace vendra
