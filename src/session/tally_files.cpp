#include "session/tally_files.h"

#include <QFileInfo>
#include <map>
#include <vector>

#include "changes/journal.h"
#include "changes/mapping_diff.h"
#include "config/enabled_units.h"
#include "config/tally_file.h"
#include "link/command_exchange.h"
#include "mapping/mapping_commands.h"
#include "mapping/mapping_tables.h"
#include "mapping/read_back.h"
#include "platform/dialogs.h"
#include "platform/message_text.h"
#include "platform/numbers.h"

namespace vendra {

namespace {

const QString kFileError = QStringLiteral("File Error");
// Lines named one by one in a message; the rest are counted.
constexpr int kNamedLines = 5;

// What each address held before a load, kept current as its lines replace it, so that the
// journal names every output the load changes with its mapping before and after.
class LoadJournal {
public:
    // `known`: the console's copy is what the controller held (read back whole since the start).
    LoadJournal(Journal* journal, const MappingTables& tables, bool online, bool known)
        : journal_(journal), known_(known || !online) {
        if (!journal_) return;
        operation_ = journal_->CurrentOperation(QStringLiteral("Load"));
        for (int o = 1; o <= tables.NumOutputs + 1; ++o) {
            const QString& held = tables.OutMapString[o];
            const MappingRecord m = ParseGetMap(held);
            if (!held.isEmpty()) held_[{m.OutUnit, m.OutChannel}] = held;
        }
    }
    // "Init" was refused: nothing changed.
    void InitRefused() {
        if (journal_)
            journal_->RecordCommand(operation_, QStringLiteral("Init"), outcome::kRefused);
    }
    // The table was cleared: what the file does not map again is gone.
    void Cleared(const QList<TallyItem>& items, ChangeOutcome init) {
        if (!journal_) return;
        initOutcome_ = outcome::Word(init);
        std::map<Address, bool> mapped;
        for (const TallyItem& item : items) {
            const MappingRecord& m = item.Mapping;
            mapped[{m.OutUnit, m.OutChannel}] = true;
        }
        if (!known_) return;  // what the clear removed is not known
        for (auto& [a, held] : held_)
            if (!mapped.count(a)) Change(a, QString(), initOutcome_, QString());
    }
    // One line sent: `holds` is what its output holds now as far as the answers tell (after a
    // line not answered, only that the clear took it).
    void Line(const TallyItem& item, ChangeOutcome o, const QString& holds) {
        if (!journal_) return;
        Change({item.Mapping.OutUnit, item.Mapping.OutChannel}, item.Text, outcome::Word(o), holds);
    }
    // Lines not sent leave their outputs as the clear left them.
    void NotSent(const QList<TallyItem>& items) {
        if (!journal_) return;
        for (const TallyItem& item : items) {
            const MappingRecord& m = item.Mapping;
            Change({m.OutUnit, m.OutChannel}, QString(), initOutcome_, QString());
        }
    }

private:
    using Address = std::pair<int, int>;
    void Change(const Address& a, const QString& after, const QString& result,
                const QString& holds) {
        const bool known = known_ || changed_.count(a);
        QString& held = held_[a];
        const bool made = result == outcome::kAnswered || result == outcome::kOffline;
        if (known && made && DriveOf(held) == DriveOf(after)) return;
        journal_->Record(operation_, a.first, a.second, held, after, result, {}, known);
        changed_[a] = true;
        held = holds;
    }

