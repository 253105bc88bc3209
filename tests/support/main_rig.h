#pragma once
// The real main window in a private program folder, against the in-process controller model
// (or a real port), with scripted dialogs.
#include <memory>

#include "shell/frm_kavro_main.h"
#include "support/session_rig.h"

namespace vendra {

struct MainRig : ModelRig {
    std::unique_ptr<frmKavroMain> window;
    bool ended = false;  // "X" pressed

    MainRig();
    // Builds the window on the model's port (unless `realPort`) with `boxes` (the scripted
    // dialogs unless given), without running its start-up.
    void Build(bool realPort = false, Dialogs* boxes = nullptr);
    // Builds the window and runs its start-up.
    bool Start(bool realPort = false);
    QString Row(int row) const;
    // Every row of the output list.
    QStringList Rows() const;
};

}  // namespace vendra
