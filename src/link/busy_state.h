#pragma once
// One command at a time. An operation that lets window events run between its exchanges (the
// whole-table read-back, a load that keeps painting) holds the console busy; the events it lets
// run must not reach the controller, or the table would change while it is being read.
#include <QEventLoop>
#include <QObject>

namespace vendra {

class BusyState : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // An operation that lets events run is in progress: only its own "Cancel" may act.
    bool Busy() const { return depth_ > 0; }
    // Events are running from inside a busy operation: whatever they try to send is refused.
    bool Pumping() const { return pumping_ > 0; }
    // The program is ending: the running operation stops at its next exchange.
    bool StopRequested() const { return stop_; }
    void RequestStop() { stop_ = true; }

    // Runs pending events from inside a busy operation.
    void Pump(QEventLoop::ProcessEventsFlags flags = QEventLoop::AllEvents);

    // Holds the console busy for its lifetime.
    class Scope {
    public:
        explicit Scope(BusyState& state);
        ~Scope();
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        BusyState& state_;
    };

Q_SIGNALS:
    // Entered or left the busy state (not for nested operations).
    void BusyChanged(bool busy);

private:
    int depth_ = 0;
    int pumping_ = 0;
    bool stop_ = false;
};

}  // namespace vendra
