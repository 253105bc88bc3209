#pragma once
// Small controls of the console's windows.
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QWidget>

namespace vendra {

// A label that takes the mouse (so pressing on it never drags the window) and reports clicks.
class ClickLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;
Q_SIGNALS:
    void Clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
};

// A one-line message label: a text too long for it shows from its start, cut at the end with
// "…" (the outcome of a message comes first), and its tooltip holds the whole text.
class MessageLabel : public ClickLabel {
    Q_OBJECT
public:
    using ClickLabel::ClickLabel;
    // The text and its tooltip.
    void ShowMessage(const QString& text);
    // The text as it fits the label.
    QString ShownText() const;

protected:
    void paintEvent(QPaintEvent* event) override;
};

// A round or rectangular lamp that takes no mouse input: a press on it reaches the window.
class Lamp : public QWidget {
    Q_OBJECT
public:
    enum class Shape { Circle, Rectangle };
    explicit Lamp(Shape shape, QWidget* parent = nullptr);
    void SetColour(const QColor& colour);
    QColor Colour() const { return colour_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Shape shape_;
    QColor colour_;
};

// A check box whose tick is set only by the program: a mouse press, Enter or Space reports
// Pressed() and never toggles the box by itself.
class LatchBox : public QCheckBox {
    Q_OBJECT
public:
    using QCheckBox::QCheckBox;
Q_SIGNALS:
    // byMouse: a mouse button (any of them), not a key, pressed it.
    void Pressed(bool byMouse);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
};

// A button that is held exactly as long as the left mouse button that pressed it: one Held()
// on the press, one LetGo() on that button's release wherever the pointer is then, or when it
// is disabled meanwhile. A plain button lets go and takes hold again each time a held pointer
// crosses its edge.
class HoldButton : public QPushButton {
    Q_OBJECT
public:
    using QPushButton::QPushButton;
Q_SIGNALS:
    void Held();
    void LetGo();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    // Disabled while held (a read-back takes the controls away): the release could no longer
    // reach the button, so it lets go now.
    void changeEvent(QEvent* event) override;

private:
    bool held_ = false;
};

// Twips (1/1440 inch) per pixel at a number of logical dots per inch: 15 at 96, 12 at 120.
double TwipsPerPixel(double logicalDpi);
// The same for the primary screen; 15 without one.
double ScreenTwipsPerPixel();
// Twips to pixels on that screen, the fraction dropped. Every position and size the windows
// give in twips goes through here, so the outline, the face and the controls scale together.
int Px(int twips);
// Pixels drawn at 15 twips per pixel (the face, the outline) to pixels on the screen.
double ScreenScale();
// Places a control at a position given in twips.
void PlaceTwips(QWidget* w, int left, int top, int width, int height);

}  // namespace vendra
