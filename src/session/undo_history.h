#pragma once
// Undo and redo of the console's own changes to the controller's table. Each step is the
// console's copy before and after one operation of the operator (a mapping, an AND/OR, a clear,
// "Load", "Clear All", "Apply changes only"); taking it back makes the outputs that operation
// changed hold their earlier mappings again, through the changes-only machinery: the commands
// mapping each row by hand sends, then each output asked back. Offline it edits the copy.
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

namespace vendra {

class Dialogs;
class Journal;
class LiveChanges;
struct MappingTables;

class UndoHistory : public QObject {
    Q_OBJECT
public:
    static constexpr int kMaxSteps = 100;

    UndoHistory(MappingTables& tables, LiveChanges& changes, Journal& journal, Dialogs& dialogs,
                std::function<bool()> online, QObject* parent = nullptr);

    // One operation of the operator, from construction to destruction. A bulk operation is
    // taken back after asking; one that changed nothing leaves no step.
    class Step {
    public:
        Step(UndoHistory* history, const QString& name, bool bulk = false);
        ~Step();
        Step(const Step&) = delete;
        Step& operator=(const Step&) = delete;

    private:
        UndoHistory* h_;
        QString name_;
        bool bulk_;
        QStringList before_;
        bool beforeMayBeStale_ = false;
    };

    bool CanUndo() const { return !undo_.isEmpty(); }

    // Take back the last step / make the last step taken back again. Nothing to do: a short
    // note in the error line and nothing sent.
    void Undo();
    void Redo();

Q_SIGNALS:
    void ErrorLine(const QString& text);

private:
    struct Entry {
        QString name;
        bool bulk = false;
        QStringList before;
        QStringList after;
        // The copy before it may have lacked entries the controller held: an undo cannot put
        // back what the copy did not know.
        bool beforeMayBeStale = false;
    };
    // Makes the copy (and the controller) hold `target` for every output `step` changed.
    // False when the operator declined or the controller did not take every change.
    bool Restore(const Entry& step, const QStringList& from, const QStringList& target,
                 const QString& verb);
    void Push(Entry step);

    MappingTables& tables_;
    LiveChanges& changes_;
    Journal& journal_;
    Dialogs& dialogs_;
    std::function<bool()> online_;
    QList<Entry> undo_;
    QList<Entry> redo_;
    bool restoring_ = false;
    bool open_ = false;
};

}  // namespace vendra
