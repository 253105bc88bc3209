#pragma once
// The console's session in a private program folder against the in-process controller model,
// with scripted dialogs and no window: what a face would show is recorded from its signals.
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <memory>

#include "session/console_session.h"
#include "sim/controller_model.h"
#include "support/model_port.h"
#include "support/scripted_dialogs.h"

namespace vendra {

// A Kavro.ini of `outputs` outputs on unit 1 (channel = number) and `inputs` inputs on unit 2
// (channel = number), named "Out n" and "In n", with EnabledUnits 1,2 and extra lines appended.
QString SampleIni(int outputs, int inputs, const QString& extra = QString());

// What the session and the window rigs share: the folder with Kavro.ini, the controller model
// and its port, the scripted dialogs and short waits.
struct ModelRig {
    QTemporaryDir dir;
    ControllerModel model;
    ScriptedDialogs dialogs;
    ModelPort* port = nullptr;  // owned by the session
    bool refusePort = false;    // the port cannot be opened
    // No pause before a read-back or after a probe's first answer, which only give a real
    // controller time. A reply deadline of 0 means a short one on the model, which answers at
    // once, and the program's on a real port.
    SessionTimings timings{0, 0, 0};

    void WriteIni(const QString& text);
    QString IniPath() const;
    // A port on the model (none for `realPort`), and the waits for it.
    std::unique_ptr<SerialPort> MakePort(bool realPort = false);
    SessionTimings Timings(bool realPort = false) const;
    // With the tests' short waits on the model, the session's deadline runs on the port's own
    // clock: a silent controller answers nothing at once. The program's timings keep real time.
    void UseLineClock(ConsoleSession& s, bool realPort = false);
    // The command lines the controller received since the last call.
    QStringList TakeLog();
};

// What a face follows, from every service that reports it: the error line, the progress label,
// the mapping controls greyed, the file name label.
void FollowErrorLine(ConsoleSession& s, QObject* context,
                     const std::function<void(const ErrorReport&)>& f);
void FollowProgress(ConsoleSession& s, QObject* context,
                    const std::function<void(const ProgressReport&)>& f);
void FollowControlsEnabled(ConsoleSession& s, QObject* context, const std::function<void(bool)>& f);
void FollowFileName(ConsoleSession& s, QObject* context,
                    const std::function<void(const QString&)>& f);

struct SessionRig : ModelRig {
    std::unique_ptr<ConsoleSession> session;
    // The face: the file name label, every progress text, the error line, the controls.
    QString fileName;
    QStringList progress;
    QString errorLine;
    bool controlsEnabled = true;

    // The configuration read and the session connected, then taken offline unless `online`.
    // True when the session is in that state; the log, the boxes and the progress start empty.
    bool Start(bool online);
    QString Row(int o) const { return session->Table().OutputRow(o); }
    // The row of every configured output, output 1 first.
    QStringList Rows() const;
};

}  // namespace vendra
