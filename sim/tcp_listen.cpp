#include "sim/tcp_listen.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/sockios.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vendra {

TcpListen::~TcpListen() {
    Close();
}

bool TcpListen::Open(int port, QString* error) {
    auto fail = [&](const char* what) {
        if (error)
            *error = QStringLiteral("%1 127.0.0.1:%2: %3")
                         .arg(QLatin1String(what))
                         .arg(port)
                         .arg(QString::fromLocal8Bit(strerror(errno)));
        Close();
        return false;
    };
    listen_ = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (listen_ < 0) return fail("socket");
    // A simulator restarted on the same port must not wait for the old connection to expire.
    const int on = 1;
    setsockopt(listen_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(listen_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        return fail("bind");
    if (listen(listen_, 4) != 0) return fail("listen");
    socklen_t length = sizeof address;
    if (getsockname(listen_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return fail("getsockname");
    port_ = ntohs(address.sin_port);
    return true;
}

void TcpListen::Close() {
    DropClient();
    if (listen_ >= 0) close(listen_);
    listen_ = -1;
}

bool TcpListen::TakeConnection() {
    // Accepted while the old client is still open, so the new one never reuses its number.
    const int fd = accept4(listen_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) return false;
    DropClient();
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    client_ = fd;
    return true;
}

void TcpListen::DropClient() {
    if (client_ >= 0) close(client_);
    client_ = -1;
}

int TcpListen::PendingForClient() const {
    int n = 0;
    if (client_ < 0 || ioctl(client_, SIOCOUTQ, &n) != 0) return 0;
    return n;
}

}  // namespace vendra
