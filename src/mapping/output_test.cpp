#include "mapping/output_test.h"

#include <vector>

#include "link/command_exchange.h"
#include "mapping/command_lines.h"
#include "mapping/mapping_string.h"
#include "mapping/mapping_tables.h"
#include "mapping/read_back.h"

namespace vendra {

OutputTest::OutputTest(MappingTables& tables, CommandExchange& link, ReadBack& readBack,
                       std::function<bool()> online, QObject* parent)
    : QObject(parent),
      tables_(tables),
      link_(link),
      readBack_(readBack),
      online_(std::move(online)) {
    // What the controller holds of a test is followed through every command on the line, this
    // object's own included: a release decides by it.
    connect(&link_, &CommandExchange::Exchanged, this, &OutputTest::FollowCommand);
    connect(&readBack_, &ReadBack::ListRead, this, &OutputTest::FollowReadBack);
}

bool OutputTest::UnderTest(int Output) const {
    return tables_.OutTest[Output] == -1;
}

// "MapEnab" made: the controller's entry is enabled again, also where the copy held it disabled
// before the test.
void OutputTest::CopyEnabled(int Output) {
    tables_.OutMapString[Output] = EnabledMapString(tables_.OutMapString[Output]);
}

std::optional<Reply> OutputTest::TestOn(int Output) {
    if (!tables_.IsConfiguredOutput(Output) || UnderTest(Output) || !online_()) return {};
    const int u = tables_.OutUnit[Output];
    const int c = tables_.OutChannel[Output];
    tables_.OutTest[Output] = -1;
    Q_EMIT RowTest(Output - 1, true);
    readBack_.GetMapping(u, c);
    Q_EMIT TestActive(true);
    const auto [reply, sent, made] = SendLines(link_, {OutputLine(QStringLiteral("mapdisab"), u, c),
                                                       OutputLine(QStringLiteral("Set"), u, c)});
    const ChangeOutcome outcome = OutcomeOf(true, reply);
    if (outcome == ChangeOutcome::Made) return reply;
    // Not made: take back what the controller may have taken (all but a refused command), so
    // that no lamp is left forced on or its mapping disabled with no row to show it.
    QStringList takeBack;
    if (sent == 2 && outcome == ChangeOutcome::Failed)
        takeBack << OutputLine(QStringLiteral("Res"), u, c);
    const bool enableAgain = sent == 2 || outcome == ChangeOutcome::Failed;
    if (enableAgain) takeBack << OutputLine(QStringLiteral("MapEnab"), u, c);
    const ChangeOutcome tookBack = takeBack.isEmpty()
                                       ? ChangeOutcome::Made
                                       : OutcomeOf(true, SendLines(link_, takeBack).reply);
    if (tookBack != ChangeOutcome::Made && MayHold(u, c)) {
        // Not taken back either: the lamp may be on or its mapping disabled. The row stays red
        // and the next release or latch tries again; the copy may not be the controller's.
        readBack_.MarkCopyStale();
        if (outcome == ChangeOutcome::Failed || tookBack == ChangeOutcome::Failed)
            tables_.TestMarksUncertain = true;
        tables_.OutTest[Output] = -1;
        Q_EMIT RowTest(Output - 1, true);
        return reply;
    }
    if (enableAgain && tookBack == ChangeOutcome::Made) CopyEnabled(Output);
    tables_.OutTest[Output] = 0;
    Q_EMIT RowTest(Output - 1, false);
    Q_EMIT TestActive(false);
    return reply;
}

std::optional<Reply> OutputTest::TestOff(int Output) {
    if (!tables_.IsConfiguredOutput(Output) || !UnderTest(Output) || !online_()) return {};
    const int u = tables_.OutUnit[Output];
    const int c = tables_.OutChannel[Output];
    Q_EMIT RowTest(Output - 1, false);
    tables_.OutTest[Output] = 0;
    const Reply reply = SendLines(link_, {OutputLine(QStringLiteral("Res"), u, c),
                                          OutputLine(QStringLiteral("MapEnab"), u, c)})
                            .reply;
    const ChangeOutcome outcome = OutcomeOf(true, reply);
    // A refused "MapEnab" after a "Map" made during the test had already enabled the entry
    // leaves nothing of the test behind.
    if (outcome != ChangeOutcome::Made && MayHold(u, c)) {
        // The lamp may still be on: the row says so, and the next release tries again.
        if (outcome == ChangeOutcome::Failed) tables_.TestMarksUncertain = true;
        tables_.OutTest[Output] = -1;
        Q_EMIT RowTest(Output - 1, true);
        return reply;
    }
    if (outcome == ChangeOutcome::Made) CopyEnabled(Output);
    if (NoneUnderTest()) tables_.TestMarksUncertain = false;
    Q_EMIT TestActive(false);
    return reply;
}

std::optional<Reply> OutputTest::TestLatchChange(int selectedOutput) {
    const std::optional<Reply> reply =
        UnderTest(selectedOutput) ? TestOff(selectedOutput) : TestOn(selectedOutput);
    // The tick follows the real state: offline nothing changed, and the box must not say so.
    Q_EMIT LatchShown(UnderTest(selectedOutput));
    return reply;
}

void OutputTest::FollowCommand(const QString& command, const Reply& reply) {
    const std::optional<CommandAddress> a = AddressOf(command);
    if (!a) return;
    const QString word = a->Word.toLower();
    const ChangeOutcome outcome = OutcomeOf(true, reply);
    const std::pair<int, int> at{a->Unit, a->Channel};
    // A test is two things in the controller: the output set on, its mapping disabled. Each may
    // have been done by a command made or unanswered; each is undone only by one made.
    if (word == QLatin1String("set") || word == QLatin1String("mapdisab")) {
        if (outcome != ChangeOutcome::Refused)
            (word == QLatin1String("set") ? forced_ : disabled_).insert(at);
        return;
    }
    const bool resets = word == QLatin1String("res");
    // "MapEnab" enables the entry again; after "Map" or "ClrMap" no entry is left disabled.
    const bool enables = word == QLatin1String("mapenab") || word == QLatin1String("map") ||
                         word == QLatin1String("clrmap");
    if (!resets && !enables) return;
    if (outcome != ChangeOutcome::Made) {
        // Unanswered, it may have ended a part of the test: a read-back cannot tell which.
        if (outcome == ChangeOutcome::Failed && MayHold(at.first, at.second))
            tables_.TestMarksUncertain = true;
        return;
    }
    (resets ? forced_ : disabled_).erase(at);
    EndTestsAt(at);
}

// A read-back shows each entry's enable flag: an output whose entries all read enabled, or (the
// whole list read) that has none, is not disabled by a test, whoever enabled it.
void OutputTest::FollowReadBack(const ReadBackResult& result) {
    std::set<std::pair<int, int>> seen, readDisabled;
    for (int i = 1; i <= result.count && tables_.RawMapList.Valid(i); ++i) {
        const MappingRecord m = ParseGetMap(tables_.RawMapList[i]);
        seen.insert({m.OutUnit, m.OutChannel});
        if (m.MapEnable == 0) readDisabled.insert({m.OutUnit, m.OutChannel});
    }
    std::vector<std::pair<int, int>> freed;
    for (const std::pair<int, int>& at : disabled_)
        if (seen.count(at) ? !readDisabled.count(at) : result.Complete()) freed.push_back(at);
    for (const std::pair<int, int>& at : freed) {
        disabled_.erase(at);
        EndTestsAt(at);
    }
}

void OutputTest::EndTestsAt(const std::pair<int, int>& at) {
    if (MayHold(at.first, at.second)) return;
    for (int o = 1; o <= tables_.NumOutputs; ++o)
        if (tables_.OutUnit[o] == at.first && tables_.OutChannel[o] == at.second && UnderTest(o)) {
            tables_.OutTest[o] = 0;
            Q_EMIT RowTest(o - 1, false);
        }
    if (NoneUnderTest()) tables_.TestMarksUncertain = false;
}

bool OutputTest::MayHold(int unit, int channel) const {
    return forced_.count({unit, channel}) || disabled_.count({unit, channel});
}

bool OutputTest::NoneUnderTest() const {
    for (int o = 1; o <= tables_.NumOutputs; ++o)
        if (UnderTest(o)) return false;
    return true;
}

void OutputTest::ClearAllTest() {
    forced_.clear();
    disabled_.clear();
    tables_.TestMarksUncertain = false;
    for (int i = 1; i <= tables_.NumOutputs; ++i) {
        tables_.OutTest[i] = 0;
        Q_EMIT RowTest(i - 1, false);
    }
}

}  // namespace vendra
