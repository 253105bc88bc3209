#include "compare/change_controller.h"

#include <QAction>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QPushButton>

#include "changes/journal.h"
#include "compare/compare_window.h"
#include "config/tally_file.h"
#include "editor/mapping_editor.h"
#include "mapping/read_back.h"
#include "platform/dialogs.h"
#include "platform/numbers.h"
#include "session/undo_history.h"

namespace vendra {

namespace {

const QString kFilter = QStringLiteral("Vendra Tally(*.vdk)|*.vdk");
const QString kApplyTitle = QStringLiteral("Apply Changes Only");
const QString kVerifyTitle = QStringLiteral("Verify");
const QString kCheckTitle = QStringLiteral("Check Tally File");
constexpr int kNamedMismatches = 20;

QString Count(int n, const char* one, const char* many) {
    return Plain(n) + QLatin1Char(' ') + QLatin1String(n == 1 ? one : many);
}

QString Breakdown(const QList<PlannedChange>& plan) {
    int added = 0, removed = 0, changed = 0;
    for (const PlannedChange& c : plan) {
        added += c.Row.Kind == Difference::Added ? 1 : 0;
        removed += c.Row.Kind == Difference::Removed ? 1 : 0;
        changed += c.Row.Kind == Difference::Changed ? 1 : 0;
    }
    return QStringLiteral("%1 added, %2 removed, %3 changed")
        .arg(Plain(added), Plain(removed), Plain(changed));
}

}  // namespace

ChangeController::ChangeController(const ChangePieces& pieces, QPushButton* load, QLabel* progress,
                                   QObject* parent)
    : QObject(parent),
      p_(pieces),
      core_(pieces.tables, pieces.commands, pieces.reader, pieces.exchange, pieces.online),
      load_(load) {
    core_.SetJournal(pieces.journal);
    connect(&core_, &LiveChanges::ListRebuild, this, [this] { p_.editor.UpdateListBox1(); });
    connect(&core_, &LiveChanges::ControlsEnabled, this,
            [this](bool on) { p_.editor.EnableControls(on); });
    // The changes are sent without letting events run: the label is painted at once.
    connect(&core_, &LiveChanges::ProgressText, progress, [progress](const QString& text) {
        progress->setText(text);
        progress->repaint();
    });

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

bool ChangeController::Busy() const {
    // A read-back lets events run, a shortcut among them.
    return busy_ || p_.reader.Running();
}

bool ChangeController::NeedsOnline(const QString& title) {
    if (p_.online()) return true;
    p_.dialogs.Message(QStringLiteral("This asks the tally system: go online first."), title,
                       Buttons::Ok, Icon::Information);
    return false;
}

std::optional<ChangeController::Source> ChangeController::ChooseAndCheck(const QString& title) {
    const QString path = p_.dialogs.OpenFileName(title, kFilter);
    if (path.isEmpty()) return std::nullopt;
    if (!QFileInfo::exists(path)) {
        p_.dialogs.Message(QStringLiteral("File does not exist"), QStringLiteral("File Error"),
                           Buttons::Ok, Icon::Information);
        return std::nullopt;
    }
    const FileCheck check = core_.CheckFile(path);
    if (!check.Readable) {
        p_.dialogs.Message(check.Error, QStringLiteral("File Error"), Buttons::Ok,
                           Icon::Information);
        return std::nullopt;
    }
    const QString name = QFileInfo(path).fileName();
    if (!check.Findings.isEmpty()) {
        const QString text = QStringLiteral("%1 has %2:\r\n%3\r\n\r\nGo on with it?")
                                 .arg(name, Count(check.Findings.size(), "finding", "findings"),
                                      FindingsText(check.Findings));
        if (p_.dialogs.Message(text, kCheckTitle, Buttons::OkCancel, Icon::Information,
                               Answer::Cancel) != Answer::Ok)
            return std::nullopt;
    }
    return Source{name, check.Mappings, false};
}

void ChangeController::CheckFile() {
    if (Busy()) return;
    busy_ = true;
    const QString path = p_.dialogs.OpenFileName(QStringLiteral("Check a Tally file"), kFilter);
    if (!path.isEmpty()) {
        const FileCheck check = core_.CheckFile(path);
        const QString name = QFileInfo(path).fileName();
        const QString text =
            !check.Readable ? check.Error
            : check.Findings.isEmpty()
                ? QStringLiteral("%1: %2, no findings.")
                      .arg(name, Count(check.Mappings.size(), "mapping", "mappings"))
                : QStringLiteral("%1 has %2:\r\n%3")
                      .arg(name, Count(check.Findings.size(), "finding", "findings"),
                           FindingsText(check.Findings));
        p_.dialogs.Message(text, kCheckTitle, Buttons::Ok, Icon::Information);
    }
    busy_ = false;
}

void ChangeController::CompareFile() {
    if (Busy()) return;
    busy_ = true;
    if (const auto source = ChooseAndCheck(QStringLiteral("Compare a Tally file")))
        ShowComparison(*source, core_.Compare(source->mappings));
    busy_ = false;
}

void ChangeController::CompareCopy() {
    if (Busy() || !NeedsOnline(QStringLiteral("Compare"))) return;
    busy_ = true;
    // Taken before the read-back replaces the copy.
    const Source source{QStringLiteral("the console's copy"), core_.ConsoleCopyItems(), true};
    ShowComparison(source, core_.Compare(source.mappings));
    busy_ = false;
}

void ChangeController::ShowComparison(const Source& source, const Comparison& comparison) {
    shownSource_ = source;
    shown_ = comparison;
    if (!window_) {
        window_ = new CompareWindow;
        connect(window_, &CompareWindow::ApplyRequested, this, &ChangeController::ApplyShown);
    }
    const QList<PlannedChange> plan = PlanChanges(comparison.Rows);
    const int differ = comparison.Differences();
    QString summary = QStringLiteral("%1 of %2 %3 (%4).")
                          .arg(Plain(differ),
                               Count(static_cast<int>(comparison.Rows.size()), "output", "outputs"),
                               differ == 1 ? QStringLiteral("differs") : QStringLiteral("differ"),
                               Breakdown(plan));
    if (comparison.FromController && !comparison.ReadBackEnd.Complete())
        summary += QStringLiteral(" The read-back ended early: its side is incomplete.");
    const bool online = p_.online();
    if (online && !comparison.FromController)
        summary += QStringLiteral(" Its side is the console's copy, as last read and verified.");
    const QString controllerSide =
        online ? QStringLiteral("In the tally system") : QStringLiteral("In the console (offline)");
    window_->Show(QStringLiteral("Compare ") + source.name, summary, comparison.Rows,
                  source.isCopy ? QStringLiteral("In the console") : QStringLiteral("In the file"),
                  controllerSide, !plan.isEmpty());
}

void ChangeController::ApplyFile() {
    if (Busy()) return;
    busy_ = true;
    if (const auto source = ChooseAndCheck(QStringLiteral("Apply changes only from a Tally file")))
        Apply(*source, nullptr);
    busy_ = false;
}

void ChangeController::ApplyShown() {
    if (Busy()) return;
    busy_ = true;
    Apply(shownSource_, &shown_);
    busy_ = false;
}

void ChangeController::Apply(const Source& source, const Comparison* shown) {
    Comparison comparison = shown ? *shown : core_.CompareWithCopy(source.mappings);
    // A comparison just made from a whole read-back is fresh; anything else is the copy.
    const bool fresh = shown && shown->FromController && shown->ReadBackEnd.Complete();
    if (core_.CopyMayBeStale() && !fresh) {
        const QString text = QStringLiteral(
            "The console's copy of the table may not be what the tally system holds: it has not "
            "been read back whole since the console started, or the last read-back ended "
            "early.\r\nRead the table back from the tally system first?");
        if (p_.dialogs.Message(text, kApplyTitle, Buttons::YesNo, Icon::Information, Answer::Yes) ==
            Answer::Yes)
            comparison = core_.Compare(source.mappings);
    }
    const QList<PlannedChange> plan = PlanChanges(comparison.Rows);
    if (plan.isEmpty()) {
        p_.dialogs.Message(QStringLiteral("Nothing to change: every output already holds the "
                                          "mapping of %1.")
                               .arg(source.name),
                           kApplyTitle, Buttons::Ok, Icon::Information);
        return;
    }
    const bool online = p_.online();
    const QString text =
        QStringLiteral("Apply %1 from %2 (%3, %4)%5? Outputs that do not change are not touched.")
            .arg(Count(plan.size(), "change", "changes"), source.name, Breakdown(plan),
                 Count(PlanCommands(plan).size(), "command", "commands"),
                 online ? QString() : QStringLiteral(" to the console's copy (offline)"));
    if (p_.dialogs.Message(text, kApplyTitle, Buttons::OkCancel, Icon::Information,
                           Answer::Cancel) != Answer::Ok)
        return;

    const UndoHistory::Step step(p_.history, QStringLiteral("Apply changes only"), true);
    // Each entry is written once its output has been asked back.
    std::optional<Journal::Hold> held(std::in_place, p_.journal);
    const ApplyResult applied = core_.Apply(plan);
    QString done = QStringLiteral("%1 applied.").arg(Count(applied.Applied, "change", "changes"));
    if (applied.Stopped)
        done += QStringLiteral(
                    " The tally system did not answer the change of unit %1 "
                    "channel %2; the %3 after it were not sent.")
                    .arg(Plain(applied.StoppedAt.Row.Unit), Plain(applied.StoppedAt.Row.Channel),
                         Plain(plan.size() - applied.Applied - 1));
    std::optional<VerifyResult> verify;
    // Offline nothing was sent, so there is nothing to ask back. The change the controller did
    // not answer may have been taken all the same: it is asked back too.
    const qsizetype sent = applied.Applied + (applied.Stopped ? 1 : 0);
    if (online) verify = core_.Verify(LiveChanges::ExpectationsOf(plan.mid(0, sent)));
    held.reset();
    Report(kApplyTitle, done, verify ? &*verify : nullptr);
    if (window_ && window_->isVisible())
        ShowComparison(source, core_.CompareWithCopy(source.mappings));
}

void ChangeController::VerifyCopy() {
    if (Busy() || !NeedsOnline(kVerifyTitle)) return;
    busy_ = true;
    const VerifyResult verify = core_.Verify(core_.ExpectationsOfCopy());
    Report(kVerifyTitle, QString(), &verify);
    busy_ = false;
}

void ChangeController::Report(const QString& title, const QString& done,
                              const VerifyResult* verify) {
    QString text = done;
    if (verify && verify->Ok()) {
        text += QStringLiteral(" %1 asked back: the tally system holds every mapping.")
                    .arg(Count(verify->Checked, "output", "outputs"));
    } else if (verify) {
        QStringList lines;
        for (const Mismatch& m : verify->Mismatches.mid(0, kNamedMismatches))
            lines << LiveChanges::MismatchText(m);
        if (verify->Mismatches.size() > kNamedMismatches)
            lines << QStringLiteral("... and %1 more")
                         .arg(Plain(verify->Mismatches.size() - kNamedMismatches));
        text +=
            QStringLiteral(
                " %1 of %2 asked back %3 not hold what %4 sent:\r\n%5\r\nThe "
                "lists show what the tally system holds.")
                .arg(
                    Plain(verify->Mismatches.size()), Count(verify->Checked, "output", "outputs"),
                    verify->Mismatches.size() == 1 ? QStringLiteral("does") : QStringLiteral("do"),
                    verify->Mismatches.size() == 1 ? QStringLiteral("was") : QStringLiteral("were"),
                    lines.join(QStringLiteral("\r\n")));
    }
    p_.dialogs.Message(text.trimmed(), title, Buttons::Ok, Icon::Information);
}

}  // namespace vendra
