#include "compare/history_window.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QSharedPointer>
#include <QVBoxLayout>

#include "platform/numbers.h"
#include "session/console_session.h"

namespace vendra {

namespace {

const char* const kPeriods[] = {"Any time", "Last hour", "Today", "Last 7 days"};

QString Tip(const JournalEntry& e) {
    QStringList lines{EntryInWords(e, true)};
    if (e.HasOutput())
        lines << QStringLiteral("Output %1, unit %2 channel %3")
                     .arg(Plain(e.Output), Plain(e.Unit), Plain(e.Channel))
              << QStringLiteral("Before: %1")
                     .arg(e.Before.isEmpty() ? QStringLiteral("unmapped") : e.Before)
              << QStringLiteral("After: %1")
                     .arg(e.After.isEmpty() ? QStringLiteral("unmapped") : e.After);
    if (!e.Command.isEmpty()) lines << QStringLiteral("Command: %1").arg(e.Command);
    return lines.join(u'\n');
}

}  // namespace

HistoryWindow::HistoryWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setWindowTitle(QStringLiteral("Change History"));
    txtOutput = new QLineEdit(this);
    txtOutput->setPlaceholderText(QStringLiteral("Output: name, number or unit/channel"));
    txtOutput->setClearButtonEnabled(true);
    cboSince = new QComboBox(this);
    for (const char* p : kPeriods)
        cboSince->addItem(QString::fromLatin1(p));
    cmdRefresh = new QPushButton(QStringLiteral("Refresh"), this);
    list = new QListWidget(this);
    list->setUniformItemSizes(true);
    lblSummary = new QLabel(this);
    lblSummary->setWordWrap(true);

    auto* filters = new QHBoxLayout;
    filters->addWidget(txtOutput, 1);
    filters->addWidget(cboSince);
    filters->addWidget(cmdRefresh);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(filters);
    layout->addWidget(list, 1);
    layout->addWidget(lblSummary);
    resize(760, 420);

    connect(txtOutput, &QLineEdit::textChanged, this, [this] { Fill(); });
    connect(cboSince, &QComboBox::currentIndexChanged, this, [this] { Fill(); });
    connect(cmdRefresh, &QPushButton::clicked, this, &HistoryWindow::Reload);
}

void HistoryWindow::ShowJournal(const QString& path) {
    path_ = path;
    Reload();
    show();
    raise();
    activateWindow();
}

void HistoryWindow::Reload() {
    read_ = ReadJournal(path_);
    Fill();
}

QDateTime HistoryWindow::Since() const {
    const QDateTime t = now();
    switch (cboSince->currentIndex()) {
        case 1:
            return t.addSecs(-3600);
        case 2:
            return QDateTime(t.date(), QTime(0, 0));
        case 3:
            return t.addDays(-7);
        default:
            return {};
    }
}

void HistoryWindow::Fill() {
    list->clear();
    const QDateTime since = Since();
    const QDate today = now().date();
    int shown = 0;
    for (auto it = read_.Entries.crbegin(); it != read_.Entries.crend(); ++it) {
        if (since.isValid() && it->Time < since) continue;
        if (!EntryMatches(*it, txtOutput->text())) continue;
        // The time alone would pass an entry of another day for today's.
        auto* item =
            new QListWidgetItem(EntryInWords(*it, it->Time.toLocalTime().date() != today), list);
        item->setToolTip(Tip(*it));
        // Not made: the controller did not take it, or its answer does not say.
        if (it->Outcome == outcome::kFailed || it->Outcome == outcome::kRefused)
            item->setForeground(QColor(180, 0, 0));
        ++shown;
    }
    QString summary = read_.Missing ? QStringLiteral("No change has been journalled yet in %1.")
                                          .arg(QDir::toNativeSeparators(path_))
                      : !read_.Error.isEmpty()
                          ? QStringLiteral("The journal cannot be read: %1").arg(read_.Error)
                          : QStringLiteral("%1 of %2 entries, newest first, from %3.")
                                .arg(Plain(shown), Plain(int(read_.Entries.size())),
                                     QDir::toNativeSeparators(path_));
    const QString torn = read_.TornText(path_);
    if (!torn.isEmpty()) summary += QLatin1Char(' ') + torn.left(1).toUpper() + torn.mid(1) + u'.';
    lblSummary->setText(summary);
}

void AddHistoryControls(QWidget* window, QWidget* fileNameLabel, ConsoleSession& session,
                        std::function<bool()> busy) {
    auto history = QSharedPointer<QPointer<HistoryWindow>>::create();
    const auto showHistory = [window, history, &session] {
        if (!*history) *history = new HistoryWindow(window);
        (*history)->ShowJournal(session.ChangeJournal().Path());
    };
    const struct {
        const char* text;
        QList<QKeySequence> keys;
        std::function<void()> act;
    } entries[] = {
        {"Undo",
         {QKeySequence(QStringLiteral("Ctrl+Z"))},
         [busy, &session] {
             if (!busy()) session.Undo();
         }},
        {"Redo",
         {QKeySequence(QStringLiteral("Ctrl+Shift+Z")), QKeySequence(QStringLiteral("Ctrl+Y"))},
         [busy, &session] {
             if (!busy()) session.Redo();
         }},
        {"Change history...", {QKeySequence(QStringLiteral("Ctrl+H"))}, showHistory},
    };
    QList<QAction*> actions;
    for (const auto& e : entries) {
        auto* action = new QAction(QString::fromLatin1(e.text), window);
        action->setShortcuts(e.keys);
        action->setShortcutContext(Qt::WindowShortcut);
        QObject::connect(action, &QAction::triggered, window, e.act);
        window->addAction(action);
        actions << action;
    }
    fileNameLabel->setContextMenuPolicy(Qt::CustomContextMenu);
    fileNameLabel->setToolTip(
        QStringLiteral("Right-click for the change history (Ctrl+H), undo (Ctrl+Z) and redo "
                       "(Ctrl+Shift+Z)."));
    QObject::connect(fileNameLabel, &QWidget::customContextMenuRequested, window,
                     [fileNameLabel, actions](const QPoint& at) {
                         QMenu menu;
                         menu.addActions(actions);
                         menu.exec(fileNameLabel->mapToGlobal(at));
                     });
}

}  // namespace vendra
