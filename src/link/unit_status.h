#pragma once
// Reading one unit's 32 input bits and its status report. Only reads; sent whether online or
// not, as the monitor keeps polling while the link is down.
#include <QObject>
#include <QString>
#include <QStringView>
#include <optional>

namespace vendra {

class CommandExchange;

class UnitStatus : public QObject {
    Q_OBJECT
public:
    static constexpr int kLamps = 32;

    explicit UnitStatus(CommandExchange& link, QObject* parent = nullptr);

    // Asks for the unit's input bits and keeps them in UnitBits.
    void GetBits(int Ounit);
    // The "0" and "1" characters of a reply, last one first; everything else is dropped.
    static QString ParseGetBits(QStringView Response);
    // Asks for the unit's status report; the reply line.
    QString GetStat(int Xunit);
    // Asks for the unit's bits; when the reply holds exactly 32 of them, answers (and reports
    // by LampsChanged) the lit lamps, bit k - 1 for lamp k. Otherwise the lamps keep their
    // state and the result is empty.
    std::optional<quint32> UpdateBitStatus(int unit);
    // The same without reporting: for a poll of several units.
    std::optional<quint32> ReadBits(int unit);

    static bool LampLit(quint32 lamps, int k) {
        return k >= 1 && k <= kLamps && (lamps >> (k - 1)) & 1u;
    }

    // The bits of the last "BITS" reply, in the order ParseGetBits leaves them.
    QString UnitBits;

Q_SIGNALS:
    void LampsChanged(quint32 lamps);

private:
    CommandExchange& link_;
};

}  // namespace vendra
