#include "LocalHttpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

namespace {

int ListenLocal(quint16 *port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address);
    ::listen(fd, 16);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length);
    *port = ntohs(address.sin_port);
    return fd;
}

bool WaitReadable(int fd, const std::atomic<bool> &stopping) {
    while (!stopping) {
        pollfd entry{fd, POLLIN, 0};
        const int ready = ::poll(&entry, 1, 50);
        if (ready > 0) {
            return true;
        }
    }
    return false;
}

void SendAll(int fd, const QByteArray &data) {
    qsizetype sent = 0;
    while (sent < data.size()) {
        const ssize_t n = ::send(fd, data.constData() + sent, data.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) {
            return;
        }
        sent += n;
    }
}

}  // namespace

LocalHttpServer::LocalHttpServer() {
    listener_ = ListenLocal(&port_);
    acceptor_ = std::thread([this] { AcceptLoop(); });
}

LocalHttpServer::~LocalHttpServer() {
    stopping_ = true;
    acceptor_.join();
    for (std::thread &connection : connections_) {
        connection.join();
    }
    ::close(listener_);
}

QString LocalHttpServer::BaseUrl() const {
    return QStringLiteral("http://127.0.0.1:%1").arg(port_);
}

void LocalHttpServer::SetRoute(const QString &path, const Route &route) {
    std::lock_guard<std::mutex> lock(mutex_);
    routes_.insert(path, route);
}

void LocalHttpServer::SetRoute(const QString &path, const QByteArray &body, int status) {
    Route route;
    route.status = status;
    route.body = body;
    SetRoute(path, route);
}

QStringList LocalHttpServer::RequestedPaths() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requested_;
}

void LocalHttpServer::AcceptLoop() {
    while (WaitReadable(listener_, stopping_)) {
        const int client = ::accept(listener_, nullptr, nullptr);
        if (client >= 0) {
            connections_.emplace_back([this, client] { Serve(client); });
        }
    }
}

void LocalHttpServer::Serve(int client) {
    QByteArray request;
    char buffer[4096];
    while (!request.contains("\r\n\r\n") && WaitReadable(client, stopping_)) {
        const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
        if (n <= 0) {
            break;
        }
        request.append(buffer, n);
    }
    const QList<QByteArray> requestLine = request.left(request.indexOf("\r\n")).split(' ');
    const QString path =
        requestLine.size() > 1 ? QString::fromLatin1(requestLine.at(1)) : QString();
    Route route;
    bool found = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        requested_.append(path);
        found = routes_.contains(path);
        if (found) {
            route = routes_.value(path);
        }
    }
    if (!found) {
        route.status = 404;
        route.body = "not here";
    }
    const QByteArray reason = route.status == 200   ? "OK"
                              : route.status == 404 ? "Not Found"
                                                    : "Error";
    QByteArray head = "HTTP/1.1 " + QByteArray::number(route.status) + ' ' + reason + "\r\n" +
                      "Content-Type: " + route.contentType + "\r\n" +
                      "Content-Length: " + QByteArray::number(route.body.size()) + "\r\n" +
                      "Connection: close\r\n\r\n";
    switch (route.kind) {
        case Kind::Complete:
            SendAll(client, head + route.body);
            break;
        case Kind::Truncated:
            SendAll(client, head + route.body.left(route.body.size() / 2));
            break;
        case Kind::Stalled:
            SendAll(client, head + route.body.left(route.body.size() / 2));
            while (!stopping_) {
                pollfd entry{client, POLLIN, 0};
                if (::poll(&entry, 1, 50) > 0 && ::recv(client, buffer, sizeof buffer, 0) <= 0) {
                    break;  // the client gave up
                }
            }
            break;
    }
    ::shutdown(client, SHUT_RDWR);
    ::close(client);
}

quint16 UnusedLocalPort() {
    quint16 port = 0;
    const int fd = ListenLocal(&port);
    ::close(fd);
    return port;
}
