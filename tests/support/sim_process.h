#pragma once
// The real tally-sim, started for one test: its link and log live in a private temporary folder
// and it is stopped with SIGTERM when the test is done.
#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace vendra {

class SimProcess {
public:
    SimProcess();
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    // Starts tally-sim with --link (and --log, unless args name one) in the private folder, plus
    // args; waits until the link exists. False with ErrorText() when it does not come up in time.
    bool Start(const QStringList& args = {}, int timeoutMs = 5000);
    // SIGTERM, then waits for the exit (killing it if it will not go). Safe to call twice.
    void Stop(int timeoutMs = 5000);
    // Waits for the tool to end on its own (after a planned hang-up); false on time-out.
    bool WaitForExit(int timeoutMs);

    bool IsRunning() const { return process_.state() != QProcess::NotRunning; }
    int ExitCode() const { return process_.exitCode(); }
    QProcess::ExitStatus ExitStatus() const { return process_.exitStatus(); }

    QString LinkPath() const { return dir_.filePath(QStringLiteral("ttySIM")); }
    QString LogPath() const { return dir_.filePath(QStringLiteral("sim.log")); }
    // A path in the private folder, for fixture files the test writes.
    QString FilePath(const QString& name) const { return dir_.filePath(name); }
    QString Folder() const { return dir_.path(); }
    // The command lines the tool received so far, one per entry.
    QStringList LogLines() const;
    // What the tool printed on stdout and stderr so far.
    QByteArray Output();
    QString ErrorText() const { return error_; }
    // The TCP port of the latest start with --listen, or 0.
    int ListenPort();

private:
    QTemporaryDir dir_;
    QProcess process_;
    QByteArray output_;
    QString error_;
};

// The line locks in this test's lock folder ($VENDRA_LOCK_DIR: set by ctest, or a folder of this
// process's own when a test is started by hand).
QStringList LineLocksLeft();
// Files in the system's lock folders whose names hold the name of `folder` (a test's temporary
// folder): what a program that opened a line in it left there (the serial port's own lock).
QStringList SystemLocksOf(const QString& folder);

}  // namespace vendra
