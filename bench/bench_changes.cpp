// "Apply changes only" with its verification against the ordinary "Load", at 9600 baud: a
// controller holding a 999-line table and a file that differs from it in 10 outputs (changed,
// added, removed, single and AND/OR mixed). Both run in one go against the same paced tally-sim.
//
// Beside the times: how many outputs that both the table and the file map went unmapped at some
// moment, counted by replaying the sim's log through the controller model line by line. The
// apply must leave that at 0; the load, which starts with "Init", darkens nearly every one.
#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>
#include <set>
#include <utility>

#include "bench_common.h"
#include "compare/change_controller.h"
#include "link/online_state.h"
#include "session/tally_files.h"
#include "support/main_rig.h"
#include "support/sim_process.h"

using namespace vendra;
using namespace vendra::bench;

namespace {

constexpr int kOutputs = 999;
constexpr int kInputs = 200;
constexpr int kBaud = 9600;

using Address = std::pair<int, int>;

QByteArray Line(int channel, int in, int second = 0, int mode = 0) {
    return QStringLiteral("[1][%1][2][%2][1][%3][%4][%5]\r\n")
        .arg(channel)
        .arg(in)
        .arg(second ? 2 : 0)
        .arg(second)
        .arg(mode)
        .toLatin1();
}

// The controller's table: output n driven by input (n - 1) % 200 + 1, every tenth an AND or OR
// with the next input; outputs 997 .. 999 hold an entry that drives no input.
QByteArray Table() {
    QByteArray text;
    for (int n = 1; n <= kOutputs; ++n) {
        const int in = (n - 1) % kInputs + 1;
        const int mode = n % 10 == 0 ? (n / 10) % 2 + 1 : 0;
        text += n >= 997 ? QStringLiteral("[1][%1][0][0][1][0][0][0]\r\n").arg(n).toLatin1()
                         : Line(n, in, mode ? in % kInputs + 1 : 0, mode);
    }
    return text;
}

// The file: the table with 10 outputs changed. 3 added (997 .. 999), 2 removed (100, 200),
// 5 changed: 3 and 4 to other inputs, 11 from one input to an AND, 20 from an AND/OR to one
// input, 30 from one kind of boolean to the other.
QByteArray File() {
    QByteArray text;
    for (const QByteArray& line : Table().split('\n')) {
        if (line.isEmpty()) continue;
        const MappingRecord m = ParseGetMap(QString::fromLatin1(line));
        const int n = m.OutChannel;
        if (n == 100 || n == 200) continue;
        if (n >= 997)
            text += Line(n, 7);
        else if (n == 3 || n == 4)
            text += Line(n, 150 + n);
        else if (n == 11)
            text += Line(n, m.InUnit ? m.InChannel : 1, 9, 1);
        else if (n == 20)
            text += Line(n, m.InChannel);
        else if (n == 30)
            text += Line(n, m.InChannel, m.BooleanInChannel, m.BooleanMode == 1 ? 2 : 1);
        else
            text += line + '\n';
    }
    return text;
}

std::set<Address> MappedIn(const std::vector<SimEntry>& table) {
    std::set<Address> mapped;
    for (const SimEntry& e : table)
        if (e.OutUnit != 0 && e.InUnit >= 1) mapped.insert({e.OutUnit, e.OutChannel});
    return mapped;
}

struct Darkened {
    int outputs = -1;  // mapped before and in the file, unmapped after some line
    int watched = 0;   // mapped before and in the file
};

// Replays the log from the start through a model preloaded like the sim, watching lines
// [from, to).
Darkened DarkenedOutputs(const QString& preload, const QStringList& log, qsizetype from,
                         qsizetype to, const std::set<Address>& kept) {
    ControllerModel model;
    if (!model.LoadTallyFile(preload, nullptr)) return {};
    std::set<Address> dark;
    std::set<Address> before;
    for (qsizetype i = 0; i < to && i < log.size(); ++i) {
        if (i == from) before = MappedIn(model.Table());
        model.Feed(log[i].toLatin1() + "\r\n");
        if (i < from) continue;
        const std::set<Address> now = MappedIn(model.Table());
        for (const Address& a : kept)
            if (before.count(a) && !now.count(a)) dark.insert(a);
    }
    int watched = 0;
    for (const Address& a : kept)
        watched += before.count(a) ? 1 : 0;
    return {static_cast<int>(dark.size()), watched};
}

void Failed(const QString& what, const QString& why) {
    std::fprintf(stderr, "%s: %s\n", qPrintable(what), qPrintable(why));
    Figure(what, QStringLiteral("run failed: ") + why, QStringLiteral("-"), Verdict::Failed);
}

}  // namespace

