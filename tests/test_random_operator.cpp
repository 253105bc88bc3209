// The random operator: a model-based test of the console session. Each step is one operation of
// the operator (map, AND/OR, clear, "Clear All", "Refresh", load, restore, save, a test tap, the
// latch, apply changes only, undo, redo, a raw command, offline and back, another program
// changing the controller) under a fault of the controller (lines refused with "ERR", silence,
// replies cut short, the line gone and back, slow replies). After every step each claim of the
// session is held against the controller model: the rows, the outputs under test, the journal,
// every success it reports, undo and redo. RapidCheck shrinks a failure to the shortest list of
// steps that still fails.
//
// A fixed seed runs a few thousand steps; VENDRA_OPERATOR_SEED and VENDRA_OPERATOR_STEPS make a
// campaign of another seed and length (scripts/soak).
#include <rapidcheck.h>
#include <rapidcheck/detail/TestMetadata.h>
#include <rapidcheck/state.h>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QtTest>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <utility>

#include "changes/journal.h"
#include "changes/mapping_diff.h"
#include "config/kavro_config.h"
#include "config/tally_file.h"
#include "mapping/mapping_tables.h"
#include "platform/dialogs.h"
#include "platform/ini_file.h"
#include "session/console_session.h"
#include "session/undo_history.h"
#include "support/model_port.h"
#include "support/session_rig.h"
#include "widgets/captions.h"

using namespace vendra;

namespace {

using Address = std::pair<int, int>;

// The model answers at once, so only a silent line waits out the deadline: a short one keeps
// a few thousand steps within seconds.
constexpr int kOperatorDeadlineMs = 10;
constexpr std::uint64_t kFixedSeed = 20240527;
constexpr long kFixedSteps = 3000;

// Four outputs on units 1 and 3 and a spare row (unit 0); inputs on units 2 and 3, one of them
// on a unit below 1. Output 4/9 and input 5/5 are known to no row.
const QString kIni = QStringLiteral(
    "[Vendra]\r\nSystem=Random Operator\r\nCommPort=1\r\nEnabledUnits=1,2,3\r\n"
    "Journal=journal.jsonl\r\n"
    "Output 1=Out 1,1,1\r\nOutput 2=Out 2,1,2\r\nOutput 3=Out 3,1,3\r\nOutput 4=Out 4,3,1\r\n"
    "Output 5=Spare\r\n"
    "Input 1=In 1,2,1\r\nInput 2=In 2,2,2\r\nInput 3=In 3,2,3\r\nInput 4=Low,-2,7\r\n"
    "Input 5=In 5,3,32\r\n");
constexpr int kOutputs = 5;
constexpr int kInputs = 5;
const Address kOutputAddress[] = {{0, 0}, {1, 1}, {1, 2}, {1, 3}, {3, 1}, {0, 0}, {4, 9}};
const Address kInputAddress[] = {{0, 0}, {2, 1}, {2, 2}, {2, 3}, {-2, 7}, {3, 32}, {5, 5}};

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}
std::string S(const QString& s) {
    return s.toStdString();
}

// ---------------------------------------------------------------------------------------------
// What drives an output: its entry's inputs, how they combine and whether it is enabled.

struct Held {
    bool present = false;
    int inUnit = 0, inChannel = 0;
    bool enabled = false;
    int mode = kSingle;
    int boolUnit = 0, boolChannel = 0;

    static Held Of(const MappingRecord& m, bool enabled) {
        Held h{true, m.InUnit, m.InChannel, enabled};
        if (m.BooleanMode != kSingle) {
            h.mode = m.BooleanMode == kAnd ? kAnd : kOr;
            h.boolUnit = m.BooleanInUnit;
            h.boolChannel = m.BooleanInChannel;
        }
        return h;
    }
    static Held Of(const QString& mapping) {
        if (CountFields(mapping) == 0) return {};
        return Of(ParseGetMap(mapping), ParseGetMap(mapping).MapEnable != 0);
    }
    bool SameIgnoringEnable(const Held& o) const {
        Held a = *this, b = o;
        a.enabled = b.enabled = false;
        return a == b;
    }
    QString Text() const {
        if (!present) return QStringLiteral("unmapped");
        QString t = QStringLiteral("%1/%2").arg(inUnit).arg(inChannel);
        if (mode != kSingle)
            t += QStringLiteral(" %1 %2/%3")
                     .arg(mode == kAnd ? QStringLiteral("AND") : QStringLiteral("OR"))
                     .arg(boolUnit)
                     .arg(boolChannel);
        return t + (enabled ? QString() : QStringLiteral(" disabled"));
    }
    friend bool operator==(const Held&, const Held&) = default;
};

using Table = std::map<Address, Held>;

QString AddressText(const Address& a) {
    return QStringLiteral("%1/%2").arg(a.first).arg(a.second);
}

// What the controller model answers for each output: its entries, enabled as it reports them.
Table ModelTable(const ControllerModel& model) {
    Table t;
    for (const SimEntry& e : model.Table()) {
        if (e.OutUnit == 0 || t.count({e.OutUnit, e.OutChannel})) continue;
        const MappingRecord m{e.OutUnit, e.OutChannel, e.InUnit,      e.InChannel,
                              e.Enable,  e.BoolUnit,   e.BoolChannel, e.Mode};
        t[{e.OutUnit, e.OutChannel}] = Held::Of(m, model.IsEntryEnabled(e.OutUnit, e.OutChannel));
    }
    return t;
}

Held At(const Table& t, const Address& a) {
    const auto it = t.find(a);
    return it == t.end() ? Held{} : it->second;
}

