#pragma once
// The real main window in a private program folder, against the in-process controller model
// (or a real port), with scripted dialogs.
#include <QTemporaryDir>
#include <memory>

#include "shell/frm_kavro_main.h"
#include "sim/controller_model.h"
#include "support/model_port.h"
#include "support/scripted_dialogs.h"

namespace vendra {

// A Kavro.ini of `outputs` outputs on unit 1 (channel = number) and `inputs` inputs on unit 2
// (channel = number), named "Out n" and "In n", with EnabledUnits 1,2 and extra lines appended.
QString SampleIni(int outputs, int inputs, const QString& extra = QString());

struct MainRig {
    QTemporaryDir dir;
    ControllerModel model;
    ScriptedDialogs dialogs;
    ModelPort* port = nullptr;  // owned by the window
    std::unique_ptr<frmKavroMain> window;
    bool ended = false;       // "X" pressed
    bool refusePort = false;  // the port cannot be opened
    // No pause before a read-back or after a probe's first answer, which only give a real
    // controller time. A reply deadline of 0 means kTestDeadlineMs on the model, which answers
    // at once, and the program's on a real port.
    SessionTimings timings{0, 0, 0};

    MainRig();
    void WriteIni(const QString& text);
    // Builds the window on the model's port (unless `realPort`) with `boxes` (the scripted
    // dialogs unless given), without running its start-up.
    void Build(bool realPort = false, Dialogs* boxes = nullptr);
    // Builds the window and runs its start-up.
    bool Start(bool realPort = false);
    // The command lines the controller received since the last call.
    QStringList TakeLog();
    QString Row(int row) const;
    // Every row of the output list.
    QStringList Rows() const;
};

}  // namespace vendra
