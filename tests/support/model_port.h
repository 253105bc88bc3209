#pragma once
// An in-process serial port wired to the controller model, for fast tests. Writes go to the
// model at once; its answer waits in the port like received characters. The hooks let a test
// change the answer, slow the line, commit faults on chosen lines or keep a device streaming.
#include <QByteArray>
#include <functional>
#include <limits>
#include <optional>

#include "platform/serial_port.h"
#include "sim/controller_model.h"

namespace vendra {

// The reply deadline for tests of logic on this port: the model answers at once, so a short
// deadline loses no reply and a silent controller costs a fraction of the program's 2 s.
constexpr int kTestDeadlineMs = 250;

class ModelPort : public SerialPort {
    Q_OBJECT
public:
    explicit ModelPort(ControllerModel& model) : model_(model) {}

    int Open() override;
    void Close() override { open_ = false; }
    bool IsOpen() const override { return open_; }
    bool Write(const QByteArray& bytes) override;
    qint64 BytesWaiting() override { return waiting_.size(); }
    QByteArray Peek(qint64 n) override { return waiting_.left(n); }
    QByteArray Read(qint64 n) override;
    bool WaitForData(int msecs) override;
    QString DeviceName() const override { return QStringLiteral("model"); }
    QString LineName() const override { return {}; }
    QString ErrorText() const override { return error_; }
    bool PermissionDenied() const override { return false; }

    // Every byte the console wrote, in order, and the number of writes.
    QByteArray written;
    int writes = 0;
    // Bytes queued as answers: what the controller sent back over the line.
    qint64 answered = 0;
    // Makes the next Open() fail, as a missing device would.
    bool refuseOpen = false;
    // Characters that arrive late: queued behind the next answer's bytes.
    void Inject(const QByteArray& bytes) { waiting_ += bytes; }

    // Runs as each line goes out, before it is answered.
    std::function<void(const QByteArray& line)> onWrite;
    // The answer to a line instead of the model's (the model still sees the line); nothing
    // leaves the model's answer.
    std::function<std::optional<QByteArray>(const QByteArray& line)> reply;
    // Each write takes this long, as on a slow line.
    int delayMs = 0;
    // The model commits `fault` on the written lines from .. to (1 = the first).
    void FaultOn(SimFault fault, int from, int to = std::numeric_limits<int>::max());

    // The line's own clock, in milliseconds. Once an exchange is measured on it, a wait for
    // characters that will not come and a stream's pauses pass on it at once instead of in real
    // time, so a silent controller costs a test nothing and its deadline is exact.
    std::function<qint64()> Clock();
    qint64 Now() const { return now_; }

    // A device that keeps sending: each wait delivers `bytes` after everyMs; after `limit`
    // waits (0: never) `tail` follows and the stream stops.
    struct Stream {
        QByteArray bytes;
        QByteArray tail;
        int everyMs = 0;
        int limit = 0;
        int sent = 0;
    } stream;

private:
    // Lets msecs pass: on the line's clock once it is handed out, in real time before.
    void Pass(int msecs);

    ControllerModel& model_;
    QByteArray waiting_;
    QString error_;
    bool open_ = false;
    bool ownClock_ = false;  // Clock() was handed out
    qint64 now_ = 0;
    SimFault fault_ = SimFault::None;
    int faultFrom_ = std::numeric_limits<int>::max();
    int faultTo_ = std::numeric_limits<int>::max();
};

}  // namespace vendra
