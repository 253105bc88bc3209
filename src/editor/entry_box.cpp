#include "editor/entry_box.h"

#include <QKeyEvent>

namespace vendra {

bool EntryBox::event(QEvent* event) {
    // Undo and redo keys take back mappings (the window's shortcuts), not typing.
    if (event->type() == QEvent::ShortcutOverride) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->matches(QKeySequence::Undo) || key->matches(QKeySequence::Redo) ||
            key->keyCombination() == QKeyCombination(Qt::ControlModifier, Qt::Key_Y)) {
            event->ignore();
            return false;
        }
    }
    return QLineEdit::event(event);
}

void EntryBox::keyPressEvent(QKeyEvent* event) {
    if (keyPressHook && keyPressHook(event)) {
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void EntryBox::mousePressEvent(QMouseEvent* event) {
    QLineEdit::mousePressEvent(event);
    SelectForEntry();
}

}  // namespace vendra
