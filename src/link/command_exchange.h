#pragma once
// The one way to talk to the controller: a command line out, the reply back up to its first
// ".", within 2 seconds of the start of the wait. Only this class touches the serial port.
#include <QObject>
#include <QString>
#include <functional>

#include "link/busy_state.h"
#include "link/error_report.h"

namespace vendra {

class Dialogs;
class SerialPort;

// What became of one exchange, as our own features read it.
enum class ReplyKind {
    Answered,  // the reply ended with a "." that begins a line: the line is the whole reply
    TimedOut,  // nothing arrived within the deadline
    Cut,       // characters arrived, but no "." ended them, or a "." inside the reply cut it
    Closed,    // the far end closed the connection (or the device went away)
    Refused,   // not sent: another operation holds the line, or the program is ending
};

struct Reply {
    ReplyKind Kind = ReplyKind::TimedOut;
    QString Line;  // the reply line, as GetResponse cuts it
    QString Raw;   // every character received

    bool Answered() const { return Kind == ReplyKind::Answered; }
    // An answered reply that is an error line of the controller ("ERR BAD UNIT").
    bool IsError() const { return Answered() && Line.startsWith(QLatin1String("ERR")); }
    // "answered", "no answer", "reply cut short", "connection closed", "not sent (busy)".
    QString KindText() const;
    // For a message: the controller's own error line where it refused, otherwise the kind.
    QString Described() const;
};

// What became of a change to the controller. One rule for every path that changes it (the
// editor, the load, "Clear All", tests, apply, undo, raw commands), decided by OutcomeOf:
enum class ChangeOutcome {
    Made,     // answered, and not with an error line: the copy and the row follow it
    Refused,  // answered with an error line: the row keeps what the controller holds
    Failed,   // no answer, cut short, the line gone, or not sent: the copy may be stale
    Offline,  // nothing was sent: the console's copy only
};
// Offline nothing was sent and `reply` is not read.
ChangeOutcome OutcomeOf(bool online, const Reply& reply);

class CommandExchange : public QObject {
    Q_OBJECT
public:
    static constexpr int kDeadlineMs = 2000;
    // A device that streams without "." cannot make the receive text grow past this.
    static constexpr int kMaxReceive = 64 * 1024;
    // In an unhurried exchange, after part of a reply the wait lets this much more arrive
    // before it looks again (four characters at 9600 baud): one wake per few characters instead
    // of one per character, for a reply that ends at most this much later than it could.
    static constexpr int kGatherMs = 4;

    // While one lives, the exchanges are a poll's, which can wait a few milliseconds longer for
    // the end of a reply: they gather characters (kGatherMs). The operator's commands, a
    // read-back and a load keep waking on every arrival, as fast as the line. A poll runs
    // several times a second, so its exchanges leave the error line alone: what the operator's
    // last action left there stays readable until the next one.
    //
    // A poll that knows how long its reply is (`expectBytes`, the echo and the "." included)
    // lets the wait sleep through the characters still to come at the pace the first ones came,
    // and wake a few times an exchange instead of every kGatherMs.
    class Unhurried {
    public:
        explicit Unhurried(CommandExchange& exchange, qint64 expectBytes = 0)
            : exchange_(exchange),
              gatherBefore_(exchange.gatherMs_),
              pollBefore_(exchange.poll_),
              expectBefore_(exchange.expectBytes_) {
            exchange_.gatherMs_ = kGatherMs;
            exchange_.poll_ = true;
            exchange_.expectBytes_ = expectBytes;
        }
        ~Unhurried() {
            exchange_.gatherMs_ = gatherBefore_;
            exchange_.poll_ = pollBefore_;
            exchange_.expectBytes_ = expectBefore_;
        }
        Unhurried(const Unhurried&) = delete;
        Unhurried& operator=(const Unhurried&) = delete;

