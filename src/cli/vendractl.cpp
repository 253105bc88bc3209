// vendractl: backups, restores and checks of the controller's table from a script, on the same
// session as the console, with no display. The commands and the options are two tables: the
// parser and every help text are made from them, so a new command is added in one place.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>
#include <QThread>
#include <cstdio>
#include <optional>

#include "changes/file_check.h"
#include "changes/journal.h"
#include "changes/live_changes.h"
#include "changes/mapping_diff.h"
#include "cli/cli_support.h"
#include "cli/journal_command.h"
#include "cli/lamps_command.h"
#include "cli/serve_command.h"
#include "config/tally_file.h"
#include "link/unit_status.h"
#include "platform/ini_file.h"
#include "platform/message_text.h"
#include "platform/network_serial_port.h"
#include "platform/numbers.h"
#include "platform/serial_port.h"
#include "platform/version.h"
#include "session/console_session.h"
#include "session/tally_files.h"

namespace vendra {
namespace {

// Exit codes, as the help texts give them.
constexpr int kOk = 0;
constexpr int kFound = 1;  // differences, findings or mismatches
constexpr int kError = 2;
constexpr int kRefusedFile = 3;  // restore: the file's findings, or a damaged file
constexpr int kInterrupted = 130;

const char kExitCodes[] =
    "Exit codes:\n"
    "  0    done and proved: equal, clean, verified, an entry printed\n"
    "  1    differences, findings or mismatches found; no journal entry matched\n"
    "  2    error: no Kavro.ini, line locked, port busy or missing, controller silent,\n"
    "       read-back incomplete, file unreadable, bad arguments\n"
    "  3    restore refused the file: findings of 'check' (without --force), or a\n"
    "       damaged file; nothing was sent\n"
    "  130  stopped by Ctrl+C (143 by SIGTERM); serve ends with 0 on either";

// Every option; `commands` names the commands that take it ("*": every command).
struct OptionSpec {
    const char* names;  // "o,output"
    const char* value;  // the value's name, or "" for a switch
    const char* commands;
    const char* help;
};

const OptionSpec kOptions[] = {
    {"ini", "PATH", "*", "The installation file (default: Kavro.ini beside the program)."},
    {"device", "PATH", "*",
     "The controller's device (or tcp://HOST:PORT), in place of the port Kavro.ini names."},
    {"quiet", "", "*",
     "No progress and no summary on standard error; diff prints nothing at all and answers "
     "by its exit code only."},
    {"h,help", "", "*", "Shows the help."},
    {"o,output", "FILE", "backup",
     "Write the backup to FILE (atomically; a link's target is replaced, a FIFO or device is "
     "written through)."},
    {"changes-only", "", "restore", "Send only the outputs that differ."},
    {"no-verify", "", "restore",
     "Do not ask the controller back. Exit 0 then means only that every command was answered."},
    {"verify", "", "restore", "Ask the controller back (the default)."},
    {"force", "", "restore", "Restore a file with findings (an empty file among them)."},
    {"json", "", "diff,status,lamps,journal", "Print JSON."},
    {"watch", "", "status,lamps", "Poll until Ctrl+C."},
    {"since", "TIME", "journal",
     "Only entries from TIME on (2026-12-09T19:58, 2026-12-09, or 19:58 today)."},
    {"until", "TIME", "journal", "Only entries up to TIME (as --since)."},
    {"output", "N", "journal,lamps",
     "Only output N (its number, unit/channel, or part of its name)."},
    {"n,lines", "N", "journal", "Only the last N matching entries (read from the journal's end)."},
    {"follow", "", "journal",
     "After the entries (the last 10 unless -n says), print each new one as it is written, "
     "until Ctrl+C."},
    {"interval", "MS", "status", "The pause between two polls of --watch (default 200)."},
    {"http", "ADDR:PORT", "serve",
     "Serve the live tally page on ADDR:PORT (PORT alone: 127.0.0.1; 0 as PORT: a free one)."},
};

class Tool;
struct Call {
    Tool& tool;
    const QCommandLineParser& parser;
    QString argument;
    FileCheck check;
    bool Set(const char* name) const { return parser.isSet(QString::fromLatin1(name)); }
    QString Value(const char* name) const { return parser.value(QString::fromLatin1(name)); }
};

// What a command's argument is.
enum class FileArgument {
    None,
    Path,         // a tally file, read and checked before anything else
    PathOrStdin,  // the same, "-" for standard input
};

struct CommandSpec {
    const char* name;
    const char* arguments;
    const char* synopsis;  // the overview's line
    const char* description;
    FileArgument file;  // whether the argument is a tally file, read and checked first
    bool controller;    // talks to the controller
    bool probe;         // asks "VER" first
    int (*run)(Call&);
    // The command's own checks, each an exit code when it refuses: of its argument and options
    // before anything is read, and of the file once it is read and checked.
    std::optional<int> (*checkArgument)(Call&) = nullptr;
    std::optional<int> (*checkFile)(Call&) = nullptr;
};

// The progress bar's word for a phase.
QString PhaseWord(ProgressReport::Phase phase) {
    switch (phase) {
        case ProgressReport::Phase::Reading:
            return QStringLiteral("Downloading");
        case ProgressReport::Phase::Loading:
            return QStringLiteral("Mapping");
        case ProgressReport::Phase::Changing:
            return QStringLiteral("Changing");
        case ProgressReport::Phase::Verifying:
            return QStringLiteral("Verifying");
        case ProgressReport::Phase::Starting:
            break;
    }
    return {};
}

void Out(const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), stdout);
}

// A relative device is taken from the current folder, as every path the tool is given; a bare
// name that is not there is the system's device of that name (/dev/NAME). Either way the
// messages name the path that was opened.
QString DevicePath(const QString& device) {
    if (device.isEmpty() || NetworkSerialPort::Names(device) || QDir::isAbsolutePath(device))
        return device;
    const QString here = QDir::current().absoluteFilePath(device);
    if (QFileInfo::exists(here) || device.contains(u'/')) return QDir::cleanPath(here);
    return QStringLiteral("/dev/") + device;
}

