#include "support/scripted_dialogs.h"

namespace vendra {

Answer ScriptedDialogs::Message(const QString& text, const QString& title, Buttons buttons,
                                Icon icon, Answer defaultAnswer) {
    Box box{text, title, buttons, icon, defaultAnswer, defaultAnswer, OwnerWindow()};
    const bool scripted = !answers.isEmpty();
    if (scripted) box.answer = answers.takeFirst();
    const bool again =
        !scripted && !boxes.isEmpty() && boxes.last().text == text && boxes.last().title == title;
    repeats_ = again ? repeats_ + 1 : 0;
    if (repeats_ >= kRepeatLimit)
        qFatal(
            "the box \"%s\" (\"%s\") came %d times in a row, answered with its default: the "
            "program keeps asking what no test scripted",
            qPrintable(title), qPrintable(text), kRepeatLimit + 1);
    if (onBox) onBox(box);
    boxes.append(box);
    return box.answer;
}

QString ScriptedDialogs::OpenFileName(const QString& title, const QString& filter) {
    return FileAnswer(false, title, filter);
}

QString ScriptedDialogs::SaveFileName(const QString& title, const QString& filter) {
    return FileAnswer(true, title, filter);
}

QString ScriptedDialogs::FileAnswer(bool save, const QString& title, const QString& filter) {
    FileCall call{save, title, filter, QString()};
    if (!fileAnswers.isEmpty()) call.answer = fileAnswers.takeFirst();
    fileCalls.append(call);
    return call.answer;
}

QStringList ScriptedDialogs::Titles() const {
    QStringList titles;
    for (const Box& box : boxes)
        titles.append(box.title);
    return titles;
}

QStringList ScriptedDialogs::Texts() const {
    QStringList texts;
    for (const Box& box : boxes)
        texts.append(box.text);
    return texts;
}

void ScriptedDialogs::Reset() {
    answers.clear();
    fileAnswers.clear();
    boxes.clear();
    fileCalls.clear();
    beeps = 0;
    repeats_ = 0;
}

}  // namespace vendra
