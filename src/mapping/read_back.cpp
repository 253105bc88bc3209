#include "mapping/read_back.h"

#include <QThread>
#include <optional>

#include "link/command_exchange.h"
#include "mapping/command_lines.h"
#include "mapping/mapping_tables.h"
#include "platform/dialogs.h"
#include "platform/message_text.h"
#include "platform/numbers.h"

namespace vendra {

ReadBack::ReadBack(MappingTables& tables, CommandExchange& link, Dialogs& dialogs, QObject* parent)
    : QObject(parent), tables_(tables), link_(link), dialogs_(dialogs) {}

void ReadBack::GetMapping(int Ounit, int Ochannel) {
    tables_.Current =
        ParseGetMap(link_.Exchange(OutputLine(QStringLiteral("GetMap"), Ounit, Ochannel)).Line);
}

QString ReadBack::GetRawMapping(int Index) {
    const QString s = link_.Exchange(QStringLiteral("RawMap") + SignColumn(Index)).Line;
    if (s.isEmpty()) return {};
    if (tables_.RawMapList.Valid(Index)) tables_.RawMapList[Index] = s;
    tables_.Current = ParseGetMap(s);
    return s;
}

void ReadBack::CancelDownload() {
    tables_.DownloadActive = 0;
}

ReadBackResult ReadBack::GetAllRawMappings() {
    // Reached from the events a busy operation lets run (this read-back's own among them): the
    // running operation owns the tables. DownloadActive cannot tell: "Cancel" clears it while
    // the read-back is still running.
    BusyState& busy = link_.Busy();
    if (busy.Pumping()) return {ReadBackEnd::Cancelled, tables_.MapStringCount};
    std::optional<BusyState::Scope> busyScope;
    busyScope.emplace(busy);

    tables_.MapStringCount = 0;
    tables_.ClearLocalMaps();
    int n = 1;
    tables_.DownloadActive = -1;
    Q_EMIT Progressed({});
    Q_EMIT ControlsEnabled(false);
    Q_EMIT CancelVisible(true);
    QThread::msleep(pauseMs_);

    ReadBackResult result{ReadBackEnd::Cancelled, 0};
    bool broken = false;
    QString strange;
    while (tables_.DownloadActive != 0) {
        // The only place where the "Cancel" click can be handled; nothing else that runs
        // here reaches the controller.
        busy.Pump();
        if (busy.StopRequested()) break;

        const QString s = GetRawMapping(n);
        // A reply that never reached its "." is a controller that stopped answering, and one
        // whose "." does not start a line was cut short by a stray "." inside it: neither is
        // the end of the list, even when the line left over is empty or all zeros.
        const Reply& reply = link_.LastReply();
        if (!reply.Answered()) {
            result.end = ReadBackEnd::NoAnswer;
            broken = reply.Raw.endsWith(QLatin1Char('.'));
            break;
        }
        // A line that is no mapping string (an error line) ends the list too, but says
        // nothing about where the list ends.
        if (!s.isEmpty() && CountFields(s) == 0) {
            result.end = ReadBackEnd::StrangeReply;
            strange = s;
            break;
        }
        if (s.isEmpty() || tables_.Current.OutUnit == 0) {
            result.end = ReadBackEnd::EndOfList;
            break;
        }
        if (n > kMaxEntries) {
            // Entry 1000 exists: there is no slot for it, nor for what follows.
            result.end = ReadBackEnd::TableFull;
            break;
        }
        Q_EMIT Progressed({ProgressReport::Phase::Reading, n, 0});

        const int o = tables_.FindOutputMapping();
        const int j = tables_.FindInputSourceMapping();
        // An output the configuration lacks lands one past the last configured output; with
        // all 999 outputs configured there is no such slot and the entry is only counted.
        if (tables_.OutMapString.Valid(o)) {
            tables_.OutMapInput[o] = Plain(j);
            // An output under test is disabled by the test, not by its mapping: the release
            // enables it again, and the copy keeps the mapping as the release leaves it.
            tables_.OutMapString[o] = tables_.OutTest[o] == -1 ? EnabledMapString(s) : s;
        }
        ++n;
    }
    tables_.DownloadActive = 0;

    Q_EMIT ControlsEnabled(true);
    Q_EMIT CancelVisible(false);
    tables_.MapStringCount = n - 1;
    result.count = tables_.MapStringCount;
    lastComplete_ = result.Complete();
    Q_EMIT ListRead(result);
    // The read is over: its report is shown with the line free and the controls back.
    busyScope.reset();
    if (!result.Complete() && result.end != ReadBackEnd::Cancelled)
        TellIncomplete(result, broken, strange);
    return result;
}

bool ReadBack::CopyMayBeStale() const {
    return !lastComplete_ || tables_.TestMarksUncertain;
}

ReadBackResult ReadBack::CompactAndReadAll() {
    const Reply reply = link_.Exchange(QStringLiteral("Comp"));
    if (OutcomeOf(true, reply) == ChangeOutcome::Made) return GetAllRawMappings();
    lastComplete_ = false;
    const ReadBackResult result{reply.IsError() ? ReadBackEnd::StrangeReply : ReadBackEnd::NoAnswer,
                                tables_.MapStringCount};
    if (reply.Kind == ReplyKind::Refused) return result;  // a stop or a busy line: said already
    dialogs_.Message(
        QStringLiteral("The tally system did not compact its table (%1), so the table was not "
                       "read.\r\nThe table shown may differ from the tally system's: read it "
                       "again with \"Refresh\" before you change or save it.")
            .arg(reply.Answered() ? Quoted(reply.Line) : reply.KindText()),
        QStringLiteral("Read-back incomplete"), Buttons::Ok, Icon::Information);
    return result;
}

void ReadBack::TellIncomplete(const ReadBackResult& result, bool brokenReply,
                              const QString& strange) {
    const QString entries = MappingCount(result.count);
    QString text;
    if (result.end == ReadBackEnd::TableFull) {
        text = QStringLiteral("The tally system holds more mappings than the console can keep.") +
               QStringLiteral("\r\nOnly the first ") + entries +
               QStringLiteral(" were read: the table shown is incomplete.");
    } else {
        text = (!strange.isEmpty()
                    ? QStringLiteral("The tally system answered %1 after ").arg(Quoted(strange))
                : brokenReply ? QStringLiteral("The tally system sent a broken reply after ")
                              : QStringLiteral("The tally system stopped answering after ")) +
               entries +
               QStringLiteral(
                   ".\r\nThe table shown is incomplete: read it again with "
                   "\"Refresh\" before you change or save it.");
    }
    dialogs_.Message(text, QStringLiteral("Read-back incomplete"), Buttons::Ok, Icon::Information);
}

}  // namespace vendra