Table TableOf(const QStringList& lines) {
    Table t;
    for (const QString& line : lines) {
        const MappingRecord m = ParseGetMap(line);
        t[{m.OutUnit, m.OutChannel}] = Held::Of(line);
    }
    return t;
}

// The addresses whose mapping differs between two tables.
std::set<Address> Differences(const Table& a, const Table& b) {
    std::set<Address> out;
    for (const auto& [k, v] : a)
        if (!(At(b, k) == v)) out.insert(k);
    for (const auto& [k, v] : b)
        if (!(At(a, k) == v)) out.insert(k);
    return out;
}

QString DifferenceText(const Table& want, const Table& got) {
    QStringList lines;
    for (const Address& a : Differences(want, got))
        lines << QStringLiteral("%1 wanted %2, holds %3")
                     .arg(AddressText(a), At(want, a).Text(), At(got, a).Text());
    return lines.join(QStringLiteral("; "));
}

// ---------------------------------------------------------------------------------------------
// The controller's faults, on the lines of one step.

enum class FaultKind { None, Refuse, Silent, Cut, LineGone, Slow };

struct Fault {
    FaultKind kind = FaultKind::None;
    int from = 0;           // the first line of the step it hits (0: the first)
    int lines = 0;          // how many lines it hits
    bool executed = false;  // the line gone: after the controller took the line
};

std::ostream& operator<<(std::ostream& os, const Fault& f) {
    static const char* names[] = {"", "refuse", "silent", "cut", "line gone", "slow"};
    if (f.kind == FaultKind::None) return os;
    os << " [" << names[int(f.kind)];
    if (f.kind == FaultKind::LineGone) os << (f.executed ? " after" : " before") << " taking";
    os << " lines " << f.from + 1 << ".." << f.from + f.lines << "]";
    return os;
}

rc::Gen<Fault> FaultGen() {
    return rc::gen::exec([] {
        Fault f;
        f.kind = *rc::gen::weightedElement<FaultKind>({{12, FaultKind::None},
                                                       {3, FaultKind::Refuse},
                                                       {1, FaultKind::Silent},
                                                       {1, FaultKind::Cut},
                                                       {1, FaultKind::LineGone},
                                                       {1, FaultKind::Slow}});
        if (f.kind == FaultKind::None) return f;
        f.from = *rc::gen::inRange(0, 5);
        f.lines = *rc::gen::element(1, 2, 1000);
        f.executed = *rc::gen::arbitrary<bool>();
        return f;
    });
}

// What became of one line on the wire.
enum class Fate {
    Made,          // the controller carried it out and said so
    Refused,       // it answered an error line and changed nothing
    Lost,          // carried out, but the answer never came whole
    NotDelivered,  // the line went away before the controller read it
};

struct WireLine {
    QString text;
    Fate fate = Fate::Made;
    QString Word() const { return text.section(QLatin1Char(' '), 0, 0, QString::SectionSkipEmpty); }
    // The output a command names, where it names one.
    std::optional<Address> Output() const {
        static const QStringList words = {"Map", "AND",      "OR",      "ClrMap", "Res",
                                          "Set", "mapdisab", "MapEnab", "GetMap"};
        // Numbers go out in sign columns: "Map 1 1-2 7" is 1, 1, -2, 7.
        static const QRegularExpression number(QStringLiteral("[ -]\\d+"));
        QList<int> n;
        for (const auto& m : number.globalMatch(text.mid(Word().size())))
            n << m.captured().trimmed().toInt();
        if (n.size() < 2 || !words.contains(Word(), Qt::CaseInsensitive)) return std::nullopt;
        return Address{n[0], n[1]};
    }
};

QString FateText(Fate f) {
    static const char* names[] = {"made", "refused", "lost", "not delivered"};
    return QString::fromLatin1(names[int(f)]);
}

// The model port, with the step's fault committed on the lines it hits and every line's fate
// kept.
class FaultyPort : public ModelPort {
public:
    FaultyPort(ControllerModel& model) : ModelPort(model) {}

    void Arm(const Fault& f) {
        fault_ = f;
        line_ = 0;
    }
    QList<WireLine> TakeLines() { return std::exchange(lines_, {}); }

    bool Write(const QByteArray& bytes) override {
        if (!IsOpen()) return false;
        const QString text = QString::fromLatin1(bytes).trimmed();
        const bool hit = fault_.kind != FaultKind::None && line_ >= fault_.from &&
                         line_ < fault_.from + fault_.lines;
        ++line_;
        Fate fate = Fate::Lost;
        switch (hit ? fault_.kind : FaultKind::None) {
            case FaultKind::None:
            case FaultKind::Slow:
                delayMs = hit ? 2 : 0;
                ModelPort::Write(bytes);
                fate = CommandExchange::GetResponse(QString::fromLatin1(Peek(BytesWaiting())))
                               .startsWith(QLatin1String("ERR"))
                           ? Fate::Refused
                           : Fate::Made;
                break;
            case FaultKind::Refuse:
                Inject(bytes.trimmed() + "\r\nERR REFUSED\r\n.");
                Q_EMIT DataReceived();
                fate = Fate::Refused;
                break;
            case FaultKind::Silent:
                ModelPort::Write(bytes);
                Read(BytesWaiting());
                break;
            case FaultKind::Cut: {
                ModelPort::Write(bytes);
                QByteArray answer = Read(BytesWaiting());
                answer.chop(1);
                Inject(answer);
                break;
            }
            case FaultKind::LineGone:
                if (fault_.executed) {
                    ModelPort::Write(bytes);
                    Read(BytesWaiting());
                } else {
                    fate = Fate::NotDelivered;
                }
                Close();
                break;
        }
        lines_.append({text, fate});
        return true;
    }

private:
    Fault fault_;
    int line_ = 0;
    QList<WireLine> lines_;
};

