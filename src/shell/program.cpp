#include "shell/program.h"

#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QLockFile>
#include <QSocketNotifier>
#include <QStyleFactory>
#include <QWidget>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <functional>

#include "config/kavro_config.h"
#include "platform/dialogs.h"
#include "platform/version.h"
#include "shell/frm_kavro_main.h"
#include "widgets/qt_dialogs.h"

namespace vendra {

namespace {

void Identify() {
    QCoreApplication::setApplicationName(QStringLiteral("Vendra"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(kVersionText));
}

void Print(std::FILE* stream, const QString& text) {
    if (!text.isEmpty()) std::fputs(text.toLocal8Bit().constData(), stream);
}

CommandLine Ending(int exitCode, const QString& output, const QString& error) {
    CommandLine line;
    line.Ends = true;
    line.ExitCode = exitCode;
    line.Output = output;
    line.Error = error;
    return line;
}

// After the options: the installation file's keys and what a manual page has (a line in
// capitals starts a section of it).
const char kHelpEnd[] = R"(
INSTALLATION FILE
  Kavro.ini, beside the program unless --ini names another; section [Vendra]:
  System=NAME          the installation's name; without it the file is missing
  CommPort=N           the serial port, 1 to 255 (/dev/ttyS<N-1>; 0 or none: 1)
  CommDevice=PATH      a device to open instead (/dev/ttyUSB0), or a network
                       serial server: tcp://HOST:PORT (raw), rfc2217://HOST:PORT
  EnabledUnits=1,2     the units enabled after the table is cleared (at most 50)
  Output N=NAME,U,C    output N (from 1, no gaps, at most 999): name, unit, channel
  Input N=NAME,U,C     input N (from 1, no gaps, at most 200)
  Journal=PATH         the change journal (relative to Kavro.ini's folder)
  Names are read without regard to case; the first occurrence of a key wins.

FILES
  $XDG_STATE_HOME/vendra/SYSTEM-XXXXXXXX.jsonl
    The change journal (~/.local/state when XDG_STATE_HOME is not set) unless
    Journal names one; rotated at 16 MiB into PATH.1, PATH.2, ... (20 kept).
  $XDG_RUNTIME_DIR/vendra.lock
    The single-copy lock.
  /run/lock/vendra-line-*.lock
    One lock a line (serial device, or HOST:PORT by its address), held while
    the line is open.

ENVIRONMENT
  VENDRA_LOCK_DIR      the folder of the line locks in place of /run/lock
  XDG_STATE_HOME, HOME where the journal is kept when Kavro.ini names none
  QT_LOGGING_RULES     "vendra.link.debug=true" traces every exchange

EXIT STATUS
  0  the console ran and ended (also on SIGTERM, SIGINT, SIGHUP)
  1  "File Missing" or "Application Error": the console did not run
  2  a usage error on the command line
)";

}  // namespace

CommandLine ParseCommandLine(const QStringList& arguments, const QString& programDirectory,
                             bool strict) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Vendra tally console: maps the tally inputs of a serial-attached tally "
                       "controller to its outputs."));
    // So that the toolkit's options (-platform, -style) read as whole words, not letters.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption ini(
        QStringLiteral("ini"),
        QStringLiteral("Read the installation from FILE instead of Kavro.ini beside the program."),
        QStringLiteral("FILE"));
    parser.addOption(ini);

    const bool parsed = parser.parse(arguments);
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all")))
        return Ending(0, parser.helpText() + QString::fromLatin1(kHelpEnd), {});
    if (parser.isSet(version))
        return Ending(0, QStringLiteral("vendra %1\n").arg(QString::fromLatin1(kVersionText)), {});
    const QString usage = QStringLiteral("vendra: %1\nTry 'vendra --help'.\n");
    // Before the toolkit has taken its own options out, only those may be unknown: anything
    // else is a usage error, told before a display is needed.
    static const QStringList kToolkitOptions = {"platform",
                                                "platformpluginpath",
                                                "platformtheme",
                                                "plugin",
                                                "qmljsdebugger",
                                                "qwindowgeometry",
                                                "qwindowicon",
                                                "qwindowtitle",
                                                "reverse",
                                                "session",
                                                "geometry",
                                                "title",
                                                "icon",
                                                "display",
                                                "name",
                                                "style",
                                                "stylesheet",
                                                "widgetcount",
                                                "nograb",
                                                "dograb",
                                                "sync",
                                                "visual",
                                                "font",
                                                "fn",
                                                "bg",
                                                "background",
                                                "fg",
                                                "foreground",
                                                "btn",
                                                "button",
                                                "im",
                                                "inputstyle",
                                                "ncols",
                                                "cmap"};
    bool foreign = false;
    for (const QString& name : parser.unknownOptionNames())
        foreign |= !kToolkitOptions.contains(name);
    if (!parsed && (strict || foreign || parser.unknownOptionNames().isEmpty()))
        return Ending(2, {}, usage.arg(parser.errorText()));
    if (strict && !parser.positionalArguments().isEmpty())
        return Ending(2, {},
                      usage.arg(QStringLiteral("unexpected argument '%1'")
                                    .arg(parser.positionalArguments().constFirst())));

    CommandLine line;
    line.IniPath = parser.isSet(ini) ? parser.value(ini) : KavroIniPath(programDirectory);
    return line;
}

