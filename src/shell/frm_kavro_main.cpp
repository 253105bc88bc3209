#include "shell/frm_kavro_main.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QWindow>
#include <utility>

#include "compare/change_controller.h"
#include "editor/mapping_editor.h"
#include "editor/tally_list.h"
#include "history/history_window.h"
#include "overview/overview_panel.h"
#include "platform/dialogs.h"
#include "platform/serial_port.h"
#include "shell/face.h"
#include "shell/outline.h"
#include "widgets/busy_grey.h"
#include "widgets/captions.h"
#include "widgets/colours.h"
#include "widgets/controls.h"

namespace vendra {

namespace {

// The port a caller gives, handed to the session once the configuration is read.
PortFactory PortOrConfigured(std::unique_ptr<SerialPort> port) {
    if (!port) return SerialPortFactory();
    return [held = std::make_shared<std::unique_ptr<SerialPort>>(std::move(port))](
               const InstallationConfig&) { return std::move(*held); };
}

}  // namespace

frmKavroMain::frmKavroMain(Dialogs& dialogs, QString iniPath, std::unique_ptr<SerialPort> port,
                           SessionTimings timings, QWidget* parent)
    : QWidget(parent, Qt::FramelessWindowHint | Qt::Window),
      dialogs_(dialogs),
      iniPath_(std::move(iniPath)),
      session_(
          std::make_unique<ConsoleSession>(dialogs, PortOrConfigured(std::move(port)), timings)) {
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

    ConsoleSession& s = *session_;
    editor_ = std::make_unique<MappingEditor>(face_->Editor(), s.Link(), s.Table(), s.Tests(),
                                              s.Installation(), dialogs_);
    new ChangeController(s.Link(), s.Changes(), dialogs_, face_->cmdLoadMatrix, this);
    diag_ = std::make_unique<DiagPanels>(
        s.Link(), s.Inputs(), s.Installation(),
        DiagControls{this, face_->Check1, face_->Check2, face_->List1});
    new OverviewPanel(s.Link(), s.Inputs(), s.Installation(),
                      {this, face_->Check1, face_->List1->model(),
                       [this](int output) {
                           face_->List1->SetSelectedIndex(output - 1);
                           editor_->GetOutChannel();
                       }},
                      this);
    // Whatever starts a controller operation is grey while the line is busy; "X", "Cancel" and
    // the windows that only show stay.
    auto* grey = new BusyGrey(s.Link(), this);
    grey->SetKeyHome(face_->List1);
    grey->Add({face_->cmdOnline, face_->cmdTest, face_->chkTest, face_->cmdInit, face_->cmdRefresh,
               face_->cmdSaveMatrix, face_->cmdLoadMatrix});
    grey->Add(AddHistoryControls(this, face_->lblFileName, s.History()));

    Timer2.setInterval(50);
    Timer3.setInterval(100);
    Timer4.setInterval(100);
    WireLamps();
    WireSession();
    WireButtons();
}

frmKavroMain::~frmKavroMain() {
    // Final destruction: the port closes first, then the secondary windows go.
    session_->Link().ClosePort();
    diag_->UnloadSecondaryWindows();
}

void frmKavroMain::WireLamps() {
    // A lamp lights on its signal and goes out when its timer runs out.
    auto wire = [this](auto* sender, auto signal, QTimer& timer, std::function<void(bool)> light) {
        connect(sender, signal, this, [&timer, light] {
            light(true);
            timer.start();
        });
        connect(&timer, &QTimer::timeout, this, [&timer, light] {
            light(false);
            timer.stop();
        });
    };
    ControllerLink* link = &session_->Link();
    wire(link, &ControllerLink::CommandStarted, Timer2, [this](bool on) {
        face_->Shape1->SetColour(ColourFromValue(on ? kRed : kGreen));
        if (on) face_->Shape1->repaint();
    });
    wire(link, &ControllerLink::DataReceived, Timer4,
         [this](bool on) { face_->Shape2->SetColour(ColourFromValue(on ? kRed : kGreen)); });
    // "Map Tally" flashes red for each mapping command.
    wire(&session_->Table(), &TableOperations::MapFlash, Timer3, [this](bool on) {
        SetButtonFace(face_->cmdMapIt, on ? ColourFromValue(kRed) : QColor());
    });
}

void frmKavroMain::WireSession() {
    ConsoleSession& s = *session_;
    auto showError = [this](const ErrorReport& e) { face_->ShowError(ErrorCaption(e)); };
    connect(&s.Link(), &ControllerLink::ErrorReported, this, showError);
    connect(&s.Table(), &TableOperations::ErrorReported, this, showError);
    connect(&s.Tests(), &OutputTesting::ErrorReported, this, showError);
    connect(&s.History(), &ChangeHistory::ErrorReported, this, showError);
    connect(face_->lblError, &ClickLabel::Clicked, this, [this] { face_->ShowError(QString()); });
    connect(&s.Link(), &ControllerLink::OnlineChanged, this,
            [this](bool on) { face_->ShowOnlineLook(on); });
    connect(&s.Link(), &ControllerLink::InfoTexts, this,
            [this](const QString& info, const QString& ver) {
                face_->lblMainVersionInfo->setToolTip(info);
                face_->lblVersionInfo->setToolTip(ver);
            });
    // A load lets no events run: the label is painted at once to show its progress.
    auto showProgress = [this](const ProgressReport& progress) {
        face_->lblDownloading->setText(ProgressCaption(progress));
        face_->lblDownloading->repaint();
    };
    auto enable = [this](bool on) { editor_->EnableControls(on); };
    auto rebuild = [this] { editor_->UpdateListBox1(); };
    connect(&s.Table(), &TableOperations::Progressed, this, showProgress);
    connect(&s.Table(), &TableOperations::ControlsEnabled, this, enable);
    connect(&s.Table(), &TableOperations::ListRebuild, this, rebuild);
    connect(&s.Files(), &TallyFileService::Progressed, this, showProgress);
    connect(&s.Files(), &TallyFileService::ControlsEnabled, this, enable);
    connect(&s.Files(), &TallyFileService::ListRebuild, this, rebuild);
    connect(&s.Changes(), &LiveChangeService::Progressed, this, showProgress);
    connect(&s.Changes(), &LiveChangeService::ControlsEnabled, this, enable);
    connect(&s.Changes(), &LiveChangeService::ListRebuild, this, rebuild);
    connect(&s.Table(), &TableOperations::CancelVisible, face_->cmdCancelDownload,
            &QWidget::setVisible);
    connect(face_->cmdCancelDownload, &QPushButton::clicked, &s.Table(),
            &TableOperations::CancelReadBack);
    connect(&s.Table(), &TableOperations::FileNameShown, face_->lblFileName, &QLabel::setText);
    connect(&s.Files(), &TallyFileService::FileNameShown, face_->lblFileName, &QLabel::setText);
    // After a save or a load the keys go back to the output list.
    connect(face_->cmdSaveMatrix, &QPushButton::clicked, this, [this] {
        if (session_->Files().SaveMatrix()) face_->List1->setFocus();
    });
    connect(face_->cmdLoadMatrix, &QPushButton::clicked, this, [this] {
        if (session_->Files().LoadMatrix()) face_->List1->setFocus();
    });
}

void frmKavroMain::WireButtons() {
    connect(face_->cmdOnline, &QPushButton::clicked, &session_->Link(),
            &ControllerLink::ToggleOnline);
    connect(face_->cmdTest, &HoldButton::Held, this, [this] {
        testHeld_ = editor_->SelectedOutput();
        session_->Tests().TestOn(testHeld_);
        face_->List1->setFocus();
    });
    // The keys reach the output list while "Test" is held: the release ends the test the press
    // started, wherever the selection went meanwhile, and waits for a busy line if it must.
    connect(face_->cmdTest, &HoldButton::LetGo, this, [this] {
        const int held = std::exchange(testHeld_, 0);
        editor_->EndTest(held > 0 ? held : editor_->SelectedOutput());
    });
    // Only the mouse hands the focus on: Enter again on "Latch" must latch again, not map.
    connect(face_->chkTest, &LatchBox::Pressed, this, [this](bool byMouse) {
        session_->Tests().TestLatchChange(editor_->SelectedOutput());
        if (byMouse) face_->List1->setFocus();
    });
    connect(face_->cmdInit, &QPushButton::clicked, this, [this] {
        session_->Table().ResetAndClearAll();
        face_->List1->setFocus();
    });
    connect(face_->cmdRefresh, &QPushButton::clicked, this, [this] {
        session_->Table().Refresh();
        face_->List1->setFocus();
    });
    connect(face_->cmdMin, &QPushButton::clicked, this, [this] {
        face_->List1->setFocus();
        showMinimized();
    });
    connect(face_->cmdClose, &QPushButton::clicked, this, &frmKavroMain::EndNow);
    // Where the keyboard went when it left the main window decides where it lands on return.
    connect(qApp, &QGuiApplication::focusWindowChanged, this, [this](QWindow* window) {
        if (window && window != windowHandle()) focusListOnReturn_ = diag_->IsPanelWindow(window);
    });
}

bool frmKavroMain::Load() {
    const double twipsPerPixel = ScreenTwipsPerPixel();
    setMask(OutlineRegion(1.0, 1.0, 0, 0, twipsPerPixel, twipsPerPixel));
    repaint();
    if (!session_->LoadConfiguration(iniPath_)) return false;
    face_->List1->SetColumnWidths({30, 5, 4, 5});
    face_->list2->SetColumnWidths({8, 30});
    face_->list3->SetColumnWidths({8, 30});
    editor_->FillLists();
    face_->List1->SetSelectedIndex(0);
    face_->list2->SetSelectedIndex(0);
    face_->list3->SetSelectedIndex(0);
    face_->list2->resize(face_->list2->width(), Px(MappingEditor::kSingleListHeight));
    show();
    AwaitPlacement();

    session_->Connect();
    face_->List1->setFocus();
    // "X" during the start-up read-back: the event loop must not start.
    return !session_->Link().StopRequested();
}

void frmKavroMain::AwaitPlacement() {
    // The window system places a new window a moment after it is shown; until it says where,
    // the window seems to stand at 0,0 and a box centred over it would open far from it. No
    // input is taken meanwhile: start-up is not done.
    QElapsedTimer waited;
    waited.start();
    QTimer wake;  // bounds each wait for an event
    wake.start(20);
    while (!(windowHandle() && windowHandle()->isExposed()) && waited.elapsed() < kPlacementMs)
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents |
                                        QEventLoop::WaitForMoreEvents);
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void frmKavroMain::EndNow() {
    session_->Tests().EndTests();
    session_->Link().RequestStop();
    session_->Link().ClosePort();
    endProgram();
}

void frmKavroMain::mousePressEvent(QMouseEvent* event) {
    // A press that a control let through (a right press on a button) is not on the body.
    if (childAt(event->position().toPoint())) return;
    // Any button on the body moves the window by hand, until that button's release.
    dragButton_ = event->button();
    dragOffset_ = event->globalPosition().toPoint() - frameGeometry().topLeft();
    if (event->button() != Qt::LeftButton) return;
    // The window system's own move ends only on a left release that it sees itself: asked for
    // after the release, or for another button, it would glue the window to the pointer. A
    // press handled late (after a wait on the controller) has its release queued behind it, so
    // the move is asked for one pass of the event loop later, and only if the button is still
    // down then.
    QTimer::singleShot(0, this, [this] {
        if (dragButton_ == Qt::LeftButton && windowHandle() && windowHandle()->startSystemMove())
            dragButton_ = Qt::NoButton;
    });
}

void frmKavroMain::mouseMoveEvent(QMouseEvent* event) {
    if (dragButton_ != Qt::NoButton && (event->buttons() & dragButton_))
        move(event->globalPosition().toPoint() - dragOffset_);
}

void frmKavroMain::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == dragButton_) dragButton_ = Qt::NoButton;
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
    diag_->UnloadSecondaryWindows();
    event->accept();
    // A close by the window system ends the program as "X" does, whatever runs underneath:
    // a hidden window must never leave the program running.
    EndNow();
}

}  // namespace vendra