int main(int argc, char** argv) {
    QTemporaryDir scratch;
    UseOffscreen(scratch.filePath(QStringLiteral("runtime")));
    QApplication app(argc, argv);
    const QString ratio =
        QStringLiteral("Apply changes only + verify vs Load, 10 of 999 outputs, 9600 baud");
    const QString darkened = QStringLiteral("Outputs both sides map left unmapped during apply");

    SimProcess sim;
    const QString table = sim.FilePath(QStringLiteral("table.vdk"));
    const QString file = sim.FilePath(QStringLiteral("show.vdk"));
    QFile t(table), f(file);
    const QByteArray fileText = File();
    if (!t.open(QIODevice::WriteOnly) || t.write(Table()) <= 0 || !f.open(QIODevice::WriteOnly) ||
        f.write(fileText) <= 0) {
        Failed(ratio, QStringLiteral("cannot write the tally files"));
        return 1;
    }
    t.close();
    f.close();
    if (!sim.Start({QStringLiteral("--preload"), table, QStringLiteral("--baud"),
                    QString::number(kBaud)})) {
        Failed(ratio, sim.ErrorText());
        return 1;
    }
    MainRig rig;
    rig.timings = SessionTimings{};  // the program's own, not the tests' short ones
    rig.WriteIni(
        SampleIni(kOutputs, kInputs, QStringLiteral("CommDevice=%1\r\n").arg(sim.LinkPath())));
    if (!rig.Start(/*realPort=*/true) || !rig.window->Session().Link().IsOnline()) {
        Failed(ratio, QStringLiteral("the console did not come online"));
        return 1;
    }
    auto* changes = rig.window->findChild<ChangeController*>();
    std::set<Address> kept;
    for (const QByteArray& line : fileText.split('\n')) {
        const MappingRecord m = ParseGetMap(QString::fromLatin1(line));
        if (m.InUnit >= 1) kept.insert({m.OutUnit, m.OutChannel});
    }

    // Apply changes only: the file checked and compared with the copy read at start-up, the
    // count confirmed, the changes sent and every changed output asked back.
    qsizetype mark = sim.LogLines().size();
    rig.dialogs.Reset();
    rig.dialogs.fileAnswers = {file};
    rig.dialogs.answers = {Answer::Ok};
    QElapsedTimer clock;
    clock.start();
    changes->ApplyFile();
    const double applySeconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    QStringList log = sim.LogLines();
    const qsizetype applyLines = log.size() - mark;
    const Darkened dark = DarkenedOutputs(table, log, mark, log.size(), kept);
    const QString report = rig.dialogs.boxes.isEmpty() ? QString() : rig.dialogs.boxes.last().text;
    std::printf("apply changes only: %.3f s, %lld command lines\n  %s\n", applySeconds,
                static_cast<long long>(applyLines), qPrintable(report));
    if (!report.contains(QStringLiteral("10 changes applied")) ||
        !report.contains(QStringLiteral("holds every mapping"))) {
        Failed(ratio, QStringLiteral("the apply did not end verified: ") + report);
        return 1;
    }

    // The ordinary "Load" of the same file.
    mark = log.size();
    rig.dialogs.Reset();
    rig.dialogs.fileAnswers = {file};
    clock.restart();
    rig.window->Session().Files().LoadMatrix();
    const double loadSeconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    log = sim.LogLines();
    const qsizetype loadLines = log.size() - mark;
    // Replayed from the start: the load begins from the table the apply left.
    const Darkened loadDark = DarkenedOutputs(table, log, mark, log.size(), kept);
    std::printf("load: %.3f s, %lld command lines, %d of %d kept outputs unmapped at some moment\n",
                loadSeconds, static_cast<long long>(loadLines), loadDark.outputs, loadDark.watched);
    if (!rig.dialogs.boxes.isEmpty()) {
        Failed(ratio, QStringLiteral("the load asked: ") + rig.dialogs.boxes.last().text);
        return 1;
    }

    Figure(ratio,
           QStringLiteral("%1x (Load %2 s, %3 lines / apply + verify %4 s, %5 lines)")
               .arg(loadSeconds / applySeconds, 0, 'f', 1)
               .arg(loadSeconds, 0, 'f', 2)
               .arg(loadLines)
               .arg(applySeconds, 0, 'f', 2)
               .arg(applyLines),
           QStringLiteral(">= 10x"), AtLeast(loadSeconds / applySeconds, 10));
    Figure(darkened,
           QStringLiteral("%1 of %2 (Load: %3 of %4)")
               .arg(dark.outputs)
               .arg(dark.watched)
               .arg(loadDark.outputs)
               .arg(loadDark.watched),
           QStringLiteral("0"), AtMost(dark.outputs, 0));
    return 0;
}