class Tool {
public:
    explicit Tool(bool quiet) : progress_(quiet) {}

    // One clear line on standard error.
    int Fail(const QString& text, int code = kError) {
        progress_.Clear();
        // A stop by SIGTERM reports itself as such, not as Ctrl+C.
        if (code == kInterrupted) code = StopSignal::ExitCode();
        std::fprintf(stderr, "vendractl: %s\n", qPrintable(OneLine(text)));
        return code;
    }
    // A summary, shown only to a person at a terminal.
    void Say(const QString& text) {
        if (!progress_.Shown()) return;
        progress_.Clear();
        std::fprintf(stderr, "vendractl: %s\n", qPrintable(text));
    }

    // Kavro.ini into the session; the port is made but not opened.
    std::optional<int> Configure(const QString& iniPath, const QString& given) {
        const QString device = DevicePath(given);
        PortFactory make = SerialPortFactory();
        if (!device.isEmpty()) {
            make = [device, base = make](const InstallationConfig& c) {
                InstallationConfig changed = c;
                changed.CommDevice = device;
                return base(changed);
            };
        }
        session_ = std::make_unique<ConsoleSession>(dialogs_, make);
        const IniReadResult read = session_->ReadConfiguration(IniFile(iniPath));
        if (!read.Ok()) return Fail(read.Message);
        const auto progress = [this](const ProgressReport& p) { OnProgress(p); };
        QObject::connect(&session_->Table(), &TableOperations::Progressed, progress);
        QObject::connect(&session_->Files(), &TallyFileService::Progressed, progress);
        QObject::connect(&session_->Changes(), &LiveChangeService::Progressed, progress);
        QObject::connect(&stop_, &StopSignal::Stop, [this] { session_->Link().RequestStop(); });
        // The change goes on; the person or the script's log learns it once.
        QObject::connect(&session_->History(), &ChangeHistory::ErrorReported,
                         [this](const ErrorReport& e) { Fail(e.text); });
        return std::nullopt;
    }

    // The line to the controller: its lock, the port and, when asked, the probe.
    std::optional<int> Connect(bool probe) {
        if (!session_->Link().OpenPort())
            return Fail(QStringLiteral("cannot open the port ") + session_->Link().PortFailure() +
                        QStringLiteral("; nothing was sent"));
        if (probe && !session_->Link().GoOnline()) {
            const bool closed = session_->Link().LastReply().Kind == ReplyKind::Closed;
            return Fail(QStringLiteral("%1 the tally controller on %2")
                            .arg(closed ? QStringLiteral("the connection was closed by")
                                        : QStringLiteral("no answer from"),
                                 session_->Link().DeviceName()));
        }
        return std::nullopt;
    }

    ConsoleSession& Session() { return *session_; }
    CliDialogs& Dialogs() { return dialogs_; }
    Progress& Bar() { return progress_; }
    StopSignal& Stops() { return stop_; }
    bool Stopped() const { return StopSignal::Requested(); }

private:
    void OnProgress(const ProgressReport& p) {
        // Between two commands: the place where Ctrl+C takes effect.
        if (StopSignal::Requested()) session_->Link().RequestStop();
        if (p.phase == ProgressReport::Phase::Starting) return;
        progress_.Show(PhaseWord(p.phase), p.done);
    }

    CliDialogs dialogs_;
    std::unique_ptr<ConsoleSession> session_;
    Progress progress_;
    StopSignal stop_;
};

QString IncompleteText(const ReadBackResult& r) {
    switch (r.end) {
        case ReadBackEnd::TableFull:
            return QStringLiteral(
                       "the controller holds more mappings than a tally file can keep; "
                       "only the first %1 were read")
                .arg(MappingCount(r.count));
        case ReadBackEnd::NoAnswer:
            return QStringLiteral("read-back incomplete: the controller stopped answering after %1")
                .arg(MappingCount(r.count));
        case ReadBackEnd::StrangeReply:
            return QStringLiteral(
                       "read-back incomplete: the controller answered something that is no "
                       "mapping after %1")
                .arg(MappingCount(r.count));
        default:
            return QStringLiteral("read-back stopped after %1").arg(MappingCount(r.count));
    }
}

// The findings a restore needs --force for. Outputs and inputs Kavro.ini lacks are the
// controller's all the same: a backup of a controller that maps them restores as it is.
QList<Finding> Blocking(const QList<Finding>& findings) {
    QList<Finding> blocking;
    for (const Finding& f : findings)
        if (f.Kind != FindingKind::UnknownOutput && f.Kind != FindingKind::UnknownInput)
            blocking << f;
    return blocking;
}

QString Who(int output, const QString& name, int unit, int channel) {
    return output ? QStringLiteral("output %1 (%2)").arg(Plain(output), name)
                  : QStringLiteral("unit %1 channel %2").arg(Plain(unit), Plain(channel));
}

int Backup(Call& c) {
    Tool& tool = c.tool;
    const QString output = c.Value("output");
    const TableRead read = tool.Session().Table().ReadWholeTable();
    if (tool.Stopped())
        return tool.Fail(QStringLiteral("interrupted; nothing was written"), kInterrupted);
    if (!read.result.Complete())
        return tool.Fail(IncompleteText(read.result) + QStringLiteral("; nothing was written"));
    // The table is read: the line is free for the console while the output waits for a reader.
    tool.Session().Link().ClosePort();
    const auto interrupted = [&] {
        return tool.Fail(QStringLiteral("interrupted; nothing was written"), kInterrupted);
    };
    if (output.isEmpty() || output == QStringLiteral("-")) {
        QByteArray bytes;
        for (const QString& line : read.lines)
            bytes += line.toLatin1() + "\r\n";
        tool.Bar().Clear();
        if (std::fwrite(bytes.constData(), 1, bytes.size(), stdout) != size_t(bytes.size()) ||
            std::fflush(stdout) != 0)
            return tool.Stopped() ? interrupted()
                                  : tool.Fail(QStringLiteral("cannot write to standard output"));
    } else {
        const TallyWriteResult written =
            WriteTallyFile(output, read.lines, [&] { return tool.Stopped(); });
        if (written.Interrupted) return interrupted();
        if (!written.Ok) return tool.Fail(written.Error);
    }
    tool.Say(QStringLiteral("%1 backed up%2")
                 .arg(MappingCount(read.result.count),
                      output.isEmpty() ? QString() : QStringLiteral(" to ") + output));
    return kOk;
}

