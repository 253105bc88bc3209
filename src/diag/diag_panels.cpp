#include "diag/diag_panels.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QWindow>

#include "changes/journal.h"
#include "config/enabled_units.h"
#include "link/input_poll.h"
#include "link/unit_status.h"
#include "session/services.h"
#include "widgets/busy_grey.h"
#include "widgets/colours.h"

namespace vendra {

DiagPanels::DiagPanels(ControllerLink& link, InputWatch& inputs,
                       const InstallationView& installation, DiagControls controls, QObject* parent)
    : QObject(parent),
      link_(link),
      inputs_(inputs),
      installation_(installation),
      controls_(controls) {
    tmrInputStatus.setInterval(200);
    connect(&tmrInputStatus, &QTimer::timeout, this, &DiagPanels::TimerInputStatusTick);
    connect(controls_.unitBox, &QCheckBox::clicked, this, &DiagPanels::UnitStatusClicked);
    connect(controls_.consoleBox, &QCheckBox::clicked, this, &DiagPanels::AdvancedClicked);
    // While the overview polls, its cycle asks the watched unit too, once for both.
    connect(&inputs_, &InputWatch::UnitRead, this, [this](int unit, std::optional<quint32> bits) {
        if (unitBits_ && tmrInputStatus.isActive() && bits && unit == unitBits_->WatchedUnit())
            unitBits_->ShowLamps(*bits);
    });
}

void DiagPanels::ShareWatchedUnit() {
    const bool on = unitBits_ && tmrInputStatus.isActive();
    inputs_.PollExtraUnit(on ? unitBits_->WatchedUnit() : 0);
}

DiagPanels::~DiagPanels() {
    UnloadSecondaryWindows();
}

void DiagPanels::FocusList() {
    controls_.list->setFocus();
}

void DiagPanels::BackToMain() {
    controls_.window->activateWindow();
    FocusList();
}

bool DiagPanels::IsPanelWindow(const QWindow* window) const {
    return (verbose_ && window == verbose_->windowHandle()) ||
           (unitBits_ && window == unitBits_->windowHandle());
}

void DiagPanels::AdvancedClicked(bool ticked) {
    if (!ticked) {
        link_.CopyRepliesToConsole(false);
        if (verbose_) verbose_->hide();
        BackToMain();
        SetTextColour(controls_.consoleBox, ColourFromValue(kBlack));
        return;
    }
    FocusList();
    if (!verbose_) {
        verbose_ = new frmVerbose();
        // Grey while the line is busy; the typed command stays and the keys come back to it.
        auto* grey = new BusyGrey(link_, verbose_);
        grey->SetKeyHome(verbose_->txtIBuffer);
        grey->Add({verbose_->txtDirectCommand, verbose_->cmdDirectCommand});
        connect(verbose_, &frmVerbose::SendRequested, this,
                [this](const QString& text) { link_.SendRaw(text, QStringLiteral("send")); });
        connect(verbose_, &frmVerbose::Closed, this, [this] {
            FocusList();
            controls_.consoleBox->setChecked(false);
            AdvancedClicked(false);
        });
        connect(&link_, &ControllerLink::ConsoleText, verbose_, &frmVerbose::ShowReceived);
    }
    link_.CopyRepliesToConsole(true);
    verbose_->show();
    verbose_->txtDirectCommand->setFocus();
    SetTextColour(controls_.consoleBox, ColourFromValue(kRed));
}

void DiagPanels::UnitStatusClicked(bool ticked) {
    if (!ticked) {
        tmrInputStatus.stop();
        ShareWatchedUnit();
        if (unitBits_) unitBits_->hide();  // hidden, not unloaded: the watched unit stays
        FocusList();
        SetTextColour(controls_.unitBox, ColourFromValue(kBlack));
        return;
    }
    tmrInputStatus.start();
    if (!unitBits_) {
        unitBits_ = new frmUnitBits(inputs_);
        // The next key goes to the output list, not to the spinner.
        connect(unitBits_, &frmUnitBits::WatchedUnitChanged, this, &DiagPanels::BackToMain);
        connect(unitBits_, &frmUnitBits::WatchedUnitChanged, this, &DiagPanels::ShareWatchedUnit);
        connect(unitBits_, &frmUnitBits::CloseWindowClicked, this, [this] {
            tmrInputStatus.stop();
            if (unitBits_) unitBits_->hide();
            controls_.window->activateWindow();
            controls_.unitBox->setChecked(false);
            UnitStatusClicked(false);
            FocusList();
        });
        connect(unitBits_, &frmUnitBits::Unloaded, this, [this] {
            // The window deletes itself once the close is done; forget it now, so that a
            // switch-on before then builds a fresh one instead of showing the dying one.
            unitBits_.clear();
            controls_.unitBox->setChecked(false);
            UnitStatusClicked(false);
        });
        unitBits_->Load(controls_.window->pos(), installation_.Enabled());
    }
    ShareWatchedUnit();
    unitBits_->show();
    FocusList();
    SetTextColour(controls_.unitBox, ColourFromValue(kRed));
}

void DiagPanels::TimerInputStatusTick() {
    if (!unitBits_) {
        tmrInputStatus.stop();
        return;
    }
    // A timer greying cannot stop: the poll waits for the busy line rather than have its
    // commands refused (or, between a flow's boxes, sent in the middle of that flow).
    if (link_.IsBusy()) return;
    if (!inputs_.Polling()) inputs_.UpdateUnitBits(unitBits_->WatchedUnit());
    unitBits_->ShowStatus();
    // A silent controller makes this tick last two time-outs. Counting the next interval from
    // the end of this one keeps ticks from running back to back and lets a click on the tick
    // box, queued meanwhile, be handled before the next poll.
    if (tmrInputStatus.isActive()) tmrInputStatus.start();
}

void DiagPanels::UnloadSecondaryWindows() {
    delete verbose_.data();
    if (unitBits_) {
        controls_.unitBox->setChecked(false);
        UnitStatusClicked(false);
        delete unitBits_.data();
    }
}

}  // namespace vendra
