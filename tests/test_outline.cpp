// The main window's outline and the drag on its body.
#include <QtTest>

#include "widgets/controls.h"
#include "shell/outline.h"

using namespace vendra;

class TestOutline : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void unscaledAtFifteenTwips() {
        const QPolygon p = OutlinePolygon(1.0, 1.0, 0, 0, 15, 15);
        QCOMPARE(p.size(), 48);
        QCOMPARE(p.first(), QPoint(58, 29));
        QCOMPARE(p[13], QPoint(563, 552));
        QCOMPARE(p.last(), QPoint(56, 30));
        QCOMPARE(p.boundingRect(), QRect(QPoint(43, 29), QPoint(563, 568)));
    }

    void scaledAtTwelveTwips_data() {
        QTest::addColumn<int>("index");
        QTest::addColumn<QPoint>("expected");
        // 58 x 1.25 = 72.5 rounds to the even 72; 29 x 1.25 = 36.25 -> 36.
        QTest::newRow("point 0") << 0 << QPoint(72, 36);
        // 563 x 1.25 = 703.75 -> 704; 45 x 1.25 = 56.25 -> 56.
        QTest::newRow("point 12") << 12 << QPoint(704, 56);
        // 546 x 1.25 = 682.5 -> 682 (even); 568 x 1.25 = 710.
        QTest::newRow("point 24") << 24 << QPoint(682, 710);
        // 51 x 1.25 = 63.75 -> 64; 33 x 1.25 = 41.25 -> 41.
        QTest::newRow("point 45") << 45 << QPoint(64, 41);
    }
    void scaledAtTwelveTwips() {
        QFETCH(int, index);
        QFETCH(QPoint, expected);
        QCOMPARE(OutlinePolygon(1.0, 1.0, 0, 0, 12, 12)[index], expected);
    }

    void offsetsAndScalesApplyPerAxis() {
        const QPolygon p = OutlinePolygon(2.0, 0.5, 10, -3, 15, 15);
        // The offset is added before rounding: 14.5 - 3 = 11.5 rounds to the even 12.
        QCOMPARE(p[0], QPoint(58 * 2 + 10, 12));
    }

    void regionCutsCornersAndKeepsBody() {
        const QRegion r = OutlineRegion(1.0, 1.0, 0, 0, 15, 15);
        QVERIFY(r.contains(QPoint(300, 300)));
        QVERIFY(r.contains(QPoint(60, 31)));
        QVERIFY(!r.contains(QPoint(43, 29)));    // the cut-away top-left corner
        QVERIFY(!r.contains(QPoint(562, 567)));  // and bottom-right
        QVERIFY(!r.contains(QPoint(20, 300)));   // the frame
        QVERIFY(!r.contains(QPoint(300, 10)));   // the title bar
    }

    void twipsPerPixelFollowsDpi() {
        QCOMPARE(TwipsPerPixel(96), 15.0);
        QCOMPARE(TwipsPerPixel(120), 12.0);
    }
};

QTEST_GUILESS_MAIN(TestOutline)
#include "test_outline.moc"
