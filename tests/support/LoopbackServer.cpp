#include "support/LoopbackServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

bool LoopbackConnection::WaitReadable() {
    for (;;) {
        pollfd entries[2] = {{fd_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
        const int ready = ::poll(entries, 2, -1);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        return ready > 0 && entries[1].revents == 0;
    }
}

QByteArray LoopbackConnection::ReadUntil(const QByteArray &end) {
    for (;;) {
        const int at = pending_.indexOf(end);
        if (at >= 0) {
            const QByteArray part = pending_.left(at + end.size());
            pending_.remove(0, at + end.size());
            return part;
        }
        if (!WaitReadable()) {
            break;
        }
        char buffer[4096];
        const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
        if (n <= 0) {
            break;
        }
        pending_.append(buffer, n);
    }
    QByteArray rest = pending_;
    pending_.clear();
    return rest;
}

QByteArray LoopbackConnection::ReadLine() {
    return ReadUntil("\r\n");
}

QByteArray LoopbackConnection::ReadRequestHead() {
    return ReadUntil("\r\n\r\n");
}

void LoopbackConnection::Write(const QByteArray &data) {
    qsizetype sent = 0;
    while (sent < data.size()) {
        const ssize_t n = ::send(fd_, data.constData() + sent,
                                 static_cast<size_t>(data.size() - sent), MSG_NOSIGNAL);
        if (n <= 0) {
            return;
        }
        sent += n;
    }
}

void LoopbackConnection::WaitForClose() {
    char buffer[256];
    while (WaitReadable() && ::recv(fd_, buffer, sizeof buffer, 0) > 0) {
    }
}

bool LoopbackConnection::ReadCommandLine(QByteArray *line) {
    QByteArray read = ReadLine();
    if (!read.endsWith("\r\n")) {
        return false;
    }
    read.chop(2);
    *line = read;
    return true;
}

LoopbackServer::LoopbackServer(Handler handler, Serving serving)
    : handler_(std::move(handler)), serving_(serving) {
    if (::pipe(stopFds_) != 0) {
        throw std::runtime_error("pipe failed");
    }
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    if (listenFd_ < 0 ||
        ::bind(listenFd_, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        ::listen(listenFd_, 16) != 0) {
        throw std::runtime_error("cannot listen on 127.0.0.1");
    }
    socklen_t length = sizeof address;
    ::getsockname(listenFd_, reinterpret_cast<sockaddr *>(&address), &length);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
}

LoopbackServer::~LoopbackServer() {
    const char stop = 1;
    // A pipe of our own with room to spare: the write does not fail, and a fortified write()
    // must have its result looked at.
    [[maybe_unused]] const ssize_t written = ::write(stopFds_[1], &stop, 1);
    thread_.join();
    for (std::thread &connection : connectionThreads_) {
        connection.join();
    }
    ::close(listenFd_);
    ::close(stopFds_[0]);
    ::close(stopFds_[1]);
}

void LoopbackServer::Serve() {
    for (;;) {
        pollfd entries[2] = {{listenFd_, POLLIN, 0}, {stopFds_[0], POLLIN, 0}};
        if (::poll(entries, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        if (entries[1].revents != 0) {
            return;
        }
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        ++connections_;
        if (serving_ == Serving::Concurrently) {
            connectionThreads_.emplace_back([this, fd] { ServeConnection(fd); });
        } else {
            ServeConnection(fd);
        }
    }
}

void LoopbackServer::ServeConnection(int fd) {
    LoopbackConnection connection(fd, stopFds_[0]);
    handler_(connection, *this);
    ::shutdown(fd, SHUT_RDWR);
    ::close(fd);
}

QString LoopbackServer::Url() const {
    return QStringLiteral("http://127.0.0.1:%1").arg(port_);
}

QString LoopbackServer::HostPort() const {
    return QStringLiteral("127.0.0.1:%1").arg(port_);
}

void LoopbackServer::Record(const QByteArray &item) {
    std::lock_guard<std::mutex> lock(mutex_);
    recorded_.append(item);
}

QList<QByteArray> LoopbackServer::Recorded() const {
    std::lock_guard<std::mutex> lock(mutex_);
    // A list of the caller's own, not a shared copy: the serving thread appends to this one
    // after the lock is gone, and Qt decides whether it may grow the shared block in place by a
    // relaxed look at the count, which orders nothing against the caller dropping its copy.
    return QList<QByteArray>(recorded_.cbegin(), recorded_.cend());
}

quint16 ClosedLoopbackPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

QByteArray HttpReply(int status, const QByteArray &reason, const QByteArray &body,
                     const QList<QByteArray> &headers) {
    QByteArray reply = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason + "\r\n";
    for (const QByteArray &header : headers) {
        reply += header + "\r\n";
    }
    reply += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    reply += "Connection: close\r\n\r\n";
    return reply + body;
}

QByteArray HeaderValue(const QByteArray &head, const QByteArray &name) {
    for (const QByteArray &line : head.split('\n')) {
        const int colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().toLower() == name.toLower()) {
            return line.mid(colon + 1).trimmed();
        }
    }
    return QByteArray();
}

QByteArray RequestPath(const QByteArray &head) {
    const QList<QByteArray> parts = head.left(head.indexOf("\r\n")).split(' ');
    return parts.size() >= 2 ? parts.at(1) : QByteArray();
}
