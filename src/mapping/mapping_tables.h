#pragma once
// The console's model of the installation and its copy of the controller's mapping table.
// Outputs are numbered from 1 (slot 0 is never a configured output), inputs from 0 (input 0 is
// "Unassigned"). Every table has a fixed size; reads outside it give an empty value and writes
// outside it are dropped, so no index can ever reach past the end.
#include <QString>
#include <array>

#include "mapping/mapping_string.h"

namespace vendra {

constexpr int kOutputSlots = 1000;  // outputs 1 .. 999
constexpr int kInputSlots = 201;    // inputs 0 .. 200
constexpr int kMaxOutputs = kOutputSlots - 1;
constexpr int kMaxInputs = kInputSlots - 1;

template <typename T, int N>
class Slots {
public:
    const T& operator[](int i) const { return Valid(i) ? items_[i] : empty_; }
    // Writes outside the table land in a scratch slot that is cleared on every use.
    T& operator[](int i) {
        if (Valid(i)) return items_[i];
        scratch_ = T{};
        return scratch_;
    }
    static constexpr bool Valid(int i) { return i >= 0 && i < N; }
    static constexpr int Size() { return N; }
    void Fill(const T& value) { items_.fill(value); }

private:
    std::array<T, N> items_{};
    T scratch_{};
    static inline const T empty_{};
};

struct MappingTables {
    // Configuration, filled once from Kavro.ini.
    int NumOutputs = 0;
    int NumInputs = 0;
    Slots<QString, kOutputSlots> OutName;
    Slots<int, kOutputSlots> OutUnit;
    Slots<int, kOutputSlots> OutChannel;
    Slots<QString, kInputSlots> InName;
    Slots<int, kInputSlots> InUnit;
    Slots<int, kInputSlots> InChannel;

    // The copy of the controller's mappings.
    Slots<QString, kOutputSlots> OutMapString;
    Slots<QString, kOutputSlots> OutMapInput;
    Slots<QString, kOutputSlots> OutBoolText;
    Slots<QString, kOutputSlots> RawMapList;
    int MapStringCount = 0;            // entries of RawMapList in use, from 1
    Slots<int, kOutputSlots> OutTest;  // -1 while the output is held under test
    // A test's command went out unanswered: the rows' test marks may not be the controller's
    // until every test has ended or been cleared (a read-back cannot see a test).
    bool TestMarksUncertain = false;
    int DownloadActive = 0;  // -1 while the whole table is being read back

    // The current mapping record: the last mapping string parsed, or the input last selected.
    MappingRecord Current;
    QString CurrentMapstring;  // built by the last mapping command

    MappingTables();

    // The configured output with the current record's output unit and channel; NumOutputs + 1
    // when none has them. Never 0.
    int FindOutputMapping();
    // The configured input with the current record's input unit and channel (0 is
    // "Unassigned"); NumInputs + 1 when none has them.
    int FindInputSourceMapping();
    // As FindInputSourceMapping for the given pair. The lowest index wins.
    int SearchInputList(int unit, int channel) const;
    // Forgets the mapping of every output 0 .. NumOutputs.
    void ClearLocalMaps();

    bool IsConfiguredOutput(int output) const { return output >= 1 && output <= NumOutputs; }
    bool IsConfiguredInput(int input) const { return input >= 0 && input <= NumInputs; }
};

}  // namespace vendra
