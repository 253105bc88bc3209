#pragma once
// The mapping editor of the main window: the output list, the two input lists, the entry box,
// "Map Tally", "Boolean" with "AND"/"OR", and the unit and channel labels. It turns the
// operator's keys and clicks into mapping operations and keeps the rows up to date. It uses the
// controller link (busy, online), the table operations (rows, mappings), the output tests and
// the installation's tables.
#include <QObject>
#include <QTimer>

#include "mapping/mapping_string.h"

class QCheckBox;
class QKeyEvent;
class QLabel;
class QPushButton;
class QWidget;

namespace vendra {

class ControllerLink;
class Dialogs;
class EntryBox;
class InstallationView;
class OutputTesting;
class TableOperations;
class TallyList;
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

    // While the session is busy, the operator's keys and clicks here do nothing.
    MappingEditor(const EditorControls& controls, ControllerLink& link, TableOperations& table,
                  OutputTesting& tests, const InstallationView& installation, Dialogs& dialogs,
                  QObject* parent = nullptr);

    // Adds the rows of the three lists from the configuration tables; once, at start-up.
    void FillLists();

    void ShowMappingInList(int OutputListPointer);
    void UpdateListBox1();
    void ScrollOutputList();
    void EnableControls(bool Enabled);
    void MapCurrent();
    void MapBool(BoolOp op);
    void GetOutChannel();
    void GetInChannel();
    void ReadBackMapping();
    // Shows whether the selected output is under test on "Test" and "Latch".
    void ShowTestState(bool underTest);
    void SetBooleanMode(bool on);

    int SelectedOutput() const;  // 1 .. NumOutputs, or 0 when no row is selected
    // Ends the test of output o now or, while a busy operation holds the line, as soon as it
    // lets go: a release is never dropped, or the output would stay forced on.
    void EndTest(int o);

private:
    // The row of a mapping just made, and the input it was made with in the entry box.
    void ShowMapped(int o, int input);
    bool OutputListKeyPress(QKeyEvent* e);
    void OutputListKeyRelease(QKeyEvent* e);
    bool EntryKeyPress(QKeyEvent* e);
    void ValidateEntry();
    void EntryEnter();
    void MoveInputSelection(bool down, bool modifier);
    void MoveOutputSelection(bool down, bool modifier);
    void BoolClicked(BoolOp op);
    int EntryNumber() const;
    void SetListHeight(TallyList* list, int twips);
    void EndWaitingTests();

    EditorControls c_;
    ControllerLink& link_;
    TableOperations& table_;
    OutputTesting& tests_;
    const MappingTables& tables_;
    Dialogs& dialogs_;
    // Runs from a release of Space to the end of its test; a press meanwhile is the repeat.
    QTimer spaceEnd_;
    // The output the held Space tests: its release ends this one, whatever is selected by then.
    int spaceOutput_ = 0;
    // Tests whose end waits for a busy operation to let go of the line.
    QList<int> waitingEnds_;
};

// Shift, Ctrl or Alt held.
bool ModifierHeld(Qt::KeyboardModifiers m);

}  // namespace vendra
