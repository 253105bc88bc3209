#include "widgets/controls.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QStyle>

namespace vendra {

void ClickLabel::mousePressEvent(QMouseEvent* event) {
    event->accept();
}

void ClickLabel::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
    if (rect().contains(event->position().toPoint())) Q_EMIT Clicked();
}

void MessageLabel::ShowMessage(const QString& text) {
    setText(text);
    setToolTip(text);
}

QString MessageLabel::ShownText() const {
    const QFontMetrics metrics = fontMetrics();
    const int room = contentsRect().width();
    if (metrics.horizontalAdvance(text()) <= room) return text();
    return metrics.elidedText(text(), Qt::ElideRight, room);
}

void MessageLabel::paintEvent(QPaintEvent* event) {
    const QString shown = ShownText();
    if (shown == text()) return QLabel::paintEvent(event);
    QPainter p(this);
    style()->drawItemText(&p, contentsRect(), Qt::AlignLeft | Qt::AlignVCenter, palette(),
                          isEnabled(), shown, foregroundRole());
}

Lamp::Lamp(Shape shape, QWidget* parent) : QWidget(parent), shape_(shape), colour_(Qt::black) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void Lamp::SetColour(const QColor& colour) {
    if (colour == colour_) return;
    colour_ = colour;
    update();
}

void Lamp::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing, shape_ == Shape::Circle);
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(colour_);
    const QRectF r = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    if (shape_ == Shape::Circle)
        p.drawEllipse(r);
    else
        p.drawRect(r);
}

void LatchBox::mousePressEvent(QMouseEvent* event) {
    // Any button latches: the right and middle ones as much as the left.
    event->accept();
    Q_EMIT Pressed(true);
}

void LatchBox::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
}

void LatchBox::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Space:
            event->accept();
            if (!event->isAutoRepeat()) Q_EMIT Pressed(false);
            return;
        default:
            QCheckBox::keyPressEvent(event);
    }
}

void LatchBox::keyReleaseEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Space) {
        event->accept();
        return;
    }
    QCheckBox::keyReleaseEvent(event);
}

double TwipsPerPixel(double logicalDpi) {
    return logicalDpi > 0 ? 1440.0 / logicalDpi : 15.0;
}

double ScreenTwipsPerPixel() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return TwipsPerPixel(screen ? screen->logicalDotsPerInchX() : 0);
}

int Px(int twips) {
    return static_cast<int>(twips / ScreenTwipsPerPixel());
}

double ScreenScale() {
    return 15.0 / ScreenTwipsPerPixel();
}

void HoldButton::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QPushButton::mousePressEvent(event);
        return;
    }
    event->accept();
    if (held_) return;
    held_ = true;
    setDown(true);
    Q_EMIT Held();
}

void HoldButton::mouseMoveEvent(QMouseEvent* event) {
    // The pointer's position does not matter while held.
    event->accept();
}

void HoldButton::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QPushButton::mouseReleaseEvent(event);
        return;
    }
    event->accept();
    if (!held_) return;
    held_ = false;
    setDown(false);
    Q_EMIT LetGo();
}

void HoldButton::changeEvent(QEvent* event) {
    QPushButton::changeEvent(event);
    if (event->type() != QEvent::EnabledChange || isEnabled() || !held_) return;
    held_ = false;
    setDown(false);
    Q_EMIT LetGo();
}

void PlaceTwips(QWidget* w, int left, int top, int width, int height) {
    w->setGeometry(Px(left), Px(top), Px(width), Px(height));
}

}  // namespace vendra
