#include "editor/entry_box.h"

#include <QKeyEvent>

namespace vendra {

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
