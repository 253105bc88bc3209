#pragma once
// The real main window in a private program folder, against the in-process controller model
// (or a real port), with scripted dialogs.
#include <QByteArray>
#include <functional>
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

// One window for the rows of one data-driven test function whose rows do not depend on each
// other's state: the first row builds it, the next function starts without it. A window left
// open would tick, poll and take the focus in other functions' cases.
class SharedWindow {
public:
    // The running function's window; `make` builds it for the function's first row.
    MainRig& Get(const std::function<std::unique_ptr<MainRig>()>& make);
    // From the test's init(): drops the window of another function.
    void Begin();
    // From the test's cleanupTestCase(), while the application still exists.
    void Drop() { rig_.reset(); }

private:
    std::unique_ptr<MainRig> rig_;
    QByteArray function_;
};

}  // namespace vendra
