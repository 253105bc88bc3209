// What a large installation costs beside a small one: start-up of the real program, its peak
// memory, and the rebuild of the output list.
//
// Start-up and memory are those of the real `vendra` binary, copied into a temporary program
// folder with its Kavro.ini and run offscreen against an unpaced tally-sim that holds a full
// mapping table. The program is not changed for this, so its progress is watched from outside:
// the window is shown just before the port is opened and the first command written, so the
// moment that command reaches the sim marks "window shown"; the last "RawMap" of the start-up
// read-back marks "online with the table read". Once the program has gone quiet its VmHWM is
// taken from /proc. UpdateListBox1 is timed in this process on the real main window over the
// in-process controller model.
//
//   bench_size [--program PATH]   (default: the vendra built beside the bench folder)
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>
#include <vector>

#include "bench_common.h"
#include "editor/mapping_editor.h"
#include "link/online_state.h"
#include "support/main_rig.h"
#include "support/sim_process.h"

using namespace vendra;
using namespace vendra::bench;

namespace {

constexpr int kRuns = 3;
constexpr int kListRuns = 20;
constexpr int kStartDeadlineMs = 120000;

struct Installation {
    int outputs;
    int inputs;
};

struct ProgramRun {
    double shownMs = -1;  // spawn → first command at the controller
    double readyMs = -1;  // spawn → last command of the start-up read-back
    long peakKb = -1;
    QString error;
};

qint64 FileSize(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_size : -1;
}

// User and system CPU ticks a process has used so far, -1 when it is gone.
long long CpuTicks(qint64 pid) {
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly)) return -1;
    const QByteArray text = f.readAll();
    // Fields after the command name (which may hold blanks) start behind its ")".
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13) return -1;
    return fields[11].toLongLong() + fields[12].toLongLong();
}

// Runs the program once until it has read the table back and gone quiet, then ends it.
ProgramRun RunProgram(const QString& program, const QString& simLog, int lastEntry) {
    ProgramRun run;
    QTemporaryDir runtime;
    QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    QProcess process;
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::MergedChannels);

    const QByteArray last = "RawMap " + QByteArray::number(lastEntry) + '\n';
    qint64 offset = FileSize(simLog);
    const qint64 start = offset;
    QByteArray tail;
    QFile log(simLog);
    if (offset < 0 || !log.open(QIODevice::ReadOnly)) {
        run.error = QStringLiteral("no sim log");
        return run;
    }
    QElapsedTimer clock;
    clock.start();
    process.start(program, {});
    if (!process.waitForStarted(10000)) {
        run.error = process.errorString();
        return run;
    }
    while (run.readyMs < 0) {
        if (clock.elapsed() > kStartDeadlineMs || process.state() == QProcess::NotRunning) {
            run.error = QStringLiteral("no start-up read-back seen: ") +
                        QString::fromLocal8Bit(process.readAll()).simplified();
            process.kill();
            process.waitForFinished(5000);
            return run;
        }
        const qint64 size = FileSize(simLog);
        if (size > offset) {
            const double now = static_cast<double>(clock.nsecsElapsed()) / 1e6;
            if (offset == start) run.shownMs = now;
            log.seek(offset);
            tail = tail.right(last.size()) + log.read(size - offset);
            offset = size;
            if (tail.contains(last)) run.readyMs = now;
        }
        ::usleep(1000);
    }
    // Quiet: no CPU used for a while, so the list is rebuilt and the program waits for events.
    long long ticks = CpuTicks(process.processId());
    for (int i = 0; i < 100; ++i) {
        ::usleep(300000);
        const long long now = CpuTicks(process.processId());
        if (now == ticks) break;
        ticks = now;
    }
    run.peakKb = PeakMemoryKb(process.processId());
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(5000);
    }
    return run;
}

struct Measured {
    double shownMs = -1;
    double readyMs = -1;
    double peakMb = -1;
    double listMs = -1;
    QString error;
};

