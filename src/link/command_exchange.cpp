#include "link/command_exchange.h"

#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QThread>
#include <QTime>
#include <algorithm>

#include "platform/dialogs.h"
#include "platform/serial_port.h"

namespace vendra {

// Off by default; QT_LOGGING_RULES="vendra.link.debug=true" traces every exchange, so a field
// engineer can send a transcript of what crossed the line.
Q_LOGGING_CATEGORY(lcLink, "vendra.link", QtWarningMsg)

namespace {

// Control characters shown as escapes, so a transcript line stays one line.
QString Visible(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        if (c == QLatin1Char('\r'))
            out += QStringLiteral("\\r");
        else if (c == QLatin1Char('\n'))
            out += QStringLiteral("\\n");
        else if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            out += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out;
}

// The terminator ends a whole reply when it stands alone or at the start of a line, after the
// line end (CR LF, or CR alone) of the echo or the reply; anywhere else it cut the reply short.
bool TerminatorEndsALine(const QString& received) {
    if (received == QLatin1String(".")) return true;
    return received.endsWith(QLatin1String("\n.")) || received.endsWith(QLatin1String("\r."));
}

// Microseconds a character, `paced` characters having come in `pacedMs`. The line runs at 9600
// baud, ten bits a character: no reply comes faster, and a pace measured in whole milliseconds
// over a few characters that reads slower is taken as the line's.
qint64 PaceUs(qint64 paced, qint64 pacedMs) {
    constexpr qint64 kCharUs = 10 * 1000 * 1000 / kLineBaud;
    return std::min(pacedMs * 1000 / paced, kCharUs);
}

}  // namespace

QString Reply::KindText() const {
    switch (Kind) {
        case ReplyKind::Answered:
            return QStringLiteral("answered");
        case ReplyKind::TimedOut:
            return QStringLiteral("no answer");
        case ReplyKind::Cut:
            return QStringLiteral("reply cut short");
        case ReplyKind::Closed:
            return QStringLiteral("the connection was closed");
        case ReplyKind::Refused:
            return QStringLiteral("not sent (the line is busy)");
    }
    return {};
}

QString Reply::Described() const {
    if (IsError()) return QLatin1Char('"') + Line + QLatin1Char('"');
    return KindText();
}

ChangeOutcome OutcomeOf(bool online, const Reply& reply) {
    if (!online) return ChangeOutcome::Offline;
    if (!reply.Answered()) return ChangeOutcome::Failed;
    return reply.IsError() ? ChangeOutcome::Refused : ChangeOutcome::Made;
}

Reply CommandExchange::Exchange(const QString& CommandString) {
    SendCommand(CommandString);
    const Reply reply = last_;
    Q_EMIT Exchanged(CommandString, reply);
    return reply;
}

CommandExchange::CommandExchange(SerialPort& port, Dialogs& dialogs, QObject* parent)
    : QObject(parent), port_(port), dialogs_(dialogs) {
    QElapsedTimer steady;
    steady.start();
    clock_ = [steady] { return steady.elapsed(); };
}

bool CommandExchange::SendCommand(const QString& CommandString) {
    if (busy_.Pumping() || busy_.StopRequested()) {
        qCDebug(lcLink).noquote() << "refused while busy:" << Visible(CommandString);
        IBuffer.clear();
        Response.clear();
        last_ = {ReplyKind::Refused, {}, {}};
        return false;
    }
    Q_EMIT CommandStarted();
    if (!poll_) Q_EMIT ErrorReported(ErrorReport::Cleared());
    QElapsedTimer took;
    took.start();

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
    ReplyKind kind = ReplyKind::Answered;
    if (!IBuffer.endsWith(QLatin1Char('.')) || !TerminatorEndsALine(IBuffer))
        kind = !port_.IsOpen() ? ReplyKind::Closed
               : received      ? ReplyKind::Cut
                               : ReplyKind::TimedOut;
    last_ = {kind, Response, IBuffer};
    qCDebug(lcLink).noquote() << "sent" << Visible(CommandString) << "| received"
                              << Visible(IBuffer) << "| reply" << Visible(Response) << "|"
                              << took.elapsed() << "ms" << (received ? "" : "(nothing arrived)");
    if (ConsoleCopy()) {
        ClearTxtIbuffer();
        Q_EMIT ConsoleText(QTime::currentTime().toString(Qt::TextDate) + QStringLiteral("\r\n") +
                           IBuffer);
    }
    return received;
}

QString CommandExchange::GetResponse(const QString& StringInput) {
    const qsizetype lineFeed = StringInput.indexOf(QLatin1Char('\n'));
    if (lineFeed < 0) {
        // A controller that ends its lines with a carriage return alone: the echo's line is
        // followed by the reply's, which must not be mistaken for the echo.
        const qsizetype first = StringInput.indexOf(QLatin1Char('\r'));
        const qsizetype second = first < 0 ? -1 : StringInput.indexOf(QLatin1Char('\r'), first + 1);
        if (second >= 0) return StringInput.mid(first + 1, second - first - 1);
    }
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

qint64 CommandExchange::GatherFor(qint64 got, qint64 paced, qint64 pacedMs) const {
    if (expectBytes_ <= got) return gatherMs_;
    // Until this reply shows its pace, the last one's stands in: the first wake of an exchange
    // sleeps straight to the end. Bounded by the line's, the wait never sleeps past the reply's
    // end; a faster link (a network, an unpaced simulator) keeps its own.
    qint64 perCharUs = paceUs_;
    if (paced > 0 && pacedMs > 0) perCharUs = PaceUs(paced, pacedMs);
    if (perCharUs <= 0) return gatherMs_;
    // Wakes one gather before the expected end, so the last characters are met by a short wait.
    const qint64 rest = (expectBytes_ - got) * perCharUs / 1000;
    return std::clamp<qint64>(rest - gatherMs_, gatherMs_, kLongestGatherMs);
}

void CommandExchange::NotePace(qint64 paced, qint64 pacedMs) {
    // Over a whole reply the pace is known well enough to start the next one's wait on.
    constexpr qint64 kFewest = 8;
    if (expectBytes_ > 0 && paced >= kFewest && pacedMs > 0) paceUs_ = PaceUs(paced, pacedMs);
}

void CommandExchange::WaitForResponse() {
    const qint64 end = clock_() + std::max(deadlineMs_, 0);
    const auto remaining = [&] { return std::max<qint64>(end - clock_(), 0); };
    qint64 got = 0, first = 0, firstAt = -1;  // the reply's pace, from its first characters on
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
            got += taken.size();
            if (firstAt < 0) {
                firstAt = clock_();
                first = got;
            }
        }
        if (remaining() == 0) {
            TimedOut();
            return;
        }
        if (terminated) return NotePace(got - first, clock_() - firstAt);
        if (waiting > 0) {
            if (gatherMs_ > 0)
                QThread::msleep(static_cast<unsigned long>(
                    std::min(remaining(), GatherFor(got, got - first, clock_() - firstAt))));
            continue;
        }
        if (!port_.IsOpen()) {
            // The device went away during the wait: nothing more will come.
            TimedOut();
            return;
        }
        if (!port_.WaitForData(static_cast<int>(remaining())) && !port_.IsOpen() &&
            port_.BytesWaiting() == 0) {
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
    Q_EMIT ErrorReported(ErrorReport::LineFailed());
    dialogs_.Beep();
}

void CommandExchange::ClearTxtIbuffer() {
    Q_EMIT ConsoleText(QString());
}

}  // namespace vendra
