#pragma once
// Everything that asks the operator something or tells him something in a box.
// The core reaches the operator only through this interface, so tests can answer for him.
#include <QObject>
#include <QPointer>
#include <QString>

namespace vendra {

enum class Buttons { Ok, OkCancel, YesNo };
enum class Icon { None, Information };
enum class Answer { Ok, Cancel, Yes, No };

class Dialogs {
public:
    virtual ~Dialogs() = default;

    // A modal message box. defaultAnswer names the button that Enter presses.
    virtual Answer Message(const QString& text, const QString& title, Buttons buttons,
                           Icon icon = Icon::None, Answer defaultAnswer = Answer::Ok) = 0;
    // File dialogs with the given title and filter ("Description|*.ext"); empty when cancelled.
    virtual QString OpenFileName(const QString& title, const QString& filter) = 0;
    virtual QString SaveFileName(const QString& title, const QString& filter) = 0;
    // The system beep.
    virtual void Beep() = 0;

    // The window the boxes and file dialogs open over, from the moment it exists; none before.
    void SetOwnerWindow(QObject* window) { owner_ = window; }
    QObject* OwnerWindow() const { return owner_; }

private:
    QPointer<QObject> owner_;
};

}  // namespace vendra