Measured Measure(const QString& program, const Installation& inst) {
    Measured m;
    SimProcess sim;
    const QString table = sim.FilePath(QStringLiteral("table.vdk"));
    if (WriteTallyFile(table, inst.outputs, inst.inputs).isEmpty() ||
        !sim.Start({QStringLiteral("--preload"), table})) {
        m.error = QStringLiteral("tally-sim did not start: ") + sim.ErrorText();
        return m;
    }
    const QString ini = SampleIni(inst.outputs, inst.inputs,
                                  QStringLiteral("CommDevice=%1\r\n").arg(sim.LinkPath()));

    QTemporaryDir folder;
    const QString copy = folder.filePath(QStringLiteral("vendra"));
    QFile iniFile(folder.filePath(QStringLiteral("Kavro.ini")));
    if (!QFile::copy(program, copy) || !iniFile.open(QIODevice::WriteOnly) ||
        iniFile.write(ini.toLatin1()) < 0) {
        m.error = QStringLiteral("cannot set up a program folder with %1").arg(program);
        return m;
    }
    iniFile.close();

    std::vector<double> shown, ready, peak;
    for (int i = 0; i < kRuns; ++i) {
        const ProgramRun run = RunProgram(copy, sim.LogPath(), inst.outputs + 1);
        if (!run.error.isEmpty()) {
            m.error = run.error;
            return m;
        }
        std::printf("  run %d: window shown %.1f ms, table read %.1f ms, peak %.1f MiB\n", i + 1,
                    run.shownMs, run.readyMs, run.peakKb / 1024.0);
        shown.push_back(run.shownMs);
        ready.push_back(run.readyMs);
        peak.push_back(run.peakKb / 1024.0);
    }
    m.shownMs = Median(shown);
    m.readyMs = Median(ready);
    m.peakMb = Median(peak);

    // The list rebuild, on the real window holding the full table.
    MainRig rig;
    rig.timings = SessionTimings{};  // the program's own, not the tests' short ones
    QString error;
    if (!rig.model.LoadTallyFile(table, &error)) {
        m.error = error;
        return m;
    }
    rig.WriteIni(SampleIni(inst.outputs, inst.inputs));
    if (!rig.Start() || !rig.window->Session().Link().IsOnline() ||
        rig.window->Session().Installation().Tables().MapStringCount != inst.outputs) {
        m.error = QStringLiteral("the in-process window did not read the table back");
        return m;
    }
    std::vector<double> list;
    for (int i = 0; i < kListRuns; ++i) {
        QElapsedTimer clock;
        clock.start();
        rig.window->Editor().UpdateListBox1();
        list.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
    }
    m.listMs = Median(list);
    std::printf("  UpdateListBox1: median %.3f ms of %d\n", m.listMs, kListRuns);
    return m;
}

}  // namespace

int main(int argc, char** argv) {
    QTemporaryDir scratch;
    UseOffscreen(scratch.filePath(QStringLiteral("runtime")));
    QApplication app(argc, argv);
    QString program = QCoreApplication::applicationDirPath() + QStringLiteral("/../vendra");
    const QStringList args = QCoreApplication::arguments();
    if (const qsizetype i = args.indexOf(QStringLiteral("--program")); i > 0 && i + 1 < args.size())
        program = args[i + 1];

    const Installation large{999, 200};
    const Installation small{10, 10};
    std::printf("999 outputs, 200 inputs:\n");
    const Measured big = Measure(program, large);
    std::printf("10 outputs, 10 inputs:\n");
    const Measured little = Measure(program, small);

    const auto cell = [](const Measured& a, const Measured& b, double Measured::*field,
                         const char* unit, int decimals) {
        if (!a.error.isEmpty()) return QStringLiteral("run failed: ") + a.error;
        if (!b.error.isEmpty()) return QStringLiteral("run failed: ") + b.error;
        return QStringLiteral("%1 %2 (10 outputs: %3 %2)")
            .arg(a.*field, 0, 'f', decimals)
            .arg(QString::fromLatin1(unit))
            .arg(b.*field, 0, 'f', decimals);
    };
    const Verdict v =
        big.error.isEmpty() && little.error.isEmpty() ? Verdict::None : Verdict::Failed;
    const QString none = QStringLiteral("-");
    Figure(QStringLiteral("Start-up to window shown, 999 outputs / 200 inputs"),
           cell(big, little, &Measured::shownMs, "ms", 0), none, v);
    Figure(QStringLiteral("Start-up to table read (unpaced sim, incl. 0.5 s of pauses)"),
           cell(big, little, &Measured::readyMs, "ms", 0), none, v);
    Figure(QStringLiteral("Peak memory (VmHWM) after start-up, 999 outputs / 200 inputs"),
           cell(big, little, &Measured::peakMb, "MiB", 1), none, v);
    Figure(QStringLiteral("UpdateListBox1 over 999 outputs"),
           cell(big, little, &Measured::listMs, "ms", 2), none, v);
    return v == Verdict::Failed ? 1 : 0;
}
