#include "cli/cli_support.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cstdio>

namespace vendra {

namespace {

volatile sig_atomic_t g_stop = 0;
int g_pipe[2] = {-1, -1};

void OnStop(int signal) {
    g_stop = signal;
    const char c = 's';
    [[maybe_unused]] const ssize_t n = ::write(g_pipe[1], &c, 1);
}

}  // namespace

Answer CliDialogs::Message(const QString& text, const QString&, Buttons buttons, Icon, Answer) {
    texts_.append(text);
    switch (buttons) {
        case Buttons::Ok:
            return Answer::Ok;
        case Buttons::OkCancel:
            return Answer::Cancel;
        case Buttons::YesNo:
            return Answer::No;
    }
    return Answer::Cancel;
}

QString CliDialogs::LastText() const {
    return texts_.isEmpty() ? QString() : OneLine(texts_.last());
}

StopSignal::StopSignal(QObject* parent) : QObject(parent) {
    if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    struct sigaction action = {};
    action.sa_handler = OnStop;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    notifier_ = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] {
        char buffer[16];
        while (::read(g_pipe[0], buffer, sizeof buffer) > 0) {
        }
        Q_EMIT Stop();
    });
}

StopSignal::~StopSignal() {
    ::signal(SIGINT, SIG_DFL);
    ::signal(SIGTERM, SIG_DFL);
}

bool StopSignal::Requested() {
    return g_stop != 0;
}

int StopSignal::ExitCode() {
    return 128 + (g_stop != 0 ? int(g_stop) : SIGINT);
}

Progress::Progress(bool quiet) : shown_(!quiet && ::isatty(STDERR_FILENO)) {}

void Progress::Show(const QString& label, int done) {
    if (!shown_) return;
    QString line;
    if (total_ > 0) {
        constexpr int kWidth = 30;
        const int filled = std::min(kWidth, done * kWidth / total_);
        line = QStringLiteral("%1 [%2%3] %4/%5")
                   .arg(label, QString(filled, u'#'), QString(kWidth - filled, u'.'))
                   .arg(done)
                   .arg(total_);
    } else {
        line = QStringLiteral("%1 %2").arg(label).arg(done);
    }
    std::fprintf(stderr, "\r\033[K%s", qPrintable(line));
    std::fflush(stderr);
    drawn_ = true;
}

void Progress::Clear() {
    if (!drawn_) return;
    std::fprintf(stderr, "\r\033[K");
    std::fflush(stderr);
    drawn_ = false;
}

QString OneLine(QString text) {
    text.replace(QLatin1String("\r\n"), QLatin1String(" "));
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return text.simplified();
}

}  // namespace vendra
