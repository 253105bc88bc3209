#pragma once
// The mapping editor of the main window: the output list, the two input lists, the entry box,
// "Map Tally", "Boolean" with "AND"/"OR", and the unit and channel labels. It turns the
// operator's keys and clicks into mapping operations and keeps the rows up to date.
#include <QObject>
#include <QTimer>
#include <functional>

class QCheckBox;
class QKeyEvent;
class QLabel;
class QPushButton;
class QWidget;

namespace vendra {

class BusyState;
class Dialogs;
class EntryBox;
class Journal;
class MappingCommands;
class OutputTest;
class TallyList;
class UndoHistory;
struct MappingTables;

struct EditorControls {
    TallyList* List1 = nullptr;
    TallyList* list2 = nullptr;
    TallyList* list3 = nullptr;
    EntryBox* txtInput = nullptr;
    QPushButton* cmdMapIt = nullptr;
    QCheckBox* Check3 = nullptr;
    QPushButton* cmdBoolAnd = nullptr;
    QPushButton* cmdBoolOr = nullptr;
    QLabel* lblTallyOutputs = nullptr;
    QLabel* lblDownloading = nullptr;
    QLabel* lblOutUnit = nullptr;
    QLabel* lblOutChannel = nullptr;
    QLabel* lblInUnit = nullptr;
    QLabel* lblInChannel = nullptr;
    QPushButton* cmdTest = nullptr;
    QCheckBox* chkTest = nullptr;
    QPushButton* cmdRefresh = nullptr;
    QPushButton* cmdInit = nullptr;
};

class MappingEditor : public QObject {
    Q_OBJECT
public:
    static constexpr int kSingleListHeight = 4110;   // twips
    static constexpr int kBooleanListHeight = 1950;  // twips
    // How long a Space release waits for the press of the key's repeat: far above the gap
    // between a repeat's release and its press, too short for a hand to press again.
    static constexpr int kRepeatGapMs = 30;

    // While `busy` says so, the operator's keys and clicks here do nothing.
    MappingEditor(const EditorControls& controls, MappingTables& tables, MappingCommands& commands,
                  OutputTest& test, Dialogs& dialogs, std::function<bool()> online,
                  const BusyState& busy, QObject* parent = nullptr);

    // Adds the rows of the three lists from the configuration tables; once, at start-up.
    void FillLists();

    void ShowMappingInList(int OutputListPointer);
    void UpdateListBox1();
    void ScrollOutputList();
    void EnableControls(bool Enabled);
    void MapCurrent();
    void MapBool(int BoolOp);
    void GetOutChannel();
    void GetInChannel();
    void ReadBackMapping();
    // Shows whether the selected output is under test on "Test" and "Latch".
    void ShowTestState(bool underTest);
    void SetBooleanMode(bool on);

    int SelectedOutput() const;  // 1 .. NumOutputs, or 0 when no row is selected

    // Each mapping made here is journalled and becomes one step to undo.
    void SetChangeLog(Journal* journal, UndoHistory* history);

private:
    // MapCurrent's work; journals the mapping when asked. False when it was not made.
    bool MapSelected(bool journal);
    void Journalled(const QString& operation, int o, const QString& before, bool ok);
    bool OutputListKeyPress(QKeyEvent* e);
    void OutputListKeyRelease(QKeyEvent* e);
    bool EntryKeyPress(QKeyEvent* e);
    void ValidateEntry();
    void EntryEnter();
    void MoveInputSelection(bool down, bool modifier);
    void MoveOutputSelection(bool down, bool modifier);
    void BoolClicked(int BoolOp);
    int EntryNumber() const;
    void SetListHeight(TallyList* list, int twips);

    EditorControls c_;
    MappingTables& tables_;
    MappingCommands& commands_;
    OutputTest& test_;
    Dialogs& dialogs_;
    std::function<bool()> online_;
    const BusyState& busy_;
    // Runs from a release of Space to the end of its test; a press meanwhile is the repeat.
    QTimer spaceEnd_;
    Journal* journal_ = nullptr;
    UndoHistory* history_ = nullptr;
};

// Shift, Ctrl or Alt held.
bool ModifierHeld(Qt::KeyboardModifiers m);

}  // namespace vendra