// One line per output that does not hold what was sent; 130 when stopped, naming what was
// verified.
int ReportVerify(Tool& tool, const VerifyResult& v, const QList<Expectation>& expected) {
    if (v.Interrupted) {
        QStringList done;
        for (const Expectation& e : expected.mid(0, v.Checked))
            done << QStringLiteral("%1/%2").arg(Plain(e.Unit), Plain(e.Channel));
        return tool.Fail(QStringLiteral("interrupted while verifying: %1 of %2 verified%3")
                             .arg(Plain(v.Checked), Counted(expected.size(), "output", "outputs"),
                                  done.isEmpty() ? QString()
                                                 : QStringLiteral(" (") +
                                                       done.join(QStringLiteral(", ")) + u')'),
                         kInterrupted);
    }
    if (!v.ReadBack.Complete())
        return tool.Fail(IncompleteText(v.ReadBack) + QStringLiteral("; nothing is verified"));
    for (const Mismatch& m : v.Mismatches)
        tool.Fail(LiveChanges::MismatchText(m), kFound);
    if (!v.Mismatches.isEmpty()) return kFound;
    tool.Say(QStringLiteral("verified %1").arg(Counted(v.Checked, "output", "outputs")));
    return kOk;
}

// A whole restore stopped after "Init": the table was cleared, and the outputs of the lines not
// sent are unmapped until the restore is run again.
QString ClearedText(const QList<TallyItem>& mappings, int firstNotSent, const QString& file) {
    QSet<std::pair<int, int>> outputs;
    for (const TallyItem& item : mappings) {
        if (item.Line < firstNotSent) continue;
        const MappingRecord& m = item.Mapping;
        outputs.insert({m.OutUnit, m.OutChannel});
    }
    return QStringLiteral(
               "\"Init\" cleared the controller's table, so %1 of the file %2 unmapped now; "
               "run the same restore again to put them back (vendractl restore %3)")
        .arg(Counted(int(outputs.size()), "output", "outputs"),
             outputs.size() == 1 ? QStringLiteral("is") : QStringLiteral("are"), file);
}

int RestoreAll(Call& c) {
    Tool& tool = c.tool;
    ConsoleSession& s = tool.Session();
    const QString& file = c.argument;
    const bool verify = !c.Set("no-verify");
    tool.Bar().SetTotal(int(c.check.Mappings.size()));
    const RestoreResult r = s.Files().Restore(file, c.check.Mappings, verify);
    const TallyFiles::LoadProgress& p = r.progress;
    const QString sent = p.applied == 0
                             ? QStringLiteral("no line of %1 was sent").arg(file)
                             : QStringLiteral("lines up to %1 of %2 were sent (%3)")
                                   .arg(Plain(p.lastAppliedLine), file, MappingCount(p.applied));
    if (r.load == TallyFiles::LoadOutcome::Refused) return tool.Fail(tool.Dialogs().LastText());
    if (r.load == TallyFiles::LoadOutcome::Stopped) {
        if (p.stoppedLine == 0 && !p.interrupted)
            return tool.Fail(QStringLiteral("the controller answered %1 to \"Init\"; no line "
                                            "of %2 was sent")
                                 .arg(p.stoppedReply.Described(), file));
        const QString cleared = ClearedText(c.check.Mappings, p.stoppedLine, file);
        if (p.interrupted)
            return tool.Fail(QStringLiteral("interrupted: %1; line %2 and after were not; %3")
                                 .arg(sent, Plain(p.stoppedLine), cleared),
                             kInterrupted);
        return tool.Fail(
            QStringLiteral("the controller did not answer line %1; %2, the rest not; %3")
                .arg(Plain(p.stoppedLine), sent, cleared));
    }
    // Every line the controller did not take is named: it does not hold the file.
    for (const TallyFiles::NotTaken& n : p.notTaken)
        tool.Fail(
            QStringLiteral("line %1 (%2): %3")
                .arg(Plain(n.line), n.text,
                     n.why.startsWith(u'"') ? QStringLiteral("the controller answered ") + n.why
                                            : n.why),
            kFound);
    tool.Say(QStringLiteral("%1 restored from %2").arg(MappingCount(p.applied), file));
    const int loaded = p.notTaken.isEmpty() ? kOk : kFound;
    if (!r.verified) return loaded;
    QList<Expectation> all;
    for (const TallyItem& item : c.check.Mappings) {
        const MappingRecord& m = item.Mapping;
        all.append({m.OutUnit, m.OutChannel, item.Text});
    }
    return std::max(ReportVerify(tool, *r.verified, all), loaded);
}

// The tool's answers to the flow's questions: they were given as options.
class OptionAnswers : public ChangeQuestions {
public:
    explicit OptionAnswers(bool force) : force_(force) {}
    bool GoOnWithFindings(const QString&, const FileCheck& check) override {
        return force_ || Blocking(check.Findings).isEmpty();
    }
    bool ReadBackFirst() override { return true; }
    bool Confirm(const QString&, const QList<PlannedChange>&) override { return true; }

private:
    bool force_;
};

