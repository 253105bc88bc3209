#include "shell/face.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace vendra {

namespace {

const QColor kBody(82, 82, 169);
const QColor kBodyLight(112, 112, 196);
const QColor kBodyDark(52, 52, 118);
const QColor kAccent(0, 255, 255);

// A sunken panel that groups controls.
void Panel(QPainter& p, const QRect& r) {
    p.setPen(QPen(kBodyDark, 1));
    p.setBrush(QColor(72, 72, 152));
    p.drawRoundedRect(r, 6, 6);
    p.setPen(QPen(kBodyLight, 1));
    p.drawLine(r.left() + 6, r.bottom() + 1, r.right() - 6, r.bottom() + 1);
}

}  // namespace

QPixmap DrawFace(QSize size, double scale, qreal devicePixelRatio) {
    QPixmap face(size * devicePixelRatio);
    face.setDevicePixelRatio(devicePixelRatio);
    face.fill(kBodyDark);
    QPainter p(&face);
    p.setRenderHint(QPainter::Antialiasing);
    // Drawn in the pixels of 15 twips; the texts in pixel sizes, so they scale with the rest.
    p.scale(scale, scale);

    // The body: the rounded rectangle the window outline leaves visible.
    const QRectF body(43, 29, 520, 539);
    QLinearGradient shade(body.topLeft(), body.bottomLeft());
    shade.setColorAt(0, kBodyLight);
    shade.setColorAt(0.12, kBody);
    shade.setColorAt(1, QColor(74, 74, 156));
    p.setPen(Qt::NoPen);
    p.setBrush(shade);
    p.drawRoundedRect(body, 15, 15);
    p.setPen(QPen(QColor(150, 150, 225), 2));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(body.adjusted(2, 2, -2, -2), 13, 13);

    // Name plate between the activity lamps.
    QFont title(QStringLiteral("DejaVu Sans"));
    title.setPixelSize(23);
    title.setBold(true);
    title.setLetterSpacing(QFont::AbsoluteSpacing, 4);
    p.setFont(title);
    p.setPen(QColor(30, 30, 90));
    p.drawText(QRect(95, 42, 200, 30), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("VENDRA"));
    p.setPen(Qt::white);
    p.drawText(QRect(93, 40, 200, 30), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("VENDRA"));
    QFont sub(QStringLiteral("DejaVu Sans"));
    sub.setPixelSize(9);
    sub.setBold(true);
    sub.setLetterSpacing(QFont::AbsoluteSpacing, 2);
    p.setFont(sub);
    p.setPen(kAccent);
    p.drawText(QRect(95, 68, 200, 14), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("TALLY MATRIX CONSOLE"));

    // A rule under the title band.
    p.setPen(QPen(kBodyDark, 1));
    p.drawLine(55, 110, 316, 110);
    p.setPen(QPen(kBodyLight, 1));
    p.drawLine(55, 111, 316, 111);

    // Panels behind the editor's lists and the controls below them.
    Panel(p, QRect(64, 113, 255, 299));   // output list
    Panel(p, QRect(319, 100, 224, 312));  // entry and input lists
    Panel(p, QRect(64, 444, 96, 74));     // unit status, mode, advanced
    Panel(p, QRect(262, 444, 76, 74));    // cancel, refresh, clear all
    Panel(p, QRect(378, 444, 168, 74));   // error line, file

    // Screws in the four corners, as on a rack panel.
    for (const QPointF c :
         {QPointF(58, 44), QPointF(548, 44), QPointF(58, 553), QPointF(548, 553)}) {
        p.setPen(QPen(kBodyDark, 1));
        p.setBrush(QColor(170, 170, 210));
        p.drawEllipse(c, 4, 4);
        p.drawLine(c + QPointF(-3, 0), c + QPointF(3, 0));
    }
    return face;
}

}  // namespace vendra
