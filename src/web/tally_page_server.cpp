#include "web/tally_page_server.h"

#include <QAbstractHttpServer>
#include <QFile>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTcpServer>
#include <QWebSocket>

#include <algorithm>
#include "session/line_handover.h"

namespace vendra {

namespace {

using Status = QHttpServerResponder::StatusCode;

// The page's files, built into the program.
struct PageFile {
    const char* path;
    const char* resource;
    const char* type;
};
const PageFile kFiles[] = {
    {"/", ":/web/tally.html", "text/html; charset=utf-8"},
    {"/tally.js", ":/web/tally.js", "text/javascript; charset=utf-8"},
    {"/tally.css", ":/web/tally.css", "text/css; charset=utf-8"},
};

constexpr char kLivePath[] = "/live";
// A page sends nothing; anything larger than this from one is no page of ours.
constexpr qint64 kMaxIncoming = 4096;

QByteArray Compact(const QJsonObject& o) {
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

const char* LineWord(TallyPageServer::Line line) {
    switch (line) {
        case TallyPageServer::Line::Serving:
            return "service";
        case TallyPageServer::Line::Console:
            return "console";
        case TallyPageServer::Line::Waiting:
            break;
    }
    return "waiting";
}

// Every request gets an answer. Qt's server closes a connection whose request it cannot parse
// without a word, and reads a request of any size; the guard answers the first with 400 and
// stops the second at kMaxRequest with 431. It counts bytes only: the parsing is Qt's.
class RequestGuard : public QObject {
public:
    static constexpr qint64 kMaxRequest = 32 * 1024;

    explicit RequestGuard(QTcpSocket* socket) : QObject(socket), socket_(socket) {
        // Connected before the HTTP server's own: the bytes are counted before it reads them. A
        // WebSocket upgrade disconnects every slot of the socket, and the guard goes quiet.
        socket->setReadBufferSize(2 * kMaxRequest);
        connect(socket, &QIODevice::readyRead, this, &RequestGuard::Received);
        connect(socket, &QIODevice::bytesWritten, this, [this] { unanswered_ = 0; });
        connect(socket, &QAbstractSocket::stateChanged, this, &RequestGuard::Closing);
    }

private:
    void Received() {
        unanswered_ += socket_->bytesAvailable();
        if (unanswered_ > kMaxRequest) Refuse("431 Request Header Fields Too Large");
    }
    void Closing(QAbstractSocket::SocketState state) {
        // Closed by the server with a request pending and nothing answered: it did not parse.
        if (state == QAbstractSocket::ClosingState && unanswered_ > 0 &&
            socket_->bytesToWrite() == 0)
            Refuse("400 Bad Request");
    }
    void Refuse(const char* status) {
        if (refused_) return;
        refused_ = true;
        socket_->write(QByteArrayLiteral("HTTP/1.1 ") + status +
                       "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
        socket_->disconnectFromHost();
    }

    QTcpSocket* socket_;
    qint64 unanswered_ = 0;  // bytes received since the last answer
    bool refused_ = false;
};

class GuardedServer : public QTcpServer {
protected:
    void incomingConnection(qintptr descriptor) override {
        auto* socket = new QTcpSocket(this);
        if (!socket->setSocketDescriptor(descriptor)) {
            delete socket;
            return;
        }
        new RequestGuard(socket);
        addPendingConnection(socket);
    }
};

}  // namespace

// The HTTP side: Qt's server parses every request; this answers them.
class TallyPageServer::Http : public QAbstractHttpServer {
public:
    explicit Http(TallyPageServer& owner) : owner_(owner) {}

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override {
        // A WebSocket upgrade is taken by answering true and writing nothing: Qt's server then
        // hands the socket to its WebSocket server. Elsewhere it is refused.
        const bool upgrade = request.value("Upgrade").compare(QByteArrayLiteral("websocket"),
                                                              Qt::CaseInsensitive) == 0;
        if (upgrade) return request.url().path() == QLatin1String(kLivePath) && SameOrigin(request);
        QHttpServerResponder r = makeResponder(request, socket);
        if (request.method() != QHttpServerRequest::Method::Get) {
            r.write(QByteArrayLiteral("read-only: only GET is served\n"),
                    {{"Content-Type", "text/plain; charset=utf-8"}, {"Allow", "GET"}},
                    Status::MethodNotAllowed);
            return true;
        }
        if (request.value("Host").isEmpty()) {
            r.write(QByteArrayLiteral("no Host\n"), {{"Content-Type", "text/plain; charset=utf-8"}},
                    Status::BadRequest);
            return true;
        }
        const QString path = request.url().path();
        if (path == QLatin1String("/api/lamps")) {
            r.write(QJsonDocument(owner_.LampsJson()).toJson(QJsonDocument::Indented),
                    {{"Content-Type", "application/json"}, {"Cache-Control", "no-store"}});
            return true;
        }
        for (const PageFile& f : kFiles) {
            if (path != QLatin1String(f.path)) continue;
            QFile file(QString::fromLatin1(f.resource));
            file.open(QIODevice::ReadOnly);
            r.write(file.readAll(),
                    {{"Content-Type", f.type},
                     {"Cache-Control", "no-cache"},
                     {"X-Content-Type-Options", "nosniff"},
                     {"Content-Security-Policy",
                      "default-src 'self'; connect-src 'self' ws: wss:; img-src 'self' data:"}});
            return true;
        }
        r.write(QByteArrayLiteral("not found\n"), {{"Content-Type", "text/plain; charset=utf-8"}},
                Status::NotFound);
        return true;
    }
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override {
        makeResponder(request, socket).write(Status::NotFound);
    }

private:
    // A page of another site open in a browser here may not read the lamps through it.
    static bool SameOrigin(const QHttpServerRequest& request) {
        const QByteArray origin = request.value("Origin");
        return origin.isEmpty() || QUrl(QString::fromLatin1(origin)).authority() ==
                                       QString::fromLatin1(request.value("Host"));
    }

    TallyPageServer& owner_;
};

TallyPageServer::TallyPageServer(QObject* parent)
    : QObject(parent), http_(std::make_unique<Http>(*this)) {
    connect(http_.get(), &QAbstractHttpServer::newWebSocketConnection, this,
            &TallyPageServer::TakeClients);
}

TallyPageServer::~TallyPageServer() {
    for (auto& c : clients_) {
        c->disconnect(this);
        c->close(QWebSocketProtocol::CloseCodeGoingAway);
    }
}

bool TallyPageServer::Listen(const QHostAddress& address, quint16 port) {
    auto tcp = std::make_unique<GuardedServer>();
    if (!tcp->listen(address, port)) {
        error_ = QStringLiteral("cannot listen on %1 port %2: %3")
                     .arg(address.toString())
                     .arg(port)
                     .arg(tcp->errorString());
        return false;
    }
    tcp_ = tcp.release();
    http_->bind(tcp_);  // the HTTP server owns it from here
    return true;
}

quint16 TallyPageServer::Port() const {
    return tcp_ ? tcp_->serverPort() : 0;
}

QJsonArray TallyPageServer::LampsJson() const {
    QJsonArray all;
    for (const QJsonObject& r : rows_)
        all.append(r);
    return all;
}

QByteArray TallyPageServer::Snapshot() const {
    return Compact({{"line", LineWord(line_)}, {"all", true}, {"rows", LampsJson()}});
}

void TallyPageServer::TakeClients() {
    while (http_->hasPendingWebSocketConnections()) {
        std::unique_ptr<QWebSocket> ws = http_->nextPendingWebSocketConnection();
        if (!ws) continue;
        ws->setMaxAllowedIncomingMessageSize(kMaxIncoming);
        ws->setMaxAllowedIncomingFrameSize(kMaxIncoming);
        QWebSocket* raw = ws.get();
        connect(raw, &QWebSocket::disconnected, this, [this, raw] {
            for (auto it = clients_.begin(); it != clients_.end(); ++it) {
                if (it->get() != raw) continue;
                it->release()->deleteLater();
                clients_.erase(it);
                return;
            }
        });
        raw->sendTextMessage(QString::fromUtf8(Snapshot()));
        clients_.push_back(std::move(ws));
    }
}

void TallyPageServer::Broadcast(const QByteArray& message) {
    const QString text = QString::fromUtf8(message);
    // A client that goes away meanwhile is deleted later, not under this loop.
    QList<QWebSocket*> all, behind;
    for (const auto& c : clients_)
        all.append(c.get());
    for (QWebSocket* c : all) {
        if (c->bytesToWrite() > kMaxUnsent) {
            behind.append(c);
        } else {
            c->sendTextMessage(text);
            c->flush();  // to the kernel now, not at a later turn of the loop for each client
        }
    }
    // A client that does not read is dropped, not buffered for without end.
    for (QWebSocket* c : behind)
        c->abort();
}

void TallyPageServer::SetLamps(const QList<LampRow>& rows,
                               const std::function<TallyColour(int output)>& colour) {
    QList<QJsonObject> objects;
    for (const LampRow& r : rows)
        objects.append(LampWithColour(r, colour(r.Output)));
    Update(objects, false);
}

void TallyPageServer::TakeConsoleLamps(const QByteArray& line) {
    const QJsonObject m = QJsonDocument::fromJson(line).object();
    const bool whole = m.value(QStringLiteral("all")).toBool();
    QList<QJsonObject> rows = whole ? QList<QJsonObject>() : rows_;
    for (const QJsonValue& v : m.value(QStringLiteral("rows")).toArray()) {
        const QJsonObject row = v.toObject();
        const int output = row.value(QStringLiteral("output")).toInt();
        if (output <= 0) continue;
        const auto at = std::find_if(rows.begin(), rows.end(), [output](const QJsonObject& r) {
            return r.value(QStringLiteral("output")).toInt() == output;
        });
        if (at != rows.end())
            *at = row;
        else if (whole)
            rows.append(row);
    }
    Update(rows, whole);
}

void TallyPageServer::Update(const QList<QJsonObject>& rows, bool whole) {
    whole = whole || rows.size() != rows_.size();
    QJsonArray changed;
    for (qsizetype i = 0; i < rows.size(); ++i)
        if (whole || rows[i] != rows_[i]) changed.append(rows[i]);
    rows_ = rows;
    if (changed.isEmpty() && !whole) return;
    Broadcast(Compact({{"all", whole}, {"rows", changed}}));
}

void TallyPageServer::SetLine(Line line) {
    if (line == line_) return;
    line_ = line;
    Broadcast(Compact({{"line", LineWord(line_)}}));
}

bool ParseListenAddress(const QString& text, QHostAddress& address, quint16& port) {
    static const QRegularExpression form(
        QStringLiteral("^(?:(?:\\[([^\\]]+)\\]|([^:\\[\\]]*)):)?(\\d{1,5})$"));
    const QRegularExpressionMatch m = form.match(text.trimmed());
    if (!m.hasMatch()) return false;
    const uint number = m.captured(3).toUInt();
    if (number > 65535) return false;
    const QString host = m.captured(1).isEmpty() ? m.captured(2) : m.captured(1);
    if (host.isEmpty() || host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        address = QHostAddress(QHostAddress::LocalHost);
    else if (!address.setAddress(host))
        return false;
    port = quint16(number);
    return true;
}

}  // namespace vendra