    Journal* journal_;
    bool known_;
    std::map<Address, bool> changed_;
    QString operation_;
    QString initOutcome_ = outcome::kAnswered;
    std::map<Address, QString> held_;
};

// "line 3 ([1][3][2][5][1][0][0][0])"
QString LineText(int line, const QString& text) {
    return QStringLiteral("line %1 (%2)").arg(Plain(line), Shown(text));
}

// The first few of many, then how many more.
QString Named(const QStringList& named, qsizetype all) {
    QString text = named.join(QStringLiteral(", "));
    if (all > named.size()) text += QStringLiteral(" and %1 more").arg(all - named.size());
    return text;
}

}  // namespace

TallyFiles::TallyFiles(MappingTables& tables, MappingCommands& commands, ReadBack& reader,
                       CommandExchange& exchange, const EnabledUnits& units, Dialogs& dialogs,
                       std::function<bool()> online, QObject* parent)
    : QObject(parent),
      tables_(tables),
      commands_(commands),
      reader_(reader),
      exchange_(exchange),
      units_(units),
      dialogs_(dialogs),
      online_(std::move(online)) {}

void TallyFiles::Tell(const QString& text, const QString& title) {
    dialogs_.Message(text, title, Buttons::Ok, Icon::Information);
}

QString TallyFiles::SaveTallyDialog() {
    return dialogs_.SaveFileName(QStringLiteral("Save Tally Matrix to File"), TallyFileFilter());
}

QString TallyFiles::OpenTallyDialog() {
    return dialogs_.OpenFileName(QStringLiteral("Open Tally file and upload to matrix"),
                                 TallyFileFilter());
}

bool TallyFiles::SaveMatrixClick() {
    // The file buttons stay usable during a read-back, whose event loop would run this click
    // in the middle of it.
    if (exchange_.Busy().Busy()) return false;
    const BusyState::Scope held(exchange_.Busy());
    const bool compacted =
        !online_() || OutcomeOf(true, commands_.MapTableCompress()) == ChangeOutcome::Made;
    const QString path = SaveTallyDialog();
    if (!path.isEmpty()) {
        // A folder of that name is not a file to overwrite: the write reports it.
        const QFileInfo info(path);
        const bool declined =
            info.exists() && !info.isDir() &&
            dialogs_.Message(QStringLiteral("Do you want to Ovewrwrite existing file"),
                             QStringLiteral("File Already Exists"), Buttons::YesNo, Icon::None,
                             Answer::No) != Answer::Yes;
        if (!declined) {
            const bool written = SaveAllMappings(path, compacted);
            // Online the tables were read back afresh, whether or not the file was written.
            Q_EMIT ListRebuild();
            if (written) Q_EMIT FileNameShown(ParseFilename(path));
        }
    }
    return true;
}

bool TallyFiles::SaveAllMappings(const QString& TallyFile, bool compacted) {
    QStringList lines;
    if (online_()) {
        const ReadBackResult read = reader_.GetAllRawMappings();
        if (!compacted) reader_.MarkCopyStale();
        // The operator's own "Cancel" writes what was read; a table cut short by the
        // controller, or read past no compaction, is written only when he says so.
        if (!(read.Complete() && compacted) && read.end != ReadBackEnd::Cancelled) {
            const QString them = read.count == 1 ? QStringLiteral("it") : QStringLiteral("them");
            const QString text = compacted
                                     ? QStringLiteral(
                                           "Only %1 could be read back from the tally system, so "
                                           "the table is incomplete. Write %2 to %3 all the same?")
                                           .arg(MappingCount(read.count), them, Quoted(TallyFile))
                                     : QStringLiteral(
                                           "The tally system did not compact its table, so the "
                                           "read-back may have ended at a gap: %1 read, more may "
                                           "follow the gap. Write %2 to %3 all the same?")
                                           .arg(MappingCount(read.count), them, Quoted(TallyFile));
            if (dialogs_.Message(text, QStringLiteral("Incomplete Table"), Buttons::YesNo,
                                 Icon::Information, Answer::No) != Answer::Yes)
                return false;
        }
        for (int i = 1; i <= tables_.MapStringCount; ++i)
            lines.append(tables_.RawMapList[i]);
    } else {
        for (int n = 1; n <= tables_.NumOutputs; ++n) {
            if (!tables_.OutMapString[n].isEmpty()) lines.append(tables_.OutMapString[n]);
        }
    }
    return WriteLines(TallyFile, lines);
}

bool TallyFiles::WriteLines(const QString& TallyFile, const QStringList& lines) {
    const TallyWriteResult written = WriteTallyFile(TallyFile, lines);
    if (!written.Ok) Tell(written.Error, kFileError);
    return written.Ok;
}

bool TallyFiles::LoadMatrixClick() {
    if (exchange_.Busy().Busy()) return false;
    const BusyState::Scope held(exchange_.Busy());
    const QString path = OpenTallyDialog();
    if (!path.isEmpty()) {
        if (!QFileInfo::exists(path)) {
            Tell(QStringLiteral("File does not exist"), kFileError);
        } else if (LoadMatrixMappings(path) != LoadOutcome::Refused) {
            Q_EMIT FileNameShown(ParseFilename(path));
        }
    }
    return true;
}

int TallyFiles::OutputRow(const std::vector<bool>& filled) {
    // Outputs that share an address (spare outputs all have unit 0, channel 0) were saved in
    // output order: each line takes the next of them that this load has not filled yet.
    const int first = tables_.FindOutputMapping();
    for (int o = first; o <= tables_.NumOutputs; ++o) {
        if (tables_.OutUnit[o] == tables_.Current.OutUnit &&
            tables_.OutChannel[o] == tables_.Current.OutChannel && !filled[static_cast<size_t>(o)])
            return o;
    }
    return first;
}

void TallyFiles::TellLeftOut(const QString& TallyFile, bool online, const QStringList& named) {
    const bool one = leftOut_.size() == 1;
    const QString them = one ? QStringLiteral("it") : QStringLiteral("them");
    Tell(QStringLiteral("%1 of %2 %3 for outputs that Kavro.ini does not list: %4. %5")
             .arg(one ? QStringLiteral("One line")
                      : Plain(leftOut_.size()) + QStringLiteral(" lines"),
                  Quoted(TallyFile), one ? QStringLiteral("is") : QStringLiteral("are"),
                  Named(named, leftOut_.size()),
                  online ? QStringLiteral("The tally system has %1, but no row of the console "
                                          "shows %1.")
                               .arg(them)
                         : QStringLiteral("No row shows %1 and a Save leaves %1 out.").arg(them)),
         QStringLiteral("Outputs Not Configured"));
}

void TallyFiles::TellNotTaken(const QString& TallyFile) {
    const QList<NotTaken>& lines = lastLoad_.notTaken;
    QStringList named;
    for (const NotTaken& n : lines.mid(0, kNamedLines))
        named << LineText(n.line, n.text) + QLatin1String(": ") + n.why;
    Tell(QStringLiteral("The tally system does not hold %1 of %2: %3. The rows show what it "
                        "holds.")
             .arg(lines.size() == 1 ? QStringLiteral("one line")
                                    : Plain(int(lines.size())) + QStringLiteral(" lines"),
                  Quoted(TallyFile), Named(named, lines.size())),
         QStringLiteral("Lines Not Taken"));
}

void TallyFiles::TellStopped(const QString& TallyFile, const QString& text) {
    Tell(QStringLiteral("Loading %1 stopped %2").arg(Quoted(TallyFile), text),
         QStringLiteral("Load Stopped"));
}

TallyFiles::LineSent TallyFiles::SendLine(const MappingRecord& m) {
    LineSent sent;
    sent.reply = commands_.SetMapping(m.OutUnit, m.OutChannel, m.InUnit, m.InChannel);
    sent.outcome = OutcomeOf(true, sent.reply);
    // The second input goes to the mapping the "Map" made: not without it.
    if (sent.outcome != ChangeOutcome::Made || m.BooleanMode == kSingle) return sent;
    const QString single = tables_.CurrentMapstring;
    sent.reply = commands_.SetBoolMapping(m.OutUnit, m.OutChannel, m.InUnit, m.InChannel,
                                          m.BooleanInUnit, m.BooleanInChannel, m.BooleanMode);
    sent.outcome = OutcomeOf(true, sent.reply);
    if (sent.outcome == ChangeOutcome::Refused) sent.single = single;
    return sent;
}

TallyFiles::LoadOutcome TallyFiles::LoadMatrixMappings(const QString& TallyFile,
                                                       bool askBeforeWipe) {
    leftOut_.clear();
    lastLoad_ = {};
    // The whole file is read and checked before anything is cleared: a file that is not what
    // it should be must never wipe the controller.
    const TallyReadResult read = ReadTallyItems(TallyFile);
    if (!read.Ok) {
        Tell(read.Error, kFileError);
        return LoadOutcome::Refused;
    }
    // A spare output (unit 0) can be mapped and saved like any other: its lines load again.
    const TallyCheck check =
        CheckTallyItems(read.Items, TallyFile, kMaxTallyItems, ConfiguredOutputs(tables_));
    if (!check.Ok) {
        Tell(check.Message, kFileError);
        return LoadOutcome::Refused;
    }
    // An empty file (a backup that went wrong) would leave the tally system with nothing.
    if (read.Items.isEmpty() && online_() && askBeforeWipe &&
        dialogs_.Message(QStringLiteral("This file holds no mappings: loading it clears every "
                                        "mapping in the tally system."),
                         QStringLiteral("Empty File"), Buttons::YesNo, Icon::Information,
                         Answer::No) != Answer::Yes)
        return LoadOutcome::Refused;

    // The load lets the window paint between its lines (its progress, a move, an uncovered
    // part) but handles no input; nothing those events try to send reaches the controller.
    BusyState& busy = exchange_.Busy();
    const BusyState::Scope busyScope(busy);
    Q_EMIT Progressed({});
    Q_EMIT ControlsEnabled(false);
    const bool online = online_();
    LoadJournal journal(journal_, tables_, online, !reader_.CopyMayBeStale());
    if (online) {
        const Reply init = commands_.SystemInit();
        const ChangeOutcome outcome = OutcomeOf(true, init);
        if (outcome == ChangeOutcome::Refused) {
            // The controller keeps its table: no line may go on top of it.
            journal.InitRefused();
            lastLoad_.stoppedReply = init;
            Q_EMIT ControlsEnabled(true);
            TellStopped(TallyFile,
                        QStringLiteral("before its first line: the tally system answered "
                                       "%1 to \"Init\" and holds its mappings as "
                                       "before.")
                            .arg(Quoted(init.Line)));
            return LoadOutcome::Stopped;
        }
        if (outcome == ChangeOutcome::Failed) {
            // Cleared or not, nobody knows: lines sent on top of a table that may still be
            // there would make a mix that no row or journal entry could tell.
            reader_.MarkCopyStale();
            journal.Cleared(read.Items, outcome);
            journal.NotSent(read.Items);
            lastLoad_.stoppedReply = init;
            Q_EMIT TableLoaded({});
            Q_EMIT ListRebuild();
            Q_EMIT ControlsEnabled(true);
            TellStopped(TallyFile,
                        QStringLiteral("before its first line: the tally system did not answer "
                                       "\"Init\" (%1), so its table may or may not have been "
                                       "cleared. Read it back with \"Refresh\", then load the "
                                       "file again.")
                            .arg(init.KindText()));
            return LoadOutcome::Stopped;
        }
        if (outcome == ChangeOutcome::Made) Q_EMIT ControllerCleared();
        EnableUnits(exchange_, units_);
        journal.Cleared(read.Items, outcome);
    } else {
        tables_.ClearLocalMaps();
        journal.Cleared(read.Items, ChangeOutcome::Offline);
    }

    QStringList leftOutLines;
    QStringList loaded;  // what the controller (offline: the copy) holds now
    const TallyItem* failed = nullptr;
    std::vector<bool> filled(static_cast<size_t>(tables_.OutMapString.Size()), false);
    int k = 0;
    for (const TallyItem& item : read.Items) {
        // A program that is ending stops between lines, never inside an AND or OR line.
        if (busy.StopRequested()) {
            lastLoad_.stoppedLine = item.Line;
            lastLoad_.interrupted = true;
            break;
        }
        // The check keeps k within RawMapList.
        tables_.RawMapList[k] = item.Text;
        const MappingRecord& m = item.Mapping;
        tables_.Current = m;
        QString holds = item.Text;  // what the output holds after this line
        ChangeOutcome outcome = ChangeOutcome::Offline;
        if (online && m.OutUnit == 0) {
            // Never sent: a controller that stored it would end every read-back there.
            lastLoad_.notTaken.append(
                {item.Line, item.Text, QStringLiteral("not sent, the output has no unit")});
            journal.NotSent({item});
            outcome = ChangeOutcome::Refused;
            holds.clear();
        } else if (online) {
            const LineSent sent = SendLine(m);
            outcome = sent.outcome;
            if (outcome == ChangeOutcome::Failed) {
                reader_.MarkCopyStale();
                journal.Line(item, outcome, QString());
                failed = &item;
                lastLoad_.stoppedLine = item.Line;
                lastLoad_.stoppedReply = sent.reply;
                break;
            }
            if (outcome == ChangeOutcome::Refused) {
                holds = sent.single;
                lastLoad_.notTaken.append({item.Line, item.Text, Quoted(sent.reply.Line)});
            }
            journal.Line(item, outcome, holds);
        } else {
            journal.Line(item, outcome, holds);
        }
        const bool made = outcome == ChangeOutcome::Made || outcome == ChangeOutcome::Offline;
        if (made) ++lastLoad_.applied;
        lastLoad_.lastAppliedLine = item.Line;
        Q_EMIT Progressed(
            {ProgressReport::Phase::Loading, k + 1, static_cast<int>(read.Items.size())});
        if (!holds.isEmpty()) {
            loaded << holds;
            // An output the configuration lacks lands one past the last configured output,
            // where no row shows it; with all 999 outputs configured there is no such slot.
            const int o = OutputRow(filled);
            if (tables_.OutMapString.Valid(o)) {
                filled[static_cast<size_t>(o)] = true;
                tables_.OutMapString[o] = holds;
                tables_.OutMapInput[o] = Plain(tables_.FindInputSourceMapping());
            }
            if (!tables_.IsConfiguredOutput(o)) {
                leftOut_.append(item.Text);
                if (leftOutLines.size() < kNamedLines)
                    leftOutLines.append(LineText(item.Line, item.Text));
            }
        }
        ++k;
        busy.Pump(QEventLoop::ExcludeUserInputEvents);
    }
    if (lastLoad_.stoppedLine) journal.NotSent(read.Items.mid(k + (failed ? 1 : 0)));
    Q_EMIT TableLoaded(loaded);
    Q_EMIT ListRebuild();
    Q_EMIT ControlsEnabled(true);
    // The program is ending: the rest of the file was not applied, and nobody is told.
    if (lastLoad_.interrupted) return LoadOutcome::Stopped;

    if (!leftOut_.isEmpty()) TellLeftOut(TallyFile, online, leftOutLines);
    if (!lastLoad_.notTaken.isEmpty()) TellNotTaken(TallyFile);
    if (failed) {
        TellStopped(
            TallyFile,
            QStringLiteral("at line %1 (%2): the tally system did not answer that "
                           "mapping. It holds the %3 of the lines before it, and perhaps "
                           "that line's; the rest of the file was not sent.")
                .arg(Plain(failed->Line), Shown(failed->Text), MappingCount(lastLoad_.applied)));
        return LoadOutcome::Stopped;
    }
    return lastLoad_.notTaken.isEmpty() ? LoadOutcome::Complete : LoadOutcome::Partial;
}

}  // namespace vendra
