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

void ModelPort::FaultOn(SimFault fault, int from, int to) {
    fault_ = fault;
    faultFrom_ = from;
    faultTo_ = to;
}

bool ModelPort::Write(const QByteArray& bytes) {
    if (!open_) return false;
    ++writes;
    written += bytes;
    if (onWrite) onWrite(bytes);
    if (delayMs > 0) QThread::msleep(static_cast<unsigned long>(delayMs));
    if (faultFrom_ != std::numeric_limits<int>::max())
        model_.SetFault(writes >= faultFrom_ && writes <= faultTo_ ? fault_ : SimFault::None);
    QByteArray answer = model_.Feed(bytes);
    if (reply) {
        if (std::optional<QByteArray> own = reply(bytes)) answer = *own;
    }
    waiting_ += answer;
    answered += answer.size();
    if (!waiting_.isEmpty()) Q_EMIT DataReceived();
    return true;
}

QByteArray ModelPort::Read(qint64 n) {
    const QByteArray taken = waiting_.left(n);
    waiting_.remove(0, taken.size());
    return taken;
}

std::function<qint64()> ModelPort::Clock() {
    ownClock_ = true;
    return [this] { return now_; };
}

void ModelPort::Pass(int msecs) {
    if (ownClock_)
        now_ += msecs;
    else
        QThread::msleep(static_cast<unsigned long>(msecs));
}

bool ModelPort::WaitForData(int msecs) {
    if (!open_) return false;
    if (!stream.bytes.isEmpty()) {
        Pass(std::min(msecs, stream.everyMs));
        Inject(stream.bytes);
        if (stream.limit > 0 && ++stream.sent == stream.limit) {
            Inject(stream.tail);
            stream.bytes.clear();
        }
        return true;
    }
    // Nothing more will come: the model answers at once. Wait as a silent line would.
    Pass(msecs);
    return false;
}

}  // namespace vendra
