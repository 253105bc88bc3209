#pragma once
// Forcing one output on to check it, momentarily or latched. While an output is under test its
// mapping is disabled in the controller and the output is set on; ending the test resets it and
// enables its mapping again. Works only while online.
#include <QObject>
#include <functional>
#include <optional>

#include "link/command_exchange.h"

namespace vendra {

class ReadBack;
struct MappingTables;

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
    // A "Res" the controller made ends that output's test, whoever sent it.
    void FollowReset(const QString& command, const Reply& reply);

    bool UnderTest(int Output) const;

Q_SIGNALS:
    // Row = output - 1: under test or not.
    void RowTest(int row, bool underTest);
    // A test the "Test" button started is on (the controller made it) or over.
    void TestActive(bool on);
    // The "Latch" box is ticked or cleared.
    void LatchShown(bool ticked);

private:
    MappingTables& tables_;
    CommandExchange& link_;
    ReadBack& readBack_;
    std::function<bool()> online_;
};

}  // namespace vendra
