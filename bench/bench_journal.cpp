// What the change journal costs a "Load": a 999-line file at 9600 baud, loaded by the console
// with the journal on and with it off, in turns, in one run. Two files that differ in every line
// take turns, so every load changes all 999 outputs and writes 999 entries when the journal is
// on. Beside the ratio, the journal's own CPU time per entry, measured in the same process.
#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>
#include <vector>

#include "bench_common.h"
#include "changes/journal.h"
#include "link/online_state.h"
#include "session/tally_files.h"
#include "support/main_rig.h"
#include "support/session_internals.h"
#include "support/sim_process.h"

using namespace vendra;
using namespace vendra::bench;

namespace {

constexpr int kOutputs = 999;
constexpr int kInputs = 200;
constexpr int kRounds = 2;
const QString kWhat = QStringLiteral("Load of a 999-line file at 9600 baud: journal on / off");

int Fail(const QString& why) {
    std::fprintf(stderr, "%s\n", qPrintable(why));
    Figure(kWhat, QStringLiteral("run failed: ") + why, QStringLiteral("< 1.01"), Verdict::Failed);
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    QTemporaryDir scratch;
    UseOffscreen(scratch.filePath(QStringLiteral("runtime")));
    QApplication app(argc, argv);

    SimProcess sim;
    const QString first = sim.FilePath(QStringLiteral("first.vdk"));
    const QString second = sim.FilePath(QStringLiteral("second.vdk"));
    // The second file is the first with every input moved on by one: every line differs, and
    // both send the same commands (an AND or OR after every tenth "Map").
    if (WriteTallyFile(first, kOutputs, kInputs).isEmpty() ||
        WriteTallyFile(second, kOutputs, kInputs, 1).isEmpty())
        return Fail(QStringLiteral("the tally files could not be written"));
    if (!sim.Start({QStringLiteral("--baud"), QStringLiteral("9600")}))
        return Fail(sim.ErrorText());

    MainRig rig;
    const QString journal = rig.dir.filePath(QStringLiteral("journal.jsonl"));
    rig.WriteIni(
        SampleIni(kOutputs, kInputs,
                  QStringLiteral("CommDevice=%1\r\nJournal=%2\r\n").arg(sim.LinkPath(), journal)));
    if (!rig.Start(/*realPort=*/true) || !rig.window->Session().Link().IsOnline())
        return Fail(QStringLiteral("the console did not come online"));
    ConsoleSession& s = rig.window->Session();

    auto load = [&](const QString& file, bool journalOn) {
        SessionInternals::WriteLoadsToJournal(s, journalOn);
        rig.dialogs.fileAnswers = {file};
        QElapsedTimer clock;
        clock.start();
        s.Files().LoadMatrix();
        return static_cast<double>(clock.nsecsElapsed()) / 1e9;
    };
    load(first, false);  // the controller holds the first file; no figure
    std::vector<double> on, off;
    // Each file is loaded once with the journal on and once with it off.
    for (int round = 0; round < kRounds; ++round) {
        const bool onFirst = round % 2 == 0;
        const double a = load(second, onFirst);
        const double b = load(first, !onFirst);
        on.push_back(onFirst ? a : b);
        off.push_back(onFirst ? b : a);
        std::printf("round %d: journal on %.3f s, off %.3f s\n", round + 1, on.back(), off.back());
    }
    if (!rig.dialogs.boxes.isEmpty()) return Fail(rig.dialogs.boxes.last().text);
    const JournalRead read = ReadJournal(journal);
    std::printf("journal: %lld entries written\n", static_cast<long long>(read.Entries.size()));
    if (read.Entries.size() != kRounds * kOutputs)
        return Fail(QStringLiteral("the journal holds %1 entries, not %2")
                        .arg(read.Entries.size())
                        .arg(kRounds * kOutputs));

    // The journal's own work: entries named and written, as a load writes them.
    MappingTables tables = s.Installation().Tables();
    Journal measured(tables, QStringLiteral("vendra"));
    measured.SetPath(s.History().JournalPath());
    const double cpu = CpuSeconds();
    for (int o = 1; o <= kOutputs; ++o)
        measured.Record(QStringLiteral("Load"), 1, o, QStringLiteral("[1][1][2][1][1][0][0][0]"),
                        QStringLiteral("[1][1][2][2][1][0][0][0]"), outcome::kAnswered);
    const double perEntry = (CpuSeconds() - cpu) * 1e6 / kOutputs;  // CPU time: load-proof

    double sumOn = 0, sumOff = 0;
    for (int i = 0; i < kRounds; ++i) {
        sumOn += on[size_t(i)];
        sumOff += off[size_t(i)];
    }
    const double ratio = sumOn / sumOff;
    std::printf(
        "journal on / off: %.4f; the journal's own CPU time %.1f us an entry (%.3f s a load)\n",
        ratio, perEntry, perEntry * kOutputs / 1e6);
    Figure(kWhat,
           QStringLiteral("%1 (%2 s / %3 s, %4 rounds; the journal's own CPU time %5 us an entry)")
               .arg(ratio, 0, 'f', 4)
               .arg(sumOn / kRounds, 0, 'f', 2)
               .arg(sumOff / kRounds, 0, 'f', 2)
               .arg(kRounds)
               .arg(perEntry, 0, 'f', 0),
           QStringLiteral("< 1.01"), AtMost(ratio, 1.01));
    return 0;
}
