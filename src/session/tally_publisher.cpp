#include "session/tally_publisher.h"

#include <QLoggingCategory>
#include <QSignalBlocker>
#include <QTcpSocket>
#include <QUdpSocket>
#include <algorithm>
#include <climits>

#include "platform/tsl_umd.h"
#include "session/services.h"

namespace vendra {

namespace {

Q_LOGGING_CATEGORY(lcTallyOut, "vendra.tallyout")

// How long a TCP connection must last before it counts as made again.
constexpr int kStableMs = 2000;

// The text of a display whose lamp cannot be known, where the file asks for it to say so.
const QLatin1String kUnknownV5(" (unknown)");
const QLatin1String kUnknownV31(" ?");

tsl::Colour V5Colour(TallyColour c) {
    switch (c) {
        case TallyColour::Red:
            return tsl::Colour::Red;
        case TallyColour::Green:
            return tsl::Colour::Green;
        case TallyColour::Amber:
            return tsl::Colour::Amber;
    }
    return tsl::Colour::Red;
}

// One row as the destination's packets: a lit lamp lights the display's left, right and text
// tally in its colour at full brightness; a lamp that cannot be known is off.
QList<QByteArray> Packets(const TallyDestination& dest, const TallyOutConfig& config,
                          const QList<LampRow>& rows) {
    const bool tcp = dest.Via == TallyDestination::Transport::Tcp;
    QList<QByteArray> packets;
    if (dest.Version == TallyDestination::Protocol::V31) {
        for (const LampRow& r : rows) {
            const TallyDisplay d = config.DisplayOf(r.Output);
            if (d.Index > tsl::kV31MaxAddress) continue;  // no such address in version 3.1
            QString text = r.Name;
            if (r.Lamp == LampState::Unknown && d.SayUnknown == 1)
                text = text.left(tsl::kV31TextLength - kUnknownV31.size()) + kUnknownV31;
            const int tallies = r.Lamp == LampState::Lit ? TallyOutConfig::V31TalliesOf(d) : 0;
            packets.append(tsl::EncodeV31({d.Index, quint8(tallies), tsl::kMaxBrightness, text}));
        }
        return packets;
    }
    QList<tsl::V5Display> displays;
    for (const LampRow& r : rows) {
        const TallyDisplay d = config.DisplayOf(r.Output);
        const tsl::Colour c = r.Lamp == LampState::Lit ? V5Colour(d.Colour) : tsl::Colour::Off;
        QString text = r.Name;
        if (r.Lamp == LampState::Unknown && d.SayUnknown == 1) text += kUnknownV5;
        displays.append({d.Index, c, c, c, tsl::kMaxBrightness, text});
    }
    packets = tsl::EncodeV5(dest.Screen, displays, dest.Packed ? INT_MAX : 1);
    if (tcp)
        for (QByteArray& p : packets)
            p = tsl::FrameDleStx(p);
    return packets;
}

}  // namespace

// One receiver: its socket, the retry of a TCP connection and what was reported about it.
class TallyPublisher::Destination : public QObject {
public:
    Destination(int number, const TallyDestination& config, TallyPublisher& owner)
        : number_(number), config_(config), owner_(owner) {
        const bool tcp = config.Via == TallyDestination::Transport::Tcp;
        socket_ = tcp ? static_cast<QAbstractSocket*>(new QTcpSocket(this)) : new QUdpSocket(this);
        retryMs_ = owner.firstRetryMs_;
        retry_.setSingleShot(true);
        connect(&retry_, &QTimer::timeout, this, &Destination::Open);
        stable_.setSingleShot(true);
        connect(&stable_, &QTimer::timeout, this, &Destination::Stable);
        connect(socket_, &QAbstractSocket::connected, this, &Destination::Connected);
        connect(socket_, &QAbstractSocket::disconnected, this,
                [this] { Lost(QStringLiteral("the receiver closed the connection")); });
        connect(socket_, &QAbstractSocket::errorOccurred, this, [this] {
            // A UDP "port unreachable" leaves the socket as it was: the next packet tries again.
            if (socket_->state() != QAbstractSocket::ConnectedState) Lost(socket_->errorString());
        });
        connect(socket_, &QAbstractSocket::bytesWritten, this, &Destination::Drained);
    }

    ~Destination() override {
        // The socket's own end must not come back here half destroyed.
        socket_->disconnect(this);
        // A peer gets an orderly close where nothing waits to be written, a reset otherwise.
        socket_->disconnectFromHost();
        socket_->abort();
    }

    const TallyDestination& Config() const { return config_; }
    qint64 Pending() const { return socket_->bytesToWrite(); }
    bool Ready() const { return socket_->state() == QAbstractSocket::ConnectedState; }

