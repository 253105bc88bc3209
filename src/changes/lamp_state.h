#pragma once
// Why a lamp is lit: each configured output's lamp worked out from the console's copy of the
// controller's table and the units' live input bits, with the reason in words. The overview
// window and vendractl both show what this computes.
#include <QJsonObject>
#include <QList>
#include <QString>
#include <map>
#include <optional>
#include <set>

namespace vendra {

struct MappingTables;

enum class InputState { On, Off, Unknown, NotPolled };
enum class LampState { Dark, Lit, Unknown };

// "on", "off", "unknown", "not polled"; "dark", "lit", "unknown".
QString StateText(InputState s);
QString StateText(LampState s);

// The live inputs: the last "BITS" answer of each polled unit. Input channel k is bit k - 1.
class InputBits {
public:
    // The units asked each cycle; their inputs are unknown until they answer. Other units'
    // inputs are not polled.
    void SetPolled(const QList<int>& units);
    // A unit's answer: its 32 bits, or none when it did not answer with 32 bits.
    // True when this changes what the unit's inputs read.
    bool Set(int unit, std::optional<quint32> bits);
    InputState State(int unit, int channel) const;
    // The unit was asked and gave no usable answer (as opposed to not asked yet).
    bool Silent(int unit) const;
    // Every polled unit has been asked at least once.
    bool AllAsked() const;
    // Every polled unit that is silent, ascending.
    QList<int> SilentUnits() const;

private:
    struct Reading {
        bool asked = false;
        std::optional<quint32> bits;
    };
    std::map<int, Reading> units_;
};

struct InputLamp {
    QString Name;  // from Kavro.ini; the address when Kavro.ini lacks the input
    int Unit = 0;
    int Channel = 0;
    InputState State = InputState::NotPolled;
    friend bool operator==(const InputLamp&, const InputLamp&) = default;
};

struct LampRow {
    int Output = 0;  // 1 .. NumOutputs
    QString Name;
    int Unit = 0;
    int Channel = 0;
    LampState Lamp = LampState::Dark;
    QString Mapping;              // the inputs by name: "PGM Cam 1", "A & B", "A || B"; empty: none
    QString Operator;             // "single", "and", "or"; empty when unmapped
    std::optional<bool> Enabled;  // the mapping's enable flag; none when unmapped
    bool UnderTest = false;       // the console tests it, or its unit reports it forced on
    QString Reason;
    QList<InputLamp> Inputs;
    friend bool operator==(const LampRow&, const LampRow&) = default;
};

// One output's lamp. An output the console tests or has latched is lit "under test"; an
// unmapped one is dark with "no input"; one the controller holds disabled, dark with "mapping
// disabled"; otherwise the inputs decide (an unknown input makes the lamp unknown only where
// the other input of an AND or OR cannot settle it).
LampRow ComputeLamp(const MappingTables& tables, int output, const InputBits& inputs);
// Every configured output, in the output list's order.
QList<LampRow> ComputeLamps(const MappingTables& tables, const InputBits& inputs);
// The units that carry a configured input, ascending: the ones worth polling.
QList<int> UnitsWithInputs(const MappingTables& tables);

// How many of its outputs a unit's status line ("UNIT 1 OK IN 0003 OUT 0002") reports on; none
// when the line does not say.
std::optional<int> OutputsOnInStatus(const QString& statusLine);
// Checks the rows of one unit against the number of its outputs the unit itself reports on. The
// table and the inputs cannot see an output forced on: an output test disables the output's
// mapping and sets it on. Where the unit reports more outputs on than the rows can light, the
// rows with a disabled mapping are lit, "forced on", when they account for the difference
// exactly; otherwise every dark row of the unit is unknown, with the count in its reason.
void SettleWithUnitCount(QList<LampRow>& rows, int unit, int reportedOn);
// The units that drive a configured output, ascending: the ones whose status lines settle rows.
QList<int> UnitsWithOutputs(const MappingTables& tables);

// The output units' counts of outputs on, as a poll reads them between its cycles. What a count
// tells is how many outputs are on beyond what the mappings light: outputs forced on, which no
// input change touches. It is worth something only beside the inputs it was read with (an input
// that changed between a cycle's bits and the status line would pass for an output forced on), so
// a count read while the unit's rows were R is taken once the bits read after it still give R, and
// its outputs beyond the mappings then settle the unit's rows, as the inputs change, until the
// unit's next count is taken. Until a unit's first count is taken, its dark lamps are unknown.
class UnitCounts {
public:
    // Starts over for these output units (none: nothing is settled).
    void Reset(const QList<int>& units);
    // A unit's status line, read while `rows` were the lamps (unsettled). A line that gives no
    // count ends what the last one told.
    void Read(int unit, const QString& statusLine, const QList<LampRow>& rows);
    // A cycle of bits ended with these rows (unsettled): each count read before it is taken when
    // they agree with the rows it was read with, and dropped otherwise.
    void Confirm(const QList<LampRow>& rows);
    // Every unit's first status line has been read and checked.
    bool Checked() const { return unchecked_.empty(); }
    // The rows settled with what each unit's last count taken tells.
    QList<LampRow> Settle(QList<LampRow> rows) const;

private:
    struct Reading {
        int on = 0;
        QList<LampRow> rowsThen;  // the unit's rows when the line was read
    };
    std::map<int, Reading> pending_;  // read, not yet checked against the bits after it
    std::map<int, int> beyond_;       // taken: outputs on beyond what the mappings light
    std::set<int> units_;
    std::set<int> unchecked_;  // no count read and checked yet
    std::set<int> readThisCycle_;
};

// The row for scripts: output, name, unit, channel, lit (true, false or null), lamp,
// mapping, operator, enabled, underTest, reason, and inputs (name, unit, channel, state). Every
// word a script compares is one word: an input not polled is "unpolled".
QJsonObject LampJson(const LampRow& row);
// The row on one line, fields separated by tabs: output, name, unit, channel, lamp, mapping,
// reason.
QString LampLine(const LampRow& row);

}  // namespace vendra