// The operator's answers: every question of one step answered alike, files named per step.
class OperatorDialogs : public Dialogs {
public:
    bool agree = true;
    QString file;
    QStringList titles;  // the boxes of the current action

    Answer Message(const QString&, const QString& title, Buttons buttons, Icon, Answer) override {
        titles << title;
        if (buttons == Buttons::Ok) return Answer::Ok;
        if (buttons == Buttons::YesNo) return agree ? Answer::Yes : Answer::No;
        return agree ? Answer::Ok : Answer::Cancel;
    }
    QString OpenFileName(const QString&, const QString&) override { return file; }
    QString SaveFileName(const QString&, const QString&) override { return file; }
    void Beep() override {}
};

// The live-change flow's questions, answered as the step says.
struct ApplyQuestions : ChangeQuestions {
    bool goOn = true, readBackFirst = true, confirm = true;
    std::function<void()> confirmed;
    bool GoOnWithFindings(const QString&, const FileCheck&) override { return goOn; }
    bool ReadBackFirst() override { return readBackFirst; }
    bool Confirm(const QString&, const QList<PlannedChange>&) override {
        if (confirm && confirmed) confirmed();
        return confirm;
    }
};

// A tally file of a few lines for outputs with a row, the spare row and one without a row.
struct GeneratedFile {
    struct Line {
        int output, first, second, mode;
    };
    std::vector<Line> lines;

    QStringList Text() const {
        QStringList out;
        std::set<Address> seen;
        for (const Line& l : lines) {
            const Address o = kOutputAddress[l.output], i = kInputAddress[l.first],
                          b = kInputAddress[l.second];
            if (!seen.insert(o).second) continue;
            out << QStringLiteral("[%1][%2][%3][%4][1][%5][%6][%7]")
                       .arg(o.first)
                       .arg(o.second)
                       .arg(i.first)
                       .arg(i.second)
                       .arg(l.mode ? b.first : 0)
                       .arg(l.mode ? b.second : 0)
                       .arg(l.mode);
        }
        return out;
    }
};

rc::Gen<GeneratedFile> FileGen() {
    return rc::gen::exec([] {
        GeneratedFile f;
        const int n = *rc::gen::inRange(0, 7);
        for (int i = 0; i < n; ++i)
            f.lines.push_back({*rc::gen::inRange(1, 7), *rc::gen::inRange(1, 7),
                               *rc::gen::inRange(1, 7), *rc::gen::inRange(0, 3)});
        return f;
    });
}

long g_steps = 0;  // steps run, over every case and shrink

// ---------------------------------------------------------------------------------------------
// The system under test: a console session on the controller model, and what the checks keep.

class Operator {
public:
    Operator() {
        QFile ini(dir.filePath(QStringLiteral("Kavro.ini")));
        if (!ini.open(QIODevice::WriteOnly) || ini.write(kIni.toLatin1()) < 0)
            RC_FAIL("cannot write Kavro.ini");
        ini.close();
        for (const char* m :
             {"[1][1][2][1][1][0][0][0]", "[1][3][2][2][1][2][3][2]", "[4][9][3][32][1][0][0][0]"})
            model.AddMappingString(QString::fromLatin1(m));
        IniRead(IniFile(ini.fileName()), tables_, config_, units_);
        auto owned =
            std::make_shared<std::unique_ptr<SerialPort>>(std::make_unique<FaultyPort>(model));
        port = static_cast<FaultyPort*>(owned->get());
        session = std::make_unique<ConsoleSession>(
            dialogs, [owned](const InstallationConfig&) { return std::move(*owned); },
            SessionTimings{kOperatorDeadlineMs, 0, 0});
        FollowErrorLine(*session, session.get(),
                        [this](const ErrorReport& e) { errors << ErrorCaption(e); });
        if (!session->LoadConfiguration(ini.fileName()) || !session->Connect())
            RC_FAIL("the session did not start online");
        journal_ = dir.filePath(QStringLiteral("journal.jsonl"));
        model.ClearLog();
        port->TakeLines();
    }

    QTemporaryDir dir;
    ControllerModel model;
    OperatorDialogs dialogs;
    FaultyPort* port = nullptr;
    std::unique_ptr<ConsoleSession> session;
    QStringList errors;  // the error line's texts during the action

    const MappingTables& T() const { return session->Installation().Tables(); }
    bool Online() const { return session->Link().IsOnline(); }
    Address OutputAt(int o) const { return {T().OutUnit[o], T().OutChannel[o]}; }
    Address InputAt(int i) const { return {T().InUnit[i], T().InChannel[i]}; }
    QString NewPath() { return dir.filePath(QStringLiteral("file%1.vdk").arg(++files_)); }

    QString WriteFile(const GeneratedFile& generated) {
        const QString path = NewPath();
        QFile f(path);
        if (f.open(QIODevice::WriteOnly))
            f.write(generated.Text().join(QStringLiteral("\r\n")).toLatin1() + "\r\n");
        return path;
    }

