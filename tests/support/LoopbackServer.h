#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <atomic>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// A TCP server on 127.0.0.1 (port chosen by the system) that the test itself runs on a thread of
// its own, so that a blocking client on the test's thread can talk to it. It is the base of every
// test server (WHOIS, HTTP, SMTP, the map services): a handler serves each connection, which is
// closed when the handler returns.

class LoopbackConnection final {
  public:
    LoopbackConnection(int fd, int stopFd) : fd_(fd), stopFd_(stopFd) {}

    // Reads up to and including the first CR LF (or until the peer closes).
    QByteArray ReadLine();
    // Reads an HTTP request head: up to and including the empty line.
    QByteArray ReadRequestHead();
    // Sends all of `data`.
    void Write(const QByteArray &data);
    // Waits, sending nothing, until the peer closes or the server stops.
    void WaitForClose();

    // Reads one line and returns it without its CR LF; false when the peer closed or the server
    // stopped before a whole line came.
    bool ReadCommandLine(QByteArray *line);

  private:
    QByteArray ReadUntil(const QByteArray &end);
    bool WaitReadable();

    int fd_;
    int stopFd_;
    QByteArray pending_;
};

class LoopbackServer final {
  public:
    using Handler = std::function<void(LoopbackConnection &connection, LoopbackServer &server)>;

    // How connections are served: one after another on the server's thread, or each on a thread
    // of its own (for clients, such as the web engine, that open several at once while one of
    // them may be held open).
    enum class Serving { OneAtATime, Concurrently };

    explicit LoopbackServer(Handler handler, Serving serving = Serving::OneAtATime);
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer &) = delete;
    LoopbackServer &operator=(const LoopbackServer &) = delete;

    quint16 Port() const { return port_; }
    // "http://127.0.0.1:<port>"
    QString Url() const;
    // "127.0.0.1:<port>"
    QString HostPort() const;

    // What the handler chose to record (request lines, heads), oldest first; thread-safe.
    void Record(const QByteArray &item);
    QList<QByteArray> Recorded() const;
    int Connections() const { return connections_; }

  private:
    void Serve();
    void ServeConnection(int fd);

    Handler handler_;
    Serving serving_;
    int listenFd_ = -1;
    int stopFds_[2] = {-1, -1};
    quint16 port_ = 0;
    std::atomic<int> connections_{0};
    mutable std::mutex mutex_;
    QList<QByteArray> recorded_;
    std::thread thread_;
    std::vector<std::thread> connectionThreads_;
};

// The free-port helper: a port on 127.0.0.1 where nothing listens (bound once, then released).
quint16 ClosedLoopbackPort();

// An HTTP/1.1 reply with Content-Length and "Connection: close"; `headers` are extra lines
// without line ends.
QByteArray HttpReply(int status, const QByteArray &reason, const QByteArray &body,
                     const QList<QByteArray> &headers = {});

// The value of header `name` (any letter case) in a request head, or an empty array.
QByteArray HeaderValue(const QByteArray &head, const QByteArray &name);

// The path of the request line of a request head ("GET /path HTTP/1.1" gives "/path").
QByteArray RequestPath(const QByteArray &head);