int RestoreChanges(Call& c) {
    Tool& tool = c.tool;
    OptionAnswers answers(c.Set("force"));
    ChangeOptions options;
    options.freshReadBack = true;
    options.verify = !c.Set("no-verify");
    const ChangeReport r = tool.Session().Changes().ApplyChanges(
        {c.argument, c.argument, {}, std::nullopt}, options, answers);
    const int planned = int(r.Plan.size());
    const QString what = QStringLiteral("%1 of %2 were sent")
                             .arg(Plain(r.Applied.Applied), Counted(planned, "change", "changes"));
    switch (r.Outcome) {
        case FlowOutcome::FileRefused:
        case FlowOutcome::Declined:
            return tool.Fail(r.Error.isEmpty() ? QStringLiteral("nothing was sent") : r.Error);
        case FlowOutcome::Incomplete:
            return tool.Fail(IncompleteText(r.Compared.ReadBackEnd) +
                             QStringLiteral("; nothing was sent"));
        case FlowOutcome::NothingToChange:
            tool.Say(QStringLiteral("the controller already holds %1").arg(c.argument));
            return kOk;
        default:
            break;
    }
    if (r.Applied.Interrupted)
        return tool.Fail(QStringLiteral("interrupted: ") + what + QStringLiteral("; the rest not"),
                         kInterrupted);
    if (r.Applied.Stopped)
        return tool.Fail(QStringLiteral("the controller did not answer the change of unit %1 "
                                        "channel %2 (%3): %4; the rest not")
                             .arg(Plain(r.Applied.StoppedAt.Row.Unit),
                                  Plain(r.Applied.StoppedAt.Row.Channel),
                                  r.Applied.StoppedReply.KindText(), what));
    tool.Say(QStringLiteral("%1 sent from %2")
                 .arg(Counted(r.Applied.Applied, "change", "changes"), c.argument));
    if (r.Verified) return ReportVerify(tool, *r.Verified, LiveChanges::ExpectationsOf(r.Plan));
    // Unverified: only the controller's own refusals are known.
    for (const auto& [change, line] : r.Applied.Refused)
        tool.Fail(
            QStringLiteral("%1: the controller answered %2")
                .arg(Who(change.Row.Output, change.Row.Name, change.Row.Unit, change.Row.Channel),
                     Quoted(line)),
            kFound);
    return r.Applied.Refused.isEmpty() ? kOk : kFound;
}

// A damaged file is never restored; one with findings only with --force.
std::optional<int> RestorableFile(Call& c) {
    if (!c.check.Damage.isEmpty()) return c.tool.Fail(c.check.Damage, kRefusedFile);
    const QList<Finding> blocking = Blocking(c.check.Findings);
    if (blocking.isEmpty() || c.Set("force")) return std::nullopt;
    for (const Finding& f : blocking)
        std::fprintf(stderr, "%s: %s\n", qPrintable(c.argument), qPrintable(f.Text));
    return c.tool.Fail(QStringLiteral("%1 has %2; nothing was sent (--force restores it "
                                      "all the same)")
                           .arg(c.argument, Counted(blocking.size(), "finding", "findings")),
                       kRefusedFile);
}

int Restore(Call& c) {
    return c.Set("changes-only") ? RestoreChanges(c) : RestoreAll(c);
}

QJsonObject RowJson(const OutputComparison& r) {
    return {{"output", r.Output},
            {"name", r.Name},
            {"unit", r.Unit},
            {"channel", r.Channel},
            {"kind", DifferenceText(r.Kind)},
            {"file", r.FileMap},
            {"controller", r.ControllerMap},
            {"controllerEntries", r.ControllerEntries},
            {"fileLine", r.FileLine}};
}

int Diff(Call& c) {
    Tool& tool = c.tool;
    const Comparison compared = tool.Session().Changes().Compare(c.check.Mappings);
    if (tool.Stopped()) return tool.Fail(QStringLiteral("interrupted"), kInterrupted);
    if (!compared.ReadBackEnd.Complete()) return tool.Fail(IncompleteText(compared.ReadBackEnd));
    const int differences = compared.Differences();
    tool.Bar().Clear();
    if (c.Set("quiet")) return differences == 0 ? kOk : kFound;
    if (c.Set("json")) {
        QJsonArray changed;
        for (const OutputComparison& r : compared.Rows)
            if (r.Kind != Difference::Same) changed.append(RowJson(r));
        const QJsonObject doc{{"file", c.argument},
                              {"equal", differences == 0},
                              {"differences", differences},
                              {"rows", changed}};
        Out(QString::fromUtf8(QJsonDocument(doc).toJson(QJsonDocument::Indented)));
    } else {
        auto side = [](const QString& map, const QString& inputs) {
            return map.isEmpty() ? QStringLiteral("unmapped")
                                 : map + QStringLiteral(" (") + inputs + QLatin1Char(')');
        };
        for (const OutputComparison& r : compared.Rows) {
            if (r.Kind == Difference::Same) continue;
            QString line =
                QStringLiteral("%1 %2: file %3, controller %4")
                    .arg(DifferenceText(r.Kind), Who(r.Output, r.Name, r.Unit, r.Channel),
                         side(r.FileMap, r.FileInputs), side(r.ControllerMap, r.ControllerInputs));
            if (!r.Note().isEmpty()) line += QStringLiteral("; ") + r.Note();
            Out(line + u'\n');
        }
    }
    tool.Say(differences == 0
                 ? QStringLiteral("the controller holds %1").arg(c.argument)
                 : QStringLiteral("%1 from %2")
                       .arg(Counted(differences, "output differs", "outputs differ"), c.argument));
    return differences == 0 ? kOk : kFound;
}

int Check(Call& c) {
    for (const Finding& f : c.check.Findings)
        Out(c.argument + QStringLiteral(": ") + f.Text + QLatin1Char('\n'));
    if (c.check.Findings.isEmpty()) {
        c.tool.Say(QStringLiteral("%1: %2, nothing found")
                       .arg(c.argument, MappingCount(int(c.check.Mappings.size()))));
        return kOk;
    }
    return kFound;
}

QString ReplyFailure(Tool& tool, const Reply& reply) {
    const QString device = tool.Session().Link().DeviceName();
    switch (reply.Kind) {
        case ReplyKind::Closed:
            return QStringLiteral("the tally controller on %1 closed the connection").arg(device);
        case ReplyKind::Cut:
            return QStringLiteral("the reply did not end within %1 ms")
                .arg(tool.Session().Link().DeadlineMs());
        case ReplyKind::Refused:
            return QStringLiteral("interrupted; nothing was sent");
        default:
            return QStringLiteral("no answer from the tally controller on %1").arg(device);
    }
}