    // One action: the fault armed, the session driven, then every check. `readBack`: the action
    // ended with a whole read-back that the session calls complete.
    void Begin(const Fault& fault, bool agree = true) {
        ++g_steps;
        port->Arm(fault);
        port->delayMs = 0;
        errors.clear();
        dialogs.titles.clear();
        dialogs.agree = agree;
        onlineBefore_ = Online();
        before_ = ModelTable(model);
    }
    void End(bool readBack = false) {
        lines_ = port->TakeLines();
        entries_ = NewEntries();
        if (readBack)
            stale_ = false;
        else if (!Online() || errors.contains(QStringLiteral("Comm Error!")) ||
                 dialogs.titles.contains(QStringLiteral("Information!")))
            stale_ = true;
        // Changes made offline reached the copy only: back online, the session must say so.
        if (!onlineBefore_ && Online() && !session->Changes().CopyMayBeStale())
            Fail(QStringLiteral("back online, but the copy is called the controller's"));
        CheckRows();
        CheckTests();
        CheckJournal();
    }

    // The copy may differ from the controller: the session has said so.
    bool Excused() const { return stale_ || !Online() || session->Changes().CopyMayBeStale(); }

    // Check 4: the output holds what a success said it holds.
    void ExpectHolds(const Address& a, const Held& want, const QString& claim) {
        const Held held = At(ModelTable(model), a);
        const bool latched = Latched(a);
        if (latched ? held.SameIgnoringEnable(want) : held == want) return;
        Fail(QStringLiteral("%1, but output %2 holds %3, not %4")
                 .arg(claim, AddressText(a), held.Text(), want.Text()));
    }
    void ExpectTable(const QStringList& file, const QString& claim) {
        const Table want = TableOf(file);
        Table held = ModelTable(model);
        // A test disables its output's mapping while it lasts: that is the test's, not the table's.
        for (int o = 1; o <= kOutputs; ++o) {
            const auto it = held.find(OutputAt(o));
            if (T().OutTest[o] == -1 && it != held.end() &&
                At(want, it->first).SameIgnoringEnable(it->second))
                it->second = At(want, it->first);
        }
        if (!Differences(want, held).empty())
            Fail(claim + QStringLiteral(", but the controller differs: ") +
                 DifferenceText(want, held));
    }

    // Undo and redo as the session keeps them: each operation that changed the console's copy
    // is a step, and the outputs it changed.
    struct Step {
        QString name;
        std::set<Address> outputs;
    };
    QList<TallyItem> Copy() const { return session->Changes().ConsoleCopyItems(); }
    void Changed(const QString& name, const QList<TallyItem>& before) {
        QStringList was;
        for (const TallyItem& i : before)
            was << i.Text;
        std::set<Address> outputs;
        for (const OutputComparison& r : CompareMappings(Copy(), was, tables_))
            if (r.Kind != Difference::Same) outputs.insert({r.Unit, r.Channel});
        if (outputs.empty()) return;
        undo_.append({name, outputs});
        if (undo_.size() > UndoHistory::kMaxSteps) undo_.removeFirst();
        redo_.clear();
    }
    // Undo (or redo): only the outputs of the step it takes back change, and "nothing to undo"
    // when there is none.
    void UndoOrRedo(bool undo, bool agree, const Fault& fault) {
        QList<Step>& from = undo ? undo_ : redo_;
        QList<Step>& to = undo ? redo_ : undo_;
        const QString verb = undo ? QStringLiteral("Undo") : QStringLiteral("Redo");
        Begin(fault, agree);
        undo ? session->History().Undo() : session->History().Redo();
        End();
        const QString said = errors.isEmpty() ? QString() : errors.last();
        if (from.isEmpty()) {
            if (said != QStringLiteral("Nothing to %1").arg(verb.toLower()) || !lines_.isEmpty())
                Fail(QStringLiteral("%1 with no step to take: it said \"%2\" and sent %3 lines")
                         .arg(verb, said)
                         .arg(lines_.size()));
            return;
        }
        const Step step = from.last();
        for (const Address& a : Differences(before_, ModelTable(model)))
            if (!step.outputs.count(a))
                Fail(QStringLiteral("%1 of \"%2\" changed output %3, which that step did not")
                         .arg(verb, step.name, AddressText(a)));
        static const QRegularExpression done(
            QStringLiteral("^(Undo|Redo) \".*\": (.* verified|.* changed \\(offline\\)|the outputs "
                           "already hold that|.* changed since, left alone)(; the copy may have "
                           "lacked others)?$"));
        if (!done.match(said).hasMatch()) return;
        from.removeLast();
        to.append(step);
    }

    bool Latched(const Address& a) const {
        for (int o = 1; o <= kOutputs; ++o)
            if (OutputAt(o) == a && T().OutTest[o] == -1) return true;
        return false;
    }

    [[noreturn]] void Fail(const QString& what) const {
        QStringList wire;
        for (const WireLine& l : lines_)
            wire << QStringLiteral("%1 (%2)").arg(l.text, FateText(l.fate));
        const std::string failure =
            S(what + QStringLiteral("\n    lines: ") + wire.join(QStringLiteral(", ")) +
              QStringLiteral("\n    error line: ") + errors.join(QStringLiteral(" | ")) +
              QStringLiteral("\n    boxes: ") + dialogs.titles.join(QStringLiteral(", ")));
        RC_FAIL(failure);
    }

    // What each check reads of the action.
    bool onlineBefore_ = true;
    Table before_;
    QList<WireLine> lines_;
    QList<JournalEntry> entries_;

private:
    // Check 1: each row shows what the controller holds, unless the session said it may not.
    void CheckRows() const {
        if (Excused()) return;
        const Table held = ModelTable(model);
        for (int o = 1; o <= kOutputs; ++o) {
            const Address a = OutputAt(o);
            const Held row = Held::Of(T().OutMapString[o]);
            const Held there = At(held, a);
            if (T().OutTest[o] == -1 ? row.SameIgnoringEnable(there) : row == there) continue;
            Fail(QStringLiteral("row %1 (%2) shows %3; the controller holds %4")
                     .arg(o)
                     .arg(AddressText(a), row.Text(), there.Text()));
        }
    }

