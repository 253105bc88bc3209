#pragma once
// Message boxes, file dialogs and the beep of the real window system.
#include "platform/dialogs.h"

class QWidget;

namespace vendra {

class QtDialogs : public Dialogs {
public:
    explicit QtDialogs(QWidget* parent = nullptr) : parent_(parent) {}
    void SetParent(QWidget* parent) { parent_ = parent; }

    Answer Message(const QString& text, const QString& title, Buttons buttons, Icon icon,
                   Answer defaultAnswer) override;
    QString OpenFileName(const QString& title, const QString& filter) override;
    QString SaveFileName(const QString& title, const QString& filter) override;
    void Beep() override;

private:
    QWidget* parent_;
};

// "Vendra Tally(*.vdk)|*.vdk" -> "Vendra Tally(*.vdk) (*.vdk)", the form Qt's dialogs read.
QString QtFilter(const QString& filter);

}  // namespace vendra
