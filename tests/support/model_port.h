#pragma once
// An in-process serial port wired to the controller model, for fast tests. Writes go to the
// model at once; its answer waits in the port like received characters.
#include "platform/serial_port.h"
#include "sim/controller_model.h"

namespace vendra {

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
    QString ErrorText() const override { return error_; }
    bool PermissionDenied() const override { return false; }

    // Every byte the console wrote, in order.
    QByteArray written;
    // Makes the next Open() fail, as a missing device would.
    bool refuseOpen = false;
    // Characters that arrive late: queued behind the next answer's bytes.
    void Inject(const QByteArray& bytes) { waiting_ += bytes; }

private:
    ControllerModel& model_;
    QByteArray waiting_;
    QString error_;
    bool open_ = false;
};

}  // namespace vendra