std::optional<int> OneCommandLine(Call& c) {
    if (!c.argument.contains(u'\r') && !c.argument.contains(u'\n')) return std::nullopt;
    return c.tool.Fail(
        QStringLiteral("send takes one command line; the text holds a line break, nothing was "
                       "sent"));
}

int Send(Call& c) {
    Tool& tool = c.tool;
    const Reply reply = tool.Session().Link().SendRaw(c.argument, QStringLiteral("send"));
    Out(reply.Raw);
    if (!reply.Raw.isEmpty() && !reply.Raw.endsWith(QLatin1Char('\n'))) Out(QStringLiteral("\n"));
    if (!reply.Answered()) return tool.Fail(ReplyFailure(tool, reply));
    if (reply.IsError())
        return tool.Fail(QStringLiteral("the controller answered %1").arg(Quoted(reply.Line)),
                         kFound);
    return kOk;
}

// One poll of the unit; what went wrong when the controller did not answer it.
std::optional<QString> ShowStatus(Tool& tool, int unit, bool json) {
    ConsoleSession& s = tool.Session();
    const std::optional<quint32> lamps = s.Inputs().UpdateUnitBits(unit);
    const Reply bitsReply = s.Link().LastReply();
    const QString status = lamps ? s.Inputs().UnitStat(unit) : QString();
    // A poll the stop cut short is no state of the unit: nothing is printed for it.
    if (tool.Stopped()) return std::nullopt;
    const bool answered = lamps.has_value();
    // Where the controller refused, its own words; otherwise what became of the question.
    const QString failure = bitsReply.Answered() ? bitsReply.Line : bitsReply.KindText();
    QString bits;
    if (answered)
        for (int k = 1; k <= UnitStatus::kLamps; ++k)
            bits += UnitStatus::LampLit(*lamps, k) ? u'1' : u'0';
    if (json) {
        QJsonObject doc{{"unit", unit}, {"answered", answered}, {"bits", bits}, {"status", status}};
        if (!answered) doc.insert(QStringLiteral("reply"), failure);
        Out(QString::fromUtf8(QJsonDocument(doc).toJson(QJsonDocument::Compact)) + u'\n');
    } else if (answered) {
        QString grouped;
        for (int i = 0; i < bits.size(); i += 4)
            grouped += bits.mid(i, 4) + (i + 4 < bits.size() ? QStringLiteral(" ") : QString());
        Out(QStringLiteral("unit %1  bits 1-32: %2  status: %3\n").arg(unit).arg(grouped, status));
    } else {
        Out(QStringLiteral("unit %1  %2\n").arg(unit).arg(failure));
    }
    std::fflush(stdout);
    if (answered) return std::nullopt;
    return failure;
}

std::optional<int> UnitAndInterval(Call& c) {
    bool ok = false;
    const int unit = c.argument.toInt(&ok);
    if (!ok || unit < 0 || unit > 32767)
        return c.tool.Fail(QStringLiteral("\"%1\" is not a unit number").arg(c.argument));
    const int interval = c.Value("interval").toInt(&ok);
    if (c.Set("interval") && (!ok || interval < 1))
        return c.tool.Fail(QStringLiteral("--interval takes milliseconds, 1 or more"));
    return std::nullopt;
}

int Status(Call& c) {
    Tool& tool = c.tool;
    bool ok = false;
    const int unit = c.argument.toInt(&ok);
    const bool json = c.Set("json");
    if (!c.Set("watch")) {
        const std::optional<QString> failure = ShowStatus(tool, unit, json);
        if (tool.Stopped()) return tool.Fail(QStringLiteral("interrupted"), kInterrupted);
        if (!failure) return kOk;
        return tool.Fail(QStringLiteral("no status from unit %1 on %2: %3")
                             .arg(Plain(unit), tool.Session().Link().DeviceName(), *failure));
    }
    const int interval = c.Set("interval") ? c.Value("interval").toInt() : 200;
    // One poll per interval, never faster, however quickly a poll fails; Ctrl+C ends the watch
    // between polls.
    while (!tool.Stopped()) {
        const QDeadlineTimer next(interval);
        ShowStatus(tool, unit, json);
        while (!tool.Stopped() && !next.hasExpired()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
            QThread::msleep(static_cast<unsigned long>(std::min<qint64>(next.remainingTime(), 50)));
        }
    }
    return StopSignal::ExitCode();
}

int Lamps(Call& c) {
    Tool& tool = c.tool;
    return LampsCommand(tool.Session(),
                        {c.Set("watch"), c.Set("json"), c.Value("output"),
                         [&](const QString& t, int code) { return tool.Fail(t, code); },
                         [&] { return tool.Stopped(); }});
}

int JournalCommand(Call& c) {
    JournalQuery q;
    q.path = c.tool.Session().History().JournalPath();
    for (const auto& [name, into] : {std::pair{"since", &q.since}, std::pair{"until", &q.until}}) {
        if (!c.Set(name)) continue;
        const std::optional<QDateTime> when = ParseSince(c.Value(name));
        if (!when) return c.tool.Fail(QStringLiteral("\"%1\" is not a time").arg(c.Value(name)));
        *into = *when;
    }
    bool ok = true;
    q.last = c.Set("lines") ? c.Value("lines").toInt(&ok) : c.Set("follow") ? 10 : -1;
    if (!ok || (c.Set("lines") && q.last < 0))
        return c.tool.Fail(QStringLiteral("-n takes a number of entries, 0 or more"));
    q.output = c.Value("output");
    q.follow = c.Set("follow");
    q.json = c.Set("json");
    q.stopped = [&c] { return c.tool.Stopped(); };
    return PrintJournal(q);
}

int Serve(Call& c) {
    return ServeCommand(c.tool.Session(), c.tool.Stops(), c.Value("http"));
}

