#include "widgets/qt_dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>

namespace vendra {

namespace {

QMessageBox::StandardButton ToQt(Answer a) {
    switch (a) {
        case Answer::Ok:
            return QMessageBox::Ok;
        case Answer::Cancel:
            return QMessageBox::Cancel;
        case Answer::Yes:
            return QMessageBox::Yes;
        case Answer::No:
            return QMessageBox::No;
    }
    return QMessageBox::Ok;
}

// A box takes the keyboard while it is open; when it closes, the control that had it gets it
// back, so that the operator's next key goes where it went before the box.
class FocusReturn {
public:
    explicit FocusReturn(QWidget* parent)
        : widget_(QApplication::focusWidget() ? QApplication::focusWidget()
                  : parent                    ? parent->focusWidget()
                                              : nullptr) {}
    ~FocusReturn() {
        if (!widget_ || !widget_->isVisible() || !widget_->isEnabled()) return;
        widget_->activateWindow();
        widget_->setFocus(Qt::ActiveWindowFocusReason);
    }
    FocusReturn(const FocusReturn&) = delete;
    FocusReturn& operator=(const FocusReturn&) = delete;

private:
    QPointer<QWidget> widget_;
};

}  // namespace

QWidget* QtDialogs::Parent() const {
    return qobject_cast<QWidget*>(OwnerWindow());
}

Answer QtDialogs::Message(const QString& text, const QString& title, Buttons buttons, Icon icon,
                          Answer defaultAnswer) {
    const FocusReturn focus(Parent());
    QMessageBox box(icon == Icon::Information ? QMessageBox::Information : QMessageBox::NoIcon,
                    title, text, QMessageBox::NoButton, Parent());
    switch (buttons) {
        case Buttons::Ok:
            box.setStandardButtons(QMessageBox::Ok);
            break;
        case Buttons::OkCancel:
            box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
            break;
        case Buttons::YesNo:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            break;
    }
    box.setDefaultButton(ToQt(defaultAnswer));
    switch (box.exec()) {
        case QMessageBox::Ok:
            return Answer::Ok;
        case QMessageBox::Yes:
            return Answer::Yes;
        case QMessageBox::No:
            return Answer::No;
        default:
            return Answer::Cancel;  // closed by the frame or Escape
    }
}

QString QtFilter(const QString& filter) {
    const qsizetype bar = filter.indexOf(QLatin1Char('|'));
    if (bar < 0) return filter;
    return filter.left(bar) + QStringLiteral(" (") + filter.mid(bar + 1) + QLatin1Char(')');
}

QString QtDialogs::OpenFileName(const QString& title, const QString& filter) {
    const FocusReturn focus(Parent());
    return QFileDialog::getOpenFileName(Parent(), title, QString(), QtFilter(filter));
}

QString QtDialogs::SaveFileName(const QString& title, const QString& filter) {
    // No extension is added and the overwrite question is the console's own.
    const FocusReturn focus(Parent());
    return QFileDialog::getSaveFileName(Parent(), title, QString(), QtFilter(filter), nullptr,
                                        QFileDialog::DontConfirmOverwrite);
}

void QtDialogs::Beep() {
    QApplication::beep();
}

}  // namespace vendra
