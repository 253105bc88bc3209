#include "platform/widgets/qt_dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

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

}  // namespace

QWidget* QtDialogs::Parent() const {
    return qobject_cast<QWidget*>(OwnerWindow());
}

Answer QtDialogs::Message(const QString& text, const QString& title, Buttons buttons, Icon icon,
                          Answer defaultAnswer) {
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
    return QFileDialog::getOpenFileName(Parent(), title, QString(), QtFilter(filter));
}

QString QtDialogs::SaveFileName(const QString& title, const QString& filter) {
    // No extension is added and the overwrite question is the console's own.
    return QFileDialog::getSaveFileName(Parent(), title, QString(), QtFilter(filter), nullptr,
                                        QFileDialog::DontConfirmOverwrite);
}

void QtDialogs::Beep() {
    QApplication::beep();
}

}  // namespace vendra
