#pragma once
// Compare, apply changes only, verify and check a file, reached from a context menu on "Load"
// and from keyboard shortcuts of the main window. It drives the live changes (and asks the link
// whether the console is online), asks the operator through Dialogs and shows what they report;
// comparisons go to a CompareWindow. Its entries and "Apply" are grey while the line is busy.
#include <QList>
#include <QObject>
#include <QPointer>
#include <optional>

#include "changes/live_changes.h"
#include "compare/compare_window.h"

class QAction;
class QPushButton;

namespace vendra {

class BusyGrey;
class ControllerLink;
class Dialogs;
class LiveChangeService;

class ChangeController : public QObject {
    Q_OBJECT
public:
    // Adds the context menu and tooltip to `load` and the shortcuts to its window.
    ChangeController(ControllerLink& link, LiveChangeService& changes, Dialogs& dialogs,
                     QPushButton* load, QObject* parent = nullptr);
    ~ChangeController() override;

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
    class Questions;
    // Asks for a file that exists; empty when the operator cancels or it is missing.
    QString ChooseFile(const QString& title);
    // `damage`: why the load would refuse the file; such a file is shown but not applied.
    void ShowComparison(const ChangeSource& source, const Comparison& comparison, bool isCopy,
                        const QString& damage = {});
    void Apply(const ChangeSource& source);
    void ApplyShown();
    bool NeedsOnline(const QString& title);
    void ShowMenu(const QPoint& at);

    ControllerLink& link_;
    LiveChangeService& changes_;
    Dialogs& dialogs_;
    QPushButton* load_;
    QList<QAction*> actions_;
    BusyGrey* grey_ = nullptr;
    QPointer<CompareWindow> window_;
    ChangeSource shown_;
    bool shownIsCopy_ = false;
};

}  // namespace vendra
