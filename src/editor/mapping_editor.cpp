#include "editor/mapping_editor.h"

#include <algorithm>
#include <utility>

#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

#include "config/kavro_config.h"
#include "editor/entry_box.h"
#include "editor/tally_list.h"
#include "mapping/mapping_tables.h"
#include "platform/dialogs.h"
#include "platform/numbers.h"
#include "session/services.h"
#include "widgets/busy_grey.h"
#include "widgets/colours.h"
#include "widgets/controls.h"

namespace vendra {

bool ModifierHeld(Qt::KeyboardModifiers m) {
    return m & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
}

MappingEditor::MappingEditor(const EditorControls& controls, ControllerLink& link,
                             TableOperations& table, OutputTesting& tests,
                             const InstallationView& installation, Dialogs& dialogs,
                             QObject* parent)
    : QObject(parent),
      c_(controls),
      link_(link),
      table_(table),
      tests_(tests),
      tables_(installation.Tables()),
      dialogs_(dialogs) {
    spaceEnd_.setSingleShot(true);
    spaceEnd_.setInterval(kRepeatGapMs);
    connect(&spaceEnd_, &QTimer::timeout, this,
            [this] { EndTest(std::exchange(spaceOutput_, 0)); });
    // From the event loop, not from inside the operation that is still ending.
    connect(&link_, &ControllerLink::BusyChanged, this, [this](bool busy) {
        if (!busy && !waitingEnds_.isEmpty())
            QTimer::singleShot(0, this, &MappingEditor::EndWaitingTests);
    });
    // The controls that map are grey while the line is busy; the output list stays, for its
    // keys move the selection and its handler turns the rest away.
    auto* grey = new BusyGrey(link_, this);
    grey->SetKeyHome(c_.List1);
    grey->Add({c_.list2, c_.txtInput, c_.cmdMapIt, c_.cmdBoolAnd, c_.cmdBoolOr});
    c_.List1->keyPressHook = [this](QKeyEvent* e) { return OutputListKeyPress(e); };
    c_.List1->keyReleaseHook = [this](QKeyEvent* e) { OutputListKeyRelease(e); };
    connect(c_.List1, &TallyList::RowClicked, this, [this] { GetOutChannel(); });

    connect(c_.list2, &TallyList::RowClicked, this, [this](int row) {
        c_.txtInput->setText(Plain(row));
        GetInChannel();
    });
    connect(c_.list2, &TallyList::RowDoubleClicked, this, [this] {
        MapCurrent();
        ScrollOutputList();
    });
    connect(c_.list2, &TallyList::MouseReleased, this, [this] {
        GetInChannel();
        c_.List1->setFocus();
    });

    c_.txtInput->keyPressHook = [this](QKeyEvent* e) { return EntryKeyPress(e); };
    connect(c_.txtInput, &QLineEdit::textChanged, this, [this] { ValidateEntry(); });
    connect(c_.cmdMapIt, &QPushButton::clicked, this, [this] {
        MapCurrent();
        ScrollOutputList();
    });

    connect(c_.Check3, &QCheckBox::clicked, this, [this](bool on) { SetBooleanMode(on); });
    connect(c_.cmdBoolAnd, &QPushButton::clicked, this, [this] { BoolClicked(BoolOp::And); });
    connect(c_.cmdBoolOr, &QPushButton::clicked, this, [this] { BoolClicked(BoolOp::Or); });

    connect(&tests_, &OutputTesting::RowTest, this, [this](int row, bool on) {
        c_.List1->SetRowBackground(row, on ? ColourFromValue(kRed) : ListBackground());
    });
    connect(&tests_, &OutputTesting::TestActive, this,
            [this](bool on) { SetButtonFace(c_.cmdTest, on ? ColourFromValue(kRed) : QColor()); });
    connect(&tests_, &OutputTesting::LatchShown, this, [this](bool ticked) {
        c_.chkTest->setChecked(ticked);
        SetTextColour(c_.chkTest, ColourFromValue(ticked ? kRed : kBlack));
    });
}

void MappingEditor::FillLists() {
    for (const QString& row : OutputListRows(tables_))
        c_.List1->AddRow(row);
    for (const QString& row : InputListRows(tables_)) {
        c_.list2->AddRow(row);
        c_.list3->AddRow(row);
    }
}

int MappingEditor::SelectedOutput() const {
    const int row = c_.List1->SelectedIndex();
    return row < 0 ? 0 : row + 1;
}

void MappingEditor::EndTest(int o) {
    if (o <= 0) return;
    if (!waitingEnds_.contains(o)) waitingEnds_.append(o);
    EndWaitingTests();
}

void MappingEditor::EndWaitingTests() {
    // Commands sent from inside a busy operation would be refused while the row turned back.
    if (link_.IsBusy()) return;
    while (!waitingEnds_.isEmpty())
        tests_.TestOff(waitingEnds_.takeFirst());
}

void MappingEditor::ShowMappingInList(int OutputListPointer) {
    c_.List1->SetSelectedText(table_.OutputRow(OutputListPointer));
}

void MappingEditor::UpdateListBox1() {
    c_.List1->setUpdatesEnabled(false);
    for (int i = 0; i < tables_.NumOutputs; ++i) {
        c_.List1->SetSelectedIndex(i);
        ShowMappingInList(i + 1);
    }
    c_.List1->SetSelectedIndex(0);
    c_.List1->setUpdatesEnabled(true);
    GetOutChannel();
}

void MappingEditor::ScrollOutputList() {
    const int s = c_.List1->SelectedIndex();
    if (s < tables_.NumOutputs - 1) c_.List1->SetSelectedIndex(s + 1);
    // The labels follow the selection, so "Test" always addresses the row it shows.
    GetOutChannel();
}

void MappingEditor::EnableControls(bool Enabled) {
    c_.lblTallyOutputs->setVisible(Enabled);
    c_.lblDownloading->setVisible(!Enabled);
    for (QWidget* w : {static_cast<QWidget*>(c_.list2), static_cast<QWidget*>(c_.cmdMapIt),
                       static_cast<QWidget*>(c_.txtInput), static_cast<QWidget*>(c_.cmdInit)})
        SetOwnEnabled(w, Enabled);
    if (link_.IsOnline()) {
        for (QWidget* w : {static_cast<QWidget*>(c_.cmdTest), static_cast<QWidget*>(c_.chkTest),
                           static_cast<QWidget*>(c_.cmdRefresh)})
            SetOwnEnabled(w, Enabled);
    }
}

void MappingEditor::MapCurrent() {
    const int o = SelectedOutput();
    const int i = c_.list2->SelectedIndex();
    if (table_.MapOutput(o, i)) ShowMapped(o, i);
}

void MappingEditor::ShowMapped(int o, int input) {
    ShowMappingInList(o);
    c_.txtInput->setText(Plain(input));
    c_.List1->setFocus();
}

void MappingEditor::MapBool(BoolOp op) {
    const int o = SelectedOutput();
    const int i1 = c_.list2->SelectedIndex();
    if (table_.MapOutputBoolean(o, i1, c_.list3->SelectedIndex(), op)) ShowMapped(o, i1);
    ScrollOutputList();
}

void MappingEditor::BoolClicked(BoolOp op) {
    if (c_.list2->SelectedIndex() > 0 && c_.list3->SelectedIndex() > 0) MapBool(op);
}

void MappingEditor::GetOutChannel() {
    const int o = SelectedOutput();
    if (o == 0) return;
    ShowTestState(tables_.OutTest[o] == -1);
    c_.lblOutUnit->setText(Plain(tables_.OutUnit[o]));
    c_.lblOutChannel->setText(Plain(tables_.OutChannel[o]));
    ReadBackMapping();
}

void MappingEditor::ShowTestState(bool underTest) {
    c_.chkTest->setChecked(underTest);
    SetButtonFace(c_.cmdTest, underTest ? ColourFromValue(kRed) : QColor());
    SetTextColour(c_.chkTest, ColourFromValue(underTest ? kRed : kBlack));
}

void MappingEditor::GetInChannel() {
    const int j = c_.list2->SelectedIndex();
    if (!tables_.IsConfiguredInput(j)) return;
    table_.SelectInput(j);
    c_.lblInUnit->setText(Plain(tables_.Current.InUnit));
    c_.lblInChannel->setText(Plain(tables_.Current.InChannel));
}

void MappingEditor::ReadBackMapping() {
    c_.lblInUnit->setText(Plain(tables_.Current.InUnit));
    c_.lblInChannel->setText(Plain(tables_.Current.InChannel));
}

bool MappingEditor::OutputListKeyPress(QKeyEvent* e) {
    // A press right after a release is the key's repeat, busy or not: the test goes on.
    if (e->key() == Qt::Key_Space && spaceEnd_.isActive()) {
        spaceEnd_.stop();
        return true;
    }
    // The list keeps the keys while the line is busy (it is where they wait): its own keys are
    // turned away here, before anything reaches the line.
    if (link_.IsBusy()) return true;
    const bool modifier = ModifierHeld(e->modifiers());
    switch (e->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            MapCurrent();
            ScrollOutputList();
            c_.txtInput->setText(Plain(std::max(0, c_.list2->SelectedIndex())));
            return true;
        case Qt::Key_Space:
            // A repeat the window system marks as one goes on with the test as well, even when
            // the selection has moved meanwhile.
            if (e->isAutoRepeat() && spaceOutput_ > 0) return true;
            spaceOutput_ = SelectedOutput();
            if (spaceOutput_ > 0) tests_.TestOn(spaceOutput_);
            return true;
        case Qt::Key_Left:
        case Qt::Key_Right:
            MoveInputSelection(e->key() == Qt::Key_Right, modifier);
            GetInChannel();
            return true;
        case Qt::Key_Delete:
            c_.list2->SetSelectedIndex(0);
            return true;
        default:
            return false;
    }
}

void MappingEditor::OutputListKeyRelease(QKeyEvent* e) {
    if (e->key() == Qt::Key_Space) {
        // A held key repeats release and press, both at once. The window system does not
        // always mark the repeated release (its press may not have been read yet), so the end
        // waits a moment and is dropped when a press follows: the test ends once, on the real
        // release. A release taken while busy is kept too: its end waits for the line.
        if (e->isAutoRepeat()) return;
        // A press swallowed by a busy moment started nothing: the release ends the selected
        // output's test (a latched one), as a release always does.
        if (spaceOutput_ == 0) spaceOutput_ = SelectedOutput();
        spaceEnd_.start();
        return;
    }
    // Its rows are rebuilt by the read-back that keeps the line busy: the labels wait for it.
    if (link_.IsBusy()) return;
    switch (e->key()) {
        case Qt::Key_Left:
        case Qt::Key_Right:
            break;
        default:
            GetOutChannel();
            break;
    }
}

namespace {

// One row, or ten with a modifier, up or down, never past either end.
int Step(int s, int last, bool down, bool modifier) {
    const int step = modifier ? 10 : 1;
    return std::clamp(down ? s + step : s - step, 0, std::max(0, last));
}

}  // namespace

void MappingEditor::MoveInputSelection(bool down, bool modifier) {
    c_.list2->SetSelectedIndex(Step(c_.list2->SelectedIndex(), tables_.NumInputs, down, modifier));
}

void MappingEditor::MoveOutputSelection(bool down, bool modifier) {
    c_.List1->SetSelectedIndex(
        Step(c_.List1->SelectedIndex(), tables_.NumOutputs - 1, down, modifier));
}

bool MappingEditor::EntryKeyPress(QKeyEvent* e) {
    switch (e->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            EntryEnter();
            return true;
        case Qt::Key_Up:
        case Qt::Key_Down:
            MoveOutputSelection(e->key() == Qt::Key_Down, ModifierHeld(e->modifiers()));
            GetOutChannel();
            return true;
        case Qt::Key_Space:
        case Qt::Key_Delete:
            return true;
        default:
            return false;
    }
}

int MappingEditor::EntryNumber() const {
    // The same reading rule as everywhere: halves to even, so 2.5 picks input 2.
    const double n = RoundHalfEven(ReadNumber(c_.txtInput->text()));
    return n < 0 ? -1 : n > tables_.NumInputs ? tables_.NumInputs + 1 : static_cast<int>(n);
}

void MappingEditor::ValidateEntry() {
    const int n = EntryNumber();
    if (n > tables_.NumInputs) {
        c_.txtInput->setText(Plain(tables_.NumInputs));
        c_.txtInput->SelectForEntry();
        dialogs_.Message(QStringLiteral("Highest Input allowable") + QLatin1Char('\r') +
                             QStringLiteral("on this system is") + SignColumn(tables_.NumInputs),
                         QStringLiteral("Entry Error"), Buttons::Ok, Icon::Information);
    } else if (n < 0) {
        // A negative number could only select a row before the first one.
        c_.txtInput->setText(QStringLiteral("0"));
        c_.txtInput->SelectForEntry();
        dialogs_.Message(QStringLiteral("Lowest Input allowable") + QLatin1Char('\r') +
                             QStringLiteral("on this system is") + SignColumn(0),
                         QStringLiteral("Entry Error"), Buttons::Ok, Icon::Information);
    }
}

void MappingEditor::EntryEnter() {
    const int n = EntryNumber();
    if (tables_.IsConfiguredInput(n)) {
        c_.list2->SetSelectedIndex(n);
        MapCurrent();
    }
    ScrollOutputList();
    c_.txtInput->setFocus();
    c_.txtInput->SelectForEntry();
}

void MappingEditor::SetListHeight(TallyList* list, int twips) {
    list->resize(list->width(), Px(twips));
}

void MappingEditor::SetBooleanMode(bool on) {
    SetListHeight(c_.list2, on ? kBooleanListHeight : kSingleListHeight);
    if (on) {
        // With no input configured there is no row 1; stay on "Unassigned".
        const int first = tables_.NumInputs >= 1 ? 1 : 0;
        c_.list2->SetSelectedIndex(first);
        c_.list3->SetSelectedIndex(first);
    }
    c_.list3->setVisible(on);
    c_.cmdBoolAnd->setVisible(on);
    c_.cmdBoolOr->setVisible(on);
    SetTextColour(c_.Check3, ColourFromValue(on ? kRed : kBlack));
    c_.List1->setFocus();
}

}  // namespace vendra
