#pragma once
// The main window: the face, the output list's editor and the diagnostic panels around one
// console session. It connects the face's events to the session's services and their signals to
// the face, runs the start-up of the window, and owns the lamp timers, the outline and the drag.
#include <QPoint>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>

#include "diag/diag_panels.h"
#include "platform/serial_port.h"
#include "session/console_session.h"
#include "shell/main_face.h"

namespace vendra {

class Dialogs;
class MappingEditor;

class frmKavroMain : public QWidget {
    Q_OBJECT
public:
    // Reads the installation from iniPath. The port is made from the configuration unless one
    // is given (tests give one).
    frmKavroMain(Dialogs& dialogs, QString iniPath, std::unique_ptr<SerialPort> port = nullptr,
                 SessionTimings timings = {}, QWidget* parent = nullptr);
    ~frmKavroMain() override;

    // The start-up sequence. False when the program must end (configuration unusable).
    bool Load();

    // How the program ends on "X" or a close by the window system, after the port is closed.
    // StartProgram makes it end the process at once, also before the event loop runs; tests
    // replace it.
    std::function<void()> endProgram;

    ConsoleSession& Session() { return *session_; }
    MappingEditor& Editor() { return *editor_; }
    DiagPanels& Diag() { return *diag_; }
    frmVerbose* Verbose() const { return diag_->Verbose(); }
    frmUnitBits* UnitBitsWindow() const { return diag_->UnitBitsWindow(); }
    MainFace& Face() { return *face_; }
    const MainFace& Face() const { return *face_; }

    QTimer Timer2;
    QTimer Timer3;
    QTimer Timer4;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void WireLamps();
    void WireSession();
    void WireButtons();
    // Lets the window system show and place the window, so the first boxes open over it.
    void AwaitPlacement();
    static constexpr int kPlacementMs = 2000;
    // "X": the tests the console holds end, whatever runs stops at its current exchange, the
    // port closes, the program ends.
    void EndNow();

    Dialogs& dialogs_;
    QString iniPath_;
    std::unique_ptr<ConsoleSession> session_;
    std::unique_ptr<MainFace> face_;
    std::unique_ptr<MappingEditor> editor_;
    std::unique_ptr<DiagPanels> diag_;
    QPixmap picture_;
    // The button that moves the window by hand while it is held; none when no move runs.
    Qt::MouseButton dragButton_ = Qt::NoButton;
    // The output list takes the keyboard when the window is first shown and when the operator
    // comes back from the console's own other windows; not after a message box or file dialog.
    bool focusListOnReturn_ = true;
    QPoint dragOffset_;
    // The output that "Test" held down tests; 0 while it is not held.
    int testHeld_ = 0;
};

}  // namespace vendra
