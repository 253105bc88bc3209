#pragma once
// Compare, apply changes only, verify and check a file, reached from a context menu on "Load"
// and from keyboard shortcuts of the main window. It asks the operator through Dialogs, shows
// comparisons in a CompareWindow and leaves the work to LiveChanges.
#include <QList>
#include <QObject>
#include <QPointer>
#include <functional>
#include <optional>

#include "changes/live_changes.h"
#include "compare/compare_window.h"

class QAction;
class QLabel;
class QPushButton;

namespace vendra {

class CommandExchange;
class Dialogs;
class Journal;
class MappingCommands;
class MappingEditor;
class ReadBack;
class UndoHistory;
struct MappingTables;

struct ChangePieces {
    MappingTables& tables;
    MappingCommands& commands;
    ReadBack& reader;
    CommandExchange& exchange;
    MappingEditor& editor;
    Dialogs& dialogs;
    std::function<bool()> online;
    Journal* journal = nullptr;      // where the changes applied are written
    UndoHistory* history = nullptr;  // an apply is one step to undo
};

class ChangeController : public QObject {
    Q_OBJECT
public:
    // Adds the context menu and tooltip to `load` and the shortcuts to its window; progress
    // texts go to `progress`.
    ChangeController(const ChangePieces& pieces, QPushButton* load, QLabel* progress,
                     QObject* parent = nullptr);
    ~ChangeController() override;

    LiveChanges& Core() { return core_; }
    CompareWindow* Window() const { return window_; }
    // The menu's entries, in order: compare a file, compare the console's copy, apply changes
    // only, verify, check a file.
    const QList<QAction*>& Actions() const { return actions_; }

public Q_SLOTS:
    void CompareFile();
    void CompareCopy();
    void ApplyFile();
    void VerifyCopy();
    void CheckFile();

private:
    struct Source {
        QString name;  // the file's name, or the console's copy
        QList<TallyItem> mappings;
        bool isCopy = false;
    };
    // Asks for a file, reads and checks it; findings are shown and the operator goes on or
    // stops. Empty when he stops or the file cannot be used.
    std::optional<Source> ChooseAndCheck(const QString& title);
    void ShowComparison(const Source& source, const Comparison& comparison);
    void Apply(const Source& source, const Comparison* shown);
    void ApplyShown();
    void Report(const QString& title, const QString& done, const VerifyResult* verify);
    bool Busy() const;
    bool NeedsOnline(const QString& title);
    void ShowMenu(const QPoint& at);

    ChangePieces p_;
    LiveChanges core_;
    QPushButton* load_;
    QList<QAction*> actions_;
    QPointer<CompareWindow> window_;
    Source shownSource_;
    Comparison shown_;
    bool busy_ = false;
};

}  // namespace vendra
