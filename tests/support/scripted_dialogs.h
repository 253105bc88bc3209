#pragma once
// Dialogs for tests: answers from a queue instead of the operator, and a record of every box,
// file dialog and beep.
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

#include "platform/dialogs.h"

namespace vendra {

class ScriptedDialogs : public Dialogs {
public:
    struct Box {
        QString text;
        QString title;
        Buttons buttons = Buttons::Ok;
        Icon icon = Icon::None;
        Answer defaultAnswer = Answer::Ok;
        Answer answer = Answer::Ok;  // what the box was answered with
        QObject* owner = nullptr;    // the window it opened over
    };
    struct FileCall {
        bool save = false;  // false: open dialog
        QString title;
        QString filter;
        QString answer;  // empty: cancelled
    };

    // Answers for the next message boxes, in order; a box with none queued gets its default.
    // The same box answered by its default this many times in a row is a program that keeps
    // asking a question no test scripted (a retry loop): the test ends there, naming the box.
    static constexpr int kRepeatLimit = 100;
    QList<Answer> answers;
    // Answers for the next file dialogs, in order; a dialog with none queued is cancelled.
    QStringList fileAnswers;

    QList<Box> boxes;
    QList<FileCall> fileCalls;
    int beeps = 0;

    // Runs as each box is shown, before it is answered, to look at the state at that moment.
    std::function<void(const Box&)> onBox;

    Answer Message(const QString& text, const QString& title, Buttons buttons, Icon icon,
                   Answer defaultAnswer) override;
    QString OpenFileName(const QString& title, const QString& filter) override;
    QString SaveFileName(const QString& title, const QString& filter) override;
    void Beep() override { ++beeps; }

    // Texts of the boxes shown so far, in order.
    QStringList Titles() const;
    QStringList Texts() const;
    void Reset();

private:
    QString FileAnswer(bool save, const QString& title, const QString& filter);

    int repeats_ = 0;
};

}  // namespace vendra
