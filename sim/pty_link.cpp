#include "sim/pty_link.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <QFile>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace vendra {

namespace {

QString SystemError(const char* what) {
    return QStringLiteral("%1: %2").arg(QLatin1String(what),
                                        QString::fromLocal8Bit(strerror(errno)));
}

}  // namespace

PtyLink::~PtyLink() {
    Unpublish();
    Close();
}

bool PtyLink::Open(QString* error) {
    auto fail = [&](const char* what) {
        if (error) *error = SystemError(what);
        Close();
        return false;
    };
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0) return fail("posix_openpt");
    if (grantpt(master_) != 0) return fail("grantpt");
    if (unlockpt(master_) != 0) return fail("unlockpt");
    char name[128] = {};
    if (ptsname_r(master_, name, sizeof name) != 0) return fail("ptsname");
    slavePath_ = QString::fromLocal8Bit(name);
    slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave_ < 0) return fail("open slave");
    termios tio{};
    if (tcgetattr(slave_, &tio) != 0) return fail("tcgetattr");
    cfmakeraw(&tio);
    cfsetispeed(&tio, B9600);
    cfsetospeed(&tio, B9600);
    if (tcsetattr(slave_, TCSANOW, &tio) != 0) return fail("tcsetattr");
    const int flags = fcntl(master_, F_GETFL);
    if (flags < 0 || fcntl(master_, F_SETFL, flags | O_NONBLOCK) != 0) return fail("fcntl");
    if (fcntl(master_, F_SETFD, FD_CLOEXEC) != 0) return fail("fcntl");
    return true;
}

bool PtyLink::Publish(const QString& linkPath, QString* error) {
    const QByteArray path = QFile::encodeName(linkPath);
    struct stat st {};
    if (lstat(path.constData(), &st) == 0 && !S_ISLNK(st.st_mode)) {
        if (error)
            *error =
                QStringLiteral("%1 exists and is not a symlink; not replacing it").arg(linkPath);
        return false;
    }
    // A new symlink beside the old one, renamed over it: the path is never missing.
    const QByteArray temp = path + ".tally-sim-" + QByteArray::number(getpid());
    unlink(temp.constData());
    if (symlink(QFile::encodeName(slavePath_).constData(), temp.constData()) != 0) {
        if (error) *error = SystemError("symlink") + QStringLiteral(" (%1)").arg(linkPath);
        return false;
    }
    if (rename(temp.constData(), path.constData()) != 0) {
        if (error) *error = SystemError("rename") + QStringLiteral(" (%1)").arg(linkPath);
        unlink(temp.constData());
        return false;
    }
    linkPath_ = linkPath;
    return true;
}

void PtyLink::Unpublish() {
    if (linkPath_.isEmpty()) return;
    const QByteArray path = QFile::encodeName(linkPath_);
    char target[512] = {};
    const ssize_t n = readlink(path.constData(), target, sizeof target - 1);
    // Another simulator may have taken the path over since; its link is not ours to remove.
    if (n > 0 && QFile::decodeName(QByteArray(target, static_cast<int>(n))) == slavePath_)
        unlink(path.constData());
    linkPath_.clear();
}

void PtyLink::Close() {
    if (slave_ >= 0) ::close(slave_);
    if (master_ >= 0) ::close(master_);
    slave_ = master_ = -1;
}

int PtyLink::PendingForConsole() const {
    int n = 0;
    if (slave_ < 0 || ioctl(slave_, FIONREAD, &n) != 0) return 0;
    return n;
}

}  // namespace vendra
