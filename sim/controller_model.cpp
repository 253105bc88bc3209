#include "sim/controller_model.h"

#include <QFile>
#include <algorithm>
#include <bit>
#include <limits>
#include <optional>

#include "platform/numbers.h"

namespace vendra {

namespace {

const QByteArray kCrLf = "\r\n";
const QByteArray kOk = "OK";

// Error lines carry no digits and no ".": the console counts every "0"/"1" of a reply as a bit
// and ends a reply at its first ".".
const QByteArray kErrUnknown = "ERR UNKNOWN COMMAND";
const QByteArray kErrArgs = "ERR BAD ARGUMENTS";
const QByteArray kErrNoMap = "ERR NO MAP";
const QByteArray kErrFull = "ERR TABLE FULL";
const QByteArray kErrOutput = "ERR BAD OUTPUT";
const QByteArray kErrUnit = "ERR BAD UNIT";
const QByteArray kErrTooLong = "ERR LINE TOO LONG";
const QByteArray kErrRefused = "ERR REFUSED";

// Stands in for a reply scrambled on the line: no "." in it, so the console never sees an end.
const QByteArray kGarbage("\xFF\x00\xFE\x81\x00\x13\xFF\x7F\x00\xC3", 10);
// Line noise that leaves a reply readable: no terminator, line end, bracket, digit or blank.
const QByteArray kNoise("\x00\xFF\x81\x7F\xFE\x01\x1B\xC3", 8);
// The Flood fault's text, repeated: printable, but never a line end or the terminator.
const QByteArray kFloodPattern = "FLOOD-0123456789-ABCDEFGHIJKLMNOPQRSTUVWXYZ ";

QByteArray Number(int n) {
    return QByteArray::number(n);
}

// Command arguments: whole numbers within the controller's 16-bit range.
std::optional<std::vector<int>> Arguments(const QList<QByteArray>& words, qsizetype count) {
    if (words.size() != count + 1) return std::nullopt;
    std::vector<int> values;
    for (qsizetype i = 1; i < words.size(); ++i) {
        bool ok = false;
        const int v = words[i].toInt(&ok, 10);
        if (!ok || v < std::numeric_limits<qint16>::min() || v > std::numeric_limits<qint16>::max())
            return std::nullopt;
        values.push_back(v);
    }
    return values;
}

// The command word and its numbers. Numbers come in the console's sign-column form: a blank
// before a number of 0 or more, a minus sign alone before a negative one, so "Map 1 3-2-7" is
// Map 1 3 -2 -7 and "Map-5 3 2 7" is Map -5 3 2 7.
QList<QByteArray> Words(const QByteArray& line) {
    QList<QByteArray> words;
    for (const QByteArray& piece : line.simplified().split(' ')) {
        qsizetype start = 0;
        for (qsizetype i = 1; i < piece.size(); ++i) {
            if (piece[i] != '-') continue;
            words.append(piece.mid(start, i - start));
            start = i;
        }
        words.append(piece.mid(start));
    }
    return words;
}

QByteArray WithoutCarriageReturns(const QByteArray& line) {
    QByteArray out = line;
    out.replace('\r', QByteArray());
    return out;
}

// A reply line never carries the terminator or a line end of its own.
QByteArray ReplySafe(const QByteArray& text) {
    QByteArray out;
    for (char ch : text)
        if (ch != '.' && ch != '\r' && ch != '\n') out += ch;
    return out;
}

bool IsHole(const SimEntry& e) {
    return e.OutUnit == 0;
}

}  // namespace

ControllerModel::ControllerModel() = default;

QByteArray ControllerModel::Feed(const QByteArray& bytes) {
    QByteArray answer;
    for (char ch : bytes) {
        if (ch == '\n') {
            const QByteArray line = pending_;
            const bool overlong = overlong_;
            pending_.clear();
            overlong_ = false;
            answer += Answer(line, overlong);
        } else if (ch == '\r') {
            continue;
        } else if (pending_.size() < kMaxLine) {
            pending_ += ch;
        } else {
            overlong_ = true;
        }
    }
    return answer;
}

QByteArray ControllerModel::Receive(const QByteArray& line) {
    const QByteArray clean = WithoutCarriageReturns(line);
    if (clean.size() > kMaxLine) return Answer(clean.left(kMaxLine), true);
    return Answer(clean, false);
}

QByteArray ControllerModel::Answer(const QByteArray& line, bool overlong) {
    log_.append(QString::fromLatin1(line));

    QByteArray reply;
    bool hasReply = true;
    const QList<QByteArray> words = Words(line);
    if (overlong) {
        reply = kErrTooLong;
    } else if (words.size() == 1 && words[0].isEmpty()) {
        hasReply = false;
    } else if (refused_.count(line.simplified().toLower())) {
        reply = kErrRefused;
    } else if (ignored_.count(line.simplified().toLower())) {
        reply = kOk;
    } else {
        reply = Execute(words);
    }

    if (answerLimit_ == 0) return {};
    if (answerLimit_ > 0) --answerLimit_;

    switch (FaultForNextLine()) {
        case SimFault::None:
            return Frame(line, reply, hasReply);
        case SimFault::Silent:
            return {};
        case SimFault::NoTerminator: {
            QByteArray framed = Frame(line, reply, hasReply);
            framed.chop(1);
            return framed;
        }
        case SimFault::DotInReply:
            if (hasReply) {
                // The version keeps its "MAIN" whole, as a controller that writes "MAIN.V8" would.
                const qsizetype at =
                    reply.startsWith("MAIN") ? 4 : qMin<qsizetype>(1, reply.size());
                reply.insert(at, '.');
            }
            return Frame(line, reply, hasReply);
        case SimFault::Garbage:
            return kGarbage;
        case SimFault::Flood: {
            QByteArray flood = line + kCrLf;
            flood.reserve(flood.size() + kFloodBytes);
            while (flood.size() < line.size() + 2 + kFloodBytes)
                flood += kFloodPattern;
            flood.truncate(line.size() + 2 + kFloodBytes);
            return flood;
        }
        case SimFault::Noise:
            // Between the first two fields of a mapping string, so that every field still
            // reads whole; at the end of a line without fields; in the echo of a line without
            // a reply.
            if (hasReply) {
                const qsizetype close = reply.indexOf(']');
                reply.insert(close < 0 ? reply.size() : close + 1, kNoise);
                return Frame(line, reply, hasReply);
            }
            return Frame(line + kNoise, reply, hasReply);
        case SimFault::BareEnd:
            if (words[0].toLower() == "rawmap" && reply == MappingString(SimEntry{})) return ".";
            return Frame(line, reply, hasReply);
        case SimFault::CrOnly:
            return Frame(line, reply, hasReply, "\r");
    }
    return {};
}

SimFault ControllerModel::FaultForNextLine() {
    if (fault_ == SimFault::None) return SimFault::None;
    if (faultAfter_ > 0) {
        --faultAfter_;
        return SimFault::None;
    }
    if (faultLines_ == 0) return SimFault::None;
    if (faultLines_ > 0) --faultLines_;
    return fault_;
}

QByteArray ControllerModel::Frame(const QByteArray& echo, const QByteArray& reply, bool hasReply,
                                  const QByteArray& lineEnd) const {
    QByteArray out = echo + lineEnd;
    if (hasReply) out += reply + lineEnd;
    return out + '.';
}

QByteArray ControllerModel::Execute(const QList<QByteArray>& words) {
    const QByteArray word = words[0].toLower();

    // Commands without arguments.
    if (word == "ver" || word == "comp" || word == "init" || word == "refresh") {
        if (words.size() != 1) return kErrArgs;
        if (word == "ver") return ReplySafe(versionText_);
        if (word == "comp") {
            std::erase_if(table_, IsHole);
        } else if (word == "init") {
            table_.clear();
            disabled_.clear();
            forcedOn_.clear();
            enabledUnits_.clear();
        } else {
            // Ends every output test: forced outputs go off and disabled entries drive again.
            forcedOn_.clear();
            disabled_.clear();
        }
        return kOk;
    }

    // Commands on one unit.
    if (word == "uenable" || word == "bits" || word == "gstat" || word == "rawmap") {
        const auto args = Arguments(words, 1);
        if (!args) return kErrArgs;
        const int n = (*args)[0];
        if (word == "rawmap") {
            if (n < 1 || n > static_cast<int>(table_.size())) return MappingString(SimEntry{});
            return MappingString(table_[static_cast<size_t>(n - 1)]);
        }
        if (n < 1) return kErrUnit;
        if (word == "uenable") {
            enabledUnits_.insert(n);
            return kOk;
        }
        if (word == "bits") {
            const quint32 bits = InputBits(n);
            QByteArray text;
            for (int bit = 31; bit >= 0; --bit) {
                text += (bits >> bit) & 1u ? '1' : '0';
                if (bit % 4 == 0 && bit != 0) text += ' ';
            }
            return text;
        }
        // GSTAT: counts of active inputs and of lit outputs on the unit.
        std::set<int> channels;
        for (const SimEntry& e : table_)
            if (e.OutUnit == n) channels.insert(e.OutChannel);
        for (const auto& [u, c] : forcedOn_)
            if (u == n) channels.insert(c);
        int lit = 0;
        for (int c : channels)
            lit += IsOutputOn(n, c) ? 1 : 0;
        const int active = std::popcount(InputBits(n));
        return "UNIT " + Number(n) + (enabledUnits_.count(n) ? " OK" : " OFF") + " IN " +
               Number(active).rightJustified(4, '0') + " OUT " + Number(lit).rightJustified(4, '0');
    }

    // Commands on one output.
    if (word == "clrmap" || word == "getmap" || word == "res" || word == "set" ||
        word == "mapdisab" || word == "mapenab") {
        const auto args = Arguments(words, 2);
        if (!args) return kErrArgs;
        const std::pair<int, int> out{(*args)[0], (*args)[1]};
        if (word == "getmap") {
            const auto it = FindEntry(out.first, out.second);
            if (it != table_.end()) return MappingString(*it);
            SimEntry unmapped;
            unmapped.OutUnit = out.first;
            unmapped.OutChannel = out.second;
            return MappingString(unmapped);
        }
        if (word == "clrmap") {
            for (SimEntry& e : table_)
                if (!IsHole(e) && e.OutUnit == out.first && e.OutChannel == out.second) e = {};
        } else if (word == "res") {
            forcedOn_.erase(out);
        } else if (word == "set") {
            forcedOn_.insert(out);
        } else if (word == "mapdisab") {
            disabled_.insert(out);
        } else {
            disabled_.erase(out);
        }
        return kOk;
    }

    // Commands that set a mapping.
    if (word == "map" || word == "and" || word == "or") {
        const auto args = Arguments(words, 4);
        if (!args) return kErrArgs;
        const auto& a = *args;
        if (a[0] < 1) return kErrOutput;
        bool found = false;
        for (SimEntry& e : table_) {
            if (IsHole(e) || e.OutUnit != a[0] || e.OutChannel != a[1]) continue;
            found = true;
            if (word == "map") {
                e.InUnit = a[2];
                e.InChannel = a[3];
                e.Enable = 1;
                e.BoolUnit = 0;
                e.BoolChannel = 0;
                e.Mode = 0;
            } else {
                e.BoolUnit = a[2];
                e.BoolChannel = a[3];
                e.Mode = word == "and" ? 1 : 2;
            }
        }
        if (word != "map") return found ? kOk : kErrNoMap;
        if (!found) {
            if (static_cast<int>(table_.size()) >= kMaxEntries) return kErrFull;
            table_.push_back({a[0], a[1], a[2], a[3], 1, 0, 0, 0});
        }
        disabled_.erase({a[0], a[1]});
        return kOk;
    }

    return kErrUnknown;
}

std::vector<SimEntry>::iterator ControllerModel::FindEntry(int unit, int channel) {
    return std::find_if(table_.begin(), table_.end(), [&](const SimEntry& e) {
        return !IsHole(e) && e.OutUnit == unit && e.OutChannel == channel;
    });
}

std::vector<SimEntry>::const_iterator ControllerModel::FindEntry(int unit, int channel) const {
    return std::find_if(table_.begin(), table_.end(), [&](const SimEntry& e) {
        return !IsHole(e) && e.OutUnit == unit && e.OutChannel == channel;
    });
}

QByteArray ControllerModel::MappingString(const SimEntry& e) const {
    // A disabled entry reports itself disabled until "MapEnab" lets it drive again.
    const int enable = disabled_.count({e.OutUnit, e.OutChannel}) && !IsHole(e) ? 0 : e.Enable;
    QByteArray s;
    for (int v : {e.OutUnit, e.OutChannel, e.InUnit, e.InChannel, enable, e.BoolUnit, e.BoolChannel,
                  e.Mode})
        s += '[' + Number(v) + ']';
    return s;
}

bool ControllerModel::LoadTallyFile(const QString& path, QString* error) {
    auto fail = [&](const QString& why) {
        if (error) *error = why;
        return false;
    };
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("cannot read %1: %2").arg(path, file.errorString()));
    // Anything larger cannot be a table of at most kMaxEntries short lines.
    constexpr qint64 kMaxFileBytes = 1024 * 1024;
    if (file.size() > kMaxFileBytes)
        return fail(QStringLiteral("%1 is too large for a tally matrix file").arg(path));
    const QList<QByteArray> lines = file.readAll().split('\n');

