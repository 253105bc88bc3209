// vendractl: backups, restores and checks of the controller's table from a script, on the same
// session as the console, with no display.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QTimer>
#include <cstdio>
#include <optional>

#include "changes/file_check.h"
#include "changes/journal.h"
#include "changes/live_changes.h"
#include "changes/mapping_diff.h"
#include "cli/cli_support.h"
#include "cli/lamps_command.h"
#include "cli/journal_command.h"
#include "config/enabled_units.h"
#include "config/tally_file.h"
#include "link/unit_status.h"
#include "platform/ini_file.h"
#include "platform/numbers.h"
#include "platform/serial_port.h"
#include "session/console_lock.h"
#include "session/console_session.h"
#include "session/tally_files.h"

namespace vendra {
namespace {

// Exit codes, as the help texts give them.
constexpr int kOk = 0;
constexpr int kFound = 1;  // differences, findings or mismatches
constexpr int kError = 2;
constexpr int kInterrupted = 130;

const char kExitCodes[] =
    "Exit codes: 0 done (equal, clean); 1 differences, findings or mismatches found;\n"
    "2 error (no Kavro.ini, port busy or missing, controller silent, read-back incomplete,\n"
    "file unreadable, bad arguments); 130 stopped by Ctrl+C.";

const char kOverview[] =
    "Usage: vendractl COMMAND [options]\n"
    "\n"
    "Backs up, restores and checks the tally controller's mapping table from a script.\n"
    "\n"
    "Commands:\n"
    "  backup [-o FILE]                 read the whole table; write it as a tally file\n"
    "                                   (standard output without -o)\n"
    "  restore FILE [--changes-only] [--verify] [--force]\n"
    "                                   load a tally file into the controller\n"
    "  diff FILE [--json]               compare a tally file with the controller\n"
    "  check FILE                       check a tally file against Kavro.ini\n"
    "  send TEXT                        send one raw command; print the reply\n"
    "  status UNIT [--watch] [--json]   a unit's 32 input bits and its status line\n"
    "  lamps [--watch] [--json]         every output's lamp from the live inputs, and why\n"
    "  journal [--since TIME] [--output N] [--json]\n"
    "                                   the change journal, oldest entry first\n"
    "\n"
    "Options of every command:\n"
    "  --ini PATH      the installation file (default: Kavro.ini beside the program)\n"
    "  --device PATH   the controller's device, in place of the port Kavro.ini names\n"
    "  --quiet         no progress and no summary on standard error\n"
    "  -h, --help      help for the command\n"
    "\n"
    "The tool refuses to run while the console (or another vendractl) holds the line.\n"
    "Progress and summaries go to standard error only when it is a terminal.\n";

void Out(const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), stdout);
}

class Tool {
public:
    explicit Tool(bool quiet) : progress_(quiet), quiet_(quiet) {}

    // One clear line on standard error.
    int Fail(const QString& text, int code = kError) {
        progress_.Clear();
        std::fprintf(stderr, "vendractl: %s\n", qPrintable(OneLine(text)));
        return code;
    }
    // A summary, shown only to a person at a terminal.
    void Say(const QString& text) {
        if (!progress_.Shown()) return;
        progress_.Clear();
        std::fprintf(stderr, "vendractl: %s\n", qPrintable(text));
    }
    bool Quiet() const { return quiet_; }

    // Kavro.ini into the session; the port is made but not opened.
    std::optional<int> Configure(const QString& iniPath, const QString& device) {
        PortFactory make = SerialPortFactory();
        if (!device.isEmpty()) {
            make = [device, base = make](const InstallationConfig& c) {
                InstallationConfig changed = c;
                changed.CommDevice = device;
                return base(changed);
            };
        }
        session_ = std::make_unique<ConsoleSession>(dialogs_, make);
        const IniFile ini(iniPath);
        const IniReadResult read = session_->ReadConfiguration(ini);
        if (!read.Ok()) return Fail(read.Message);
        QObject::connect(session_.get(), &ConsoleSession::ProgressText,
                         [this](const QString& t) { OnProgress(t); });
        QObject::connect(&stop_, &StopSignal::Stop, [this] { session_->Busy().RequestStop(); });
        // The change goes on; the person or the script's log learns it once.
        QObject::connect(&session_->ChangeJournal(), &Journal::ErrorLine,
                         [this](const QString& t) { Fail(t); });
        return std::nullopt;
    }