    private:
        CommandExchange& exchange_;
        int gatherBefore_;
        bool pollBefore_;
        qint64 expectBefore_;
    };
    // The longest sleep of a wait that expects more characters: a reply shorter than expected
    // (an error line) ends at most this much before the wait looks again. A "BITS" reply at
    // 9600 baud fits in one such sleep: every wake costs a poll a switch of threads, and a poll
    // runs all day.
    static constexpr int kLongestGatherMs = 16 * kGatherMs;

    CommandExchange(SerialPort& port, Dialogs& dialogs, QObject* parent = nullptr);

    // Writes CommandString and "\r\n" in one write and collects the reply into IBuffer.
    // True when at least one character arrived, whether or not the "." did. Refused (false,
    // nothing sent, IBuffer and Response empty) from events that a busy operation lets run, and
    // once the program is ending.
    bool SendCommand(const QString& CommandString);
    // The same, answering what became of it. Our own features read this, never IBuffer.
    Reply Exchange(const QString& CommandString);
    // What became of the last command.
    const Reply& LastReply() const { return last_; }

    // Whether a command may be sent now; shared by everything that sends.
    BusyState& Busy() { return busy_; }
    const BusyState& Busy() const { return busy_; }

    // How long a wait lets characters gather after part of a reply: kGatherMs while an
    // Unhurried lives, 0 otherwise.
    int GatherMs() const { return gatherMs_; }

    // The reply deadline; kDeadlineMs unless a test or a tool sets a shorter one.
    void SetDeadlineMs(int ms) { deadlineMs_ = ms; }
    int DeadlineMs() const { return deadlineMs_; }

    // Milliseconds on a steady clock.
    using Clock = std::function<qint64()>;
    // The clock the deadline is measured on: a steady one, unless a test hands over the clock
    // of a simulated line, on which a silent controller's wait passes at once.
    void SetClock(Clock clock) { clock_ = std::move(clock); }

    // The reply line: the text between the first line feed and the next carriage return; with
    // lines ended by a carriage return alone, the second line.
    static QString GetResponse(const QString& StringInput);

    // Every character received for the current command, up to and including the first ".".
    QString IBuffer;
    // The reply line of the last command.
    QString Response;

    // When set ("Advanced" ticked), every exchange is copied to the advanced console.
    void SetConsoleCopy(bool on) { consoleCopy_ = on; }
    bool ConsoleCopy() const { return consoleCopy_; }

Q_SIGNALS:
    // The TX lamp turns red now and back to green 50 ms after the interface is idle again.
    void CommandStarted();
    // The error line: cleared as a command goes out (not for a poll's exchange), told of a
    // command that failed.
    void ErrorReported(const ErrorReport& error);
    // The advanced console's new receive text: time of day, "\r\n", the raw received text.
    void ConsoleText(const QString& text);
    // A command went through Exchange, and this is how it ended.
    void Exchanged(const QString& command, const Reply& reply);

private:
    void FlushQueue();
    void WaitForResponse();
    // How long to let characters gather when `got` have come, `paced` of them `pacedMs` after
    // the first ones.
    qint64 GatherFor(qint64 got, qint64 paced, qint64 pacedMs) const;
    // Keeps the pace of a poll's reply that came whole, for the next one's first wait.
    void NotePace(qint64 paced, qint64 pacedMs);
    void ClearTxtIbuffer();
    bool EnsureOpen();
    // Adds received characters to IBuffer within kMaxReceive.
    void Append(const QByteArray& bytes, bool endsWithTerminator);
    // A failure for the error line and one beep.
    void TimedOut();

    SerialPort& port_;
    Dialogs& dialogs_;
    BusyState busy_;
    bool consoleCopy_ = false;
    int deadlineMs_ = kDeadlineMs;
    int gatherMs_ = 0;
    qint64 expectBytes_ = 0;  // the reply's expected length; 0: not known
    qint64 paceUs_ = 0;       // microseconds a character in a poll's last reply; 0: not measured
    Clock clock_;
    bool poll_ = false;  // an Unhurried lives
    Reply last_;
};

}  // namespace vendra