    // Check 2: an output is under test in the controller exactly when the console shows it so.
    void CheckTests() const {
        if (Excused()) return;
        for (int o = 1; o <= kOutputs; ++o) {
            const auto [u, c] = OutputAt(o);
            const bool disabled =
                std::any_of(model.Table().begin(), model.Table().end(), [&](const SimEntry& e) {
                    return e.OutUnit == u && e.OutChannel == c && e.OutUnit != 0 && e.Enable &&
                           !model.IsEntryEnabled(u, c);
                });
            if ((model.IsForcedOn(u, c) || disabled) && T().OutTest[o] != -1)
                Fail(QStringLiteral("output %1 is %2 in the controller, but not under test in the "
                                    "console")
                         .arg(AddressText({u, c}),
                              disabled ? QStringLiteral("disabled") : QStringLiteral("forced on")));
            // And the other way: a row shown under test is a test the controller has.
            if (T().OutTest[o] == -1 && !model.IsForcedOn(u, c) && model.IsEntryEnabled(u, c))
                Fail(QStringLiteral("output %1 is shown under test, but the controller has it "
                                    "neither forced on nor disabled")
                         .arg(AddressText({u, c})));
        }
    }

    // Check 3: every journal entry says what the controller did.
    void CheckJournal() const {
        const Table held = ModelTable(model);
        std::map<Address, int> last;
        for (int i = 0; i < entries_.size(); ++i)
            last[{entries_[i].Unit, entries_[i].Channel}] = i;
        for (int i = 0; i < entries_.size(); ++i) {
            const JournalEntry& e = entries_[i];
            const QString why = JournalFault(e, held, last[{e.Unit, e.Channel}] == i);
            if (!why.isEmpty())
                Fail(QStringLiteral("journal \"%1\" of %2 (%3 -> %4) is \"%5\": %6")
                         .arg(e.Operation,
                              e.HasOutput() ? AddressText({e.Unit, e.Channel})
                                            : QStringLiteral("\"") + e.Command + QLatin1Char('"'),
                              e.Before, e.After, e.Outcome, why));
        }
    }

    // Why the entry's outcome is not what the controller did; empty when it is.
    QString JournalFault(const JournalEntry& e, const Table& held, bool lastOfOutput) const {
        const bool offline = !onlineBefore_ && !Online();
        const bool latch = e.Operation == QStringLiteral("test latch");
        // The lines that decide the change, and every line about its output.
        QList<Fate> deciding, about, refusable;
        for (const WireLine& l : lines_) {
            if (!e.HasOutput()) {
                if (l.text == e.Command.trimmed()) {
                    deciding << l.fate;
                    refusable << l.fate;
                    about << l.fate;
                }
                continue;
            }
            const std::optional<Address> a = l.Output();
            const QString w = l.Word().toLower();
            const bool init = w == QStringLiteral("init") && e.After.isEmpty();
            if (!init && a != Address{e.Unit, e.Channel}) continue;
            about << l.fate;
            const bool decides =
                init || (latch ? w != QStringLiteral("getmap")
                               : QStringList{"map", "and", "or", "clrmap"}.contains(w));
            if (decides) deciding << l.fate;
            // A refused reset ends a change before its mapping line goes out.
            if (decides || w == QStringLiteral("res")) refusable << l.fate;
        }
        auto all = [](const QList<Fate>& f, Fate x) {
            return !f.isEmpty() && std::all_of(f.begin(), f.end(), [x](Fate y) { return y == x; });
        };
        auto any = [](const QList<Fate>& f, std::initializer_list<Fate> xs) {
            return std::any_of(f.begin(), f.end(), [xs](Fate y) {
                return std::find(xs.begin(), xs.end(), y) != xs.end();
            });
        };
        const Address a{e.Unit, e.Channel};
        const bool holdsAfter =
            latch
                ? model.IsForcedOn(e.Unit, e.Channel) == (e.Command == QStringLiteral("latched on"))
                : (Latched(a) ? At(held, a).SameIgnoringEnable(Held::Of(e.After))
                              : At(held, a) == Held::Of(e.After));
        // Offline the copy alone changes; a raw command goes out all the same.
        if (e.Outcome == outcome::kOffline)
            return offline && deciding.isEmpty() ? QString() : QStringLiteral("the line went out");
        if (e.Outcome == outcome::kAnswered || e.Outcome == outcome::kVerified) {
            if (!all(deciding, Fate::Made))
                return QStringLiteral("not every line was carried out and answered");
            // A raw command's "after" is what the controller answered when asked; unknown when
            // it did not answer.
            if (e.HasOutput() && e.AfterKnown && lastOfOutput && !holdsAfter)
                return QStringLiteral("the controller does not hold it");
            return {};
        }
        if (e.Outcome == outcome::kUnverified) {
            if (!all(deciding, Fate::Made))
                return QStringLiteral("not every line was carried out and answered");
            QList<Fate> asked;
            for (const WireLine& l : lines_)
                if (l.Word().toLower() == QStringLiteral("getmap") &&
                    l.Output() == Address{e.Unit, e.Channel})
                    asked << l.fate;
            return any(asked, {Fate::Refused, Fate::Lost, Fate::NotDelivered})
                       ? QString()
                       : QStringLiteral("every question back was answered");
        }
        if (e.Outcome == QStringLiteral("refused"))
            return any(refusable, {Fate::Refused}) ? QString()
                                                   : QStringLiteral("no line was refused");
        if (e.Outcome == outcome::kFailed)
            return any(about, {Fate::Lost, Fate::NotDelivered}) || (e.HasOutput() && !holdsAfter)
                       ? QString()
                       : QStringLiteral("no line went unanswered and the controller holds it");
        return QStringLiteral("no such outcome");
    }