    // The line to the controller: the lock, the port and, when asked, the probe.
    std::optional<int> Connect(bool probe) {
        const QString lockPath = DefaultLockPath();
        if (LockHeldElsewhere(lockPath, lock_))
            return Fail(QStringLiteral("the Vendra console or another vendractl is using the tally "
                                       "controller (lock %1 is held); nothing was sent")
                            .arg(lockPath));
        SerialPort& port = session_->Port();
        if (!session_->OpenPort()) {
            QString text = QStringLiteral("cannot open the port %1: %2")
                               .arg(port.DeviceName(), port.ErrorText());
            if (port.PermissionDenied())
                text += QStringLiteral(" (busy, or is your user a member of the dialout group?)");
            return Fail(text);
        }
        if (probe && !session_->Online().GoOnline())
            return Fail(
                QStringLiteral("no answer from the tally controller on %1").arg(port.DeviceName()));
        return std::nullopt;
    }

    ConsoleSession& Session() { return *session_; }
    CliDialogs& Dialogs() { return dialogs_; }
    Progress& Bar() { return progress_; }
    bool Stopped() const { return StopSignal::Requested(); }

private:
    void OnProgress(const QString& text) {
        // Between two commands: the place where Ctrl+C takes effect.
        if (StopSignal::Requested()) session_->Busy().RequestStop();
        const QStringList words = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (words.size() < 2) return;
        int done = words.last().toInt();
        if (words.first() == QStringLiteral("Mapping")) ++done;  // counted from 0
        progress_.Show(words.first(), done);
    }

    CliDialogs dialogs_;
    std::unique_ptr<ConsoleSession> session_;
    std::unique_ptr<QLockFile> lock_;
    Progress progress_;
    StopSignal stop_;
    bool quiet_ = false;
};

QString Mappings(int n) {
    return n == 1 ? QStringLiteral("1 mapping") : Plain(n) + QStringLiteral(" mappings");
}

QString IncompleteText(const ReadBackResult& r) {
    switch (r.end) {
        case ReadBackEnd::TableFull:
            return QStringLiteral(
                       "the controller holds more mappings than a tally file can keep; "
                       "only the first %1 were read")
                .arg(Mappings(r.count));
        case ReadBackEnd::NoAnswer:
            return QStringLiteral("read-back incomplete: the controller stopped answering after %1")
                .arg(Mappings(r.count));
        default:
            return QStringLiteral("read-back stopped after %1").arg(Mappings(r.count));
    }
}

int Backup(Tool& tool, const QString& output) {
    ConsoleSession& s = tool.Session();
    const TableRead read = s.ReadWholeTable();
    if (tool.Stopped())
        return tool.Fail(QStringLiteral("interrupted; nothing was written"), kInterrupted);
    if (!read.result.Complete())
        return tool.Fail(IncompleteText(read.result) + QStringLiteral("; nothing was written"));
    if (output.isEmpty() || output == QStringLiteral("-")) {
        QByteArray bytes;
        for (const QString& line : read.lines)
            bytes += line.toLatin1() + "\r\n";
        tool.Bar().Clear();
        if (std::fwrite(bytes.constData(), 1, bytes.size(), stdout) != size_t(bytes.size()) ||
            std::fflush(stdout) != 0)
            return tool.Fail(QStringLiteral("cannot write to standard output"));
    } else {
        const TallyWriteResult written = WriteTallyFile(output, read.lines);
        if (!written.Ok) return tool.Fail(written.Error);
    }
    tool.Say(QStringLiteral("%1 backed up%2")
                 .arg(Mappings(read.result.count),
                      output.isEmpty() ? QString() : QStringLiteral(" to ") + output));
    return kOk;
}

int ReportVerify(Tool& tool, const VerifyResult& v) {
    if (v.Ok()) {
        tool.Say(QStringLiteral("verified %1 outputs").arg(v.Checked));
        return kOk;
    }
    for (const Mismatch& m : v.Mismatches)
        Out(LiveChanges::MismatchText(m) + QLatin1Char('\n'));
    return tool.Fail(QStringLiteral("verification found %1 of %2 outputs not as the file says")
                         .arg(v.Mismatches.size())
                         .arg(v.Checked),
                     kFound);
}

