// A year of journal: 400,000 entries (about 400 loads of a full table) in one file, as a
// journal written before rotation holds them. How long `vendractl journal -n 50` and the
// history window's first page take and how much memory they need, and how long the console's
// event loop (the poll's timer) waits at most while the window reads the whole file for a
// filter that matches nothing.
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

#include "bench_common.h"
#include "changes/journal.h"
#include "history/history_window.h"
#include "support/session_rig.h"

extern char** environ;

using namespace vendra;
using namespace vendra::bench;

namespace {

constexpr int kEntries = 400000;
constexpr int kOutputs = 999;
const QString kWhat = QStringLiteral("Journal of 400,000 entries: ");

// A year of loads: every output of a full table changed once a load, a load a day or so.
bool WriteYear(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    // The last load a few hours ago.
    QDateTime when = QDateTime::currentDateTime().addSecs(-qint64(kEntries / kOutputs + 1) * 78000);
    QByteArray chunk;
    for (int i = 0; i < kEntries; ++i) {
        const int o = i % kOutputs + 1;
        if (o == 1) when = when.addSecs(78000);
        JournalEntry e;
        e.Time = when.addMSecs(25 * o);
        e.Who = QStringLiteral("op@studio-desk");
        e.Program = QStringLiteral("vendra");
        e.Operation = QStringLiteral("Load");
        e.Unit = 1;
        e.Channel = o;
        e.Output = o;
        e.Name = QStringLiteral("Out %1").arg(o);
        e.Before = QStringLiteral("[1][%1][2][%2][1][0][0][0]").arg(o).arg(i % 200 + 1);
        e.After = QStringLiteral("[1][%1][2][%2][1][0][0][0]").arg(o).arg((i + 1) % 200 + 1);
        e.BeforeInputs = QStringLiteral("In %1").arg(i % 200 + 1);
        e.AfterInputs = QStringLiteral("In %1").arg((i + 1) % 200 + 1);
        e.Outcome = outcome::kVerified;
        chunk += e.ToLine();
        if (chunk.size() > (1 << 20)) {
            if (file.write(chunk) != chunk.size()) return false;
            chunk.clear();
        }
    }
    return file.write(chunk) == chunk.size();
}

struct ToolCost {
    double seconds = -1;
    double peakMiB = -1;
};

// vendractl as a script runs it, its output thrown away; its peak memory from the kernel.
ToolCost RunTool(const QStringList& args) {
    QList<QByteArray> bytes{QByteArray(VENDRA_VENDRACTL)};
    for (const QString& a : args)
        bytes << a.toLocal8Bit();
    std::vector<char*> argv;
    for (QByteArray& b : bytes)
        argv.push_back(b.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    QElapsedTimer clock;
    clock.start();
    pid_t pid = 0;
    ToolCost cost;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
        int status = 0;
        rusage usage{};
        if (wait4(pid, &status, 0, &usage) == pid && WIFEXITED(status) &&
            WEXITSTATUS(status) <= 1) {
            cost.seconds = double(clock.nsecsElapsed()) / 1e9;
            cost.peakMiB = double(usage.ru_maxrss) / 1024;
        }
    }
    posix_spawn_file_actions_destroy(&actions);
    return cost;
}

// Median time of three runs, and the largest peak.
ToolCost Measure(const QStringList& args) {
    std::vector<double> times;
    ToolCost worst;
    for (int run = 0; run < 3; ++run) {
        const ToolCost c = RunTool(args);
        if (c.seconds < 0) return c;
        times.push_back(c.seconds);
        worst.peakMiB = std::max(worst.peakMiB, c.peakMiB);
    }
    worst.seconds = Median(times);
    return worst;
}

void Report(const QString& what, const ToolCost& c, bool target) {
    std::printf("%s: %.3f s, peak %.1f MiB\n", qPrintable(what), c.seconds, c.peakMiB);
    const Verdict v =
        c.seconds < 0 ? Verdict::Failed
        : !target     ? Verdict::None
        : AtMost(c.seconds, 0.5) == Verdict::Met && AtMost(c.peakMiB, 100) == Verdict::Met
            ? Verdict::Met
            : Verdict::Missed;
    Figure(kWhat + what,
           c.seconds < 0 ? QStringLiteral("run failed")
                         : QStringLiteral("%1 s, peak %2 MiB")
                               .arg(c.seconds, 0, 'f', 3)
                               .arg(c.peakMiB, 0, 'f', 1),
           target ? QStringLiteral("< 0.5 s, < 100 MB") : QStringLiteral("-"), v);
}

}  // namespace

