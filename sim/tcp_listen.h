#pragma once
// The simulator's network side: a raw TCP port on 127.0.0.1 that serves one client at a time,
// as a serial device server does. A new client takes the line over from the one before it.
#include <QString>

namespace vendra {

class TcpListen {
public:
    TcpListen() = default;
    ~TcpListen();
    TcpListen(const TcpListen&) = delete;
    TcpListen& operator=(const TcpListen&) = delete;

    // Listens on 127.0.0.1:port; port 0 lets the system pick a free one.
    bool Open(int port, QString* error);
    void Close();

    int ListenFd() const { return listen_; }
    int ClientFd() const { return client_; }
    int Port() const { return port_; }

    // Takes the waiting connection (non-blocking), dropping the client before it. False when
    // there was none.
    bool TakeConnection();
    void DropClient();
    // Bytes written to the client that have not left this host yet.
    int PendingForClient() const;

private:
    int listen_ = -1;
    int client_ = -1;
    int port_ = 0;
};

}  // namespace vendra