int RestoreAll(Tool& tool, const QString& file, const FileCheck& check, bool verify) {
    ConsoleSession& s = tool.Session();
    tool.Bar().SetTotal(int(check.Mappings.size()));
    const TallyFiles::LoadOutcome outcome = s.Files().LoadMatrixMappings(file);
    const TallyFiles::LoadProgress& p = s.Files().LastLoad();
    const QString sent = p.applied == 0
                             ? QStringLiteral("no line of %1 was sent").arg(file)
                             : QStringLiteral("lines up to %1 of %2 were sent (%3)")
                                   .arg(Plain(p.lastAppliedLine), file, Mappings(p.applied));
    if (outcome == TallyFiles::LoadOutcome::Refused) return tool.Fail(tool.Dialogs().LastText());
    if (outcome == TallyFiles::LoadOutcome::Stopped) {
        if (p.interrupted)
            return tool.Fail(QStringLiteral("interrupted: %1; line %2 and after were not")
                                 .arg(sent, Plain(p.stoppedLine)),
                             kInterrupted);
        return tool.Fail(QStringLiteral("the controller did not answer line %1; %2, the rest not")
                             .arg(Plain(p.stoppedLine), sent));
    }
    tool.Say(QStringLiteral("%1 restored from %2").arg(Mappings(p.applied), file));
    if (!verify) return kOk;
    return ReportVerify(tool, s.Changes().Verify(s.Changes().ExpectationsOfCopy()));
}

int RestoreChanges(Tool& tool, const QString& file, const FileCheck& check, bool verify) {
    ConsoleSession& s = tool.Session();
    const TableRead read = s.ReadWholeTable();
    if (tool.Stopped())
        return tool.Fail(QStringLiteral("interrupted; nothing was sent"), kInterrupted);
    if (!read.result.Complete())
        return tool.Fail(IncompleteText(read.result) + QStringLiteral("; nothing was sent"));
    const QList<PlannedChange> plan =
        PlanChanges(CompareMappings(check.Mappings, read.lines, s.Tables()));
    tool.Bar().SetTotal(int(plan.size()));
    // With --verify, each entry is written once its output has been asked back.
    std::optional<Journal::Hold> held;
    if (verify) held.emplace(&s.ChangeJournal());
    const ApplyResult applied = s.Changes().Apply(plan);
    if (applied.Stopped) {
        const QString what = QStringLiteral(
                                 "%1 of %2 changes were sent; the change of unit %3 "
                                 "channel %4 and after were not")
                                 .arg(applied.Applied)
                                 .arg(plan.size())
                                 .arg(applied.StoppedAt.Row.Unit)
                                 .arg(applied.StoppedAt.Row.Channel);
        if (tool.Stopped()) return tool.Fail(QStringLiteral("interrupted: ") + what, kInterrupted);
        return tool.Fail(QStringLiteral("the controller did not answer: ") + what);
    }
    tool.Say(QStringLiteral("%1 changes sent from %2").arg(applied.Applied).arg(file));
    if (!verify) return kOk;
    return ReportVerify(tool, s.Changes().Verify(LiveChanges::ExpectationsOf(plan)));
}

QJsonObject RowJson(const OutputComparison& r) {
    return {{"output", r.Output},
            {"name", r.Name},
            {"unit", r.Unit},
            {"channel", r.Channel},
            {"kind", DifferenceText(r.Kind)},
            {"file", r.FileMap},
            {"controller", r.ControllerMap},
            {"fileLine", r.FileLine}};
}

int Diff(Tool& tool, const QString& file, const FileCheck& check, bool json) {
    ConsoleSession& s = tool.Session();
    const TableRead read = s.ReadWholeTable();
    if (tool.Stopped()) return tool.Fail(QStringLiteral("interrupted"), kInterrupted);
    if (!read.result.Complete()) return tool.Fail(IncompleteText(read.result));
    const QList<OutputComparison> rows = CompareMappings(check.Mappings, read.lines, s.Tables());
    const int differences = CountDifferences(rows);
    tool.Bar().Clear();
    if (json) {
        QJsonArray changed;
        for (const OutputComparison& r : rows)
            if (r.Kind != Difference::Same) changed.append(RowJson(r));
        const QJsonObject doc{{"file", file},
                              {"equal", differences == 0},
                              {"differences", differences},
                              {"rows", changed}};
        Out(QString::fromUtf8(QJsonDocument(doc).toJson(QJsonDocument::Indented)));
    } else {
        for (const OutputComparison& r : rows) {
            if (r.Kind == Difference::Same) continue;
            const QString who =
                r.Output ? QStringLiteral("output %1 (%2)").arg(r.Output).arg(r.Name)
                         : QStringLiteral("unit %1 channel %2").arg(r.Unit).arg(r.Channel);
            auto side = [](const QString& map, const QString& inputs) {
                return map.isEmpty() ? QStringLiteral("unmapped")
                                     : map + QStringLiteral(" (") + inputs + QLatin1Char(')');
            };
            Out(QStringLiteral("%1 %2: file %3, controller %4\n")
                    .arg(DifferenceText(r.Kind), who, side(r.FileMap, r.FileInputs),
                         side(r.ControllerMap, r.ControllerInputs)));
        }
    }
    tool.Say(differences == 0
                 ? QStringLiteral("the controller holds %1").arg(file)
                 : QStringLiteral("%1 outputs differ from %2").arg(differences).arg(file));
    return differences == 0 ? kOk : kFound;
}

