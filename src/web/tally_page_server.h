#pragma once
// The live tally page: "/" the page and its script (built into the program), "/api/lamps" every
// output's lamp as JSON, and a WebSocket that pushes each change. Read-only: no request changes
// the controller, and every method but GET is answered 405.
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

#include "changes/lamp_state.h"
#include "config/tally_out_config.h"

class QTcpServer;
class QWebSocket;

namespace vendra {

class TallyPageServer : public QObject {
    Q_OBJECT
public:
    // Whoever holds the line, as the page shows it.
    enum class Line { Waiting, Serving, Console };

    explicit TallyPageServer(QObject* parent = nullptr);
    ~TallyPageServer() override;

    // Listens on address:port (0: a free port); false with ErrorText() when it cannot.
    bool Listen(const QHostAddress& address, quint16 port);
    quint16 Port() const;
    QString ErrorText() const { return error_; }

    // The lamps now, each lit in its colour: the clients get the rows that changed.
    void SetLamps(const QList<LampRow>& rows, const std::function<TallyColour(int output)>& colour);
    // What the console sends while it holds the line: {"all": bool, "rows": [rows as
    // /api/lamps gives them]}, the whole state or the rows that changed.
    void TakeConsoleLamps(const QByteArray& line);
    void SetLine(Line line);
    int Clients() const { return int(clients_.size()); }

    // A client that lets this much of our messages pile up unread is dropped (it reconnects
    // and gets the whole state again).
    static constexpr qint64 kMaxUnsent = 1 << 20;

private:
    class Http;
    void TakeClients();
    void Broadcast(const QByteArray& message);
    QByteArray Snapshot() const;
    QJsonArray LampsJson() const;
    void Update(const QList<QJsonObject>& rows, bool whole);

    std::unique_ptr<Http> http_;
    QTcpServer* tcp_ = nullptr;  // owned by http_
    std::vector<std::unique_ptr<QWebSocket>> clients_;
    QList<QJsonObject> rows_;  // as /api/lamps gives them, in the outputs' order
    Line line_ = Line::Waiting;
    QString error_;
};

// "ADDR:PORT", "[v6]:PORT" or "PORT" (the loopback); false when it names no address and port.
bool ParseListenAddress(const QString& text, QHostAddress& address, quint16& port);

}  // namespace vendra