    // Connects (TCP) or looks the host up (UDP); never waits.
    void Open() {
        if (socket_->state() != QAbstractSocket::UnconnectedState) {
            const QSignalBlocker quiet(socket_);
            socket_->abort();
        }
        socket_->connectToHost(config_.Host, config_.Port);
    }

    void Send(const QList<QByteArray>& packets) {
        if (!Ready() || packets.isEmpty()) return;
        // A backlog over the cap is a receiver that does not read, not a burst (every display
        // on connecting, then a refresh) that the line takes at its next turn.
        if (socket_->bytesToWrite() > kMaxPendingBytes) {
            // The receiver does not read: the packets are dropped, and every display goes again
            // once it has read what waits.
            if (!toldBehind_) Tell(QStringLiteral("the receiver does not read; tally held back"));
            behind_ = toldBehind_ = true;
            return;
        }
        for (const QByteArray& p : packets)
            socket_->write(p);
        Q_EMIT owner_.Sent(number_, int(packets.size()));
    }

private:
    void Connected() {
        toldBehind_ = false;
        stable_.start(kStableMs);
        owner_.Publish({}, this);
    }

    // A connection that lasts: the next loss is told again, and retried from the first wait.
    // One that a receiver closes at once is not.
    void Stable() {
        if (!Ready()) return;
        if (reported_) Tell(QStringLiteral("connected again"));
        reported_ = false;
        retryMs_ = owner_.firstRetryMs_;
    }

    void Drained() {
        if (!behind_ || socket_->bytesToWrite() > 0) return;
        behind_ = false;
        owner_.Publish({}, this);
    }

    void Lost(const QString& why) {
        if (retry_.isActive() || !owner_.running_) return;
        stable_.stop();
        if (!reported_) Tell(why + QStringLiteral("; retrying"));
        reported_ = true;
        behind_ = false;
        retry_.start(retryMs_);
        retryMs_ = std::min(retryMs_ * 2, kLastRetryMs);
    }

    void Tell(const QString& what) {
        const QString text = QStringLiteral("tally out %1: %2").arg(config_.Text, what);
        qCWarning(lcTallyOut).noquote() << text;
        Q_EMIT owner_.Notice(text);
    }

    int number_;
    TallyDestination config_;
    TallyPublisher& owner_;
    QAbstractSocket* socket_ = nullptr;
    QTimer retry_;
    QTimer stable_;
    int retryMs_ = kFirstRetryMs;
    bool reported_ = false;    // the loss was told; the next connection is told too
    bool behind_ = false;      // packets were dropped for a receiver that does not read
    bool toldBehind_ = false;  // told once a connection, however often it catches up
};

TallyPublisher::TallyPublisher(ControllerLink& link, InputWatch& watch,
                               const TallyOutConfig& config)
    : link_(link), watch_(watch), config_(config) {
    connect(&refresh_, &QTimer::timeout, this, [this] {
        // What the table changed while no poll ran (offline) comes in here too.
        rows_ = watch_.Lamps();
        Publish({});
    });
    connect(&watch_, &InputWatch::LampRowsChanged, this,
            [this](const QList<LampRow>& rows, const QList<int>& changed) {
                if (!running_) return;
                rows_ = rows;
                Publish(changed);
            });
    connect(&link_, &ControllerLink::OnlineChanged, this, [this](bool online) {
        if (running_) watch_.WatchLamps(this, online);
    });
}

TallyPublisher::~TallyPublisher() {
    Stop();
}

void TallyPublisher::Start() {
    if (running_ || !Configured()) return;
    running_ = true;
    for (qsizetype i = 0; i < config_.Destinations.size(); ++i) {
        destinations_.push_back(
            std::make_unique<Destination>(int(i + 1), config_.Destinations[i], *this));
        destinations_.back()->Open();
    }
    rows_ = watch_.Lamps();
    refresh_.start(config_.RefreshSeconds * 1000);
    watch_.WatchLamps(this, link_.IsOnline());
}

void TallyPublisher::Stop() {
    if (!running_) return;
    running_ = false;
    refresh_.stop();
    watch_.WatchLamps(this, false);
    destinations_.clear();
}

qint64 TallyPublisher::PendingBytes() const {
    qint64 most = 0;
    for (const auto& d : destinations_)
        most = std::max(most, d->Pending());
    return most;
}

void TallyPublisher::Publish(const QList<int>& outputs, Destination* only) {
    QList<LampRow> rows;
    if (outputs.isEmpty()) {
        rows = rows_;
    } else {
        for (const LampRow& r : rows_)
            if (outputs.contains(r.Output)) rows.append(r);
    }
    if (rows.isEmpty()) return;
    for (const auto& d : destinations_)
        if ((!only || d.get() == only) && d->Ready()) d->Send(Packets(d->Config(), config_, rows));
}

}  // namespace vendra