int Check(Tool& tool, const QString& file, const FileCheck& check) {
    for (const Finding& f : check.Findings)
        Out(file + QStringLiteral(": ") + f.Text + QLatin1Char('\n'));
    if (check.Findings.isEmpty()) {
        tool.Say(QStringLiteral("%1: %2, nothing found")
                     .arg(file, Mappings(int(check.Mappings.size()))));
        return kOk;
    }
    return kFound;
}

int Send(Tool& tool, const QString& text) {
    CommandExchange& link = tool.Session().Exchange();
    link.SendCommand(text);
    tool.Session().ChangeJournal().RecordCommand(
        QStringLiteral("send"), text,
        link.IBuffer.endsWith(QLatin1Char('.')) ? outcome::kAnswered : outcome::kFailed);
    Out(link.IBuffer);
    if (!link.IBuffer.endsWith(QLatin1Char('\n'))) Out(QStringLiteral("\n"));
    if (link.IBuffer.isEmpty())
        return tool.Fail(QStringLiteral("no answer from the tally controller on %1")
                             .arg(tool.Session().Port().DeviceName()));
    if (!link.IBuffer.endsWith(QLatin1Char('.')))
        return tool.Fail(
            QStringLiteral("the reply did not end within %1 ms").arg(link.DeadlineMs()));
    return kOk;
}

// One poll of the unit: false when the controller did not answer.
bool ShowStatus(Tool& tool, int unit, bool json) {
    UnitStatus& units = tool.Session().Units();
    const std::optional<quint32> lamps = units.UpdateBitStatus(unit);
    const QString status = units.GetStat(unit);
    const bool answered = lamps.has_value();
    QString bits;
    if (answered)
        for (int k = 1; k <= UnitStatus::kLamps; ++k)
            bits += UnitStatus::LampLit(*lamps, k) ? u'1' : u'0';
    if (json) {
        const QJsonObject doc{
            {"unit", unit}, {"answered", answered}, {"bits", bits}, {"status", status}};
        Out(QString::fromUtf8(QJsonDocument(doc).toJson(QJsonDocument::Compact)) + u'\n');
    } else if (answered) {
        QString grouped;
        for (int i = 0; i < bits.size(); i += 4)
            grouped += bits.mid(i, 4) + (i + 4 < bits.size() ? QStringLiteral(" ") : QString());
        Out(QStringLiteral("unit %1  bits 1-32: %2  status: %3\n").arg(unit).arg(grouped, status));
    } else {
        Out(QStringLiteral("unit %1  no answer\n").arg(unit));
    }
    std::fflush(stdout);
    return answered;
}

int Status(Tool& tool, int unit, bool watch, bool json) {
    if (!watch) {
        if (ShowStatus(tool, unit, json)) return kOk;
        return tool.Fail(QStringLiteral("no answer from unit %1 on %2")
                             .arg(unit)
                             .arg(tool.Session().Port().DeviceName()));
    }
    // Each poll finishes before the next is planned; Ctrl+C ends the watch between polls.
    QTimer timer;
    timer.setSingleShot(true);
    timer.setInterval(200);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (tool.Stopped()) return QCoreApplication::exit(kOk);
        ShowStatus(tool, unit, json);
        if (tool.Stopped()) return QCoreApplication::exit(kOk);
        timer.start();
    });
    timer.start(0);
    QTimer stopCheck;
    QObject::connect(&stopCheck, &QTimer::timeout, [&] {
        if (tool.Stopped()) QCoreApplication::exit(kOk);
    });
    stopCheck.start(100);
    return QCoreApplication::exec();
}

