#pragma once
// The main window: the composition root that owns the core pieces, the controls and the
// timers, runs the start-up sequence and wires every event to the core.
#include <QPoint>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>

#include "config/kavro_config.h"
#include "diag/frm_unit_bits.h"
#include "diag/frm_verbose.h"
#include "mapping/mapping_tables.h"
#include "platform/serial_port.h"
#include "shell/main_face.h"

class QCheckBox;
class QLabel;
class QPushButton;

namespace vendra {

class ClickLabel;
class CommandExchange;
class Dialogs;
class EntryBox;
class HoldButton;
class Lamp;
class LatchBox;
class MappingCommands;
class MappingEditor;
class OnlineState;
class OutputTest;
class ReadBack;
class SerialPort;
class TallyList;
class UnitStatus;
class TallyFiles;

class frmKavroMain : public QWidget {
    Q_OBJECT
public:
    // Reads the installation from iniPath. The port is made from the configuration unless one
    // is given (tests give one).
    frmKavroMain(Dialogs& dialogs, QString iniPath, std::unique_ptr<SerialPort> port = nullptr,
                 QWidget* parent = nullptr);
    ~frmKavroMain() override;

    // The start-up sequence. False when the program must end (configuration unusable).
    bool Load();

    // How the program ends on "X" or a close by the window system, after the port is closed.
    // StartProgram makes it end the process at once, also before the event loop runs; tests
    // replace it.
    std::function<void()> endProgram;

    void SyncWithVendra();
    void ResetAndClearAll();

    // The pieces, for the windows that work with them and for tests.
    MappingTables& Tables() { return tables_; }
    const InstallationConfig& Config() const { return config_; }
    CommandExchange& Exchange() { return *exchange_; }
    OnlineState& Online() { return *online_; }
    MappingEditor& Editor() { return *editor_; }
    ReadBack& Reader() { return *readBack_; }
    OutputTest& Tests() { return *outputTest_; }
    MappingCommands& Commands() { return *commands_; }
    TallyFiles& Files() { return *files_; }
    SerialPort& Port() { return *port_; }
    frmVerbose* Verbose() const { return verbose_; }
    frmUnitBits* UnitBitsWindow() const { return unitBits_; }
    // The controls.
    MainFace& Face() { return *face_; }
    const MainFace& Face() const { return *face_; }

    QTimer Timer1;
    QTimer Timer2;
    QTimer Timer3;
    QTimer Timer4;
    QTimer tmrInputStatus;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void CreateCore();
    void WireCore();
    void ApplyOutline();
    void ShowOnlineLook(bool online);
    bool OpenPort();
    void ShowError(const QString& text);
    void AdvancedClicked(bool ticked);
    void UnitStatusClicked(bool ticked);
    void TimerInputStatusTick();
    void UnloadSecondaryWindows();
    // "X": whatever runs stops at its current exchange, the port closes, the program ends.
    void EndNow();
    // A read-back (or a load) is running: only its "Cancel" may act.
    bool Busy() const;

    Dialogs& dialogs_;
    QString iniPath_;
    MappingTables tables_;
    InstallationConfig config_;
    std::unique_ptr<SerialPort> port_;
    std::unique_ptr<CommandExchange> exchange_;
    std::unique_ptr<OnlineState> online_;
    std::unique_ptr<ReadBack> readBack_;
    std::unique_ptr<MappingCommands> commands_;
    std::unique_ptr<OutputTest> outputTest_;
    std::unique_ptr<MappingEditor> editor_;
    std::unique_ptr<TallyFiles> files_;
    std::unique_ptr<MainFace> face_;
    QPixmap picture_;
    QPointer<frmVerbose> verbose_;
    std::unique_ptr<UnitStatus> unitStatus_;
    QPointer<frmUnitBits> unitBits_;
    bool handDrag_ = false;
    // The output list takes the keyboard when the window is first shown and when the operator
    // comes back from the console's own other windows; not after a message box or file dialog.
    bool focusListOnReturn_ = true;
    QPoint dragOffset_;
};

}  // namespace vendra
