#pragma once
// Reading mappings back from the controller: one output's mapping, the n-th entry of the
// controller's list, and the whole list into the tables.
#include <QObject>
#include <QString>

#include "mapping/progress.h"

namespace vendra {

class CommandExchange;
class Dialogs;
struct MappingTables;

// How a read-back of the whole list ended. Anything but EndOfList leaves an incomplete table:
// whoever saves it should ask first.
enum class ReadBackEnd {
    EndOfList,     // the controller said the list ends here
    Cancelled,     // the operator pressed "Cancel"
    NoAnswer,      // the controller stopped answering, or a reply came incomplete or broken
    TableFull,     // the controller holds more entries than the table has room for
    StrangeReply,  // a whole reply that is not a mapping string (an error line)
};

struct ReadBackResult {
    ReadBackEnd end = ReadBackEnd::EndOfList;
    int count = 0;  // entries taken into the tables (MapStringCount)
    bool Complete() const { return end == ReadBackEnd::EndOfList; }
};

class ReadBack : public QObject {
    Q_OBJECT
public:
    static constexpr int kPauseMs = 400;
    // RawMapList has slots 0 .. 999; entry n goes to slot n.
    static constexpr int kMaxEntries = 999;

    ReadBack(MappingTables& tables, CommandExchange& link, Dialogs& dialogs,
             QObject* parent = nullptr);

    // Asks for one output's mapping and parses the answer into tables.Current. The tables are
    // not changed. Does not look at the online state.
    void GetMapping(int Ounit, int Ochannel);
    // Asks for the n-th entry of the controller's list; a non-empty answer is kept in
    // RawMapList(Index), parsed into tables.Current and returned.
    QString GetRawMapping(int Index);
    // Reads the whole list into the tables. Lets pending events run once per entry, between
    // exchanges, so that CancelDownload can be reached. Tells the operator when the table it
    // leaves is incomplete for any reason but his own "Cancel".
    ReadBackResult GetAllRawMappings();
    // Compacts the controller's table ("Comp"), then reads it whole. A compaction not made
    // reads nothing: the list would end at the first hole left by a cleared entry.
    ReadBackResult CompactAndReadAll();

    // The pause before the first entry is asked for; kPauseMs unless a test sets another.
    void SetPauseMs(int ms) { pauseMs_ = ms; }
    // True until a whole read-back has reached the end of the controller's list, and again
    // after one that ended short: the tables may then differ from the controller's table.
    bool CopyMayBeStale() const;
    // A change the controller may or may not have taken (no answer, cut short): the tables may
    // differ from its table until the next whole read-back.
    void MarkCopyStale() { lastComplete_ = false; }

public Q_SLOTS:
    // The "Cancel" button: the entry being asked for is still taken, then the read-back ends.
    void CancelDownload();

Q_SIGNALS:
    // Starting, then Reading with the entries read so far.
    void Progressed(const ProgressReport& progress);
    // False while the read-back runs: the mapping controls are disabled meanwhile.
    void ControlsEnabled(bool enabled);
    void CancelVisible(bool visible);
    // A whole read-back has ended (however it ended); the list is in RawMapList.
    void ListRead(const ReadBackResult& result);

private:
    void TellIncomplete(const ReadBackResult& result, bool brokenReply, const QString& strange);

    MappingTables& tables_;
    CommandExchange& link_;
    Dialogs& dialogs_;
    int pauseMs_ = kPauseMs;
    bool lastComplete_ = false;
};

}  // namespace vendra