    QList<JournalEntry> NewEntries() {
        QFile f(journal_);
        if (!f.open(QIODevice::ReadOnly) || !f.seek(journalAt_)) return {};
        const QByteArray bytes = f.readAll();
        const qsizetype end = bytes.lastIndexOf('\n') + 1;
        journalAt_ += end;
        QList<JournalEntry> out;
        for (const QByteArray& line : bytes.left(end).split('\n'))
            if (!line.isEmpty()) out << JournalEntry::FromLine(line);
        return out;
    }

    MappingTables tables_;
    InstallationConfig config_;
    EnabledUnits units_;
    QString journal_;
    qint64 journalAt_ = 0;
    int files_ = 0;
    bool stale_ = false;
    QList<Step> undo_, redo_;
};

// ---------------------------------------------------------------------------------------------
// The operations. The model state of the test is the controller model inside the Operator;
// the commands need none of their own.

struct Desk {};
using Command = rc::state::Command<Desk, Operator>;

// Each operation comes with a fault of the controller for its lines.
struct Faulted : Command {
    Fault fault = *FaultGen();
    void show(std::ostream& os) const override {
        Show(os);
        os << fault;
    }
    virtual void Show(std::ostream& os) const = 0;
};

struct MapCmd : Faulted {
    int output = *rc::gen::inRange(1, kOutputs + 1);
    int input = *rc::gen::inRange(0, kInputs + 1);
    void run(const Desk&, Operator& op) const override {
        const QList<TallyItem> before = op.Copy();
        op.Begin(fault);
        const bool ok = op.session->Table().MapOutput(output, input);
        op.End();
        op.Changed(QStringLiteral("map"), before);
        if (!ok || !op.onlineBefore_ || !op.Online()) return;
        const Address in = op.InputAt(input);
        const Held want = input == 0 ? Held{} : Held{true, in.first, in.second, true};
        op.ExpectHolds(op.OutputAt(output), want,
                       QStringLiteral("MapOutput(%1, %2) said it was made").arg(output).arg(input));
    }
    void Show(std::ostream& os) const override {
        if (input == 0)
            os << "clear output " << output;
        else
            os << "map output " << output << " to input " << input;
    }
};

struct BoolCmd : Faulted {
    int output = *rc::gen::inRange(1, kOutputs + 1);
    int first = *rc::gen::inRange(1, kInputs + 1);
    int second = *rc::gen::inRange(1, kInputs + 1);
    BoolOp mode = *rc::gen::element(BoolOp::And, BoolOp::Or);
    void run(const Desk&, Operator& op) const override {
        const QList<TallyItem> before = op.Copy();
        op.Begin(fault);
        const bool ok = op.session->Table().MapOutputBoolean(output, first, second, mode);
        op.End();
        op.Changed(QStringLiteral("AND/OR"), before);
        if (!ok || !op.onlineBefore_ || !op.Online()) return;
        const Held held = At(ModelTable(op.model), op.OutputAt(output));
        if (!held.present || Address{held.inUnit, held.inChannel} != op.InputAt(first))
            op.Fail(QStringLiteral("MapOutputBoolean(%1) said the mapping changed, but the "
                                   "output holds %2")
                        .arg(output)
                        .arg(held.Text()));
    }
    void Show(std::ostream& os) const override {
        os << "map output " << output << " to input " << first
           << (mode == BoolOp::And ? " AND " : " OR ") << second;
    }
};

struct ClearAllCmd : Faulted {
    bool agree = *rc::gen::weightedElement<bool>({{4, true}, {1, false}});
    void run(const Desk&, Operator& op) const override {
        const QList<TallyItem> before = op.Copy();
        op.Begin(fault, agree);
        op.session->Table().ResetAndClearAll();
        op.End();
        op.Changed(QStringLiteral("Clear All"), before);
    }
    void Show(std::ostream& os) const override { os << "Clear All" << (agree ? "" : " (cancel)"); }
};

struct RefreshCmd : Faulted {
    void run(const Desk&, Operator& op) const override {
        if (!op.Online()) return;  // the button is greyed offline
        op.Begin(fault);
        const ReadBackResult r = op.session->Table().Refresh();
        op.End(r.Complete());
    }
    void Show(std::ostream& os) const override { os << "Refresh"; }
};

struct LoadCmd : Faulted {
    GeneratedFile file = *FileGen();
    bool agree = *rc::gen::weightedElement<bool>({{4, true}, {1, false}});
    void run(const Desk&, Operator& op) const override {
        const QList<TallyItem> before = op.Copy();
        op.dialogs.file = op.WriteFile(file);
        op.Begin(fault, agree);
        op.session->Files().LoadMatrix();
        op.End();
        op.Changed(QStringLiteral("Load"), before);
    }
    void Show(std::ostream& os) const override {
        os << "load {" << S(file.Text().join(QStringLiteral(" "))) << "}";
    }
};