const CommandSpec kCommands[] = {
    {"backup", "", "backup [-o FILE]",
     "Reads the controller's whole table and writes it as a tally file.\n"
     "Without -o the file goes to standard output. A backup that ends incomplete\n"
     "(the controller silent, or a reply that is no mapping) writes nothing: the\n"
     "old file stays.",
     FileArgument::None, true, true, &Backup},
    {"restore", "FILE", "restore FILE [--changes-only] [--no-verify] [--force]",
     "Loads a tally file into the controller: Init, the units enabled again, then\n"
     "every line; with --changes-only, only the outputs that differ. Then the\n"
     "controller is asked back: each changed output (\"GetMap\"), or for a whole\n"
     "restore the whole table read back; exit 1 with one line per output that does\n"
     "not hold what was sent. A file with findings of 'check' the controller would\n"
     "not hold as written (an empty file, an output mapped twice, a unit not in\n"
     "EnabledUnits) is refused unless --force, a damaged file always (exit 3);\n"
     "outputs and inputs Kavro.ini lacks are restored as they are, so a backup\n"
     "restores without --force. Ctrl+C stops after the current line and says what\n"
     "was sent or verified; a whole restore stopped after \"Init\" says how many\n"
     "outputs are unmapped now: the same restore again puts them back.",
     FileArgument::Path, true, true, &Restore, nullptr, &RestorableFile},
    {"diff", "FILE", "diff FILE [--json] [--quiet]",
     "Compares a tally file with the controller's table, the enable flag and\n"
     "outputs held twice included, and prints the outputs that differ. FILE '-'\n"
     "reads the file from standard input. Exit 0 when equal, 1 when different, 2 on\n"
     "an error.",
     FileArgument::PathOrStdin, true, true, &Diff},
    {"check", "FILE", "check FILE",
     "Checks a tally file against Kavro.ini; prints each finding with its line\n"
     "number ('-': standard input). Exit 1 when something was found. Needs no\n"
     "controller.",
     FileArgument::PathOrStdin, false, false, &Check},
    {"send", "TEXT", "send TEXT",
     "Sends one raw command line and prints the raw reply. Exit 1 when the\n"
     "controller answers an error line.",
     FileArgument::None, true, false, &Send, &OneCommandLine},
    {"status", "UNIT", "status UNIT [--watch [--interval MS]] [--json]",
     "Prints the unit's 32 input bits (1 to 32) and its status line; where the\n"
     "controller does not answer, its error line or \"no answer\".",
     FileArgument::None, true, false, &Status, &UnitAndInterval},
    {"lamps", "", "lamps [--output N] [--watch] [--json]",
     "Prints every output's lamp from the live inputs, and why: reads the\n"
     "controller's table and the input bits of every unit that carries a configured\n"
     "input; one line per configured output (fields separated by tabs: output, name,\n"
     "unit, channel, lamp, mapping, reason) or as JSON. --watch prints the whole\n"
     "state, then each output whose lamp or reason changes, with a time stamp (JSON:\n"
     "one object per line). A unit that does not answer leaves its inputs unknown and\n"
     "ends the tool with exit 2.",
     FileArgument::None, true, true, &Lamps},
    {"journal", "", "journal [--since TIME] [--until TIME] [--output N] [-n N] [--follow] [--json]",
     "Prints the change journal of the installation, oldest entry first: every change\n"
     "the console and vendractl made to the controller's table, raw mapping commands\n"
     "of 'send' included, its rotated files (PATH.1, PATH.2, ...) read as one history.\n"
     "Exit 0 when an entry was printed, 1 when none matched (as grep). Needs no\n"
     "controller.",
     FileArgument::None, false, false, &JournalCommand},
    {"serve", "", "serve [--http ADDR:PORT]",
     "Runs unattended, as a system service: opens the line and holds it as the\n"
     "console does, reads the controller's table, polls the input bits of every unit\n"
     "that carries a configured input and works out every output's lamp. With --http\n"
     "it serves the live tally page: / the page (one tile per output, a filter by\n"
     "name, /#output=N one output alone in full screen), /api/lamps the JSON of\n"
     "'lamps --json', /live a WebSocket that pushes each change; read-only, every\n"
     "method but GET is answered 405. Logs one line per event on standard error with\n"
     "the system journal's priority prefix (<3> error, <4> warning, <6> information).\n"
     "A console started on the same line asks the service for it through a socket\n"
     "beside the line's lock (LOCK.handover); the service closes the port and waits\n"
     "until that console ends, killed or not, then takes the line back; meanwhile the\n"
     "console sends it every lamp it sees, and the page stays live. The other\n"
     "commands of vendractl are refused while the service holds the line, as by any\n"
     "program. A line held by another program, or a controller that does not answer,\n"
     "is tried again every few seconds. SIGTERM and SIGINT stop it: the port is\n"
     "closed, the lock freed and the sockets closed, and the exit status is 0. Exit\n"
     "2 when it cannot start: no Kavro.ini, --http not an address and port or the\n"
     "address taken, another service already on the line.",
     FileArgument::None, false, false, &Serve},
};

bool Takes(const OptionSpec& o, const QString& command) {
    const QString list = QString::fromLatin1(o.commands);
    return list == QStringLiteral("*") || list.split(u',').contains(command);
}

QCommandLineOption MakeOption(const OptionSpec& o) {
    return QCommandLineOption(QString::fromLatin1(o.names).split(u','), QString::fromLatin1(o.help),
                              QString::fromLatin1(o.value));
}

// The description's first sentence, on one line.
QString FirstSentence(const char* description) {
    const QString text = QString::fromLatin1(description).replace(u'\n', u' ');
    static const QRegularExpression end(QStringLiteral("\\.(\\s|$)"));
    const qsizetype at = text.indexOf(end);
    return at < 0 ? text : text.left(at + 1);
}

