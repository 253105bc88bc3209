#include "mapping/output_test.h"

#include <QRegularExpression>

#include "link/command_exchange.h"
#include "mapping/mapping_commands.h"
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
      online_(std::move(online)) {}

bool OutputTest::UnderTest(int Output) const {
    return tables_.OutTest[Output] == -1;
}

std::pair<Reply, int> OutputTest::Sequence(const QStringList& lines) {
    Reply reply;
    int sent = 0;
    for (const QString& line : lines) {
        reply = link_.Exchange(line);
        ++sent;
        if (OutcomeOf(true, reply) != ChangeOutcome::Made) break;
    }
    return {reply, sent};
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
    const auto [reply, sent] =
        Sequence({MappingCommands::OutputCommand(QStringLiteral("mapdisab"), u, c),
                  MappingCommands::OutputCommand(QStringLiteral("Set"), u, c)});
    const ChangeOutcome outcome = OutcomeOf(true, reply);
    if (outcome == ChangeOutcome::Made) return reply;
    // Not made: take back what the controller may have taken (all but a refused command), so
    // that no lamp is left forced on or its mapping disabled with no row to show it.
    QStringList takeBack;
    if (sent == 2 && outcome == ChangeOutcome::Failed)
        takeBack << MappingCommands::OutputCommand(QStringLiteral("Res"), u, c);
    const bool enableAgain = sent == 2 || outcome == ChangeOutcome::Failed;
    if (enableAgain) takeBack << MappingCommands::OutputCommand(QStringLiteral("MapEnab"), u, c);
    const ChangeOutcome tookBack =
        takeBack.isEmpty() ? ChangeOutcome::Made : OutcomeOf(true, Sequence(takeBack).first);
    if (tookBack != ChangeOutcome::Made) {
        // Not taken back either: the lamp may be on or its mapping disabled. The row stays red
        // and the next release or latch tries again; the copy may not be the controller's.
        readBack_.MarkCopyStale();
        if (outcome == ChangeOutcome::Failed || tookBack == ChangeOutcome::Failed)
            tables_.TestMarksUncertain = true;
        tables_.OutTest[Output] = -1;
        Q_EMIT RowTest(Output - 1, true);
        return reply;
    }
    if (enableAgain) CopyEnabled(Output);
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
    const Reply reply = Sequence({MappingCommands::OutputCommand(QStringLiteral("Res"), u, c),
                                  MappingCommands::OutputCommand(QStringLiteral("MapEnab"), u, c)})
                            .first;
    if (OutcomeOf(true, reply) != ChangeOutcome::Made) {
        // The lamp may still be on: the row says so, and the next release tries again.
        if (OutcomeOf(true, reply) == ChangeOutcome::Failed) tables_.TestMarksUncertain = true;
        tables_.OutTest[Output] = -1;
        Q_EMIT RowTest(Output - 1, true);
        return reply;
    }
    CopyEnabled(Output);
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
    static const QRegularExpression leading(QStringLiteral("^[A-Za-z]+"));
    const QString word = leading.match(command).captured().toLower();
    const ChangeOutcome outcome = OutcomeOf(true, reply);
    if (word != QLatin1String("res") && word != QLatin1String("set") &&
        word != QLatin1String("map"))
        return;
    // Numbers go out in sign columns: "Res 1  3", "Res-2 -7".
    static const QRegularExpression number(QStringLiteral("[ -]\\d+"));
    QList<int> n;
    for (const auto& m : number.globalMatch(command.mid(word.size())))
        n << m.captured().trimmed().toInt();
    if (n.size() < 2) return;
    const std::pair<int, int> at{n[0], n[1]};
    if (word == QLatin1String("set")) {
        if (outcome != ChangeOutcome::Refused) forced_.insert(at);
        return;
    }
    if (outcome != ChangeOutcome::Made) return;
    if (word == QLatin1String("res")) forced_.erase(at);
    if (word == QLatin1String("map") && forced_.count(at)) return;
    for (int o = 1; o <= tables_.NumOutputs; ++o)
        if (tables_.OutUnit[o] == n[0] && tables_.OutChannel[o] == n[1] && UnderTest(o)) {
            tables_.OutTest[o] = 0;
            Q_EMIT RowTest(o - 1, false);
        }
    if (NoneUnderTest()) tables_.TestMarksUncertain = false;
}

bool OutputTest::NoneUnderTest() const {
    for (int o = 1; o <= tables_.NumOutputs; ++o)
        if (UnderTest(o)) return false;
    return true;
}

void OutputTest::ClearAllTest() {
    forced_.clear();
    tables_.TestMarksUncertain = false;
    for (int i = 1; i <= tables_.NumOutputs; ++i) {
        tables_.OutTest[i] = 0;
        Q_EMIT RowTest(i - 1, false);
    }
}

}  // namespace vendra
