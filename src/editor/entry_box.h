#pragma once
// The input number entry box: its keys go to the editor first, a click selects its text.
#include <QLineEdit>
#include <functional>

namespace vendra {

class EntryBox : public QLineEdit {
    Q_OBJECT
public:
    using QLineEdit::QLineEdit;

    // Called for each key press first; answering true consumes the key.
    std::function<bool(QKeyEvent*)> keyPressHook;

    // Selects the first ten characters, so the next number typed replaces the text.
    void SelectForEntry() { setSelection(0, 10); }

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
};

}  // namespace vendra