struct RestoreCmd : Faulted {
    GeneratedFile file = *FileGen();
    void run(const Desk&, Operator& op) const override {
        const QString path = op.WriteFile(file);
        op.Begin(fault);
        const RestoreResult r = op.session->Files().Restore(path, ReadTallyItems(path).Items, true);
        op.End();
        if (!op.onlineBefore_ || !op.Online()) return;
        if (r.load == TallyFiles::LoadOutcome::Complete)
            op.ExpectTable(file.Text(), QStringLiteral("the load said every line was applied"));
        if (r.verified && r.verified->Ok())
            op.ExpectTable(file.Text(), QStringLiteral("the restore said it verified"));
    }
    void Show(std::ostream& os) const override {
        os << "restore {" << S(file.Text().join(QStringLiteral(" "))) << "}";
    }
};

struct SaveCmd : Faulted {
    void run(const Desk&, Operator& op) const override {
        const QString path = op.NewPath();
        op.dialogs.file = path;
        op.Begin(fault);
        op.session->Files().SaveMatrix();
        op.End();
        if (!op.Online() || op.session->Changes().CopyMayBeStale() || !QFile::exists(path)) return;
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        QStringList lines;
        for (const QByteArray& l : f.readAll().split('\n'))
            if (!l.trimmed().isEmpty()) lines << QString::fromLatin1(l.trimmed());
        op.ExpectTable(lines, QStringLiteral("an online save wrote a whole table"));
    }
    void Show(std::ostream& os) const override { os << "save"; }
};

// "Test" pressed and released: held under test only in between.
struct TapCmd : Faulted {
    int output = *rc::gen::inRange(1, kOutputs + 1);
    void run(const Desk&, Operator& op) const override {
        if (op.T().OutTest[output] == -1) return;  // latched: the button only releases it
        op.Begin(fault);
        op.session->Tests().TestOn(output);
        op.session->Tests().TestOff(output);
        op.End();
    }
    void Show(std::ostream& os) const override { os << "test tap on output " << output; }
};

struct LatchCmd : Faulted {
    int output = *rc::gen::inRange(1, kOutputs + 1);
    void run(const Desk&, Operator& op) const override {
        op.Begin(fault);
        op.session->Tests().TestLatchChange(output);
        op.End();
    }
    void Show(std::ostream& os) const override { os << "latch output " << output; }
};

struct ApplyCmd : Faulted {
    GeneratedFile file = *FileGen();
    bool verify = *rc::gen::arbitrary<bool>();
    bool fresh = *rc::gen::arbitrary<bool>();
    bool readBackFirst = *rc::gen::arbitrary<bool>();
    bool confirm = *rc::gen::weightedElement<bool>({{4, true}, {1, false}});
    void run(const Desk&, Operator& op) const override {
        const QString path = op.WriteFile(file);
        ApplyQuestions q;
        q.readBackFirst = readBackFirst;
        q.confirm = confirm;
        QList<TallyItem> before;
        bool confirmed = false;
        q.confirmed = [&] {
            before = op.Copy();
            confirmed = true;
        };
        op.Begin(fault);
        const ChangeReport r = op.session->Changes().ApplyChanges(
            {QStringLiteral("file"), path, {}, {}}, {fresh, verify}, q);
        op.End();
        if (confirmed) op.Changed(QStringLiteral("Apply changes only"), before);
        if (r.Holds())
            op.ExpectTable(file.Text(), QStringLiteral("apply changes only said the tally system "
                                                       "holds every mapping"));
    }
    void Show(std::ostream& os) const override {
        os << "apply changes only" << (verify ? "" : " without verifying")
           << (fresh ? " after a read-back" : "") << (readBackFirst ? "" : " (no read-back first)")
           << (confirm ? "" : " (declined)") << " {" << S(file.Text().join(QStringLiteral(" ")))
           << "}";
    }
};

struct UndoCmd : Faulted {
    bool agree = *rc::gen::weightedElement<bool>({{4, true}, {1, false}});
    void run(const Desk&, Operator& op) const override { op.UndoOrRedo(true, agree, fault); }
    void Show(std::ostream& os) const override { os << "undo" << (agree ? "" : " (cancel)"); }
};

struct RedoCmd : Faulted {
    bool agree = *rc::gen::weightedElement<bool>({{4, true}, {1, false}});
    void run(const Desk&, Operator& op) const override { op.UndoOrRedo(false, agree, fault); }
    void Show(std::ostream& os) const override { os << "redo" << (agree ? "" : " (cancel)"); }
};

// Check 5: undo and redo at once leave the controller as it was, or say why not.
struct UndoRedoCmd : Faulted {
    void run(const Desk&, Operator& op) const override {
        const Table was = ModelTable(op.model);
        const bool online = op.Online();
        std::set<Address> latched;
        for (const auto& [a, held] : was)
            if (op.Latched(a)) latched.insert(a);
        op.UndoOrRedo(true, true, fault);
        const QString undone = op.errors.isEmpty() ? QString() : op.errors.last();
        op.UndoOrRedo(false, true, {});
        const QString redone = op.errors.isEmpty() ? QString() : op.errors.last();
        if (!online || !op.Online() || !undone.endsWith(QStringLiteral("verified")) ||
            !redone.endsWith(QStringLiteral("verified")))
            return;
        const Table now = ModelTable(op.model);
        // A latched test owns its output's enable flag; clearing the output ("Res") ends the
        // test, and mapping it again enables it.
        std::set<Address> changed = Differences(was, now);
        std::erase_if(changed, [&](const Address& a) {
            return latched.count(a) && At(was, a).SameIgnoringEnable(At(now, a));
        });
        if (!changed.empty())
            op.Fail(QStringLiteral("undo (\"%1\") then redo (\"%2\") changed the controller: %3")
                        .arg(undone, redone, DifferenceText(was, now)));
    }
    void Show(std::ostream& os) const override { os << "undo, then redo"; }
};

