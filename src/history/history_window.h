#pragma once
// The change journal in a window of its own: newest entry first, each in words, filtered by
// output (name, number or address) and by time. The journal is read from its end a page at a
// time, in short slices between events: a year of journal opens as fast as a day of it, the
// poll goes on meanwhile, and older pages are read as the list is scrolled down to them. Reached by
// Ctrl+H and from a context menu on the file name label, beside Undo (Ctrl+Z) and Redo
// (Ctrl+Shift+Z, Ctrl+Y).
#include <QDateTime>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>

#include "changes/journal_reader.h"

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace vendra {

class ChangeHistory;

class HistoryWindow : public QWidget {
    Q_OBJECT
public:
    explicit HistoryWindow(QWidget* parent = nullptr);

    // Reads the journal again and shows what the filters let through: the first page at once,
    // the rest of it in slices.
    void ShowJournal(const QString& path);
    void Reload();
    // Entries shown a page (the first at once, each further one when scrolled to).
    static constexpr int kPage = 200;
    // Whether reading has reached the journal's start (or the time filter's).
    bool ReadToStart() const { return !reader_; }
    // The clock the time filter counts from (tests set one).
    std::function<QDateTime()> now = [] { return QDateTime::currentDateTime(); };

    QLineEdit* txtOutput = nullptr;
    QComboBox* cboSince = nullptr;
    QListWidget* list = nullptr;
    QLabel* lblSummary = nullptr;
    QPushButton* cmdRefresh = nullptr;

private:
    void Fill();
    // Reads on until `wanted_` entries are shown, or `budgetMs` have passed, or `budgetBytes`
    // of the journal are read (-1: no such bound).
    void ReadMore(int budgetMs, qint64 budgetBytes);
    void ShowSummary();
    QDateTime Since() const;

    QString path_;
    std::unique_ptr<JournalReader> reader_;  // null once the start is reached
    bool missing_ = false;
    QString error_;
    QList<TornLine> torn_;
    QDateTime since_;
    int wanted_ = 0;
    QTimer more_;
};

// Undo, redo and the history window on the main window: shortcuts, and a context menu on the
// file name label, on the change history. Answers the actions that change the controller (undo
// and redo), for the window to grey while the line is busy.
QList<QAction*> AddHistoryControls(QWidget* window, QWidget* fileNameLabel, ChangeHistory& history);

}  // namespace vendra
