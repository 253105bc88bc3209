#pragma once
// A pure model of the tally controller's serial protocol. It takes the bytes the console writes
// and answers the bytes the controller would send back: the echo of each command line, CR LF,
// the reply line (if any) with CR LF, then the terminator ".".
#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <map>
#include <set>
#include <utility>
#include <vector>

namespace vendra {

struct SimEntry {
    int OutUnit = 0;
    int OutChannel = 0;
    int InUnit = 0;
    int InChannel = 0;
    int Enable = 0;
    int BoolUnit = 0;
    int BoolChannel = 0;
    int Mode = 0;
    friend bool operator==(const SimEntry&, const SimEntry&) = default;
};

// Faults the model can be told to commit on every reply.
enum class SimFault {
    None,
    Silent,        // answers nothing at all
    NoTerminator,  // the reply without its "."
    DotInReply,    // a "." inside the reply line, before the real terminator
    Garbage,       // binary garbage instead of a reply
    Flood,         // the echo, then kFloodBytes of text without line end or terminator
    Noise,         // binary bytes inside an otherwise whole reply, terminator included
    BareEnd,       // "RawMap" past the end of the list answered with the terminator alone
    CrOnly,        // lines ended by a carriage return alone
};

class ControllerModel {
public:
    // The controller's table has room for this many entries, holes included.
    static constexpr int kMaxEntries = 1000;
    // A command line longer than this is cut there and refused; the rest is dropped.
    static constexpr int kMaxLine = 1024;
    // What the Flood fault sends after the echo: far more than any console should keep.
    static constexpr int kFloodBytes = 100 * 1024;

    ControllerModel();

    // Bytes as they arrive from the console; answers the bytes to send back. A command line
    // ends at CR LF (or a lone LF); carriage returns inside a line are dropped, so the probe
    // CR "VER" CR LF is the command "VER".
    QByteArray Feed(const QByteArray& bytes);

    // One command line, without its line end; answers the bytes to send back.
    QByteArray Receive(const QByteArray& line);

    // The mapping table in the controller's own order (holes have OutUnit 0).
    const std::vector<SimEntry>& Table() const { return table_; }
    void SetTable(std::vector<SimEntry> table) { table_ = std::move(table); }
    // Adds the mapping strings of a tally matrix file; false with a reason when unreadable.
    bool LoadTallyFile(const QString& path, QString* error);
    // Adds one mapping string ("[1][3][2][17][1][0][0][0]") at the end of the table.
    void AddMappingString(const QString& text);

    // Every command line received, in order.
    const QStringList& Log() const { return log_; }
    void ClearLog() { log_.clear(); }

    // Input bits of a unit: bit 0 is channel 1.
    void SetInputBits(int unit, quint32 bits) { inputBits_[unit] = bits; }
    quint32 InputBits(int unit) const;

    // An output is lit when it was forced on with "Set", or when its entry is enabled and its
    // inputs (single, AND or OR) are active.
    bool IsOutputOn(int unit, int channel) const;
    bool IsForcedOn(int unit, int channel) const;
    bool IsEntryEnabled(int unit, int channel) const;
    const std::set<int>& EnabledUnits() const { return enabledUnits_; }
    // Enables a unit as "Uenable" does, without a command line.
    void EnableUnit(int unit) { enabledUnits_.insert(unit); }

    // The line the controller answers to "VER".
    void SetVersionText(const QByteArray& text) { versionText_ = text; }

    // Fault injection.
    void SetFault(SimFault fault) { fault_ = fault; }
    // Limits the fault to a stretch of command lines: the next `after` lines are answered
    // normally, the `lines` after them get the fault (-1: every one), and the rest normally
    // again, as a controller that misbehaves for a while and then recovers.
    void SetFaultWindow(int after, int lines) {
        faultAfter_ = after;
        faultLines_ = lines;
    }
    // Refuses every command line equal to this one (blanks and case aside): it answers an error
    // line and changes nothing, as a controller that did not take the command.
    void AddRefusal(const QByteArray& line) { refused_.insert(line.simplified().toLower()); }
    // Answers "OK" to this command line and changes nothing: a controller that acknowledges a
    // command it did not carry out, which only asking back can tell.
    void AddIgnored(const QByteArray& line) { ignored_.insert(line.simplified().toLower()); }
    // Answers this many more command lines normally, then behaves as Silent. -1: no limit.
    void SetAnswerLimit(int lines) { answerLimit_ = lines; }

private:
    // ... implementation details are the simulator's own.
    std::vector<SimEntry> table_;
    QStringList log_;
    std::map<int, quint32> inputBits_;
    std::set<std::pair<int, int>> forcedOn_;
    std::set<std::pair<int, int>> disabled_;
    std::set<int> enabledUnits_;
    QByteArray versionText_ = "MAINV8";
    QByteArray pending_;
    SimFault fault_ = SimFault::None;
    int answerLimit_ = -1;
    int faultAfter_ = 0;
    int faultLines_ = -1;
    bool overlong_ = false;
    std::set<QByteArray> refused_;
    std::set<QByteArray> ignored_;

    QByteArray Answer(const QByteArray& line, bool overlong);
    QByteArray Execute(const QList<QByteArray>& words);
    QByteArray Frame(const QByteArray& echo, const QByteArray& reply, bool hasReply,
                     const QByteArray& lineEnd = "\r\n") const;
    // The fault this line gets, counting it against the fault window.
    SimFault FaultForNextLine();
    std::vector<SimEntry>::iterator FindEntry(int unit, int channel);
    std::vector<SimEntry>::const_iterator FindEntry(int unit, int channel) const;
    QByteArray MappingString(const SimEntry& entry) const;
    bool InputActive(int unit, int channel) const;
};

}  // namespace vendra
