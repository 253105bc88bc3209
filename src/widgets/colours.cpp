#include "widgets/colours.h"

#include <QApplication>
#include <QWidget>

namespace vendra {

QColor ColourFromValue(int value) {
    return QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF);
}

QColor ListBackground() {
    return QColor(82, 82, 169);
}

void SetButtonFace(QWidget* button, const QColor& colour) {
    QPalette p = button->palette();
    const QColor face =
        colour.isValid() ? colour : QApplication::palette(button).color(QPalette::Button);
    p.setColor(QPalette::Button, face);
    // The caption reads on every face: dark on a light one, white on a dark one.
    const int luma = (299 * face.red() + 587 * face.green() + 114 * face.blue()) / 1000;
    p.setColor(QPalette::ButtonText, luma >= 128 ? Qt::black : Qt::white);
    button->setPalette(p);
    button->setProperty("vendraFace", colour.isValid() ? QVariant(colour) : QVariant());
    button->repaint();
}

QColor ButtonFace(const QWidget* button) {
    const QVariant v = button->property("vendraFace");
    return v.isValid() ? v.value<QColor>() : QColor();
}

void SetTextColour(QWidget* widget, const QColor& colour) {
    QPalette p = widget->palette();
    p.setColor(QPalette::WindowText, colour);
    p.setColor(QPalette::ButtonText, colour);
    widget->setPalette(p);
}

QColor TextColour(const QWidget* widget) {
    return widget->palette().color(QPalette::WindowText);
}

void SetBackground(QWidget* widget, const QColor& colour) {
    QPalette p = widget->palette();
    p.setColor(QPalette::Window, colour);
    widget->setPalette(p);
    widget->setAutoFillBackground(true);
}

}  // namespace vendra