struct RawCmd : Faulted {
    int kind = *rc::gen::inRange(0, 5);
    int output = *rc::gen::inRange(1, 7);
    int input = *rc::gen::inRange(1, 7);
    QString Text() const {
        const Address o = kOutputAddress[output], i = kInputAddress[input];
        switch (kind) {
            case 0:
                return QStringLiteral("Map %1 %2 %3 %4")
                    .arg(o.first)
                    .arg(o.second)
                    .arg(i.first)
                    .arg(i.second);
            case 1:
                return QStringLiteral("ClrMap %1 %2").arg(o.first).arg(o.second);
            case 2:
                return QStringLiteral("OR %1 %2 %3 %4")
                    .arg(o.first)
                    .arg(o.second)
                    .arg(i.first)
                    .arg(i.second);
            case 3:
                return QStringLiteral("VER");
            default:
                return QStringLiteral("Bogus %1").arg(output);
        }
    }
    void run(const Desk&, Operator& op) const override {
        op.Begin(fault);
        op.session->Link().SendRaw(Text(), QStringLiteral("send"));
        op.End();
    }
    void Show(std::ostream& os) const override { os << "raw \"" << S(Text()) << "\""; }
};

struct OnlineCmd : Faulted {
    void run(const Desk&, Operator& op) const override {
        op.Begin(fault);
        op.session->Link().ToggleOnline();
        op.End();
    }
    void Show(std::ostream& os) const override { os << "offline / online"; }
};

// Another program changes the controller behind the console's back; the operator then presses
// "Refresh" (when online).
struct OtherProgramCmd : Faulted {
    int output = *rc::gen::inRange(1, 7);
    int input = *rc::gen::inRange(0, 7);
    void run(const Desk&, Operator& op) const override {
        const Address o = kOutputAddress[output], i = kInputAddress[input];
        op.model.Receive(input == 0
                             ? QStringLiteral("ClrMap %1 %2").arg(o.first).arg(o.second).toLatin1()
                             : QStringLiteral("Map %1 %2 %3 %4")
                                   .arg(o.first)
                                   .arg(o.second)
                                   .arg(i.first)
                                   .arg(i.second)
                                   .toLatin1());
        if (!op.Online()) return;
        op.Begin(fault);
        const ReadBackResult r = op.session->Table().Refresh();
        op.End(r.Complete());
    }
    void Show(std::ostream& os) const override {
        os << "another program " << (input ? "maps" : "clears") << " "
           << S(AddressText(kOutputAddress[output]));
        if (input) os << " to " << S(AddressText(kInputAddress[input]));
        os << ", then Refresh";
    }
};

bool RunCampaign(std::uint64_t seed, long steps, int maxSize, QString* report) {
    const auto started = std::chrono::steady_clock::now();
    g_steps = 0;
    long batch = 0;
    while (g_steps < steps) {
        rc::detail::TestParams params;
        params.seed = seed + static_cast<std::uint64_t>(batch++);
        params.maxSuccess = 100;
        params.maxSize = maxSize;
        const auto result = rc::detail::checkTestable(
            [] {
                Operator op;
                rc::state::check(Desk{}, op,
                                 rc::state::gen::execOneOfWithArgs<
                                     MapCmd, MapCmd, MapCmd, BoolCmd, BoolCmd, ClearAllCmd,
                                     RefreshCmd, RefreshCmd, LoadCmd, RestoreCmd, SaveCmd, TapCmd,
                                     LatchCmd, LatchCmd, ApplyCmd, ApplyCmd, UndoCmd, UndoCmd,
                                     RedoCmd, UndoRedoCmd, RawCmd, OnlineCmd, OtherProgramCmd>());
            },
            rc::detail::TestMetadata{}, params);
        if (result.template is<rc::detail::FailureResult>()) {
            const auto& failure = result.template get<rc::detail::FailureResult>();
            std::ostringstream os;
            os << "seed " << params.seed << " (campaign seed " << seed << ", batch " << batch - 1
               << ") failed after " << failure.numSuccess << " cases:\n"
               << failure.description << "\nshortest list of steps:\n";
            for (const auto& [type, value] : failure.counterExample)
                os << value << "\n";
            *report = Q(os.str());
            return false;
        }
        if (!result.template is<rc::detail::SuccessResult>()) {
            *report = QStringLiteral("RapidCheck gave up or erred with seed %1").arg(params.seed);
            return false;
        }
        // A long campaign says how far it got, so a stopped one still gives its figure.
        if (steps > kFixedSteps)
            std::fprintf(stderr, "%ld steps clean (batch %ld)\n", g_steps, batch - 1);
    }
    const double secs =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    *report = QStringLiteral("%1 steps in %2 s (%3 steps/s), seed %4")
                  .arg(g_steps)
                  .arg(secs, 0, 'f', 1)
                  .arg(g_steps / std::max(secs, 0.001), 0, 'f', 0)
                  .arg(seed);
    return true;
}

}  // namespace

class TestRandomOperator : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void everyClaimHolds() {
        bool ok = false;
        const std::uint64_t seed = qEnvironmentVariable("VENDRA_OPERATOR_SEED").toULongLong(&ok);
        const long steps = qEnvironmentVariable("VENDRA_OPERATOR_STEPS").toLong();
        QString report;
        const bool clean =
            RunCampaign(ok ? seed : kFixedSeed, steps > 0 ? steps : kFixedSteps, 100, &report);
        qInfo().noquote() << report;
        QVERIFY2(clean, qPrintable(report));
    }
};

QTEST_GUILESS_MAIN(TestRandomOperator)
#include "test_random_operator.moc"
