#include "support/LocalHttpServer.h"

LocalHttpServer::LocalHttpServer()
    : server_([this](LoopbackConnection &connection, LoopbackServer &) { Serve(connection); },
              LoopbackServer::Serving::Concurrently) {}

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

void LocalHttpServer::Serve(LoopbackConnection &connection) {
    const QString path = QString::fromLatin1(RequestPath(connection.ReadRequestHead()));
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
            connection.Write(head + route.body);
            break;
        case Kind::Truncated:
            connection.Write(head + route.body.left(route.body.size() / 2));
            break;
        case Kind::Stalled:
            connection.Write(head + route.body.left(route.body.size() / 2));
            connection.WaitForClose();  // until the client gives up
            break;
    }
}
