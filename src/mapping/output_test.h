#pragma once
// Forcing one output on to check it, momentarily or latched. While an output is under test its
// mapping is disabled in the controller and the output is set on; ending the test resets it and
// enables its mapping again. Works only while online.
#include <QObject>
#include <functional>
#include <optional>
#include <set>

#include "link/command_exchange.h"

namespace vendra {

class ReadBack;
struct MappingTables;
struct ReadBackResult;

class OutputTest : public QObject {
    Q_OBJECT
public:
    OutputTest(MappingTables& tables, CommandExchange& link, ReadBack& readBack,
               std::function<bool()> online, QObject* parent = nullptr);

    // Outputs are numbered from 1; each is addressed by its own unit and channel from the
    // tables, so the lamp lit is the one whose row turns red. An output that is not
    // configured, already in the asked state, or any output while offline is left alone:
    // nothing is sent and there is no reply. Otherwise the reply of the command the test ended
    // at: the output is under test only when the controller made every command. A test the
    // controller did not make is taken back; an end it did not make leaves the test on.
    std::optional<Reply> TestOn(int Output);
    std::optional<Reply> TestOff(int Output);
    // Toggles the test of the selected output and reports the latch box's new tick.
    std::optional<Reply> TestLatchChange(int selectedOutput);
    // Forgets every test locally (nothing is sent) and repaints every output row.
    void ClearAllTest();
    // Follows every command, whoever sent it: an output's test ends once the controller has
    // made what undoes both of its parts ("Res" the output set on; "MapEnab", "Map" or "ClrMap"
    // the mapping disabled).
    void FollowCommand(const QString& command, const Reply& reply);
    // Follows what a read-back saw: an entry read enabled ends the disabling part of a test.
    void FollowReadBack(const ReadBackResult& result);

    bool UnderTest(int Output) const;

Q_SIGNALS:
    // Row = output - 1: under test or not.
    void RowTest(int row, bool underTest);
    // A test the "Test" button started is on (the controller made it) or over.
    void TestActive(bool on);
    // The "Latch" box is ticked or cleared.
    void LatchShown(bool ticked);

private:
    void CopyEnabled(int Output);
    bool NoneUnderTest() const;
    // The controller may still hold a part of a test at this address.
    bool MayHold(int unit, int channel) const;
    // Ends the rows' tests at the address once the controller holds no part of them.
    void EndTestsAt(const std::pair<int, int>& at);

    MappingTables& tables_;
    // The addresses a "Set" may have switched on (made, or unanswered) and no "Res" has since;
    // those a "mapdisab" may have disabled and no "MapEnab", "Map" or "ClrMap" has since.
    std::set<std::pair<int, int>> forced_;
    std::set<std::pair<int, int>> disabled_;
    CommandExchange& link_;
    ReadBack& readBack_;
    std::function<bool()> online_;
};

}  // namespace vendra
