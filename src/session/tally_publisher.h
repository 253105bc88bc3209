#pragma once
// The tally sent on to UMD receivers: every configured output is one display at each
// destination of "[Tally Out]", lit in its colour while its lamp is lit. Fed by the lamp watch:
// a change goes out at once, and every display again every few seconds (a receiver that starts
// late, a UDP packet lost). Sockets are asynchronous only: a receiver that is down or stops
// reading never delays the input poll.
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>
#include <memory>
#include <vector>

#include "changes/lamp_state.h"
#include "config/tally_out_config.h"

namespace vendra {

class ControllerLink;
class InputWatch;

class TallyPublisher : public QObject {
    Q_OBJECT
public:
    // Bytes a TCP receiver may leave unread before packets for it are dropped (and every
    // display sent again once it reads): the backlog never grows past this and one round.
    static constexpr qint64 kMaxPendingBytes = 64 * 1024;
    static constexpr int kFirstRetryMs = 500;
    static constexpr int kLastRetryMs = 30000;

    ~TallyPublisher() override;

    // Publishes while the line is online (polling the lamp units for it); Stop ends it and
    // closes every connection. Nothing happens when Kavro.ini configures no destination.
    void Start();
    void Stop();
    bool Running() const { return running_; }
    bool Configured() const { return config_.Configured(); }

    // The lamp colour the file gives output o (red unless said).
    TallyColour ColourOf(int output) const { return config_.DisplayOf(output).Colour; }
    // The most bytes any destination has waiting to be written.
    qint64 PendingBytes() const;
    // The first retry's wait of a TCP destination, doubled on each failure up to kLastRetryMs.
    void SetFirstRetryMs(int ms) { firstRetryMs_ = ms; }

Q_SIGNALS:
    // A destination's state changed: a connection lost or refused (once, not on every retry),
    // made again, a receiver that stopped reading. For the log and the window.
    void Notice(const QString& text);
    // Packets went out to a destination (the bench's and the tests' measure).
    void Sent(int destination, int packets);

private:
    friend class ConsoleSession;
    class Destination;
    TallyPublisher(ControllerLink& link, InputWatch& watch, const TallyOutConfig& config);
    // The rows of `outputs` (all rows when empty) to every destination, or to one.
    void Publish(const QList<int>& outputs, Destination* only = nullptr);

    ControllerLink& link_;
    InputWatch& watch_;
    const TallyOutConfig& config_;
    std::vector<std::unique_ptr<Destination>> destinations_;
    QList<LampRow> rows_;
    QTimer refresh_;
    int firstRetryMs_ = kFirstRetryMs;
    bool running_ = false;
};

}  // namespace vendra