namespace {

// "X" ends the process where it stands, also before the event loop runs or inside a read-back's
// events: nothing else runs. The window closed the port; the lock goes, so a new start is let in.
[[noreturn]] void EndProcess(std::unique_ptr<QLockFile>& lock) {
    lock.reset();
    std::fflush(nullptr);
    std::_Exit(0);
}

int g_endPipe[2] = {-1, -1};

void OnEndSignal(int) {
    const char c = 'e';
    [[maybe_unused]] const ssize_t n = ::write(g_endPipe[1], &c, 1);
}

// SIGTERM (a service manager, kill), SIGINT (Ctrl+C where it was started) and SIGHUP (that
// terminal gone) end the console as its window's close does, so the port closes and no lock
// stays behind. The handler only writes a byte; whichever event loop runs (the main one, a box's,
// a read-back's) does the rest. A blocking exchange finishes first (at most its deadline).
class EndSignals {
public:
    explicit EndSignals(std::function<void()> end) {
        if (::pipe2(g_endPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
        notifier_ = std::make_unique<QSocketNotifier>(g_endPipe[0], QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, std::move(end));
        struct sigaction action = {};
        action.sa_handler = OnEndSignal;
        sigemptyset(&action.sa_mask);
        for (const int s : kSignals)
            ::sigaction(s, &action, nullptr);
    }
    ~EndSignals() {
        for (const int s : kSignals)
            ::signal(s, SIG_DFL);
    }
    EndSignals(const EndSignals&) = delete;
    EndSignals& operator=(const EndSignals&) = delete;

private:
    static constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
    std::unique_ptr<QSocketNotifier> notifier_;
};

// The main window, once there is one, closes as the window system's close does; before it (or
// after a start-up that failed) nothing is open but the single-copy lock.
void EndOnSignal(std::unique_ptr<QLockFile>& lock) {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* main = qobject_cast<frmKavroMain*>(w)) {
            main->close();
            return;
        }
    EndProcess(lock);
}

// Under a running QApplication.
int RunConsole(const QString& iniPath) {
    // One style everywhere, so the button colours the console sets show on every platform.
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QtDialogs dialogs;
    std::unique_ptr<QLockFile> lock;
    const EndSignals ends([&lock] { EndOnSignal(lock); });
    auto window = StartProgram(dialogs, iniPath, DefaultLockPath(), lock);
    // "File Missing" or "Application Error": the program did not run.
    if (!window) return 1;
    return QApplication::exec();
}

}  // namespace

int RunProgram(int argc, char* argv[]) {
    // --help and --version end before anything needs a display; the toolkit's own options are
    // known only once the application object has taken them out.
    CommandLine line;
    {
        const QCoreApplication look(argc, argv);
        Identify();
        line = ParseCommandLine(QCoreApplication::arguments(),
                                QCoreApplication::applicationDirPath(), false);
    }
    if (!line.Ends) {
        const QApplication app(argc, argv);
        Identify();
        line = ParseCommandLine(QCoreApplication::arguments(),
                                QCoreApplication::applicationDirPath(), true);
        if (!line.Ends) return RunConsole(line.IniPath);
    }
    Print(stdout, line.Output);
    Print(stderr, line.Error);
    return line.ExitCode;
}

bool AnotherCopyRuns(const QString& lockPath, std::unique_ptr<QLockFile>& lock) {
    for (const QWidget* w : QApplication::topLevelWidgets())
        if (w->windowTitle() == QStringLiteral("Vendra")) return true;
    return LockHeldElsewhere(lockPath, lock);
}

std::unique_ptr<frmKavroMain> StartProgram(Dialogs& dialogs, const QString& iniPath,
                                           const QString& lockPath,
                                           std::unique_ptr<QLockFile>& lock) {
    if (AnotherCopyRuns(lockPath, lock)) {
        dialogs.Message(QStringLiteral("An instance of Vendra is already running"),
                        QStringLiteral("Application Error"), Buttons::Ok);
        return nullptr;
    }
    auto window = std::make_unique<frmKavroMain>(dialogs, iniPath);
    window->endProgram = [&lock] { EndProcess(lock); };
    if (!window->Load()) return nullptr;
    return window;
}

}  // namespace vendra
