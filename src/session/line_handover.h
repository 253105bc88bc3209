#pragma once
// The line passed between the unattended service and the console. The service listens on a
// local socket beside the line's lock; a console that finds the line locked asks there. The
// service closes its port, frees the lock and answers "released"; the console takes the line and
// keeps the connection for its whole run. When the connection closes (the console ends, or is
// killed and the kernel closes it), the service takes the line back.
#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QString>
#include <memory>

#include "changes/lamp_state.h"
#include "config/tally_out_config.h"

class QLocalServer;
class QLocalSocket;

namespace vendra {

// A lamp as the console sends it to the service and the page shows it: the row of
// "vendractl lamps --json" and the colour it lights in ("red", "green", "amber").
QJsonObject LampWithColour(const LampRow& row, TallyColour colour);

// The socket beside a line's lock (a short name of its own where the lock's path is too long for
// a local socket).
QString HandoverSocketPath(const QString& lockPath);

// The console's side: asks the service that holds a line to let it go.
class LineHandoverClient {
public:
    LineHandoverClient();
    ~LineHandoverClient();
    // True when a service listens beside `lockPath` and answered that it let the line go; the
    // connection is kept until Release() or the end of this object.
    bool AskForLine(const QString& lockPath, int waitMs);
    bool Holding() const;
    // Tells the service the line may be taken back.
    void Release();
    // One line of text to the service (the lamps the console sees); dropped when not holding.
    void Send(const QByteArray& line);

private:
    std::unique_ptr<QLocalSocket> socket_;
};

// The service's side.
class LineHandoverServer : public QObject {
    Q_OBJECT
public:
    explicit LineHandoverServer(QObject* parent = nullptr);
    ~LineHandoverServer() override;
    // Listens beside `lockPath`; false with ErrorText() when it cannot.
    bool Listen(const QString& lockPath);
    QString ErrorText() const { return error_; }
    // The line is free: the console that asked may take it.
    void Released();
    // A console holds the line (it asked, was answered, and is still connected).
    bool Lent() const;

Q_SIGNALS:
    // A console asks for the line: close the port, free the lock, then call Released().
    void LineWanted();
    // The console that held the line is gone: take it back.
    void LineReturned();
    // A line of text the console sent while it holds the line.
    void ConsoleLine(const QByteArray& line);

private:
    void Accept();
    void Read(QLocalSocket* socket);
    void Gone(QLocalSocket* socket);

    std::unique_ptr<QLocalServer> server_;
    QList<QLocalSocket*> waiting_;  // asked, not yet answered
    QLocalSocket* holder_ = nullptr;
    QString error_;
};

}  // namespace vendra
