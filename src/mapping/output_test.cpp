#include "mapping/output_test.h"

#include "link/command_exchange.h"
#include "mapping/mapping_commands.h"
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

void OutputTest::TestOn(int Output) {
    if (!tables_.IsConfiguredOutput(Output) || UnderTest(Output) || !online_()) return;
    const int u = tables_.OutUnit[Output];
    const int c = tables_.OutChannel[Output];
    tables_.OutTest[Output] = -1;
    Q_EMIT RowTest(Output - 1, true);
    readBack_.GetMapping(u, c);
    Q_EMIT TestButtonRed(true);
    link_.SendCommand(MappingCommands::OutputCommand(QStringLiteral("mapdisab"), u, c));
    link_.SendCommand(MappingCommands::OutputCommand(QStringLiteral("Set"), u, c));
}

void OutputTest::TestOff(int Output) {
    if (!tables_.IsConfiguredOutput(Output) || !UnderTest(Output) || !online_()) return;
    const int u = tables_.OutUnit[Output];
    const int c = tables_.OutChannel[Output];
    Q_EMIT RowTest(Output - 1, false);
    tables_.OutTest[Output] = 0;
    link_.SendCommand(MappingCommands::OutputCommand(QStringLiteral("Res"), u, c));
    link_.SendCommand(MappingCommands::OutputCommand(QStringLiteral("MapEnab"), u, c));
    Q_EMIT TestButtonRed(false);
}

void OutputTest::TestLatchChange(int selectedOutput) {
    if (UnderTest(selectedOutput))
        TestOff(selectedOutput);
    else
        TestOn(selectedOutput);
    // The tick follows the real state: offline nothing changed, and the box must not say so.
    Q_EMIT LatchShown(UnderTest(selectedOutput));
}

void OutputTest::ClearAllTest() {
    for (int i = 1; i <= tables_.NumOutputs; ++i) {
        tables_.OutTest[i] = 0;
        Q_EMIT RowTest(i - 1, false);
    }
}

}  // namespace vendra
