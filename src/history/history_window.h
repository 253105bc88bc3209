#pragma once
// The change journal in a window of its own: newest entry first, each in words, filtered by
// output (name, number or address) and by time. Reached by Ctrl+H and from a context menu on
// the file name label, beside Undo (Ctrl+Z) and Redo (Ctrl+Shift+Z, Ctrl+Y).
#include <QDateTime>
#include <QWidget>
#include <functional>

#include "changes/journal.h"

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

    // Reads the journal again and shows what the filters let through.
    void ShowJournal(const QString& path);
    void Reload();
    // The clock the time filter counts from (tests set one).
    std::function<QDateTime()> now = [] { return QDateTime::currentDateTime(); };

    QLineEdit* txtOutput = nullptr;
    QComboBox* cboSince = nullptr;
    QListWidget* list = nullptr;
    QLabel* lblSummary = nullptr;
    QPushButton* cmdRefresh = nullptr;

private:
    void Fill();
    QDateTime Since() const;

    QString path_;
    JournalRead read_;
};

// Undo, redo and the history window on the main window: shortcuts, and a context menu on the
// file name label, on the change history. `busy` says when the keys must do nothing (a
// read-back or load running).
void AddHistoryControls(QWidget* window, QWidget* fileNameLabel, ChangeHistory& history,
                        std::function<bool()> busy);

}  // namespace vendra
