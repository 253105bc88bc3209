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

namespace {

// Sets a colour for the enabled looks only: a disabled control keeps the system's disabled
// look (greyed caption), whatever colour it shows while enabled.
void SetEnabledColour(QPalette& p, QPalette::ColorRole role, const QColor& colour) {
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive})
        p.setColor(group, role, colour);
}

}  // namespace

void SetButtonFace(QWidget* button, const QColor& colour) {
    QPalette p = button->palette();
    const QColor face =
        colour.isValid() ? colour : QApplication::palette(button).color(QPalette::Button);
    SetEnabledColour(p, QPalette::Button, face);
    // The caption reads on every face: dark on a light one, white on a dark one.
    const int luma = (299 * face.red() + 587 * face.green() + 114 * face.blue()) / 1000;
    SetEnabledColour(p, QPalette::ButtonText, luma >= 128 ? Qt::black : Qt::white);
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
    SetEnabledColour(p, QPalette::WindowText, colour);
    SetEnabledColour(p, QPalette::ButtonText, colour);
    widget->setPalette(p);
}

QColor TextColour(const QWidget* widget) {
    return widget->palette().color(QPalette::Active, QPalette::WindowText);
}

void SetBackground(QWidget* widget, const QColor& colour) {
    QPalette p = widget->palette();
    p.setColor(QPalette::Window, colour);
    widget->setPalette(p);
    widget->setAutoFillBackground(true);
}

}  // namespace vendra
