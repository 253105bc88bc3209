#include "shell/frm_kavro_main.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QWindow>

#include "config/enabled_units.h"
#include "config/tally_files.h"
#include "editor/entry_box.h"
#include "editor/mapping_editor.h"
#include "editor/tally_list.h"
#include "link/command_exchange.h"
#include "link/online_state.h"
#include "mapping/mapping_commands.h"
#include "mapping/output_test.h"
#include "mapping/read_back.h"
#include "mapping/unit_status.h"
#include "platform/configured_port.h"
#include "platform/dialogs.h"
#include "platform/numbers.h"
#include "platform/widgets/colours.h"
#include "platform/widgets/controls.h"
#include "shell/face.h"
#include "shell/outline.h"

namespace vendra {

namespace {

QPushButton* Button(QWidget* parent, const QString& caption, int l, int t, int w, int h) {
    auto* b = new QPushButton(caption, parent);
    PlaceTwips(b, l, t, w, h);
    b->setFocusPolicy(Qt::StrongFocus);
    return b;
}

ClickLabel* Label(QWidget* parent, const QString& caption, int l, int t, int w, int h) {
    auto* label = new ClickLabel(caption, parent);
    PlaceTwips(label, l, t, w, h);
    return label;
}

QCheckBox* CheckBox(QWidget* parent, const QString& caption, int l, int t, int w, int h) {
    auto* c = new QCheckBox(caption, parent);
    PlaceTwips(c, l, t, w, h);
    return c;
}

const QString kFileMissingText = QStringLiteral(
    "Cannot locate Kavro.ini file in program directory\r\n"
    "Please aquire a Kavro.ini file for this tally system and copy it into the "
    "program directory");

}  // namespace

frmKavroMain::frmKavroMain(Dialogs& dialogs, QString programDirectory,
                           std::unique_ptr<SerialPort> port, QWidget* parent)
    : QWidget(parent, Qt::FramelessWindowHint | Qt::Window),
      dialogs_(dialogs),
      programDirectory_(std::move(programDirectory)),
      port_(std::move(port)) {
    setWindowTitle(QStringLiteral("Vendra"));
    setFixedSize(kFaceWidth, kFaceHeight);
    SetBackground(this, QColor(82, 82, 169));
    face_ = DrawFace();
    QFont small = font();
    small.setPointSizeF(7.5);
    setFont(small);
    endProgram = [] { QCoreApplication::exit(0); };

    Timer1.setInterval(1000);
    Timer2.setInterval(50);
    Timer3.setInterval(100);
    Timer4.setInterval(100);
    tmrInputStatus.setInterval(200);
    Timer1.start();  // runs for the whole session and does nothing

    CreateControls();
    CreateCore();
    WireCore();
}

frmKavroMain::~frmKavroMain() {
    // Final destruction: the port closes first, then the secondary windows go.
    if (port_) port_->Close();
    UnloadSecondaryWindows();
}

void frmKavroMain::CreateControls() {
    lblMainVersionInfo = Label(this, QString(), 3120, 720, 3495, 255);
    auto* label2 = Label(this, QString(), 3240, 720, 3015, 375);
    Q_UNUSED(label2);
    cmdMin = Button(this, QStringLiteral("_"), 7080, 750, 300, 300);
    cmdClose = Button(this, QStringLiteral("X"), 7440, 750, 300, 300);
    Shape1 = new Lamp(Lamp::Shape::Circle, this);
    PlaceTwips(Shape1, 945, 795, 195, 150);
    auto* label1 = Label(this, QStringLiteral("TX"), 855, 1095, 360, 180);
    Shape2 = new Lamp(Lamp::Shape::Circle, this);
    PlaceTwips(Shape2, 7905, 810, 210, 150);
    auto* label4 = Label(this, QStringLiteral("RX"), 7845, 1110, 345, 180);
    for (QLabel* l : {static_cast<QLabel*>(label1), static_cast<QLabel*>(label4)}) {
        SetBackground(l, QColor(93, 93, 177));
        SetTextColour(l, Qt::white);
        l->setAlignment(Qt::AlignCenter);
        QFont f = l->font();
        f.setPointSizeF(6.5);
        l->setFont(f);
    }
    Shape1->SetColour(ColourFromValue(kGreen));
    Shape2->SetColour(ColourFromValue(kGreen));

    cmdOnline = Button(this, QStringLiteral("OFFLINE"), 4080, 1230, 1095, 315);
    SetButtonFace(cmdOnline, ColourFromValue(kLightRed));

    // The mapping editor.
    lblTallyOutputs = Label(this, QStringLiteral("Tally Outputs"), 1245, 1680, 1635, 375);
    lblDownloading = Label(this, QStringLiteral("Download"), 1425, 1665, 2115, 345);
    lblDownloading->hide();
    Label10 = Label(this, QStringLiteral("Mapping"), 3300, 1680, 945, 315);
    for (QLabel* l : {static_cast<QLabel*>(lblTallyOutputs), static_cast<QLabel*>(lblDownloading),
                      static_cast<QLabel*>(Label10)}) {
        SetTextColour(l, Qt::white);
        QFont f = l->font();
        f.setBold(true);
        l->setFont(f);
    }
    QFont listFont(QStringLiteral("Arial Narrow"));
    listFont.setPointSizeF(9.75);
    listFont.setBold(true);
    auto makeList = [&](int l, int t, int w, int h) {
        auto* list = new TallyList(this);
        list->setFont(listFont);
        PlaceTwips(list, l, t, w, h);
        return list;
    };
    List1 = makeList(1050, 1980, 3690, 4110);
    list2 = makeList(4830, 1980, 3210, 4110);
    list3 = makeList(4830, 4380, 3210, 1710);
    List1->SetColours(ListBackground(), QColor(0, 255, 255));
    list2->SetColours(ListBackground(), QColor(0, 255, 255));
    list3->SetColours(QColor(128, 128, 255), Qt::black);
    list3->setToolTip(QStringLiteral("Select Seconday boolean parameter"));
    list3->hide();

    txtInput = new EntryBox(QStringLiteral("0"), this);
    PlaceTwips(txtInput, 6480, 1590, 585, 330);
    {
        QPalette p = txtInput->palette();
        p.setColor(QPalette::Base, ListBackground());
        p.setColor(QPalette::Text, Qt::white);
        txtInput->setPalette(p);
        QFont f(QStringLiteral("DejaVu Sans"));
        f.setPointSizeF(9.75);
        txtInput->setFont(f);
    }
    cmdMapIt = Button(this, QStringLiteral("Map Tally"), 7140, 1590, 945, 315);
    SetButtonFace(cmdMapIt, ListBackground());
    SetTextColour(cmdMapIt, Qt::white);

    Check3 = CheckBox(this, QStringLiteral("Boolean"), 1050, 7080, 1245, 285);
    cmdBoolAnd = Button(this, QStringLiteral("AND"), 5610, 4020, 795, 285);
    cmdBoolOr = Button(this, QStringLiteral("OR"), 6480, 4020, 795, 285);
    cmdBoolAnd->hide();
    cmdBoolOr->hide();

    auto caption = [&](const QString& text, int l, int t, int w, int h) {
        ClickLabel* c = Label(this, text, l, t, w, h);
        SetTextColour(c, Qt::white);
        return c;
    };
    caption(QStringLiteral("Output Unit"), 2595, 6240, 870, 285);
    lblOutUnit = caption(QStringLiteral("0"), 3585, 6210, 420, 285);
    caption(QStringLiteral("Ch"), 4095, 6240, 375, 315);
    lblOutChannel = caption(QStringLiteral("0"), 4365, 6210, 375, 285);
    caption(QStringLiteral("Input Unit"), 5925, 6240, 870, 285);
    lblInUnit = caption(QStringLiteral("0"), 6900, 6210, 420, 285);
    caption(QStringLiteral("Ch"), 7425, 6240, 375, 285);
    lblInChannel = caption(QStringLiteral("0"), 7680, 6210, 375, 285);

    // Test, diagnostics and the whole-system buttons.
    cmdTest = Button(this, QStringLiteral("Test"), 1050, 6210, 615, 285);
    // "Test" hands the focus to the output list while it is held; a button that loses the
    // focus lets itself go, which would end the test at once.
    cmdTest->setFocusPolicy(Qt::NoFocus);
    chkTest = new LatchBox(QStringLiteral("Latch"), this);
    PlaceTwips(chkTest, 1680, 6210, 615, 285);
    // "Latch" has a narrow place: a smaller box and gap keep the caption whole.
    chkTest->setStyleSheet(QStringLiteral(
        "QCheckBox { spacing: 2px; } QCheckBox::indicator { width: 10px; height: 10px; }"));
    Check1 = CheckBox(this, QStringLiteral("Unit Status"), 1050, 6750, 1245, 285);
    Check2 = CheckBox(this, QStringLiteral("Advanced"), 1050, 7410, 1245, 285);
    for (QWidget* w : {static_cast<QWidget*>(chkTest), static_cast<QWidget*>(Check1),
                       static_cast<QWidget*>(Check2), static_cast<QWidget*>(Check3)})
        SetTextColour(w, Qt::black);
    cmdCancelDownload = Button(this, QStringLiteral("Cancel"), 4035, 6750, 930, 285);
    cmdCancelDownload->hide();
    cmdRefresh = Button(this, QStringLiteral("Refresh"), 4035, 7080, 930, 285);
    cmdInit = Button(this, QStringLiteral("Clear All"), 4035, 7410, 930, 285);
    lblError = Label(this, QStringLiteral("ERROR MESSAGE"), 5760, 6735, 2355, 285);
    SetBackground(lblError, QColor(93, 93, 177));
    SetTextColour(lblError, QColor(255, 255, 0));
    lblError->setAlignment(Qt::AlignCenter);
    lblFileName = Label(this, QStringLiteral("File"), 5850, 7035, 2220, 285);
    SetTextColour(lblFileName, Qt::white);
    lblFileName->setAlignment(Qt::AlignCenter);
    cmdLoadMatrix = Button(this, QStringLiteral("Load"), 6015, 7410, 930, 285);
    cmdSaveMatrix = Button(this, QStringLiteral("Save"), 6960, 7410, 930, 285);
    lblVersionInfo = Label(this, QString(), 1575, 7920, 4575, 375);
    Label(this, QString(), 840, 7950, 375, 255);

    // Offline until a probe succeeds.
    for (QWidget* w : {static_cast<QWidget*>(cmdTest), static_cast<QWidget*>(chkTest),
                       static_cast<QWidget*>(cmdRefresh), static_cast<QWidget*>(Check1),
                       static_cast<QWidget*>(Check2)})
        w->setEnabled(false);
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
    EditorControls c;
    c.List1 = List1;
    c.list2 = list2;
    c.list3 = list3;
    c.txtInput = txtInput;
    c.cmdMapIt = cmdMapIt;
    c.Check3 = Check3;
    c.cmdBoolAnd = cmdBoolAnd;
    c.cmdBoolOr = cmdBoolOr;
    c.lblTallyOutputs = lblTallyOutputs;
    c.lblDownloading = lblDownloading;
    c.lblOutUnit = lblOutUnit;
    c.lblOutChannel = lblOutChannel;
    c.lblInUnit = lblInUnit;
    c.lblInChannel = lblInChannel;
    c.cmdTest = cmdTest;
    c.chkTest = chkTest;
    c.cmdRefresh = cmdRefresh;
    c.cmdInit = cmdInit;
    editor_ =
        std::make_unique<MappingEditor>(c, tables_, *commands_, *outputTest_, dialogs_, online);
    files_ =
        std::make_unique<TallyFiles>(tables_, *commands_, *readBack_, *exchange_, dialogs_, online);
}

void frmKavroMain::WireCore() {
    // Lamps and the error line.
    connect(exchange_.get(), &CommandExchange::CommandStarted, this, [this] {
        Shape1->SetColour(ColourFromValue(kRed));
        Shape1->repaint();
        Timer2.start();
    });
    connect(&Timer2, &QTimer::timeout, this, [this] {
        Shape1->SetColour(ColourFromValue(kGreen));
        Timer2.stop();
    });
    connect(port_.get(), &SerialPort::DataReceived, this, [this] {
        Shape2->SetColour(ColourFromValue(kRed));
        Timer4.start();
    });
    connect(&Timer4, &QTimer::timeout, this, [this] {
        Shape2->SetColour(ColourFromValue(kGreen));
        Timer4.stop();
    });
    connect(exchange_.get(), &CommandExchange::ErrorLine, this, &frmKavroMain::ShowError);
    connect(lblError, &ClickLabel::Clicked, this, [this] { lblError->clear(); });

    // "Map Tally" flashes red for each mapping command.
    connect(commands_.get(), &MappingCommands::MapFlash, this, [this] {
        SetButtonFace(cmdMapIt, ColourFromValue(kRed));
        Timer3.start();
    });
    connect(&Timer3, &QTimer::timeout, this, [this] {
        SetButtonFace(cmdMapIt, QColor());
        Timer3.stop();
    });

    // Online state.
    connect(online_.get(), &OnlineState::LookChanged, this, &frmKavroMain::ShowOnlineLook);
    connect(online_.get(), &OnlineState::ErrorLine, this, &frmKavroMain::ShowError);
    connect(online_.get(), &OnlineState::InfoTexts, this,
            [this](const QString& info, const QString& version) {
                lblMainVersionInfo->setToolTip(info);
                lblVersionInfo->setToolTip(version);
            });
    connect(cmdOnline, &QPushButton::clicked, this, [this] { online_->ToggleOnline(); });

    // Read-back progress.
    connect(readBack_.get(), &ReadBack::ProgressText, lblDownloading, &QLabel::setText);
    connect(readBack_.get(), &ReadBack::ControlsEnabled, this,
            [this](bool on) { editor_->EnableControls(on); });
    connect(readBack_.get(), &ReadBack::CancelVisible, cmdCancelDownload, &QWidget::setVisible);
    connect(cmdCancelDownload, &QPushButton::clicked, readBack_.get(), &ReadBack::CancelDownload);

    // Output test.
    connect(cmdTest, &QPushButton::pressed, this, [this] {
        outputTest_->TestOn(editor_->SelectedOutput());
        List1->setFocus();
    });
    connect(cmdTest, &QPushButton::released, this,
            [this] { outputTest_->TestOff(editor_->SelectedOutput()); });
    connect(chkTest, &LatchBox::Pressed, this, [this] {
        outputTest_->TestLatchChange(editor_->SelectedOutput());
        List1->setFocus();
    });

    // Tally matrix files.
    connect(cmdSaveMatrix, &QPushButton::clicked, files_.get(), &TallyFiles::SaveMatrixClick);
    connect(cmdLoadMatrix, &QPushButton::clicked, files_.get(), &TallyFiles::LoadMatrixClick);
    connect(files_.get(), &TallyFiles::ListRebuild, this, [this] { editor_->UpdateListBox1(); });
    connect(files_.get(), &TallyFiles::ControlsEnabled, this,
            [this](bool on) { editor_->EnableControls(on); });
    // A load lets no events run: the label is painted at once to show its progress.
    connect(files_.get(), &TallyFiles::ProgressText, this, [this](const QString& text) {
        lblDownloading->setText(text);
        lblDownloading->repaint();
    });
    connect(files_.get(), &TallyFiles::FileNameShown, lblFileName, &QLabel::setText);
    connect(files_.get(), &TallyFiles::FocusToList, this, [this] { List1->setFocus(); });

    // Whole-system buttons and the window's own.
    connect(cmdInit, &QPushButton::clicked, this, [this] {
        ResetAndClearAll();
        List1->setFocus();
    });
    connect(cmdRefresh, &QPushButton::clicked, this, [this] {
        commands_->SystemRefresh(*outputTest_);
        SyncWithVendra();
        List1->setFocus();
    });
    connect(cmdMin, &QPushButton::clicked, this, [this] {
        List1->setFocus();
        showMinimized();
    });
    connect(cmdClose, &QPushButton::clicked, this, [this] { endProgram(); });
    connect(Check1, &QCheckBox::clicked, this, &frmKavroMain::UnitStatusClicked);
    connect(Check2, &QCheckBox::clicked, this, &frmKavroMain::AdvancedClicked);
    connect(&tmrInputStatus, &QTimer::timeout, this, &frmKavroMain::TimerInputStatusTick);
}

bool frmKavroMain::Load() {
    ApplyOutline();
    online_->MainCPUVersion.clear();
    lblError->clear();
    tables_.DownloadActive = 0;
    tables_.MapStrings = 0;
    lblFileName->clear();

    const IniReadResult ini = IniRead(programDirectory_, tables_, config_);
    if (!ini.Ok()) {
        if (ini.Outcome == IniOutcome::Invalid || ini.Unreadable)
            dialogs_.Message(ini.Message, QStringLiteral("File Error"), Buttons::Ok,
                             Icon::Information);
        dialogs_.Message(kFileMissingText, QStringLiteral("File Missing"), Buttons::OkCancel);
        return false;
    }
    for (const QString& warning : ini.Warnings)
        dialogs_.Message(warning, QStringLiteral("Kavro.ini"), Buttons::Ok, Icon::Information);
    online_->SystemName = config_.SystemName;
    online_->VendraCommport = config_.VendraCommport;
    if (auto* configured = qobject_cast<ConfiguredPort*>(port_.get()))
        configured->Configure(config_.CommDevice, config_.VendraCommport);
    List1->SetColumnWidths({30, 5, 4, 5});
    list2->SetColumnWidths({8, 30});
    list3->SetColumnWidths({8, 30});
    editor_->FillLists();

    List1->SetSelectedIndex(0);
    list2->SetSelectedIndex(0);
    list3->SetSelectedIndex(0);
    list2->resize(list2->width(), Px(MappingEditor::kSingleListHeight));
    show();

    if (!OpenPort()) online_->GoOffline();
    if (online_->GoOnline()) {
        SyncWithVendra();
        lblError->setText(online_->MainCPUVersion);
    }
    List1->setFocus();
    return true;
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
    const double dpiX = screen() ? screen()->logicalDotsPerInchX() : 96;
    const double dpiY = screen() ? screen()->logicalDotsPerInchY() : 96;
    setMask(OutlineRegion(1.0, 1.0, 0, 0, TwipsPerPixel(dpiX), TwipsPerPixel(dpiY)));
    repaint();
}

void frmKavroMain::ShowOnlineLook(bool online) {
    cmdOnline->setText(online ? QStringLiteral("Online") : QStringLiteral("OFFLINE"));
    SetButtonFace(cmdOnline, ColourFromValue(online ? kGreen : kLightRed));
    for (QWidget* w : {static_cast<QWidget*>(cmdTest), static_cast<QWidget*>(chkTest),
                       static_cast<QWidget*>(cmdRefresh), static_cast<QWidget*>(Check1),
                       static_cast<QWidget*>(Check2)})
        w->setEnabled(online);
}

void frmKavroMain::ShowError(const QString& text) {
    lblError->setText(text);
    lblError->repaint();
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
    lblFileName->clear();
}

void frmKavroMain::AdvancedClicked(bool ticked) {
    if (ticked) {
        List1->setFocus();
        if (!verbose_) {
            verbose_ = new frmVerbose();
            verbose_->setAttribute(Qt::WA_DeleteOnClose);
            connect(verbose_, &frmVerbose::SendRequested, this,
                    [this](const QString& text) { exchange_->SendCommand(text); });
            connect(verbose_, &frmVerbose::Closed, this, [this] {
                List1->setFocus();
                Check2->setChecked(false);
                AdvancedClicked(false);
            });
            connect(exchange_.get(), &CommandExchange::ConsoleText, verbose_,
                    &frmVerbose::ShowReceived);
        }
        exchange_->SetConsoleCopy(true);
        verbose_->show();
        verbose_->txtDirectCommand->setFocus();
        SetTextColour(Check2, ColourFromValue(kRed));
    } else {
        exchange_->SetConsoleCopy(false);
        if (verbose_) verbose_->hide();
        activateWindow();
        List1->setFocus();
        SetTextColour(Check2, ColourFromValue(kBlack));
    }
}

void frmKavroMain::UnitStatusClicked(bool ticked) {
    if (!ticked) {
        tmrInputStatus.stop();
        if (unitBits_) unitBits_->hide();  // hidden, not unloaded: the watched unit stays
        List1->setFocus();
        SetTextColour(Check1, ColourFromValue(kBlack));
        return;
    }
    tmrInputStatus.start();
    if (!unitBits_) {
        unitBits_ = new frmUnitBits(*unitStatus_);
        connect(unitBits_, &frmUnitBits::WatchedUnitChanged, this, [this] { List1->setFocus(); });
        connect(unitBits_, &frmUnitBits::CloseWindowClicked, this, [this] {
            tmrInputStatus.stop();
            if (unitBits_) unitBits_->hide();
            activateWindow();
            Check1->setChecked(false);
            UnitStatusClicked(false);
            List1->setFocus();
        });
        connect(unitBits_, &frmUnitBits::Unloaded, this, [this] {
            // The window deletes itself once the close is done; forget it now, so that a
            // switch-on before then builds a fresh one instead of showing the dying one.
            unitBits_.clear();
            Check1->setChecked(false);
            UnitStatusClicked(false);
        });
        unitBits_->Load(pos(), ProgramEnabledUnits().EnabledUnitCount);
    }
    unitBits_->show();
    List1->setFocus();
    SetTextColour(Check1, ColourFromValue(kRed));
}

void frmKavroMain::TimerInputStatusTick() {
    if (!unitBits_) {
        tmrInputStatus.stop();
        return;
    }
    unitStatus_->UpdateBitStatus(unitBits_->WatchedUnit());
    unitBits_->ShowStatus();
    // A silent controller makes this tick last two time-outs. Counting the next interval from
    // the end of this one keeps ticks from running back to back and lets a click on Check1,
    // queued meanwhile, be handled before the next poll.
    if (tmrInputStatus.isActive()) tmrInputStatus.start();
}

void frmKavroMain::UnloadSecondaryWindows() {
    delete verbose_.data();
    if (unitBits_) {
        Check1->setChecked(false);
        UnitStatusClicked(false);
        delete unitBits_.data();
    }
}

void frmKavroMain::mousePressEvent(QMouseEvent* event) {
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
    QPainter p(this);
    p.drawPixmap(0, 0, face_);
}

void frmKavroMain::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) List1->setFocus();
}

void frmKavroMain::closeEvent(QCloseEvent* event) {
    UnloadSecondaryWindows();
    event->accept();
}

}  // namespace vendra
