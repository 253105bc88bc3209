#include "shell/frm_kavro_main.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QWindow>

#include "compare/change_controller.h"
#include "config/enabled_units.h"
#include "editor/entry_box.h"
#include "editor/mapping_editor.h"
#include "editor/tally_list.h"
#include "link/command_exchange.h"
#include "link/online_state.h"
#include "mapping/mapping_commands.h"
#include "mapping/output_test.h"
#include "mapping/read_back.h"
#include "platform/configured_port.h"
#include "platform/dialogs.h"
#include "platform/ini_file.h"
#include "platform/numbers.h"
#include "widgets/colours.h"
#include "widgets/controls.h"
#include "session/tally_files.h"
#include "session/unit_status.h"
#include "shell/face.h"
#include "shell/main_face.h"
#include "shell/outline.h"

namespace vendra {

namespace {

const QString kFileMissingText = QStringLiteral(
    "Cannot locate Kavro.ini file in program directory\r\n"
    "Please aquire a Kavro.ini file for this tally system and copy it into the "
    "program directory");

}  // namespace

frmKavroMain::frmKavroMain(Dialogs& dialogs, QString iniPath, std::unique_ptr<SerialPort> port,
                           QWidget* parent)
    : QWidget(parent, Qt::FramelessWindowHint | Qt::Window),
      dialogs_(dialogs),
      iniPath_(std::move(iniPath)),
      port_(std::move(port)) {
    setWindowTitle(QStringLiteral("Vendra"));
    // Every box from start-up on opens over the main window, not somewhere behind it.
    dialogs_.SetOwnerWindow(this);
    setFixedSize(Px(kFaceWidth * 15), Px(kFaceHeight * 15));
    SetBackground(this, QColor(82, 82, 169));
    QFont small = font();
    small.setPointSizeF(7.5);
    setFont(small);
    face_ = std::make_unique<MainFace>(this);
    endProgram = [] { QCoreApplication::exit(0); };

    Timer1.setInterval(1000);
    Timer2.setInterval(50);
    Timer3.setInterval(100);
    Timer4.setInterval(100);
    tmrInputStatus.setInterval(200);
    Timer1.start();  // runs for the whole session and does nothing

    CreateCore();
    WireCore();
}

frmKavroMain::~frmKavroMain() {
    // Final destruction: the port closes first, then the secondary windows go.
    if (port_) port_->Close();
    UnloadSecondaryWindows();
}

void frmKavroMain::CreateCore() {
    if (!port_) port_ = std::make_unique<ConfiguredPort>();
    exchange_ = std::make_unique<CommandExchange>(*port_, dialogs_);
    online_ = std::make_unique<OnlineState>(*exchange_, dialogs_);
    auto online = [this] { return online_->Online; };
    readBack_ = std::make_unique<ReadBack>(tables_, *exchange_, dialogs_);
    commands_ = std::make_unique<MappingCommands>(tables_, *exchange_, online);
    outputTest_ = std::make_unique<OutputTest>(tables_, *exchange_, *readBack_, online);
    unitStatus_ = std::make_unique<UnitStatus>(*exchange_);
    editor_ = std::make_unique<MappingEditor>(face_->Editor(), tables_, *commands_, *outputTest_,
                                              dialogs_, online, exchange_->Busy());
    files_ =
        std::make_unique<TallyFiles>(tables_, *commands_, *readBack_, *exchange_, dialogs_, online);
    new ChangeController({tables_, *commands_, *readBack_, *exchange_, *editor_, dialogs_, online},
                         face_->cmdLoadMatrix, face_->lblDownloading, this);
}

void frmKavroMain::WireCore() {
    // Lamps and the error line.
    connect(exchange_.get(), &CommandExchange::CommandStarted, this, [this] {
        face_->Shape1->SetColour(ColourFromValue(kRed));
        face_->Shape1->repaint();
        Timer2.start();
    });
    connect(&Timer2, &QTimer::timeout, this, [this] {
        face_->Shape1->SetColour(ColourFromValue(kGreen));
        Timer2.stop();
    });
    connect(port_.get(), &SerialPort::DataReceived, this, [this] {
        face_->Shape2->SetColour(ColourFromValue(kRed));
        Timer4.start();
    });
    connect(&Timer4, &QTimer::timeout, this, [this] {
        face_->Shape2->SetColour(ColourFromValue(kGreen));
        Timer4.stop();
    });
    connect(exchange_.get(), &CommandExchange::ErrorLine, this, &frmKavroMain::ShowError);
    connect(face_->lblError, &ClickLabel::Clicked, this, [this] { face_->lblError->clear(); });

    // "Map Tally" flashes red for each mapping command.
    connect(commands_.get(), &MappingCommands::MapFlash, this, [this] {
        SetButtonFace(face_->cmdMapIt, ColourFromValue(kRed));
        Timer3.start();
    });
    connect(&Timer3, &QTimer::timeout, this, [this] {
        SetButtonFace(face_->cmdMapIt, QColor());
        Timer3.stop();
    });

    // Online state.
    connect(online_.get(), &OnlineState::LookChanged, this, &frmKavroMain::ShowOnlineLook);
    connect(online_.get(), &OnlineState::ErrorLine, this, &frmKavroMain::ShowError);
    connect(online_.get(), &OnlineState::InfoTexts, this,
            [this](const QString& info, const QString& version) {
                face_->lblMainVersionInfo->setToolTip(info);
                face_->lblVersionInfo->setToolTip(version);
            });
    connect(face_->cmdOnline, &QPushButton::clicked, this, [this] {
        if (!Busy()) online_->ToggleOnline();
    });

    // Read-back progress.
    connect(readBack_.get(), &ReadBack::ProgressText, face_->lblDownloading, &QLabel::setText);
    connect(readBack_.get(), &ReadBack::ControlsEnabled, this,
            [this](bool on) { editor_->EnableControls(on); });
    connect(readBack_.get(), &ReadBack::CancelVisible, face_->cmdCancelDownload,
            &QWidget::setVisible);
    connect(face_->cmdCancelDownload, &QPushButton::clicked, readBack_.get(),
            &ReadBack::CancelDownload);

    // Output test.
    connect(face_->cmdTest, &HoldButton::Held, this, [this] {
        if (Busy()) return;
        outputTest_->TestOn(editor_->SelectedOutput());
        face_->List1->setFocus();
    });
    connect(face_->cmdTest, &HoldButton::LetGo, this, [this] {
        if (!Busy()) outputTest_->TestOff(editor_->SelectedOutput());
    });
    // Only the mouse hands the focus on: Enter again on "Latch" must latch again, not map.
    connect(face_->chkTest, &LatchBox::Pressed, this, [this](bool byMouse) {
        if (Busy()) return;
        outputTest_->TestLatchChange(editor_->SelectedOutput());
        if (byMouse) face_->List1->setFocus();
    });

    // Tally matrix files.
    connect(face_->cmdSaveMatrix, &QPushButton::clicked, files_.get(),
            &TallyFiles::SaveMatrixClick);
    connect(face_->cmdLoadMatrix, &QPushButton::clicked, files_.get(),
            &TallyFiles::LoadMatrixClick);
    connect(files_.get(), &TallyFiles::ListRebuild, this, [this] { editor_->UpdateListBox1(); });
    connect(files_.get(), &TallyFiles::ControlsEnabled, this,
            [this](bool on) { editor_->EnableControls(on); });
    // A load lets no events run: the label is painted at once to show its progress.
    connect(files_.get(), &TallyFiles::ProgressText, this, [this](const QString& text) {
        face_->lblDownloading->setText(text);
        face_->lblDownloading->repaint();
    });
    connect(files_.get(), &TallyFiles::FileNameShown, face_->lblFileName, &QLabel::setText);
    connect(files_.get(), &TallyFiles::FocusToList, this, [this] { face_->List1->setFocus(); });

    // Whole-system buttons and the window's own.
    connect(face_->cmdInit, &QPushButton::clicked, this, [this] {
        if (Busy()) return;
        ResetAndClearAll();
        face_->List1->setFocus();
    });
    connect(face_->cmdRefresh, &QPushButton::clicked, this, [this] {
        if (Busy()) return;
        commands_->SystemRefresh(*outputTest_);
        SyncWithVendra();
        face_->List1->setFocus();
    });
    connect(face_->cmdMin, &QPushButton::clicked, this, [this] {
        face_->List1->setFocus();
        showMinimized();
    });
    connect(face_->cmdClose, &QPushButton::clicked, this, &frmKavroMain::EndNow);
    connect(face_->Check1, &QCheckBox::clicked, this, &frmKavroMain::UnitStatusClicked);
    connect(face_->Check2, &QCheckBox::clicked, this, &frmKavroMain::AdvancedClicked);
    connect(&tmrInputStatus, &QTimer::timeout, this, &frmKavroMain::TimerInputStatusTick);

    // Where the keyboard went when it left the main window decides where it lands on return.
    connect(qApp, &QGuiApplication::focusWindowChanged, this, [this](QWindow* window) {
        if (!window || window == windowHandle()) return;
        focusListOnReturn_ = (verbose_ && window == verbose_->windowHandle()) ||
                             (unitBits_ && window == unitBits_->windowHandle());
    });
}

bool frmKavroMain::Load() {
    ApplyOutline();
    online_->MainCPUVersion.clear();
    face_->lblError->clear();
    tables_.DownloadActive = 0;
    tables_.MapStrings = 0;
    face_->lblFileName->clear();

    const IniReadResult ini = IniRead(IniFile(iniPath_), tables_, config_);
    if (!ini.Ok()) {
        if (ini.Outcome == IniOutcome::Invalid || ini.Unreadable)
            dialogs_.Message(ini.Message, QStringLiteral("File Error"), Buttons::Ok,
                             Icon::Information);
        dialogs_.Message(kFileMissingText + QStringLiteral("\r\nLooked for: ") +
                             QDir::toNativeSeparators(iniPath_),
                         QStringLiteral("File Missing"), Buttons::OkCancel);
        return false;
    }
    for (const QString& warning : ini.Warnings)
        dialogs_.Message(warning, QStringLiteral("Kavro.ini"), Buttons::Ok, Icon::Information);
    online_->SystemName = config_.SystemName;
    online_->VendraCommport = config_.VendraCommport;
    if (auto* configured = qobject_cast<ConfiguredPort*>(port_.get()))
        configured->Configure(config_.CommDevice, config_.VendraCommport);
    face_->List1->SetColumnWidths({30, 5, 4, 5});
    face_->list2->SetColumnWidths({8, 30});
    face_->list3->SetColumnWidths({8, 30});
    editor_->FillLists();

    face_->List1->SetSelectedIndex(0);
    face_->list2->SetSelectedIndex(0);
    face_->list3->SetSelectedIndex(0);
    face_->list2->resize(face_->list2->width(), Px(MappingEditor::kSingleListHeight));
    show();

    if (!OpenPort()) online_->GoOffline();
    if (online_->GoOnline()) {
        SyncWithVendra();
        face_->lblError->setText(online_->MainCPUVersion);
    }
    face_->List1->setFocus();
    // "X" during the start-up read-back: the event loop must not start.
    return !exchange_->Busy().StopRequested();
}

bool frmKavroMain::OpenPort() {
    if (port_->Open() != -1) return true;
    QString text = QStringLiteral("The Serial Com port") + SignColumn(config_.VendraCommport) +
                   QLatin1Char('\r') + QStringLiteral("Is not available") + QLatin1Char('\r') +
                   QStringLiteral("Please correct and try again") + QLatin1Char('\r') +
                   port_->DeviceName() + QStringLiteral(": ") + port_->ErrorText();
    if (port_->PermissionDenied())
        text += QStringLiteral(" (is your user a member of the dialout group?)");
    dialogs_.Message(text, QStringLiteral("Port Conflict"), Buttons::Ok, Icon::Information);
    return false;
}

void frmKavroMain::ApplyOutline() {
    const double twipsPerPixel = ScreenTwipsPerPixel();
    setMask(OutlineRegion(1.0, 1.0, 0, 0, twipsPerPixel, twipsPerPixel));
    repaint();
}

void frmKavroMain::ShowOnlineLook(bool online) {
    face_->cmdOnline->setText(online ? QStringLiteral("Online") : QStringLiteral("OFFLINE"));
    SetButtonFace(face_->cmdOnline, ColourFromValue(online ? kGreen : kLightRed));
    for (QWidget* w : face_->OnlineOnly())
        w->setEnabled(online);
}

void frmKavroMain::ShowError(const QString& text) {
    face_->lblError->setText(text);
    face_->lblError->repaint();
}

void frmKavroMain::SyncWithVendra() {
    readBack_->GetAllRawMappings();
    editor_->UpdateListBox1();
}

void frmKavroMain::ResetAndClearAll() {
    if (dialogs_.Message(QStringLiteral("Are you absolutely sure you want to Clear ALL ??"),
                         QStringLiteral("Clear All"), Buttons::OkCancel, Icon::None,
                         Answer::Cancel) != Answer::Ok)
        return;
    outputTest_->ClearAllTest();
    if (online_->Online) {
        commands_->SystemInit();
        EnableUnits(*exchange_);
    }
    tables_.ClearLocalMaps();
    editor_->UpdateListBox1();
    face_->lblFileName->clear();
}

void frmKavroMain::AdvancedClicked(bool ticked) {
    if (ticked) {
        face_->List1->setFocus();
        if (!verbose_) {
            verbose_ = new frmVerbose();
            connect(verbose_, &frmVerbose::SendRequested, this, [this](const QString& text) {
                if (!Busy()) exchange_->SendCommand(text);
            });
            connect(verbose_, &frmVerbose::Closed, this, [this] {
                face_->List1->setFocus();
                face_->Check2->setChecked(false);
                AdvancedClicked(false);
            });
            connect(exchange_.get(), &CommandExchange::ConsoleText, verbose_,
                    &frmVerbose::ShowReceived);
        }
        exchange_->SetConsoleCopy(true);
        verbose_->show();
        verbose_->txtDirectCommand->setFocus();
        SetTextColour(face_->Check2, ColourFromValue(kRed));
    } else {
        exchange_->SetConsoleCopy(false);
        if (verbose_) verbose_->hide();
        activateWindow();
        face_->List1->setFocus();
        SetTextColour(face_->Check2, ColourFromValue(kBlack));
    }
}

void frmKavroMain::UnitStatusClicked(bool ticked) {
    if (!ticked) {
        tmrInputStatus.stop();
        if (unitBits_) unitBits_->hide();  // hidden, not unloaded: the watched unit stays
        face_->List1->setFocus();
        SetTextColour(face_->Check1, ColourFromValue(kBlack));
        return;
    }
    tmrInputStatus.start();
    if (!unitBits_) {
        unitBits_ = new frmUnitBits(*unitStatus_);
        // The next key goes to the output list, not to the spinner.
        connect(unitBits_, &frmUnitBits::WatchedUnitChanged, this, [this] {
            activateWindow();
            face_->List1->setFocus();
        });
        connect(unitBits_, &frmUnitBits::CloseWindowClicked, this, [this] {
            tmrInputStatus.stop();
            if (unitBits_) unitBits_->hide();
            activateWindow();
            face_->Check1->setChecked(false);
            UnitStatusClicked(false);
            face_->List1->setFocus();
        });
        connect(unitBits_, &frmUnitBits::Unloaded, this, [this] {
            // The window deletes itself once the close is done; forget it now, so that a
            // switch-on before then builds a fresh one instead of showing the dying one.
            unitBits_.clear();
            face_->Check1->setChecked(false);
            UnitStatusClicked(false);
        });
        unitBits_->Load(pos(), ProgramEnabledUnits().EnabledUnitCount);
    }
    unitBits_->show();
    face_->List1->setFocus();
    SetTextColour(face_->Check1, ColourFromValue(kRed));
}

void frmKavroMain::TimerInputStatusTick() {
    if (!unitBits_) {
        tmrInputStatus.stop();
        return;
    }
    if (Busy()) return;  // the poll waits for the read-back or load to end
    unitStatus_->UpdateBitStatus(unitBits_->WatchedUnit());
    unitBits_->ShowStatus();
    // A silent controller makes this tick last two time-outs. Counting the next interval from
    // the end of this one keeps ticks from running back to back and lets a click on face_->Check1,
    // queued meanwhile, be handled before the next poll.
    if (tmrInputStatus.isActive()) tmrInputStatus.start();
}

void frmKavroMain::UnloadSecondaryWindows() {
    delete verbose_.data();
    if (unitBits_) {
        face_->Check1->setChecked(false);
        UnitStatusClicked(false);
        delete unitBits_.data();
    }
}

void frmKavroMain::EndNow() {
    exchange_->Busy().RequestStop();
    port_->Close();
    endProgram();
}

bool frmKavroMain::Busy() const {
    return exchange_->Busy().Busy();
}

void frmKavroMain::mousePressEvent(QMouseEvent* event) {
    // A press that a control let through (a right press on a button) is not on the body.
    if (childAt(event->position().toPoint())) return;
    // Any button on the body moves the window; the window system's own move where it has one.
    if (windowHandle() && windowHandle()->startSystemMove()) return;
    handDrag_ = true;
    dragOffset_ = event->globalPosition().toPoint() - frameGeometry().topLeft();
}

void frmKavroMain::mouseMoveEvent(QMouseEvent* event) {
    if (handDrag_) move(event->globalPosition().toPoint() - dragOffset_);
}

void frmKavroMain::mouseReleaseEvent(QMouseEvent*) {
    handDrag_ = false;
}

void frmKavroMain::paintEvent(QPaintEvent*) {
    // Drawn at the screen's scale and pixel density, so it stays sharp wherever it is shown.
    const qreal ratio = devicePixelRatioF();
    if (picture_.isNull() || picture_.devicePixelRatio() != ratio)
        picture_ = DrawFace(size(), ScreenScale(), ratio);
    QPainter p(this);
    p.drawPixmap(0, 0, picture_);
}

void frmKavroMain::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && focusListOnReturn_)
        face_->List1->setFocus();
}

void frmKavroMain::closeEvent(QCloseEvent* event) {
    UnloadSecondaryWindows();
    event->accept();
    // A close by the window system ends the program as "X" does, whatever runs underneath:
    // a hidden window must never leave the program running.
    EndNow();
}

}  // namespace vendra
