#pragma once
// The console's one notion of busy, as the windows show it: while a read-back, a load, a save or
// a flow of the compare window holds the line, every control and action that would start a
// controller operation is grey. A control can be grey for reasons of its own as well (offline,
// a download's progress, nothing to apply); those are set with SetOwnEnabled and come back,
// whatever they became meanwhile, when the line is free.
#include <QList>
#include <QObject>
#include <QPointer>

class QAction;
class QWidget;

namespace vendra {

class ControllerLink;

// Whether `w` may act apart from the busy line. Every window sets a gated control's state this
// way, never with setEnabled, so the busy grey and its own reason do not overwrite each other.
void SetOwnEnabled(QWidget* w, bool on);

class BusyGrey : public QObject {
    Q_OBJECT
public:
    // Follows the link's busy changes from its current state on.
    explicit BusyGrey(ControllerLink& link, QObject* parent = nullptr);

    // Gated from now on, grey at once when the line is busy already.
    void Add(const QList<QWidget*>& controls);
    void Add(const QList<QAction*>& actions);
    // Where the keyboard waits while a gated control that held it is grey; it comes back to
    // that control afterwards unless something else took it meanwhile. Without a home, Qt hands
    // the keys to the next control, which may be "X".
    void SetKeyHome(QWidget* home) { home_ = home; }

private:
    void Follow(bool busy);
    void Grey(QWidget* w);

    bool busy_ = false;
    QList<QPointer<QWidget>> controls_;
    QList<QPointer<QAction>> actions_;
    QPointer<QWidget> home_;
    QPointer<QWidget> keysWereOn_;
};

}  // namespace vendra
