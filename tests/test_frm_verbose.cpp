// The advanced console window: what it hands on when the operator sends, what it shows, and
// how it goes away.
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include "diag/frm_verbose.h"

using namespace vendra;

class TestFrmVerbose : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void layout();
    void sendsTextAsTyped_data();
    void sendsTextAsTyped();
    void otherKeysOnlyEdit();
    void showReceived_data();
    void showReceived();
    void closeEmitsClosedAndDestroys();
    void hideKeepsEntry();
};

void TestFrmVerbose::layout() {
    frmVerbose form;
    QCOMPARE(form.windowTitle(), QStringLiteral("Kavro Advanced Config"));
    QCOMPARE(form.size(), QSize(327, 366));
    QCOMPARE(form.cmdDirectCommand->text(), QStringLiteral("send"));
    QCOMPARE(form.cmdDirectCommand->geometry(), QRect(280, 8, 40, 22));
    QCOMPARE(form.txtDirectCommand->geometry(), QRect(9, 8, 261, 21));
    QCOMPARE(form.txtIBuffer->geometry(), QRect(6, 36, 315, 327));
    QVERIFY(form.isWindow());
}

void TestFrmVerbose::sendsTextAsTyped_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("byButton");
    QTest::newRow("VER, Enter") << QStringLiteral("VER") << false;
    QTest::newRow("VER, send") << QStringLiteral("VER") << true;
    QTest::newRow("empty, Enter") << QString() << false;
    QTest::newRow("empty, send") << QString() << true;
    QTest::newRow("blanks and case kept, Enter") << QStringLiteral("  map 1 3 ") << false;
    QTest::newRow("blanks and case kept, send") << QStringLiteral("  map 1 3 ") << true;
}

void TestFrmVerbose::sendsTextAsTyped() {
    QFETCH(QString, typed);
    QFETCH(bool, byButton);
    frmVerbose form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QSignalSpy sent(&form, &frmVerbose::SendRequested);
    QTest::keyClicks(form.txtDirectCommand, typed);
    for (int round = 0; round < 2; ++round) {
        if (byButton)
            QTest::mouseClick(form.cmdDirectCommand, Qt::LeftButton);
        else
            QTest::keyClick(form.txtDirectCommand, Qt::Key_Return);
    }
    // Sent exactly as typed, and the entry is kept so the same command can go again.
    QCOMPARE(sent.count(), 2);
    QCOMPARE(sent.at(0).at(0).toString(), typed);
    QCOMPARE(sent.at(1).at(0).toString(), typed);
    QCOMPARE(form.txtDirectCommand->text(), typed);
}

void TestFrmVerbose::otherKeysOnlyEdit() {
    frmVerbose form;
    form.show();
    QSignalSpy sent(&form, &frmVerbose::SendRequested);
    QTest::keyClicks(form.txtDirectCommand, QStringLiteral("BITS 1"));
    QTest::keyClick(form.txtDirectCommand, Qt::Key_Backspace);
    QTest::keyClick(form.txtDirectCommand, Qt::Key_Tab);
    QCOMPARE(sent.count(), 0);
    QCOMPARE(form.txtDirectCommand->text(), QStringLiteral("BITS "));
}

void TestFrmVerbose::showReceived_data() {
    QTest::addColumn<QString>("received");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("exchange") << QStringLiteral("12:00:01\r\nVER\r\nMAINV8\r\n.")
                              << QStringList{QStringLiteral("12:00:01"), QStringLiteral("VER"),
                                             QStringLiteral("MAINV8"), QStringLiteral(".")};
    QTest::newRow("probe echo") << QStringLiteral("12:00:01\r\n\rVER\r\n.")
                                << QStringList{QStringLiteral("12:00:01"), QString(),
                                               QStringLiteral("VER"), QStringLiteral(".")};
    QTest::newRow("emptied") << QString() << QStringList{QString()};
}

void TestFrmVerbose::showReceived() {
    QFETCH(QString, received);
    QFETCH(QStringList, lines);
    frmVerbose form;
    form.ShowReceived(QStringLiteral("an earlier exchange\r\n."));
    form.ShowReceived(received);
    QCOMPARE(form.txtIBuffer->toPlainText().split(QLatin1Char('\n')), lines);
}

void TestFrmVerbose::closeEmitsClosedAndDestroys() {
    QPointer<frmVerbose> form = new frmVerbose;
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form));
    QSignalSpy closed(form.data(), &frmVerbose::Closed);
    QVERIFY(form->close());
    QCOMPARE(closed.count(), 1);
    QTRY_VERIFY(form.isNull());
}

void TestFrmVerbose::hideKeepsEntry() {
    frmVerbose form;
    QSignalSpy closed(&form, &frmVerbose::Closed);
    form.show();
    form.txtDirectCommand->setText(QStringLiteral("GSTAT 2"));
    form.hide();
    form.show();
    QCOMPARE(form.txtDirectCommand->text(), QStringLiteral("GSTAT 2"));
    QCOMPARE(closed.count(), 0);
}

QTEST_MAIN(TestFrmVerbose)
#include "test_frm_verbose.moc"
