#include "link/input_poll.h"

#include <QElapsedTimer>
#include <algorithm>

#include "link/busy_state.h"
#include "link/unit_status.h"

namespace vendra {

InputPoll::InputPoll(UnitStatus& units, BusyState& busy, QObject* parent)
    : QObject(parent), status_(units), busy_(busy) {
    QElapsedTimer steady;
    steady.start();
    clock_ = [steady] { return steady.elapsed(); };
    timer_.setSingleShot(true);
    // The wait up to the next cycle is short; a coarse timer would stretch every cycle.
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &InputPoll::Step);
    // A poll that found the console busy waits for the end of the busy operation.
    connect(&busy_, &BusyState::BusyChanged, this, [this](bool nowBusy) {
        if (!nowBusy && Running() && !timer_.isActive()) Schedule(0);
    });
}

void InputPoll::SetUnits(const QList<int>& units) {
    units_ = units;
    if (!Running()) {
        timer_.stop();
        cycle_.clear();
        next_ = 0;
        started_ = false;
        last_.clear();
        return;
    }
    if (!timer_.isActive()) Schedule(0);
}

void InputPoll::SetExtraUnit(int unit) {
    extra_ = unit;
}

void InputPoll::SetStatusUnits(const QList<int>& units) {
    statusUnits_ = units;
    statusTurn_ = 0;
}

std::optional<quint32> InputPoll::Last(int unit) const {
    const auto it = last_.find(unit);
    return it == last_.end() ? std::nullopt : it->second;
}

void InputPoll::Schedule(int ms) {
    timer_.start(std::max(ms, 0));
}

void InputPoll::Step() {
    if (!Running() || busy_.Busy()) return;  // BusyChanged starts it again
    if (!started_) {
        const qint64 since = clock_() - cycleStart_;
        if (cycleStart_ >= 0 && since < kMinCycleMs) return Schedule(int(kMinCycleMs - since));
        cycle_ = units_;
        if (extra_ > 0 && !cycle_.contains(extra_)) cycle_.append(extra_);
        std::sort(cycle_.begin(), cycle_.end());
        cycleStart_ = clock_();
        started_ = true;
        if (AskStatus()) return;
    }
    const int unit = cycle_[next_++];
    const std::optional<quint32> bits = status_.ReadBits(unit);
    last_[unit] = bits;
    const bool cycleDone = next_ >= cycle_.size();
    if (cycleDone) {
        next_ = 0;
        started_ = false;
    }
    Q_EMIT UnitRead(unit, bits);
    if (cycleDone) Q_EMIT CycleEnded(int(cycle_.size()), clock_() - cycleStart_);
    // Back to the event loop before the next exchange: whatever the operator started while
    // this one was on the line goes first.
    if (Running() && !timer_.isActive()) Schedule(0);
}

// The cycle's status line, first, as an exchange of its own: the bits read after it show whether
// the inputs held still around it.
bool InputPoll::AskStatus() {
    if (statusUnits_.isEmpty()) return false;
    const int unit = statusUnits_[statusTurn_++ % statusUnits_.size()];
    const QString line = status_.GetStat(unit);
    Q_EMIT StatusRead(unit, line);
    if (Running() && !timer_.isActive()) Schedule(0);
    return true;
}

}  // namespace vendra
