#pragma once
// What the command-line tool needs around the session: boxes answered without a person, Ctrl+C
// turned into a stop between two commands, and a progress bar on a terminal only.
#include <QList>
#include <QObject>
#include <QString>
#include <memory>

#include "platform/dialogs.h"

class QSocketNotifier;

namespace vendra {

// Answers every box as a person who declines would (No, Cancel), and keeps the texts: the tool
// reports in its own words and takes a reason from them where it needs one.
class CliDialogs : public Dialogs {
public:
    Answer Message(const QString& text, const QString& title, Buttons buttons, Icon icon,
                   Answer defaultAnswer) override;
    QString OpenFileName(const QString&, const QString&) override { return {}; }
    QString SaveFileName(const QString&, const QString&) override { return {}; }
    void Beep() override {}

    // The text of the last box, on one line; empty when none was shown.
    QString LastText() const;

private:
    QStringList texts_;
};

// SIGINT and SIGTERM set a flag and wake the event loop through a pipe; the work checks the
// flag between commands, so a command on the wire is always finished.
class StopSignal : public QObject {
    Q_OBJECT
public:
    explicit StopSignal(QObject* parent = nullptr);
    ~StopSignal() override;
    static bool Requested();
    // The exit status of a tool ended by the stop: 128 and the signal, as a shell reports it
    // (130 for Ctrl+C, 143 for SIGTERM).
    static int ExitCode();

Q_SIGNALS:
    // Delivered from the event loop (also from a read-back's pumping).
    void Stop();

private:
    QSocketNotifier* notifier_ = nullptr;
};

// One line on standard error, redrawn in place: a bar when the total is known, a count when not.
// Silent unless standard error is a terminal and the tool is not quiet.
class Progress {
public:
    explicit Progress(bool quiet);
    bool Shown() const { return shown_; }
    void SetTotal(int total) { total_ = total; }
    // `label` and the count reached.
    void Show(const QString& label, int done);
    // Clears the line before anything else is written there.
    void Clear();

private:
    bool shown_ = false;
    bool drawn_ = false;
    int total_ = 0;
};

// Text on one line: line ends become blanks.
QString OneLine(QString text);

}  // namespace vendra
