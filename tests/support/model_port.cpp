#include "support/model_port.h"

#include <QThread>

namespace vendra {

int ModelPort::Open() {
    if (refuseOpen) {
        error_ = QStringLiteral("No such file or directory");
        return -1;
    }
    open_ = true;
    return 0;
}

bool ModelPort::Write(const QByteArray& bytes) {
    if (!open_) return false;
    written += bytes;
    waiting_ += model_.Feed(bytes);
    if (!waiting_.isEmpty()) Q_EMIT DataReceived();
    return true;
}

QByteArray ModelPort::Read(qint64 n) {
    const QByteArray taken = waiting_.left(n);
    waiting_.remove(0, taken.size());
    return taken;
}

bool ModelPort::WaitForData(int msecs) {
    // Nothing more will come: the model answers at once. Wait as a silent line would.
    if (!open_) return false;
    QThread::msleep(static_cast<unsigned long>(msecs));
    return false;
}

}  // namespace vendra
