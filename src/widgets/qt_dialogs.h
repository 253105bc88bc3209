#pragma once
// Message boxes, file dialogs and the beep of the real window system.
#include <QWidget>

#include "platform/dialogs.h"

namespace vendra {

class QtDialogs : public Dialogs {
public:
    explicit QtDialogs(QWidget* parent = nullptr) { SetOwnerWindow(parent); }

    Answer Message(const QString& text, const QString& title, Buttons buttons, Icon icon,
                   Answer defaultAnswer) override;
    QString OpenFileName(const QString& title, const QString& filter) override;
    QString SaveFileName(const QString& title, const QString& filter) override;
    void Beep() override;

private:
    QWidget* Parent() const;
};

// "Vendra Tally(*.vdk)|*.vdk" -> "Vendra Tally(*.vdk) (*.vdk)", the form Qt's dialogs read.
QString QtFilter(const QString& filter);

}  // namespace vendra
