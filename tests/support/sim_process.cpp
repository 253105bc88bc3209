#include "support/sim_process.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <optional>

namespace vendra {

namespace {

// Every test that opens a line starts a simulator, so this runs in each of them: started by
// hand, outside ctest, a test still never locks a line in the system's folder. The folder is
// removed when the process ends, with whatever a killed program left in it.
struct PrivateLockFolder {
    std::optional<QTemporaryDir> dir;
    PrivateLockFolder() {
        if (!qEnvironmentVariableIsEmpty("VENDRA_LOCK_DIR")) return;
        dir.emplace(QDir::tempPath() + QStringLiteral("/vendra-test-locks-XXXXXX"));
        if (dir->isValid()) qputenv("VENDRA_LOCK_DIR", QFile::encodeName(dir->path()));
    }
};
const PrivateLockFolder g_lockFolder;

}  // namespace

QStringList LineLocksLeft() {
    return QDir(qEnvironmentVariable("VENDRA_LOCK_DIR")).entryList(QDir::Files | QDir::Hidden);
}

QStringList SystemLocksOf(const QString& folder) {
    const QString name = QFileInfo(QDir::cleanPath(folder)).fileName();
    QStringList left;
    for (const char* system : {"/run/lock", "/var/lock"})
        for (const QString& file : QDir(QString::fromLatin1(system)).entryList(QDir::Files))
            if (file.contains(name) && !left.contains(file)) left << file;
    return left;
}

SimProcess::SimProcess() {
    process_.setProcessChannelMode(QProcess::MergedChannels);
}

SimProcess::~SimProcess() {
    Stop();
}

bool SimProcess::Start(const QStringList& args, int timeoutMs) {
    const QString program = QStringLiteral(VENDRA_TALLY_SIM);
    if (program.isEmpty()) {
        error_ = QStringLiteral("tally-sim was not built");
        return false;
    }
    if (!dir_.isValid()) {
        error_ = QStringLiteral("no temporary folder: %1").arg(dir_.errorString());
        return false;
    }
    QStringList all{QStringLiteral("--link"), LinkPath()};
    const bool ownLog = std::none_of(args.begin(), args.end(), [](const QString& a) {
        return a == QLatin1String("--log") || a.startsWith(QLatin1String("--log="));
    });
    if (ownLog) all << QStringLiteral("--log") << LogPath();
    all << args;
    process_.start(program, all);
    if (!process_.waitForStarted(timeoutMs)) {
        error_ = QStringLiteral("cannot start %1: %2").arg(program, process_.errorString());
        return false;
    }
    const QDeadlineTimer deadline(timeoutMs);
    // The "serving on" line follows the link; a stale link left at the path does not count.
    while (!output_.contains("tally-sim: serving on") || !QFileInfo(LinkPath()).isSymLink()) {
        if (process_.state() == QProcess::NotRunning || deadline.hasExpired()) {
            error_ = QStringLiteral("tally-sim did not publish %1: %2")
                         .arg(LinkPath(), QString::fromLocal8Bit(Output()));
            Stop();
            return false;
        }
        process_.waitForReadyRead(20);
        output_ += process_.readAll();
    }
    return true;
}

void SimProcess::Stop(int timeoutMs) {
    if (process_.state() == QProcess::NotRunning) return;
    process_.terminate();
    if (!process_.waitForFinished(timeoutMs)) {
        process_.kill();
        process_.waitForFinished(timeoutMs);
    }
    output_ += process_.readAll();
}

bool SimProcess::WaitForExit(int timeoutMs) {
    if (process_.state() != QProcess::NotRunning && !process_.waitForFinished(timeoutMs))
        return false;
    output_ += process_.readAll();
    return true;
}

QStringList SimProcess::LogLines() const {
    QFile file(LogPath());
    if (!file.open(QIODevice::ReadOnly)) return {};
    QStringList lines = QString::fromLatin1(file.readAll()).split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
    return lines;
}

int SimProcess::ListenPort() {
    static const QByteArray kLine = "tally-sim: listening on 127.0.0.1:";
    const QByteArray output = Output();
    const qsizetype at = output.lastIndexOf(kLine);
    if (at < 0) return 0;
    const qsizetype from = at + kLine.size();
    return output.mid(from, output.indexOf('\n', from) - from).trimmed().toInt();
}

QByteArray SimProcess::Output() {
    output_ += process_.readAll();
    return output_;
}

}  // namespace vendra