// Words filled into lines of `width`, each line indented by `indent` blanks.
QString Wrap(const QString& text, int indent, int width = 79) {
    QString out, line;
    for (const QString& word : text.split(u' ', Qt::SkipEmptyParts)) {
        if (!line.isEmpty() && indent + line.size() + 1 + word.size() > width) {
            out += QString(indent, u' ') + line + u'\n';
            line.clear();
        }
        line += (line.isEmpty() ? QString() : QStringLiteral(" ")) + word;
    }
    if (!line.isEmpty()) out += QString(indent, u' ') + line + u'\n';
    return out;
}

QString Overview() {
    QString text = QStringLiteral(
        "Usage: vendractl [options] COMMAND [options] [ARGUMENT]\n\n"
        "Backs up, restores and checks the tally controller's mapping table from a script.\n\n"
        "Commands:\n");
    for (const CommandSpec& c : kCommands)
        text += QStringLiteral("  %1\n").arg(QString::fromLatin1(c.synopsis)) +
                Wrap(FirstSentence(c.description), 6);
    text += QStringLiteral("\nOptions of every command (before or after it):\n");
    for (const OptionSpec& o : kOptions) {
        if (!Takes(o, QStringLiteral("*"))) continue;
        QString names;
        for (const QString& n : QString::fromLatin1(o.names).split(u','))
            names += (names.isEmpty() ? QString() : QStringLiteral(", ")) +
                     (n.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + n;
        if (*o.value) names += QLatin1Char(' ') + QString::fromLatin1(o.value);
        text += QStringLiteral("  %1%2\n").arg(names, -16).arg(QString::fromLatin1(o.help));
    }
    text += QStringLiteral(
        "  --version       the version\n\n"
        "'vendractl COMMAND --help' describes a command and its options; 'man vendractl'\n"
        "has every command, the JSON, the files and examples.\n"
        "The tool refuses to run while another program (the Vendra console, another\n"
        "vendractl) holds the same line: each serial device or HOST:PORT (the host by its\n"
        "address) has one lock in /run/lock, seen by every user and session. SIGTERM stops\n"
        "the tool as Ctrl+C does. Progress and summaries go to standard error only when it\n"
        "is a terminal; usage errors go there too.\n\n"
        "Environment:\n"
        "  VENDRA_LOCK_DIR  the folder of the line locks in place of /run/lock; every\n"
        "                   program sharing lines on this machine must use the same.\n\n");
    return text + QString::fromLatin1(kExitCodes) + u'\n';
}

// A command's options and argument on a parser, its description above them.
void Describe(QCommandLineParser& parser, const CommandSpec& command, bool exitCodes) {
    const QString name = QString::fromLatin1(command.name);
    parser.setApplicationDescription(
        QString::fromLatin1(command.description) +
        (exitCodes ? QStringLiteral("\n\n") + QString::fromLatin1(kExitCodes) : QString()));
    for (const OptionSpec& o : kOptions)
        if (Takes(o, name)) parser.addOption(MakeOption(o));
    if (*command.arguments)
        parser.addPositionalArgument(QString::fromLatin1(command.arguments),
                                     QStringLiteral("See above."));
}

// What 'vendractl COMMAND --help' prints.
QString CommandHelp(const QCommandLineParser& parser, const CommandSpec& command) {
    // The usage line names the command, not the path the tool was started by.
    QString text = parser.helpText();
    text.replace(0, text.indexOf(u'\n'),
                 QStringLiteral("Usage: vendractl %1 [options] %2")
                     .arg(QString::fromLatin1(command.name), QString::fromLatin1(command.arguments))
                     .trimmed());
    return text;
}

const char kManualEnd[] = R"(JSON OUTPUT
  Every time carries its offset from UTC (2026-12-09T19:58:03+01:00); null means
  unknown. A stream (a --watch, the journal) is one JSON object a line; a single
  answer (diff, lamps without --watch) is one JSON document.
  diff --json: {"file": str, "equal": bool, "differences": int, "rows": [{"output":
    int (0: not in Kavro.ini), "name": str, "unit": int, "channel": int, "kind":
    "added"|"removed"|"changed"|"repeated", "file": str, "controller": str
    (mapping strings, "" unmapped), "controllerEntries": int, "fileLine": int}]}
  status --json: one object a poll: {"unit": int, "answered": bool, "bits": str
    (32 characters "0"/"1", input 1 first; "" unanswered), "status": str,
    "reply": str (only when unanswered: the controller's error line or what
    became of the question)}
  lamps --json: an array of {"output": int, "name": str, "unit": int, "channel":
    int, "lit": bool or null, "lamp": "lit"|"dark"|"unknown", "mapping": str
    (the inputs by name, "" unmapped), "operator": "single"|"and"|"or" or null
    (unmapped), "enabled": bool or null (the mapping's enable flag; null
    unmapped), "underTest": bool (an output test holds it on: the console's, or
    one the unit reports), "reason": str, "inputs": [{"name": str, "unit": int,
    "channel": int, "state": "on"|"off"|"unknown"|"unpolled"}]}; with --watch
    one such object a line for each output whose lamp or reason changed, with
    "time".
  journal --json: the entries as stored, one a line: {"time": str, "who":
    "user@host", "program": str, "operation": str, "outcome": "answered"|"verified"|
    "refused"|"failed"|"offline", and for a change of one output "unit", "channel",
    "output" (0: not in Kavro.ini), "name", "before", "after" (mapping strings, ""
    unmapped, null unknown), "beforeInputs", "afterInputs"; "command": the raw
    command, where one was sent}

FILES
  Kavro.ini
    The installation, beside the program unless --ini names another.
  $XDG_STATE_HOME/vendra/SYSTEM-XXXXXXXX.jsonl
    The change journal (~/.local/state when XDG_STATE_HOME is not set; the
    Journal key of Kavro.ini names another). Rotated at 16 MiB into PATH.1,
    PATH.2, ...; 20 kept. Without HOME and without Journal nothing is journalled.
  /run/lock/vendra-line-*.lock
    One lock a line, held while the line is open.
  /run/lock/vendra-line-*.lock.handover
    The socket of 'serve' beside the lock of its line, where a console asks for
    the line.
  /usr/lib/systemd/system/vendractl-serve.service
    A unit that runs 'vendractl serve --http 127.0.0.1:8080' as a system service;
    installed, not enabled (systemctl enable --now vendractl-serve).

ENVIRONMENT
  VENDRA_LOCK_DIR
    The folder of the line locks in place of /run/lock.
  XDG_STATE_HOME, HOME
    Where the journal is kept when Kavro.ini names none.
  QT_LOGGING_RULES
    "vendra.link.debug=true" traces every exchange on standard error.

EXIT STATUS
  0    done and proved: equal, clean, verified, an entry printed
  1    differences, findings or mismatches found; no journal entry matched
  2    error: no Kavro.ini, line locked, port busy or missing, controller silent,
       read-back incomplete, file unreadable, bad arguments
  3    restore refused the file: findings of 'check' (without --force), or a
       damaged file; nothing was sent
  130  stopped by Ctrl+C (143 by SIGTERM); serve ends with 0 on either

EXAMPLES
  A nightly backup from cron:
    15 2 * * *  vendractl backup --quiet -o /srv/tally/studio-a.vdk
  After a controller swap:
    vendractl restore /srv/tally/studio-a.vdk
  Does the controller still hold the approved table?
    vendractl diff /srv/tally/approved.vdk --quiet; echo $?
  Who changed output 3/1 today, and every change from now on:
    vendractl journal --since 00:00 --output 3/1 --follow
  The failed changes of the last 500 entries:
    vendractl journal -n 500 --json | jq 'select(.outcome == "failed")'
  The live tally page for the studio's network, by hand:
    vendractl serve --http 0.0.0.0:8080
)";

