#pragma once
// Colours as the console names them (24-bit values with red in the low byte) and the few
// palette changes the windows make with them.
#include <QColor>

class QWidget;

namespace vendra {

constexpr int kRed = 255;
constexpr int kGreen = 65280;
constexpr int kLightRed = 8421631;
constexpr int kBlack = 0;

// 255 -> RGB(255, 0, 0); 65280 -> RGB(0, 255, 0).
QColor ColourFromValue(int value);
// The list background and the window background.
QColor ListBackground();

// A button's face colour, with a caption colour that reads on it; an invalid colour restores
// the system's button face. Disabled, a button keeps the system's greyed look.
void SetButtonFace(QWidget* button, const QColor& colour);
QColor ButtonFace(const QWidget* button);
// The text colour of a check box or label while enabled; disabled, its text is greyed.
void SetTextColour(QWidget* widget, const QColor& colour);
QColor TextColour(const QWidget* widget);
void SetBackground(QWidget* widget, const QColor& colour);

}  // namespace vendra
