#include <QTest>

#include "config/enabled_units.h"
#include "link/command_exchange.h"
#include "session/console_session.h"
#include "sim/controller_model.h"
#include "support/model_port.h"
#include "support/scripted_dialogs.h"

using namespace vendra;

namespace {

QList<int> Listed(const EnabledUnits& units) {
    QList<int> out;
    for (int i = 1; i <= units.EnabledUnitCount; ++i)
        out << units.EnabledUnitList[i];
    return out;
}

QString Numbers(int from, int count) {
    QStringList parts;
    for (int i = 0; i < count; ++i)
        parts << QString::number(from + i);
    return parts.join(u',');
}

}  // namespace

class TestEnabledUnits : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void parse_data();
    void parse();
    void listBounds();
    void enableUnits_data();
    void enableUnits();
    void programListStartsEmpty();
};

void TestEnabledUnits::parse_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<int>>("units");
    QTest::addColumn<int>("listed");
    QTest::addColumn<bool>("outOfRange");

    QTest::newRow("1,2,5") << "1,2,5" << QList<int>{1, 2, 5} << 3 << false;
    QTest::newRow("empty is unit 0") << "" << QList<int>{0} << 1 << false;
    QTest::newRow("single") << "7" << QList<int>{7} << 1 << false;
    QTest::newRow("trailing comma") << "1,2," << QList<int>{1, 2, 0} << 3 << false;
    QTest::newRow("double comma") << "1,,2" << QList<int>{1, 0, 2} << 3 << false;
    QTest::newRow("blanks") << " 1 , 2" << QList<int>{1, 2} << 2 << false;
    QTest::newRow("blanks inside a number") << "1 2,3" << QList<int>{12, 3} << 2 << false;
    QTest::newRow("not a number") << "x,3" << QList<int>{0, 3} << 2 << false;
    QTest::newRow("leading number counts") << "4a,5" << QList<int>{4, 5} << 2 << false;
    QTest::newRow("negative") << "-3" << QList<int>{-3} << 1 << false;
    QTest::newRow("halves to even") << "2.5,3.5" << QList<int>{2, 4} << 2 << false;
    QTest::newRow("too large is clamped and flagged")
        << "1,70000" << QList<int>{1, 32767} << 2 << true;
    QTest::newRow("edges of 16 bits") << "-32768,32767" << QList<int>{-32768, 32767} << 2 << false;

    QList<int> fifty;
    for (int i = 1; i <= 50; ++i)
        fifty << i;
    QTest::newRow("exactly 50") << Numbers(1, 50) << fifty << 50 << false;
    // Past fifty entries the first fifty are enabled, not none.
    QTest::newRow("51") << Numbers(1, 51) << fifty << 51 << false;
    QTest::newRow("60") << Numbers(1, 60) << fifty << 60 << false;
    QTest::newRow("50 and a trailing comma") << Numbers(1, 50) + "," << fifty << 51 << false;
}

void TestEnabledUnits::parse() {
    QFETCH(QString, text);
    QFETCH(QList<int>, units);
    QFETCH(int, listed);
    QFETCH(bool, outOfRange);
    const EnabledUnits parsed = ParseEnabledUnits(text);
    QCOMPARE(Listed(parsed), units);
    QCOMPARE(parsed.EnabledUnitCount, units.size());
    QCOMPARE(parsed.ListedEntries, listed);
    QCOMPARE(parsed.OutOfRange, outOfRange);
    QCOMPARE(parsed.EnabledUnitList[0], 0);
}

void TestEnabledUnits::listBounds() {
    // Reads and writes past the 51 slots neither reach other memory nor stick.
    EnabledUnits units = ParseEnabledUnits(Numbers(100, 60));
    QCOMPARE(units.EnabledUnitList[50], 149);
    QCOMPARE(units.EnabledUnitList[51], 0);
    QCOMPARE(units.EnabledUnitList[-1], 0);
    units.EnabledUnitList[51] = 9;
    QCOMPARE(std::as_const(units).EnabledUnitList[51], 0);
    QCOMPARE(units.EnabledUnitList[50], 149);
}

void TestEnabledUnits::enableUnits_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("sent");

    QTest::newRow("1,2,5") << "1,2,5" << QStringList{"Uenable  1", "Uenable  2", "Uenable  5"};
    QTest::newRow("empty enables unit 0") << "" << QStringList{"Uenable  0"};
    QTest::newRow("two digits") << "12" << QStringList{"Uenable  12"};
    QTest::newRow("negative takes the sign column") << "-3" << QStringList{"Uenable -3"};
    QTest::newRow("order of the text kept") << "9,3" << QStringList{"Uenable  9", "Uenable  3"};
    QStringList fifty;
    for (int i = 1; i <= 50; ++i)
        fifty << "Uenable  " + QString::number(i);
    QTest::newRow("51 entries send the first 50") << Numbers(1, 51) << fifty;
}

void TestEnabledUnits::enableUnits() {
    QFETCH(QString, text);
    QFETCH(QStringList, sent);
    ControllerModel model;
    ModelPort port(model);
    ScriptedDialogs dialogs;
    CommandExchange link(port, dialogs);
    QVERIFY(port.Open() != -1);

    EnableUnits(link, ParseEnabledUnits(text));

    QCOMPARE(model.Log(), sent);
    QByteArray wire;
    for (const QString& line : sent)
        wire += line.toLatin1() + "\r\n";
    QCOMPARE(port.written, wire);
    QCOMPARE(dialogs.boxes.size(), 0);
}

void TestEnabledUnits::programListStartsEmpty() {
    // Until start-up has parsed the configuration there is nothing to enable.
    ControllerModel model;
    ModelPort port(model);
    ScriptedDialogs dialogs;
    CommandExchange link(port, dialogs);
    QVERIFY(port.Open() != -1);
    ConsoleSession session(dialogs);
    QCOMPARE(session.Installation().Enabled().EnabledUnitCount, 0);
    EnableUnits(link, session.Installation().Enabled());
    QVERIFY(model.Log().isEmpty());

    EnableUnits(link, ParseEnabledUnits(u"4,6"));
    QCOMPARE(model.Log(), (QStringList{"Uenable  4", "Uenable  6"}));
}

QTEST_GUILESS_MAIN(TestEnabledUnits)
#include "test_enabled_units.moc"
