// The 32 input bits of a unit and its status report: the reversal, replies of the wrong length,
// replies far too long; the poll that asks several units in cycles.
#include <QtTest>

#include "link/input_poll.h"
#include "link/unit_status.h"
#include "mapping_rig.h"
#include "platform/numbers.h"

using namespace vendra;

class TestUnitStatus : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void parseGetBits_data() {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<QString>("bits");
        QTest::newRow("reversed") << "1100 0010"
                                  << "01000011";
        QTest::newRow("other digits dropped") << "UNIT 12 IN 0203"
                                              << "001";
        QTest::newRow("nothing") << "ERR BAD UNIT"
                                 << "";
    }
    void parseGetBits() {
        QFETCH(QString, reply);
        QFETCH(QString, bits);
        QCOMPARE(UnitStatus::ParseGetBits(reply), bits);
    }

    void lampsFromTheModel_data() {
        QTest::addColumn<int>("unit");
        QTest::addColumn<quint32>("bits");
        QTest::newRow("first and last two") << 3 << quint32(0x80000003);
        QTest::newRow("unit 1 echo is no bit") << 1 << quint32(0);
        QTest::newRow("all") << 10 << quint32(0xFFFFFFFF);
        QTest::newRow("pattern") << 101 << quint32(0x12345678);
    }
    void lampsFromTheModel() {
        QFETCH(int, unit);
        QFETCH(quint32, bits);
        MappingRig rig;
        rig.model.SetInputBits(unit, bits);
        UnitStatus status(rig.link);
        QSignalSpy lamps(&status, &UnitStatus::LampsChanged);
        // Lamp k shows channel k: the reply's last bit is channel 1.
        QCOMPARE(status.UpdateBitStatus(unit), std::optional<quint32>(bits));
        QCOMPARE(lamps.size(), 1);
        QCOMPARE(UnitStatus::LampLit(bits, 1), bool(bits & 1u));
        QVERIFY(status.GetStat(unit).startsWith(QStringLiteral("UNIT %1").arg(unit)));
        const QString u = SignColumn(unit);
        QCOMPARE(rig.model.Log(), (QStringList{"BITS" + u, "GSTAT" + u}));
    }

    void wrongCountKeepsTheLamps_data() {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("count");
        QTest::newRow("31") << QByteArray(31, '1') << 31;
        QTest::newRow("33") << QByteArray(33, '0') << 33;
        QTest::newRow("300") << QByteArray(300, '1') << 300;
        QTest::newRow("100 KB") << QByteArray(100 * 1024, '0') << -1;
        QTest::newRow("empty") << QByteArray() << 0;
    }
    void wrongCountKeepsTheLamps() {
        QFETCH(QByteArray, reply);
        QFETCH(int, count);
        MappingRig rig;
        rig.port.reply = [reply](const QByteArray& line) {
            return std::optional<QByteArray>(line + reply + "\r\n.");
        };
        UnitStatus status(rig.link);
        QSignalSpy lamps(&status, &UnitStatus::LampsChanged);
        QVERIFY(!status.UpdateBitStatus(4).has_value());
        QVERIFY(lamps.isEmpty());
        if (count >= 0) QCOMPARE(status.UnitBits.size(), count);
    }

    void longReplyIsReversedWhole() {
        QString reply(100 * 1024, u'0');
        reply[0] = u'1';
        reply += QStringLiteral("x1");
        const QString bits = UnitStatus::ParseGetBits(reply);
        QCOMPARE(bits.size(), 100 * 1024 + 1);
        QCOMPARE(bits.count(u'1'), 2);
        QVERIFY(bits.startsWith(QStringLiteral("10")) && bits.endsWith(u'1'));
    }

    // The poll on a clock that only the test moves: one cycle, then none however long the
    // event loop runs until the clock is kMinCycleMs on; none while a busy operation holds the
    // line, and the next once it lets go. Only the poll's own exchanges gather characters.
    void pollKeepsItsCycleAndComesBackAfterABusyOperation() {
        MappingRig rig;
        UnitStatus status(rig.link);
        InputPoll poll(status, rig.link.Busy());
        qint64 now = 0;
        poll.SetClock([&now] { return now; });
        QList<int> gathered;
        rig.port.onWrite = [&](const QByteArray&) { gathered << rig.link.GatherMs(); };
        auto cycles = [&] { return rig.model.Log().count(QStringLiteral("BITS 2")); };
        poll.SetUnits({1, 2});
        QTRY_COMPARE(cycles(), 1);
        QTest::qWait(2 * InputPoll::kMinCycleMs);
        QCOMPARE(cycles(), 1);
        now += InputPoll::kMinCycleMs;
        QTRY_COMPARE(cycles(), 2);
        {
            const BusyState::Scope busy(rig.link.Busy());
            now += InputPoll::kMinCycleMs;
            QTest::qWait(2 * InputPoll::kMinCycleMs);
            QCOMPARE(cycles(), 2);
        }
        QTRY_COMPARE(cycles(), 3);
        poll.SetUnits({});
        rig.link.SendCommand(QStringLiteral("VER"));
        QCOMPARE(gathered, QList<int>(6, CommandExchange::kGatherMs) << 0);
    }
};

QTEST_GUILESS_MAIN(TestUnitStatus)
#include "test_unit_status.moc"