struct Command {
    const char* name;
    const char* arguments;
    const char* description;
};

const Command kCommands[] = {
    {"backup", "",
     "Reads the controller's whole table and writes it as a tally file.\n"
     "Without -o the file goes to standard output. A backup that ends incomplete\n"
     "writes nothing: the old file stays."},
    {"restore", "FILE",
     "Loads a tally file into the controller: Init, the units enabled again,\n"
     "then every line. A file with findings of 'check' is refused unless\n"
     "--force. Ctrl+C stops after the current line and says what was sent."},
    {"diff", "FILE",
     "Compares a tally file with the controller's table and prints the outputs\n"
     "that differ. Exit 0 when equal, 1 when different, 2 on an error."},
    {"check", "FILE",
     "Checks a tally file against Kavro.ini; prints each finding with its line\n"
     "number. Exit 1 when something was found. Needs no controller."},
    {"send", "TEXT", "Sends one raw command line and prints the raw reply."},
    {"status", "UNIT", "Prints the unit's 32 input bits (1 to 32) and its status line."},
    {"lamps", "",
     "Reads the controller's table and the input bits of every unit that carries a\n"
     "configured input; prints each configured output's lamp (lit, dark, unknown),\n"
     "its inputs by name and the reason, one line per output (fields separated by\n"
     "tabs: output, name, unit, channel, lamp, mapping, reason) or as JSON. --watch\n"
     "prints the whole state, then each output whose lamp or reason changes, with a\n"
     "time stamp (JSON: one object per line). A unit that does not answer leaves its\n"
     "inputs unknown and ends the tool with exit 2."},
    {"journal", "",
     "Prints the change journal of the installation, oldest entry first: every change\n"
     "the console and vendractl made to the controller's table. Needs no controller."},
};