    // Read the whole file first, so that a bad line leaves the table as it was.
    QStringList strings;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString line = QString::fromLatin1(lines[i]).trimmed();
        if (line.isEmpty()) continue;
        if (!line.contains(QLatin1Char('[')))
            return fail(QStringLiteral("%1, line %2: not a mapping string: %3")
                            .arg(path)
                            .arg(i + 1)
                            .arg(line.left(40)));
        strings.append(line);
    }
    if (table_.size() + static_cast<size_t>(strings.size()) > static_cast<size_t>(kMaxEntries))
        return fail(QStringLiteral("%1 holds %2 mappings; the table has room for %3")
                        .arg(path)
                        .arg(strings.size())
                        .arg(kMaxEntries - static_cast<int>(table_.size())));
    for (const QString& s : strings)
        AddMappingString(s);
    return true;
}

void ControllerModel::AddMappingString(const QString& text) {
    // Each "[" opens a field read from the (at most) three characters after it; missing fields
    // are 0 and fields past the eighth are ignored.
    int fields[8] = {};
    int k = 0;
    for (qsizetype i = 0; i < text.size() && k < 8; ++i) {
        if (text[i] != QLatin1Char('[')) continue;
        fields[k++] = static_cast<int>(RoundHalfEven(ReadNumber(QStringView(text).mid(i + 1, 3))));
    }
    table_.push_back(
        {fields[0], fields[1], fields[2], fields[3], fields[4], fields[5], fields[6], fields[7]});
}

quint32 ControllerModel::InputBits(int unit) const {
    const auto it = inputBits_.find(unit);
    return it == inputBits_.end() ? 0u : it->second;
}

bool ControllerModel::InputActive(int unit, int channel) const {
    if (unit == 0 || channel < 1 || channel > 32) return false;
    return (InputBits(unit) >> (channel - 1)) & 1u;
}

bool ControllerModel::IsForcedOn(int unit, int channel) const {
    return forcedOn_.count({unit, channel}) != 0;
}

bool ControllerModel::IsEntryEnabled(int unit, int channel) const {
    const auto it = FindEntry(unit, channel);
    return it != table_.end() && it->Enable != 0 && !disabled_.count({unit, channel});
}

bool ControllerModel::IsOutputOn(int unit, int channel) const {
    if (IsForcedOn(unit, channel)) return true;
    if (!IsEntryEnabled(unit, channel)) return false;
    const SimEntry& e = *FindEntry(unit, channel);
    const bool first = InputActive(e.InUnit, e.InChannel);
    const bool second = InputActive(e.BoolUnit, e.BoolChannel);
    switch (e.Mode) {
        case 1:
            return first && second;
        case 2:
            return first || second;
        default:
            return first;
    }
}

}  // namespace vendra