// The whole manual: the overview, every command's help, and the sections of a manual page
// (upper-case lines start them).
QString Manual() {
    QString text = Overview() + QStringLiteral("\nCOMMANDS\n");
    for (const CommandSpec& c : kCommands) {
        QCommandLineParser parser;
        Describe(parser, c, false);
        text += CommandHelp(parser, c) + u'\n';
    }
    return text + QString::fromLatin1(kManualEnd);
}

// The command word: the first argument that is neither an option nor an option's value.
int CommandIndex(const QStringList& args) {
    for (int i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QStringLiteral("--")) return i + 1 < args.size() ? i + 1 : -1;
        if (!a.startsWith(u'-') || a == QStringLiteral("-")) return i;
        if (a.contains(u'=')) continue;
        const QString name = a.mid(a.startsWith(QStringLiteral("--")) ? 2 : 1);
        for (const OptionSpec& o : kOptions)
            if (*o.value && QString::fromLatin1(o.names).split(u',').contains(name)) ++i;
    }
    return -1;
}

int Run(const QStringList& args) {
    if (args.contains(QStringLiteral("--version"))) {
        Out(QStringLiteral("vendractl %1\n").arg(QString::fromLatin1(kVersionText)));
        return kOk;
    }
    if (args.contains(QStringLiteral("--manual"))) {
        Out(Manual());
        return kOk;
    }
    const int at = CommandIndex(args);
    if (at < 0) {
        // Asked for, the help is the output; otherwise it explains a usage error.
        const bool help = args.contains(QStringLiteral("--help")) || args.contains("-h");
        if (help) {
            Out(Overview());
            return kOk;
        }
        std::fprintf(stderr, "vendractl: no command given\n\n%s", qPrintable(Overview()));
        return kError;
    }
    const CommandSpec* command = nullptr;
    for (const CommandSpec& c : kCommands)
        if (args[at] == QLatin1String(c.name)) command = &c;
    if (!command) {
        std::fprintf(stderr, "vendractl: unknown command \"%s\"; see vendractl --help\n",
                     qPrintable(args[at]));
        return kError;
    }
    const QString name = QString::fromLatin1(command->name);

    QCommandLineParser parser;
    Describe(parser, *command, true);
    QStringList parsed = args;
    parsed.removeAt(at);
    parsed[0] = QStringLiteral("vendractl ") + name;
    if (!parser.parse(parsed)) {
        std::fprintf(stderr, "vendractl: %s\n", qPrintable(parser.errorText()));
        return kError;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        Out(CommandHelp(parser, *command));
        return kOk;
    }
    const QStringList positional = parser.positionalArguments();
    const int wanted = *command->arguments ? 1 : 0;
    if (positional.size() != wanted) {
        std::fprintf(stderr, "vendractl: %s takes %s; see vendractl %s --help\n", command->name,
                     wanted ? command->arguments : "no argument", command->name);
        return kError;
    }
    const QString argument = wanted ? positional.first() : QString();

    Tool tool(parser.isSet(QStringLiteral("quiet")));
    if (parser.isSet(QStringLiteral("device")) && parser.value(QStringLiteral("device")).isEmpty())
        return tool.Fail(QStringLiteral("--device needs a device; nothing was sent"));
    Call call{tool, parser, argument, {}};
    if (command->checkArgument)
        if (auto refused = command->checkArgument(call)) return *refused;
    const QString iniPath =
        parser.isSet(QStringLiteral("ini"))
            ? parser.value(QStringLiteral("ini"))
            : QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("Kavro.ini"));
    if (auto failed = tool.Configure(iniPath, parser.value(QStringLiteral("device"))))
        return *failed;

    // Files are read and checked before the controller is touched.
    if (command->file != FileArgument::None) {
        // A restore reads its file twice: "-" is a file of that name for it.
        const bool stdinFile =
            argument == QStringLiteral("-") && command->file == FileArgument::PathOrStdin;
        call.check =
            tool.Session().Changes().CheckFile(stdinFile ? QStringLiteral("/dev/stdin") : argument);
        if (!call.check.Readable) return tool.Fail(call.check.Error);
    }
    if (command->checkFile)
        if (auto refused = command->checkFile(call)) return *refused;
    if (command->controller)
        if (auto failed = tool.Connect(command->probe)) return *failed;
    const auto operation = tool.Session().History().JournalOperation(name);
    return command->run(call);
}

}  // namespace
}  // namespace vendra

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vendractl"));
    return vendra::Run(QCoreApplication::arguments());
}
