#include "overview/overview_panel.h"

#include <QAbstractItemModel>
#include <QAction>
#include <QCheckBox>
#include <QMenu>

#include "link/input_poll.h"
#include "session/services.h"

namespace vendra {

namespace {

const char kOpenText[] = "Tally Overview: every lamp and why it is lit";
const char kOpenKeys[] = "Ctrl+Shift+O";

}  // namespace

OverviewPanel::OverviewPanel(ControllerLink& link, InputWatch& watch,
                             const InstallationView& installation, OverviewControls controls,
                             QObject* parent)
    : QObject(parent),
      link_(link),
      watch_(watch),
      installation_(installation),
      controls_(std::move(controls)) {
    recompute_.setSingleShot(true);
    connect(&recompute_, &QTimer::timeout, this, &OverviewPanel::Recompute);

    auto* action = new QAction(QString::fromLatin1(kOpenText), controls_.window);
    action->setShortcut(QKeySequence(QString::fromLatin1(kOpenKeys)));
    action->setShortcutContext(Qt::WindowShortcut);
    connect(action, &QAction::triggered, this, &OverviewPanel::Open);
    controls_.window->addAction(action);
    controls_.unitBox->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(controls_.unitBox, &QWidget::customContextMenuRequested, this,
            [this, action](const QPoint& at) {
                QMenu menu;
                menu.addAction(action);
                menu.exec(controls_.unitBox->mapToGlobal(at));
            });
    controls_.unitBox->setToolTip(
        QStringLiteral("Watch one unit's 32 input bits.\n"
                       "Right-click for the Tally Overview: every output's lamp and why it is "
                       "lit (%1).")
            .arg(QString::fromLatin1(kOpenKeys)));

    // Any change of the output list's rows is a change of the table or of a test.
    QAbstractItemModel* rows = controls_.outputList;
    connect(rows, &QAbstractItemModel::dataChanged, this, &OverviewPanel::ScheduleRecompute);
    connect(rows, &QAbstractItemModel::rowsInserted, this, &OverviewPanel::ScheduleRecompute);
    connect(rows, &QAbstractItemModel::rowsRemoved, this, &OverviewPanel::ScheduleRecompute);
    connect(rows, &QAbstractItemModel::modelReset, this, &OverviewPanel::ScheduleRecompute);
    connect(&watch_, &InputWatch::LampRowsChanged, this, &OverviewPanel::ScheduleRecompute);
    connect(&link_, &ControllerLink::OnlineChanged, this, &OverviewPanel::FollowInputs);
}

OverviewPanel::~OverviewPanel() {
    // The main window's session may be gone already; its poll goes with it.
    delete window_.data();
}

void OverviewPanel::Open() {
    if (!window_) {
        window_ = new frmOverview();
        QHash<int, TallyColour> colours;
        const TallyOutConfig& out = installation_.Config().TallyOut;
        for (int o = 1; o <= installation_.Tables().NumOutputs; ++o)
            colours.insert(o, out.DisplayOf(o).Colour);
        window_->SetLitColours(colours);
        connect(window_, &frmOverview::Visible, this, &OverviewPanel::FollowInputs);
        connect(window_, &frmOverview::OutputSelected, this,
                [this](int output) { controls_.selectOutput(output); });
    }
    window_->show();
    window_->raise();
    window_->activateWindow();
    Recompute();
}

void OverviewPanel::FollowInputs() {
    const bool on = window_ && window_->isVisible() && link_.IsOnline();
    watch_.WatchLamps(this, on);
    ScheduleRecompute();
}

void OverviewPanel::ScheduleRecompute() {
    // Many row changes in a row (a list rebuild) make one new computation.
    if (window_ && window_->isVisible() && !recompute_.isActive()) recompute_.start(0);
}

void OverviewPanel::Recompute() {
    if (!window_) return;
    window_->ShowRows(watch_.Lamps());
    window_->ShowSilentUnits(watch_.SilentUnits());
}

}  // namespace vendra
