#pragma once
// Asks units for their input bits ("BITS u") in cycles while someone watches them, sharing the
// line with the operator: one exchange per turn of the event loop, so that a command the
// operator starts goes out before the next poll; nothing while the console is busy (a read-back,
// a load, an apply); each unit once per cycle, however many watch it; and a new cycle no sooner
// than kMinCycleMs after the start of the one before. Where output units are named, each cycle
// begins by asking one of them, in turn, for its status line ("GSTAT u").
#include <QList>
#include <QObject>
#include <QTimer>
#include <functional>
#include <map>
#include <optional>

namespace vendra {

class BusyState;
class UnitStatus;

class InputPoll : public QObject {
    Q_OBJECT
public:
    static constexpr int kMinCycleMs = 200;

    // Milliseconds on a steady clock.
    using Clock = std::function<qint64()>;

    InputPoll(UnitStatus& units, BusyState& busy, QObject* parent = nullptr);

    // The clock the cycles are measured on; a steady one unless a test sets its own.
    void SetClock(Clock clock) { clock_ = std::move(clock); }

    // The units to ask each cycle; an empty list stops the polling.
    void SetUnits(const QList<int>& units);
    // A unit asked in the same cycles while the polling runs (the unit status monitor's);
    // 0 for none.
    void SetExtraUnit(int unit);
    // The units whose status line is asked, one at the start of each cycle, in turn; empty for
    // none.
    void SetStatusUnits(const QList<int>& units);
    bool Running() const { return !units_.isEmpty(); }
    // The unit's last answer; empty when it gave none with 32 bits or was not asked yet.
    std::optional<quint32> Last(int unit) const;

Q_SIGNALS:
    // After each "BITS": the unit's 32 bits, or none when it did not answer with them.
    void UnitRead(int unit, std::optional<quint32> bits);
    // A cycle over `units` units took `ms` milliseconds from its first exchange to its last.
    void CycleEnded(int units, qint64 ms);
    // The status line a cycle asked for (empty when the unit did not answer).
    void StatusRead(int unit, const QString& line);

private:
    void Step();
    void Schedule(int ms);
    bool AskStatus();

    UnitStatus& status_;
    BusyState& busy_;
    QTimer timer_;
    QList<int> units_;
    int extra_ = 0;
    QList<int> cycle_;  // the units of the running cycle
    qsizetype next_ = 0;
    bool started_ = false;  // the running cycle has begun (its status asked, if any)
    QList<int> statusUnits_;
    qsizetype statusTurn_ = 0;
    Clock clock_;
    qint64 cycleStart_ = -1;  // when the last cycle began; -1 before the first
    std::map<int, std::optional<quint32>> last_;
};

}  // namespace vendra