int Run(const QStringList& args) {
    if (args.size() < 2 || args[1] == QStringLiteral("--help") || args[1] == QStringLiteral("-h")) {
        Out(QString::fromLatin1(kOverview) + u'\n' + QString::fromLatin1(kExitCodes) + u'\n');
        return args.size() < 2 ? kError : kOk;
    }
    const Command* command = nullptr;
    for (const Command& c : kCommands)
        if (args[1] == QLatin1String(c.name)) command = &c;
    if (!command) {
        std::fprintf(stderr, "vendractl: unknown command \"%s\"; see vendractl --help\n",
                     qPrintable(args[1]));
        return kError;
    }
    const QString name = QString::fromLatin1(command->name);

    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(command->description) +
                                     QStringLiteral("\n\n") + QString::fromLatin1(kExitCodes));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Shows this help."));
    const QCommandLineOption ini(QStringLiteral("ini"),
                                 QStringLiteral("The installation file (default: Kavro.ini beside "
                                                "the program)."),
                                 QStringLiteral("PATH"));
    const QCommandLineOption device(QStringLiteral("device"),
                                    QStringLiteral("The controller's device, in place of the port "
                                                   "Kavro.ini names."),
                                    QStringLiteral("PATH"));
    const QCommandLineOption quiet(QStringLiteral("quiet"),
                                   QStringLiteral("No progress and no summary on standard error."));
    const QCommandLineOption output({QStringLiteral("o"), QStringLiteral("output")},
                                    QStringLiteral("Write the backup to FILE (atomically)."),
                                    QStringLiteral("FILE"));
    const QCommandLineOption changesOnly(QStringLiteral("changes-only"),
                                         QStringLiteral("Send only the outputs that differ."));
    const QCommandLineOption verify(QStringLiteral("verify"),
                                    QStringLiteral("Ask every restored output back afterwards."));
    const QCommandLineOption force(QStringLiteral("force"),
                                   QStringLiteral("Restore a file with findings all the same."));
    const QCommandLineOption json(QStringLiteral("json"), QStringLiteral("Print JSON."));
    const QCommandLineOption watch(QStringLiteral("watch"),
                                   QStringLiteral("Poll every 200 ms until Ctrl+C."));
    const QCommandLineOption since(QStringLiteral("since"),
                                   QStringLiteral("Only entries from TIME on (2026-12-09T19:58, "
                                                  "2026-12-09, or 19:58 today)."),
                                   QStringLiteral("TIME"));
    const QCommandLineOption outputFilter(
        QStringLiteral("output"),
        QStringLiteral("Only entries of output N (its number, unit/channel, or part of its name)."),
        QStringLiteral("N"));
    parser.addOptions({help, ini, device, quiet});
    if (name == QStringLiteral("journal")) parser.addOptions({since, outputFilter, json});
    if (name == QStringLiteral("backup")) parser.addOption(output);
    if (name == QStringLiteral("restore")) parser.addOptions({changesOnly, verify, force});
    if (name == QStringLiteral("diff") || name == QStringLiteral("status") ||
        name == QStringLiteral("lamps"))
        parser.addOption(json);
    if (name == QStringLiteral("status") || name == QStringLiteral("lamps"))
        parser.addOption(watch);
    if (*command->arguments)
        parser.addPositionalArgument(QString::fromLatin1(command->arguments),
                                     QStringLiteral("See above."));

    QStringList parsed = args;
    parsed.removeAt(1);
    parsed[0] = QStringLiteral("vendractl ") + name;
    if (!parser.parse(parsed)) {
        std::fprintf(stderr, "vendractl: %s\n", qPrintable(parser.errorText()));
        return kError;
    }
    if (parser.isSet(help)) {
        // The usage line names the command, not the path the tool was started by.
        QString text = parser.helpText();
        text.replace(0, text.indexOf(u'\n'),
                     QStringLiteral("Usage: vendractl %1 [options] %2")
                         .arg(name, QString::fromLatin1(command->arguments))
                         .trimmed());
        Out(text);
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

    Tool tool(parser.isSet(quiet));
    const QString iniPath =
        parser.isSet(ini)
            ? parser.value(ini)
            : QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("Kavro.ini"));
    if (auto failed = tool.Configure(iniPath, parser.value(device))) return *failed;
    ConsoleSession& s = tool.Session();

    // Files are read and checked before the controller is touched.
    FileCheck check;
    if (name == QStringLiteral("restore") || name == QStringLiteral("diff") ||
        name == QStringLiteral("check")) {
        check = s.Changes().CheckFile(argument);
        if (!check.Readable) return tool.Fail(check.Error);
    }
    if (name == QStringLiteral("check")) return Check(tool, argument, check);
    if (name == QStringLiteral("journal")) {
        const auto from = parser.isSet(since) ? ParseSince(parser.value(since)) : QDateTime();
        if (!from)
            return tool.Fail(QStringLiteral("\"%1\" is not a time").arg(parser.value(since)));
        return PrintJournal(
            {s.ChangeJournal().Path(), *from, parser.value(outputFilter), parser.isSet(json)});
    }
    if (name == QStringLiteral("restore") && !check.Findings.isEmpty() && !parser.isSet(force)) {
        for (const Finding& f : check.Findings)
            std::fprintf(stderr, "%s: %s\n", qPrintable(argument), qPrintable(f.Text));
        return tool.Fail(QStringLiteral("%1 has %2 findings; nothing was sent (--force restores "
                                        "it all the same)")
                             .arg(argument)
                             .arg(check.Findings.size()));
    }
    int unit = 0;
    if (name == QStringLiteral("status")) {
        bool ok = false;
        unit = argument.toInt(&ok);
        if (!ok || unit < 0 || unit > 32767)
            return tool.Fail(QStringLiteral("\"%1\" is not a unit number").arg(argument));
    }

    const bool probe = name != QStringLiteral("send") && name != QStringLiteral("status");
    if (auto failed = tool.Connect(probe)) return *failed;
    const Journal::Operation operation(&s.ChangeJournal(), name);
    if (name == QStringLiteral("backup")) return Backup(tool, parser.value(output));
    if (name == QStringLiteral("restore"))
        return parser.isSet(changesOnly)
                   ? RestoreChanges(tool, argument, check, parser.isSet(verify))
                   : RestoreAll(tool, argument, check, parser.isSet(verify));
    if (name == QStringLiteral("diff")) return Diff(tool, argument, check, parser.isSet(json));
    if (name == QStringLiteral("send")) return Send(tool, argument);
    if (name == QStringLiteral("lamps"))
        return LampsCommand(s, {parser.isSet(watch), parser.isSet(json),
                                [&](const QString& t, int code) { return tool.Fail(t, code); },
                                [&] { return tool.Stopped(); }});
    return Status(tool, unit, parser.isSet(watch), parser.isSet(json));
}

}  // namespace
}  // namespace vendra

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vendractl"));
    return vendra::Run(QCoreApplication::arguments());
}