int main(int argc, char** argv) {
    QTemporaryDir scratch;
    UseOffscreen(scratch.filePath(QStringLiteral("runtime")));
    QApplication app(argc, argv);

    const QString journal = scratch.filePath(QStringLiteral("journal.jsonl"));
    const QString ini = scratch.filePath(QStringLiteral("Kavro.ini"));
    QFile iniFile(ini);
    if (!WriteYear(journal) || !iniFile.open(QIODevice::WriteOnly) ||
        iniFile.write(
            SampleIni(kOutputs, 200, QStringLiteral("Journal=journal.jsonl\r\n")).toLatin1()) < 0) {
        Figure(kWhat + QStringLiteral("vendractl journal -n 50"),
               QStringLiteral("run failed: the journal could not be written"),
               QStringLiteral("< 0.5 s, < 100 MB"), Verdict::Failed);
        return 1;
    }
    iniFile.close();
    std::printf("journal: %d entries, %.1f MB\n", kEntries,
                double(QFileInfo(journal).size()) / 1e6);

    Report(QStringLiteral("vendractl journal -n 50"),
           Measure({"journal", "-n", "50", "--ini", ini}), true);
    Report(QStringLiteral("vendractl journal --since (the last day)"),
           Measure({"journal", "--since",
                    QDateTime::currentDateTime().addDays(-1).toString(Qt::ISODate), "--ini", ini}),
           false);
    Report(QStringLiteral("vendractl journal (every entry)"), Measure({"journal", "--ini", ini}),
           false);

    // The window's first page, then the whole file read for a filter nothing matches, with a
    // poll-like timer running beside it.
    const long before = PeakMemoryKb();
    HistoryWindow window;
    QElapsedTimer clock;
    clock.start();
    window.ShowJournal(journal);
    const ToolCost page{double(clock.nsecsElapsed()) / 1e9, double(PeakMemoryKb()) / 1024};
    std::printf("the window's first page: %d entries; peak before it %.1f MiB\n",
                window.list->count(), double(before) / 1024);
    Report(QStringLiteral("history window's first page"), page, true);

    // Three whole reads; a loaded machine's own pauses show in one of them, not in the median.
    QTimer poll;
    QElapsedTimer sincePoll;
    qint64 longest = 0;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout,
                     [&] { longest = std::max(longest, sincePoll.restart()); });
    std::vector<double> gaps, wholes;
    for (const char* filter : {"no such output", "nor this one", "nor that one"}) {
        longest = 0;
        sincePoll.start();
        poll.start();
        clock.restart();
        window.txtOutput->setText(QString::fromLatin1(filter));
        while (!window.ReadToStart() && clock.elapsed() < 600000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        poll.stop();
        wholes.push_back(double(clock.nsecsElapsed()) / 1e9);
        gaps.push_back(double(longest));
        std::printf(
            "the window read the whole journal in %.2f s; longest gap between polls %lld ms\n",
            wholes.back(), longest);
    }
    const double gap = Median(gaps);
    Figure(kWhat + QStringLiteral("longest wait of the console's poll while the history window "
                                  "reads it all, median of 3"),
           QStringLiteral("%1 ms (max %2 ms; the whole file read in %3 s, peak %4 MiB)")
               .arg(gap, 0, 'f', 0)
               .arg(*std::max_element(gaps.begin(), gaps.end()), 0, 'f', 0)
               .arg(Median(wholes), 0, 'f', 2)
               .arg(double(PeakMemoryKb()) / 1024, 0, 'f', 1),
           QStringLiteral("< 60 ms"), window.ReadToStart() ? AtMost(gap, 60) : Verdict::Failed);
    return 0;
}
