#include "compare/change_controller.h"

#include <QAction>
#include <QFileInfo>
#include <QMenu>
#include <QPushButton>
#include <QTableView>
#include <optional>

#include "compare/compare_window.h"
#include "config/tally_file.h"
#include "platform/dialogs.h"
#include "platform/message_text.h"
#include "platform/numbers.h"
#include "session/services.h"
#include "widgets/busy_grey.h"

namespace vendra {

namespace {

const QString kApplyTitle = QStringLiteral("Apply Changes Only");
const QString kVerifyTitle = QStringLiteral("Verify");
const QString kCheckTitle = QStringLiteral("Check Tally File");

QString FindingsQuestion(const QString& name, const FileCheck& check) {
    return QStringLiteral("%1 has %2:\r\n%3\r\n\r\nGo on with it?")
        .arg(name, Counted(check.Findings.size(), "finding", "findings"),
             FindingsText(check.Findings));
}

}  // namespace

// The flow's questions as boxes.
class ChangeController::Questions : public ChangeQuestions {
public:
    Questions(Dialogs& dialogs, bool online) : dialogs_(dialogs), online_(online) {}
    bool GoOnWithFindings(const QString& name, const FileCheck& check) override {
        return dialogs_.Message(FindingsQuestion(name, check), kCheckTitle, Buttons::OkCancel,
                                Icon::Information, Answer::Cancel) == Answer::Ok;
    }
    bool ReadBackFirst() override {
        const QString text = QStringLiteral(
            "The console's copy of the table may not be what the tally system holds: it has not "
            "been read back whole since the console started, or the last read-back ended "
            "early.\r\nRead the table back from the tally system first?");
        return dialogs_.Message(text, kApplyTitle, Buttons::YesNo, Icon::Information,
                                Answer::Yes) == Answer::Yes;
    }
    bool Confirm(const QString& name, const QList<PlannedChange>& plan) override {
        const QString text =
            QStringLiteral("Apply %1%2? Outputs that do not change are not touched.")
                .arg(PlanSummary(name, plan),
                     online_ ? QString() : QStringLiteral(" to the console's copy (offline)"));
        return dialogs_.Message(text, kApplyTitle, Buttons::OkCancel, Icon::Information,
                                Answer::Cancel) == Answer::Ok;
    }

private:
    Dialogs& dialogs_;
    bool online_;
};

ChangeController::ChangeController(ControllerLink& link, LiveChangeService& changes,
                                   Dialogs& dialogs, QPushButton* load, QObject* parent)
    : QObject(parent), link_(link), changes_(changes), dialogs_(dialogs), load_(load) {
    const struct {
        const char* text;
        const char* keys;
        void (ChangeController::*slot)();
    } entries[] = {
        {"Compare a file with the tally system...", "Ctrl+Shift+C", &ChangeController::CompareFile},
        {"Compare the console's copy with the tally system", "Ctrl+Shift+R",
         &ChangeController::CompareCopy},
        {"Apply changes only from a file...", "Ctrl+Shift+A", &ChangeController::ApplyFile},
        {"Verify the tally system against the console's copy", "Ctrl+Shift+V",
         &ChangeController::VerifyCopy},
        {"Check a file...", "Ctrl+Shift+K", &ChangeController::CheckFile},
    };
    QWidget* window = load->window();
    for (const auto& e : entries) {
        auto* action = new QAction(QString::fromLatin1(e.text), window);
        action->setShortcut(QKeySequence(QString::fromLatin1(e.keys)));
        action->setShortcutContext(Qt::WindowShortcut);
        connect(action, &QAction::triggered, this, e.slot);
        window->addAction(action);
        actions_.append(action);
    }
    // Each flow holds the line from its first box to its last: none starts while it is busy.
    grey_ = new BusyGrey(link_, this);
    grey_->Add(actions_);
    load->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(load, &QWidget::customContextMenuRequested, this, &ChangeController::ShowMenu);
    load->setToolTip(
        QStringLiteral("Load a tally file: clears the tally system and sends every line.\n"
                       "Right-click for compare, apply changes only, verify and check a file\n"
                       "(Ctrl+Shift+C, Ctrl+Shift+A, Ctrl+Shift+V, Ctrl+Shift+K)."));
}

ChangeController::~ChangeController() {
    delete window_.data();
}

void ChangeController::ShowMenu(const QPoint& at) {
    QMenu menu;
    menu.addActions(actions_);
    menu.exec(load_->mapToGlobal(at));
}

bool ChangeController::NeedsOnline(const QString& title) {
    if (link_.IsOnline()) return true;
    dialogs_.Message(QStringLiteral("This asks the tally system: go online first."), title,
                     Buttons::Ok, Icon::Information);
    return false;
}

QString ChangeController::ChooseFile(const QString& title) {
    const QString path = dialogs_.OpenFileName(title, TallyFileFilter());
    if (path.isEmpty() || QFileInfo::exists(path)) return path;
    dialogs_.Message(QStringLiteral("File does not exist"), QStringLiteral("File Error"),
                     Buttons::Ok, Icon::Information);
    return {};
}

void ChangeController::CheckFile() {
    const BusyState::Scope held = link_.Hold();
    const QString path =
        dialogs_.OpenFileName(QStringLiteral("Check a Tally file"), TallyFileFilter());
    if (!path.isEmpty()) {
        const FileCheck check = changes_.CheckFile(path);
        const QString name = QFileInfo(path).fileName();
        const QString text =
            !check.Readable ? check.Error
            : check.Findings.isEmpty()
                ? QStringLiteral("%1: %2, no findings.")
                      .arg(name, MappingCount(static_cast<int>(check.Mappings.size())))
                : QStringLiteral("%1 has %2:\r\n%3")
                      .arg(name, Counted(check.Findings.size(), "finding", "findings"),
                           FindingsText(check.Findings));
        dialogs_.Message(text, kCheckTitle, Buttons::Ok, Icon::Information);
    }
}

void ChangeController::CompareFile() {
    const BusyState::Scope held = link_.Hold();
    const QString path = ChooseFile(QStringLiteral("Compare a Tally file"));
    if (!path.isEmpty()) {
        const FileCheck check = changes_.CheckFile(path);
        const QString name = QFileInfo(path).fileName();
        Questions ask(dialogs_, link_.IsOnline());
        if (!check.Readable)
            dialogs_.Message(check.Error, QStringLiteral("File Error"), Buttons::Ok,
                             Icon::Information);
        else if (check.Findings.isEmpty() || ask.GoOnWithFindings(name, check))
            ShowComparison({name, path, check.Mappings, std::nullopt},
                           changes_.Compare(check.Mappings), false, check.Damage);
    }
}

void ChangeController::CompareCopy() {
    if (!NeedsOnline(QStringLiteral("Compare"))) return;
    const BusyState::Scope held = link_.Hold();
    // Taken before the read-back replaces the copy.
    const QList<TallyItem> copy = changes_.ConsoleCopyItems();
    ShowComparison({QStringLiteral("the console's copy"), {}, copy, std::nullopt},
                   changes_.Compare(copy), true);
}

void ChangeController::ShowComparison(const ChangeSource& source, const Comparison& comparison,
                                      bool isCopy, const QString& damage) {
    shown_ = source;
    shownIsCopy_ = isCopy;
    shown_.path.clear();  // the file was checked; what is shown is applied
    shown_.shown = comparison;
    if (!window_) {
        window_ = new CompareWindow;
        grey_->SetKeyHome(window_->table);
        grey_->Add({window_->cmdApply});
        connect(window_, &CompareWindow::ApplyRequested, this, &ChangeController::ApplyShown);
    }
    const QList<PlannedChange> plan = PlanChanges(comparison.Rows);
    const int differ = comparison.Differences();
    QString summary = QStringLiteral("%1 of %2 %3 (%4).")
                          .arg(Plain(differ), Counted(comparison.Rows.size(), "output", "outputs"),
                               differ == 1 ? QStringLiteral("differs") : QStringLiteral("differ"),
                               PlanBreakdown(plan));
    if (comparison.FromController && !comparison.ReadBackEnd.Complete())
        summary += QStringLiteral(" The read-back ended early: its side is incomplete.");
    const bool online = link_.IsOnline();
    if (online && !comparison.FromController)
        summary += QStringLiteral(" Its side is the console's copy, as last read and verified.");
    const QString controllerSide =
        online ? QStringLiteral("In the tally system") : QStringLiteral("In the console (offline)");
    if (!damage.isEmpty()) summary += QStringLiteral(" ") + damage;
    window_->Show(QStringLiteral("Compare ") + source.name, summary, comparison.Rows,
                  isCopy ? QStringLiteral("In the console") : QStringLiteral("In the file"),
                  controllerSide, !plan.isEmpty() && damage.isEmpty());
}

void ChangeController::ApplyFile() {
    const BusyState::Scope held = link_.Hold();
    const QString path = ChooseFile(QStringLiteral("Apply changes only from a Tally file"));
    if (!path.isEmpty()) Apply({QFileInfo(path).fileName(), path, {}, std::nullopt});
}

void ChangeController::ApplyShown() {
    const BusyState::Scope held = link_.Hold();
    Apply(shown_);
}

void ChangeController::Apply(const ChangeSource& source) {
    Questions ask(dialogs_, link_.IsOnline());
    const ChangeReport report = changes_.ApplyChanges(source, {}, ask);
    if (report.Outcome == FlowOutcome::Declined) return;
    dialogs_.Message(
        report.Text(),
        report.Outcome == FlowOutcome::FileRefused ? QStringLiteral("File Error") : kApplyTitle,
        Buttons::Ok, Icon::Information);
    // The window shows the table as it is now: the shown comparison is spent.
    if (window_ && window_->isVisible()) {
        ChangeSource now = source;
        now.path.clear();
        now.mappings = report.Check.Readable ? report.Check.Mappings : source.mappings;
        ShowComparison(now, changes_.CompareWithCopy(now.mappings), shownIsCopy_);
    }
}

void ChangeController::VerifyCopy() {
    if (!NeedsOnline(kVerifyTitle)) return;
    const BusyState::Scope held = link_.Hold();
    const VerifyResult verify = changes_.VerifyCopy();
    dialogs_.Message(VerifyText(verify, QStringLiteral("the console's copy")), kVerifyTitle,
                     Buttons::Ok, Icon::Information);
}

}  // namespace vendra
