#include "link/command_exchange.h"

#include <QDeadlineTimer>
#include <QTime>

#include "platform/dialogs.h"
#include "platform/serial_port.h"

namespace vendra {

CommandExchange::CommandExchange(SerialPort& port, Dialogs& dialogs, QObject* parent)
    : QObject(parent), port_(port), dialogs_(dialogs) {}

bool CommandExchange::SendCommand(const QString& CommandString) {
    if (busy_.Pumping() || busy_.StopRequested()) {
        IBuffer.clear();
        Response.clear();
        return false;
    }
    Q_EMIT CommandStarted();
    Q_EMIT ErrorLine(QString());

    FlushQueue();
    // A port that failed to open, or whose device went away (the flush may be what finds
    // that out), gets one fresh open per command, so plugging the adapter back in or
    // restarting the controller heals the link at the next command.
    bool portUsable = port_.IsOpen();
    if (!portUsable && EnsureOpen()) {
        portUsable = true;
        FlushQueue();
    }
    const bool written =
        portUsable && port_.Write((CommandString + QStringLiteral("\r\n")).toLatin1());
    if (written || port_.IsOpen()) {
        WaitForResponse();
    } else {
        // Nothing can arrive on a port that is not there; waiting out the deadline would only
        // freeze the console for two seconds per command.
        TimedOut();
    }

    Response = GetResponse(IBuffer);
    const bool received = !IBuffer.isEmpty();
    if (ConsoleCopy()) {
        ClearTxtIbuffer();
        Q_EMIT ConsoleText(QTime::currentTime().toString(Qt::TextDate) + QStringLiteral("\r\n") +
                           IBuffer);
    }
    return received;
}

QString CommandExchange::GetResponse(const QString& StringInput) {
    const qsizetype lineFeed = StringInput.indexOf(QLatin1Char('\n'));
    const qsizetype start = lineFeed + 1;  // 0 when there is no line feed
    const qsizetype carriageReturn = StringInput.indexOf(QLatin1Char('\r'), start);
    if (carriageReturn <= start) return QString();
    return StringInput.mid(start, carriageReturn - start);
}

bool CommandExchange::EnsureOpen() {
    if (port_.IsOpen()) return true;
    return port_.Open() != -1 && port_.IsOpen();
}

void CommandExchange::FlushQueue() {
    IBuffer.clear();
    // Take in, without blocking, what arrived while nobody was reading, so it is discarded too.
    port_.WaitForData(0);
    const qint64 waiting = port_.BytesWaiting();
    if (waiting > 0) port_.Read(waiting);
}

void CommandExchange::WaitForResponse() {
    QDeadlineTimer deadline(deadlineMs_);
    for (;;) {
        const qint64 waiting = port_.BytesWaiting();
        bool terminated = false;
        if (waiting > 0) {
            // Take everything up to and including the first "."; what follows it stays in the
            // port for the next command's flush.
            const QByteArray seen = port_.Peek(waiting);
            const qsizetype dot = seen.indexOf('.');
            terminated = dot >= 0;
            const QByteArray taken = port_.Read(terminated ? dot + 1 : seen.size());
            Append(taken, terminated);
        }
        if (deadline.hasExpired()) {
            TimedOut();
            return;
        }
        if (terminated) return;
        if (waiting > 0) continue;
        if (!port_.IsOpen()) {
            // The device went away during the wait: nothing more will come.
            TimedOut();
            return;
        }
        const qint64 remaining = deadline.remainingTime();
        if (!port_.WaitForData(static_cast<int>(std::max<qint64>(remaining, 0))) &&
            !port_.IsOpen() && port_.BytesWaiting() == 0) {
            TimedOut();
            return;
        }
    }
}

void CommandExchange::Append(const QByteArray& bytes, bool endsWithTerminator) {
    // Past the bound the characters are read and dropped, keeping room for the terminator so
    // that a reply which does end still ends in ".".
    const qsizetype room = kMaxReceive - 1 - IBuffer.size();
    const qsizetype body = endsWithTerminator ? bytes.size() - 1 : bytes.size();
    if (room > 0) IBuffer += QString::fromLatin1(bytes.constData(), std::min(body, room));
    if (endsWithTerminator) IBuffer += QLatin1Char('.');
}

void CommandExchange::TimedOut() {
    Q_EMIT ErrorLine(QStringLiteral("Comm Error!"));
    dialogs_.Beep();
}

void CommandExchange::ClearTxtIbuffer() {
    Q_EMIT ConsoleText(QString());
}

}  // namespace vendra
