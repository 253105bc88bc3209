#include "history/history_window.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QSharedPointer>
#include <QVBoxLayout>

#include "platform/numbers.h"
#include "session/services.h"

namespace vendra {

namespace {

// One slice of reading between events: the poll's timer is late by this much at most. The
// first page is read at once, as far as this much of the journal goes (a page of whole-table
// loads is a tenth of it); a filter that lets little through finds the rest in slices.
constexpr int kSliceMs = 10;
constexpr qint64 kFirstPageBytes = 1024 * 1024;
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

    more_.setSingleShot(true);
    more_.setInterval(0);
    connect(&more_, &QTimer::timeout, this, [this] { ReadMore(kSliceMs, -1); });
    // Scrolled down to the end of what is read: the next page.
    connect(list->verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int value) {
        if (!reader_ || value < list->verticalScrollBar()->maximum()) return;
        wanted_ = list->count() + kPage;
        more_.start();
    });
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
    reader_ = std::make_unique<JournalReader>(path_, JournalReader::Order::NewestFirst);
    missing_ = reader_->Missing();
    error_ = reader_->Error();
    torn_.clear();
    since_ = Since();
    wanted_ = kPage;
    // The first page at once (a short wait at most); the rest between events.
    ReadMore(-1, kFirstPageBytes);
}

void HistoryWindow::ReadMore(int budgetMs, qint64 budgetBytes) {
    QElapsedTimer clock;
    clock.start();
    const qint64 bytesBefore = reader_ ? reader_->BytesRead() : 0;
    while (reader_ && list->count() < wanted_ && (budgetMs < 0 || clock.elapsed() < budgetMs) &&
           (budgetBytes < 0 || reader_->BytesRead() - bytesBefore < budgetBytes)) {
        const std::optional<JournalEntry> e = reader_->Next();
        // Past the filter's start by more than an entry can lag, nothing older is let through.
        if (!e || (since_.isValid() && e->Time < since_.addSecs(-kJournalLagSeconds))) {
            torn_ = reader_->Torn();
            reader_.reset();
            break;
        }
        if (since_.isValid() && e->Time < since_) continue;
        if (!EntryMatches(*e, txtOutput->text())) continue;
        // The time alone would pass an entry of another day for today's.
        auto* item = new QListWidgetItem(
            EntryInWords(*e, e->Time.toLocalTime().date() != now().date()), list);
        item->setToolTip(Tip(*e));
        // Not made: the controller did not take it, or its answer does not say.
        if (e->Outcome == outcome::kFailed || e->Outcome == outcome::kRefused)
            item->setForeground(QColor(180, 0, 0));
    }
    if (reader_) torn_ = reader_->Torn();
    if (reader_ && list->count() < wanted_) more_.start();
    ShowSummary();
}

void HistoryWindow::ShowSummary() {
    const QString where = QDir::toNativeSeparators(path_);
    QString summary;
    if (path_.isEmpty())
        summary = QStringLiteral(
            "Nothing is journalled: HOME is not set and Kavro.ini names no "
            "Journal file.");
    else if (missing_)
        summary = QStringLiteral("No change has been journalled yet in %1.").arg(where);
    else if (!error_.isEmpty())
        summary = QStringLiteral("The journal cannot be read: %1").arg(error_);
    else
        summary = QStringLiteral("%1 entries, newest first, from %2%3")
                      .arg(Plain(list->count()), where,
                           reader_ ? QStringLiteral("; scroll down for older ones.")
                                   : QStringLiteral("."));
    const QString torn = TornText(torn_);
    if (!torn.isEmpty()) summary += QLatin1Char(' ') + torn.left(1).toUpper() + torn.mid(1) + u'.';
    lblSummary->setText(summary);
}

QList<QAction*> AddHistoryControls(QWidget* window, QWidget* fileNameLabel,
                                   ChangeHistory& changes) {
    auto history = QSharedPointer<QPointer<HistoryWindow>>::create();
    const auto showHistory = [window, history, &changes] {
        if (!*history) *history = new HistoryWindow(window);
        (*history)->ShowJournal(changes.JournalPath());
    };
    const struct {
        const char* text;
        QList<QKeySequence> keys;
        std::function<void()> act;
    } entries[] = {
        {"Undo", {QKeySequence(QStringLiteral("Ctrl+Z"))}, [&changes] { changes.Undo(); }},
        {"Redo",
         {QKeySequence(QStringLiteral("Ctrl+Shift+Z")), QKeySequence(QStringLiteral("Ctrl+Y"))},
         [&changes] { changes.Redo(); }},
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
    return actions.mid(0, 2);
}

}  // namespace vendra
