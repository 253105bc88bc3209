#include "shell/frm_kavro_main.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QWindow>

#include "changes/journal.h"
#include "compare/change_controller.h"
#include "compare/history_window.h"
#include "editor/mapping_editor.h"
#include "editor/tally_list.h"
#include "mapping/output_test.h"
#include "platform/dialogs.h"
#include "platform/serial_port.h"
#include "session/tally_files.h"
#include "session/undo_history.h"
#include "shell/face.h"
#include "shell/outline.h"
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
    auto online = [&s] { return s.IsOnline(); };
    editor_ = std::make_unique<MappingEditor>(face_->Editor(), s.Tables(), s.Commands(), s.Tests(),
                                              dialogs_, online, s.Busy());
    new ChangeController({s.Tables(), s.Commands(), s.Reader(), s.Exchange(), *editor_, dialogs_,
                          online, &s.ChangeJournal(), &s.History()},
                         face_->cmdLoadMatrix, face_->lblDownloading, this);
    diag_ = std::make_unique<DiagPanels>(
        s, DiagControls{this, face_->Check1, face_->Check2, face_->List1});
    editor_->SetChangeLog(&s.ChangeJournal(), &s.History());
    AddHistoryControls(this, face_->lblFileName, s, [this] { return Busy(); });

    Timer1.setInterval(1000);
    Timer2.setInterval(50);
    Timer3.setInterval(100);
    Timer4.setInterval(100);
    Timer1.start();  // runs for the whole session and does nothing
    WireLamps();
    WireSession();
    WireButtons();
}

frmKavroMain::~frmKavroMain() {
    // Final destruction: the port closes first, then the secondary windows go.
    session_->Port().Close();
    diag_->UnloadSecondaryWindows();
}

void frmKavroMain::WireLamps() {
    // A lamp lights on its signal and goes out when its timer runs out.
    auto wire = [this](void (ConsoleSession::*signal)(), QTimer& timer,
                       std::function<void(bool)> light) {
        connect(session_.get(), signal, this, [&timer, light] {
            light(true);
            timer.start();
        });
        connect(&timer, &QTimer::timeout, this, [&timer, light] {
            light(false);
            timer.stop();
        });
    };
    wire(&ConsoleSession::CommandStarted, Timer2, [this](bool on) {
        face_->Shape1->SetColour(ColourFromValue(on ? kRed : kGreen));
        if (on) face_->Shape1->repaint();
    });
    wire(&ConsoleSession::DataReceived, Timer4,
         [this](bool on) { face_->Shape2->SetColour(ColourFromValue(on ? kRed : kGreen)); });
    // "Map Tally" flashes red for each mapping command.
    wire(&ConsoleSession::MapFlash, Timer3, [this](bool on) {
        SetButtonFace(face_->cmdMapIt, on ? ColourFromValue(kRed) : QColor());
    });
}

void frmKavroMain::WireSession() {
    ConsoleSession* s = session_.get();
    connect(s, &ConsoleSession::ErrorLine, this, [this](const QString& t) { face_->ShowError(t); });
    connect(face_->lblError, &ClickLabel::Clicked, this, [this] { face_->lblError->clear(); });
    connect(s, &ConsoleSession::LookChanged, this, [this](bool on) { face_->ShowOnlineLook(on); });
    connect(s, &ConsoleSession::InfoTexts, this, [this](const QString& info, const QString& ver) {
        face_->lblMainVersionInfo->setToolTip(info);
        face_->lblVersionInfo->setToolTip(ver);
    });
    // A load lets no events run: the label is painted at once to show its progress.
    connect(s, &ConsoleSession::ProgressText, this, [this](const QString& text) {
        face_->lblDownloading->setText(text);
        face_->lblDownloading->repaint();
    });
    connect(s, &ConsoleSession::ControlsEnabled, this,
            [this](bool on) { editor_->EnableControls(on); });
    connect(s, &ConsoleSession::CancelVisible, face_->cmdCancelDownload, &QWidget::setVisible);
    connect(face_->cmdCancelDownload, &QPushButton::clicked, &s->Reader(),
            &ReadBack::CancelDownload);
    connect(s, &ConsoleSession::ListRebuild, this, [this] { editor_->UpdateListBox1(); });
    connect(s, &ConsoleSession::FileNameShown, face_->lblFileName, &QLabel::setText);
    connect(s, &ConsoleSession::FocusToList, this, [this] { face_->List1->setFocus(); });
    connect(face_->cmdSaveMatrix, &QPushButton::clicked, &s->Files(), &TallyFiles::SaveMatrixClick);
    connect(face_->cmdLoadMatrix, &QPushButton::clicked, &s->Files(), [s] {
        const UndoHistory::Step step(&s->History(), QStringLiteral("Load"), true);
        s->Files().LoadMatrixClick();
    });
}

void frmKavroMain::WireButtons() {
    connect(face_->cmdOnline, &QPushButton::clicked, this, [this] {
        if (!Busy()) session_->Online().ToggleOnline();
    });
    connect(face_->cmdTest, &HoldButton::Held, this, [this] {
        if (Busy()) return;
        session_->Tests().TestOn(editor_->SelectedOutput());
        face_->List1->setFocus();
    });
    connect(face_->cmdTest, &HoldButton::LetGo, this, [this] {
        if (!Busy()) session_->Tests().TestOff(editor_->SelectedOutput());
    });
    // Only the mouse hands the focus on: Enter again on "Latch" must latch again, not map.
    connect(face_->chkTest, &LatchBox::Pressed, this, [this](bool byMouse) {
        if (Busy()) return;
        const int o = editor_->SelectedOutput();
        const MappingTables& t = session_->Tables();
        const int before = t.OutTest[o];
        session_->Tests().TestLatchChange(o);
        if (t.OutTest[o] != before)
            session_->ChangeJournal().Record(QStringLiteral("test latch"), t.OutUnit[o],
                                             t.OutChannel[o], t.OutMapString[o], t.OutMapString[o],
                                             outcome::kAnswered,
                                             t.OutTest[o] == -1 ? QStringLiteral("latched on")
                                                                : QStringLiteral("latch released"));
        if (byMouse) face_->List1->setFocus();
    });
    connect(face_->cmdInit, &QPushButton::clicked, this, [this] {
        if (Busy()) return;
        session_->ResetAndClearAll();
        face_->List1->setFocus();
    });
    connect(face_->cmdRefresh, &QPushButton::clicked, this, [this] {
        if (Busy()) return;
        session_->Refresh();
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

    session_->Connect();
    face_->List1->setFocus();
    // "X" during the start-up read-back: the event loop must not start.
    return !session_->Busy().StopRequested();
}

void frmKavroMain::EndNow() {
    session_->Busy().RequestStop();
    session_->Port().Close();
    endProgram();
}

bool frmKavroMain::Busy() const {
    return session_->Busy().Busy();
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
    diag_->UnloadSecondaryWindows();
    event->accept();
    // A close by the window system ends the program as "X" does, whatever runs underneath:
    // a hidden window must never leave the program running.
    EndNow();
}

}  // namespace vendra
