#include "changes/lamp_state.h"

#include <QJsonArray>
#include <QRegularExpression>
#include <algorithm>

#include "changes/mapping_diff.h"
#include "mapping/mapping_tables.h"

namespace vendra {

namespace {

constexpr int kChannels = 32;
const QLatin1String kDisabledReason("mapping disabled");

QString Phrase(const InputLamp& in, const InputBits& inputs) {
    switch (in.State) {
        case InputState::On:
            return in.Name + QStringLiteral(" on");
        case InputState::Off:
            return in.Name + QStringLiteral(" off");
        case InputState::Unknown:
            return in.Name + (inputs.Silent(in.Unit)
                                  ? QStringLiteral(" unknown: unit %1 does not answer").arg(in.Unit)
                                  : QStringLiteral(" unknown: not read yet"));
        case InputState::NotPolled:
            return in.Name + QStringLiteral(": input not polled");
    }
    return {};
}

// Three-valued AND and OR: a known input that settles the result wins over an unknown one.
LampState Combine(int mode, InputState a, InputState b) {
    auto known = [](InputState s) { return s == InputState::On || s == InputState::Off; };
    if (mode == kAnd) {
        if (a == InputState::Off || b == InputState::Off) return LampState::Dark;
        if (known(a) && known(b)) return LampState::Lit;
        return LampState::Unknown;
    }
    if (a == InputState::On || b == InputState::On) return LampState::Lit;
    if (known(a) && known(b)) return LampState::Dark;
    return LampState::Unknown;
}

// Any mode but single and AND is worked out, and goes out, as OR.
QString OperatorWord(int mode) {
    if (mode == kSingle) return QStringLiteral("single");
    return mode == kAnd ? QStringLiteral("and") : QStringLiteral("or");
}

// An input's state as one word, for scripts.
QString StateWord(InputState s) {
    return s == InputState::NotPolled ? QStringLiteral("unpolled") : StateText(s);
}

QJsonValue Optional(const std::optional<bool>& b) {
    return b ? QJsonValue(*b) : QJsonValue();
}

}  // namespace

QString StateText(InputState s) {
    switch (s) {
        case InputState::On:
            return QStringLiteral("on");
        case InputState::Off:
            return QStringLiteral("off");
        case InputState::Unknown:
            return QStringLiteral("unknown");
        case InputState::NotPolled:
            return QStringLiteral("not polled");
    }
    return {};
}

QString StateText(LampState s) {
    switch (s) {
        case LampState::Dark:
            return QStringLiteral("dark");
        case LampState::Lit:
            return QStringLiteral("lit");
        case LampState::Unknown:
            return QStringLiteral("unknown");
    }
    return {};
}

void InputBits::SetPolled(const QList<int>& units) {
    std::map<int, Reading> kept;
    for (int u : units)
        kept[u] = units_.count(u) ? units_[u] : Reading{};
    units_ = std::move(kept);
}

bool InputBits::Set(int unit, std::optional<quint32> bits) {
    const auto it = units_.find(unit);
    if (it == units_.end()) return false;
    const bool changed = !it->second.asked || it->second.bits != bits;
    it->second = {true, bits};
    return changed;
}

InputState InputBits::State(int unit, int channel) const {
    const auto it = units_.find(unit);
    if (it == units_.end() || channel < 1 || channel > kChannels) return InputState::NotPolled;
    if (!it->second.bits) return InputState::Unknown;
    return (*it->second.bits >> (channel - 1)) & 1u ? InputState::On : InputState::Off;
}

bool InputBits::Silent(int unit) const {
    const auto it = units_.find(unit);
    return it != units_.end() && it->second.asked && !it->second.bits;
}

bool InputBits::AllAsked() const {
    return std::all_of(units_.begin(), units_.end(), [](const auto& u) { return u.second.asked; });
}

QList<int> InputBits::SilentUnits() const {
    QList<int> silent;
    for (const auto& [unit, reading] : units_)
        if (reading.asked && !reading.bits) silent.append(unit);
    return silent;
}

LampRow ComputeLamp(const MappingTables& tables, int output, const InputBits& inputs) {
    LampRow row;
    row.Output = output;
    row.Name = tables.OutName[output];
    row.Unit = tables.OutUnit[output];
    row.Channel = tables.OutChannel[output];
    const QString& map = tables.OutMapString[output];
    const Drive d = DriveOf(map);
    row.Mapping = InputsByName(map, tables);
    auto input = [&](int unit, int channel) {
        return InputLamp{InputName(tables, unit, channel), unit, channel,
                         inputs.State(unit, channel)};
    };
    if (d.Mapped) {
        row.Inputs.append(input(d.InUnit, d.InChannel));
        if (d.Mode != kSingle) row.Inputs.append(input(d.BoolUnit, d.BoolChannel));
        row.Operator = OperatorWord(d.Mode);
        row.Enabled = ParseGetMap(map).MapEnable != 0;
    }
    if (tables.OutTest[output] == -1) {
        row.UnderTest = true;
        row.Lamp = LampState::Lit;
        row.Reason = QStringLiteral("under test");
    } else if (!d.Mapped) {
        row.Reason = QStringLiteral("no input");
    } else if (row.Enabled == false) {
        row.Reason = kDisabledReason;
    } else {
        QStringList phrases;
        for (const InputLamp& in : row.Inputs)
            phrases.append(Phrase(in, inputs));
        row.Reason = phrases.join(QStringLiteral(", "));
        const InputState a = row.Inputs[0].State;
        if (d.Mode != kSingle)
            row.Lamp = Combine(d.Mode, a, row.Inputs[1].State);
        else
            row.Lamp = a == InputState::On    ? LampState::Lit
                       : a == InputState::Off ? LampState::Dark
                                              : LampState::Unknown;
    }
    return row;
}

QList<LampRow> ComputeLamps(const MappingTables& tables, const InputBits& inputs) {
    QList<LampRow> rows;
    rows.reserve(tables.NumOutputs);
    for (int o = 1; o <= tables.NumOutputs; ++o)
        rows.append(ComputeLamp(tables, o, inputs));
    return rows;
}

namespace {

// The units (above 0) of the first `count` configured slots, each once, in ascending order.
template <typename Units>
QList<int> DistinctUnits(const Units& unitOf, int count) {
    QList<int> units;
    for (int i = 1; i <= count; ++i)
        if (unitOf[i] > 0 && !units.contains(unitOf[i])) units.append(unitOf[i]);
    std::sort(units.begin(), units.end());
    return units;
}

}  // namespace

QList<int> UnitsWithInputs(const MappingTables& tables) {
    return DistinctUnits(tables.InUnit, tables.NumInputs);
}

std::optional<int> OutputsOnInStatus(const QString& statusLine) {
    static const QRegularExpression kOut(QStringLiteral("\\bOUT\\s+(\\d+)"));
    const QRegularExpressionMatch m = kOut.match(statusLine);
    if (!m.hasMatch()) return std::nullopt;
    return m.captured(1).toInt();
}

// "1 output on", "3 outputs on".
QString OutputsOn(int n) {
    return QStringLiteral("%1 output%2 on").arg(n).arg(n == 1 ? "" : "s");
}

void SettleWithUnitCount(QList<LampRow>& rows, int unit, int reportedOn) {
    int canLight = 0;
    QList<LampRow*> dark;
    QList<LampRow*> disabled;
    for (LampRow& r : rows) {
        if (r.Unit != unit) continue;
        if (r.Lamp != LampState::Dark) {
            ++canLight;
            continue;
        }
        dark.append(&r);
        if (r.Reason == kDisabledReason) disabled.append(&r);
    }
    const int unexplained = reportedOn - canLight;
    if (unexplained <= 0) return;
    if (unexplained == disabled.size()) {
        for (LampRow* r : disabled) {
            r->Lamp = LampState::Lit;
            r->UnderTest = true;
            r->Reason = QStringLiteral(
                            "forced on: its mapping is disabled, and unit %1 reports %2 "
                            "(an output test left on)")
                            .arg(unit)
                            .arg(OutputsOn(reportedOn));
        }
        return;
    }
    for (LampRow* r : dark) {
        r->Lamp = LampState::Unknown;
        r->Reason += QStringLiteral(
                         "; unit %1 reports %2, %3 more than its mappings light (an "
                         "output test left on?)")
                         .arg(unit)
                         .arg(OutputsOn(reportedOn))
                         .arg(unexplained);
    }
}

QList<int> UnitsWithOutputs(const MappingTables& tables) {
    return DistinctUnits(tables.OutUnit, tables.NumOutputs);
}

namespace {

QList<LampRow> RowsOfUnit(const QList<LampRow>& rows, int unit) {
    QList<LampRow> of;
    for (const LampRow& r : rows)
        if (r.Unit == unit) of.append(r);
    return of;
}

// The unit's outputs that the mappings may light (lit or unknown), as SettleWithUnitCount counts.
int MayLight(const QList<LampRow>& rows, int unit) {
    return int(std::count_if(rows.begin(), rows.end(), [unit](const LampRow& r) {
        return r.Unit == unit && r.Lamp != LampState::Dark;
    }));
}

}  // namespace

void UnitCounts::Reset(const QList<int>& units) {
    pending_.clear();
    beyond_.clear();
    readThisCycle_.clear();
    units_ = std::set<int>(units.begin(), units.end());
    unchecked_ = units_;
}

void UnitCounts::Read(int unit, const QString& statusLine, const QList<LampRow>& rows) {
    if (!units_.count(unit)) return;
    readThisCycle_.insert(unit);
    const std::optional<int> on = OutputsOnInStatus(statusLine);
    if (!on) {
        pending_.erase(unit);
        beyond_.erase(unit);  // no count: the rows are as the inputs make them
        return;
    }
    pending_[unit] = {*on, RowsOfUnit(rows, unit)};
}

void UnitCounts::Confirm(const QList<LampRow>& rows) {
    for (int unit : readThisCycle_)
        unchecked_.erase(unit);
    readThisCycle_.clear();
    for (const auto& [unit, read] : pending_)
        if (read.rowsThen == RowsOfUnit(rows, unit))
            beyond_[unit] = read.on - MayLight(read.rowsThen, unit);
    pending_.clear();
}

QList<LampRow> UnitCounts::Settle(QList<LampRow> rows) const {
    // The unit would report what the mappings light now and what is forced on besides.
    for (const auto& [unit, beyond] : beyond_)
        SettleWithUnitCount(rows, unit, MayLight(rows, unit) + beyond);
    for (LampRow& r : rows) {
        if (r.Lamp != LampState::Dark || !unchecked_.count(r.Unit)) continue;
        r.Lamp = LampState::Unknown;
        r.Reason += QStringLiteral("; unit %1's count of outputs on not read yet").arg(r.Unit);
    }
    return rows;
}

QJsonObject LampJson(const LampRow& row) {
    QJsonArray inputs;
    for (const InputLamp& in : row.Inputs)
        inputs.append(QJsonObject{{"name", in.Name},
                                  {"unit", in.Unit},
                                  {"channel", in.Channel},
                                  {"state", StateWord(in.State)}});
    return {{"output", row.Output},
            {"name", row.Name},
            {"unit", row.Unit},
            {"channel", row.Channel},
            {"lit", row.Lamp == LampState::Unknown ? QJsonValue() : row.Lamp == LampState::Lit},
            {"lamp", StateText(row.Lamp)},
            {"mapping", row.Mapping},
            {"operator", row.Operator.isEmpty() ? QJsonValue() : QJsonValue(row.Operator)},
            {"enabled", Optional(row.Enabled)},
            {"underTest", row.UnderTest},
            {"reason", row.Reason},
            {"inputs", inputs}};
}

QString LampLine(const LampRow& row) {
    return QStringList{QString::number(row.Output),
                       row.Name,
                       QString::number(row.Unit),
                       QString::number(row.Channel),
                       StateText(row.Lamp),
                       row.Mapping,
                       row.Reason}
        .join(u'\t');
}

}  // namespace vendra
