#include "widgets/busy_grey.h"

#include <QAction>
#include <QVariant>
#include <QWidget>
#include <utility>

#include "session/services.h"

namespace vendra {

namespace {

// The state a control's own reasons give it, and whether the busy line greys it.
constexpr char kOwn[] = "vendraOwnEnabled";
constexpr char kBusy[] = "vendraBusyGrey";

// The control that takes the keys in its window, active or not (a box may stand over it).
bool HoldsKeys(const QWidget* w) {
    return w->window()->focusWidget() == w;
}

void Apply(QWidget* w) {
    w->setEnabled(w->property(kOwn).toBool() && !w->property(kBusy).toBool());
}

}  // namespace

void SetOwnEnabled(QWidget* w, bool on) {
    w->setProperty(kOwn, on);
    Apply(w);
}

BusyGrey::BusyGrey(ControllerLink& link, QObject* parent) : QObject(parent), busy_(link.IsBusy()) {
    connect(&link, &ControllerLink::BusyChanged, this, &BusyGrey::Follow);
}

void BusyGrey::Add(const QList<QWidget*>& controls) {
    for (QWidget* w : controls) {
        // Its state so far is its own: the explicit one, whatever its parent's.
        if (!w->property(kOwn).isValid())
            w->setProperty(kOwn, !w->testAttribute(Qt::WA_ForceDisabled));
        controls_.append(w);
        if (busy_) Grey(w);
    }
}

void BusyGrey::Add(const QList<QAction*>& actions) {
    for (QAction* a : actions) {
        actions_.append(a);
        a->setEnabled(!busy_);
    }
}

void BusyGrey::Grey(QWidget* w) {
    if (home_ && HoldsKeys(w)) {
        keysWereOn_ = w;
        home_->setFocus();
    }
    w->setProperty(kBusy, true);
    Apply(w);
}

void BusyGrey::Follow(bool busy) {
    busy_ = busy;
    for (QAction* a : actions_)
        if (a) a->setEnabled(!busy);
    for (QWidget* w : controls_) {
        if (!w) continue;
        if (busy) {
            Grey(w);
        } else {
            w->setProperty(kBusy, false);
            Apply(w);
        }
    }
    if (busy) return;
    const QPointer<QWidget> back = std::exchange(keysWereOn_, nullptr);
    if (back && back->isEnabled() && home_ && HoldsKeys(home_)) back->setFocus();
}

}  // namespace vendra
