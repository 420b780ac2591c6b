#include "lookup/Whois.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QRegularExpression>
#include <QStringDecoder>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>

#include "common/BlockingCall.h"
#include "common/Errors.h"
#include "common/TX_Net.h"
#include "settings/Services.h"

namespace {

const QString kSocketError = QStringLiteral("EIdSocketError");

// Shown in the header; the page where a person can repeat the query in a browser.
const char *const kWhoisInfoPage = "https://apps.db.ripe.net/db-web-ui/query";

class SocketHandle final {
  public:
    explicit SocketHandle(int fd) : fd_(fd) {}
    ~SocketHandle() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    SocketHandle(const SocketHandle &) = delete;
    SocketHandle &operator=(const SocketHandle &) = delete;
    int Get() const { return fd_; }

  private:
    int fd_;
};

struct AddrInfoDeleter {
    void operator()(addrinfo *info) const { freeaddrinfo(info); }
};

using Clock = std::chrono::steady_clock;

QString SystemText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

// The clock of one exchange: the silence time-out restarts with every wait, the deadline not.
// Every wait also watches the user's cancel signal, when there is one.
class ExchangeClock final {
  public:
    ExchangeClock(const TExchangeLimits &limits, const TCancelSignal *cancel)
        : limits_(limits),
          deadline_(Clock::now() + std::chrono::milliseconds(limits.DeadlineMs)),
          cancel_(cancel) {}

    enum class Wait { Ready, Silent, PastDeadline };

    // Waits until `fd` is ready for `events`, at most the silence time-out and never past the
    // deadline. Throws the cancelled error as soon as the exchange is cancelled.
    Wait WaitFor(int fd, short events) const {
        const auto silenceEnd = Clock::now() + std::chrono::milliseconds(limits_.SilenceMs);
        const bool deadlineFirst = deadline_ <= silenceEnd;
        const auto end = deadlineFirst ? deadline_ : silenceEnd;
        for (;;) {
            // Rounded up: poll may wake a little early, and a wait cut short must not pass for
            // silence when it was the deadline that ran out.
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - Clock::now());
            if (left.count() <= 0) {
                return deadlineFirst ? Wait::PastDeadline : Wait::Silent;
            }
            pollfd entries[2] = {{fd, events, 0}, {-1, POLLIN, 0}};
            if (cancel_ != nullptr) {
                entries[1].fd = cancel_->WakeFd();
            }
            const int ready = ::poll(entries, 2, static_cast<int>(left.count()));
            RaiseIfCancelled();
            if (ready > 0) {
                return Wait::Ready;
            }
            if (ready < 0 && errno != EINTR) {
                throw TxError(QStringLiteral("Socket error: %1").arg(SystemText(errno)),
                              kSocketError);
            }
        }
    }

    [[noreturn]] void RaisePastDeadline() const {
        throw TxError(DeadlineText(limits_.DeadlineMs), QLatin1String(kDeadlineClass));
    }

    void RaiseIfCancelled() const {
        if (cancel_ != nullptr) {
            cancel_->RaiseIfCancelled();
        }
    }

    const TExchangeLimits &Limits() const { return limits_; }

  private:
    TExchangeLimits limits_;
    Clock::time_point deadline_;
    const TCancelSignal *cancel_;
};

// Connects to one of the host's addresses, trying them in the resolver's order.
std::unique_ptr<SocketHandle> Connect(const QString &host, quint16 port,
                                      const ExchangeClock &clock) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *raw = nullptr;
    const int resolved = getaddrinfo(host.toLocal8Bit().constData(),
                                     QByteArray::number(port).constData(), &hints, &raw);
    if (resolved != 0 || raw == nullptr) {
        throw TxError(QStringLiteral("Host not found: %1 (%2)")
                          .arg(host, QString::fromLocal8Bit(gai_strerror(resolved))),
                      kSocketError);
    }
    std::unique_ptr<addrinfo, AddrInfoDeleter> answer(raw);
    // The resolver cannot be woken: a cancel that came meanwhile counts once it is back.
    clock.RaiseIfCancelled();
    int lastError = 0;
    bool timedOut = false;
    for (const addrinfo *entry = answer.get(); entry != nullptr; entry = entry->ai_next) {
        auto socket = std::make_unique<SocketHandle>(
            ::socket(entry->ai_family, entry->ai_socktype | SOCK_CLOEXEC, entry->ai_protocol));
        if (socket->Get() < 0) {
            lastError = errno;
            continue;
        }
        const int flags = ::fcntl(socket->Get(), F_GETFL, 0);
        ::fcntl(socket->Get(), F_SETFL, flags | O_NONBLOCK);
        if (::connect(socket->Get(), entry->ai_addr, entry->ai_addrlen) != 0) {
            if (errno != EINPROGRESS) {
                lastError = errno;
                continue;
            }
            const ExchangeClock::Wait wait = clock.WaitFor(socket->Get(), POLLOUT);
            if (wait == ExchangeClock::Wait::PastDeadline) {
                clock.RaisePastDeadline();
            }
            if (wait == ExchangeClock::Wait::Silent) {
                timedOut = true;
                continue;
            }
            int error = 0;
            socklen_t length = sizeof error;
            ::getsockopt(socket->Get(), SOL_SOCKET, SO_ERROR, &error, &length);
            if (error != 0) {
                lastError = error;
                continue;
            }
        }
        return socket;
    }
    if (timedOut && lastError == 0) {
        throw TxError(QStringLiteral("Connect timed out: %1:%2").arg(host).arg(port),
                      QStringLiteral("EIdConnectTimeout"));
    }
    throw TxError(QStringLiteral("Could not connect to %1:%2: %3")
                      .arg(host)
                      .arg(port)
                      .arg(SystemText(lastError)),
                  kSocketError);
}

// Waits for `fd`; raises the time-out or deadline error when it does not become ready.
void AwaitReady(int fd, short events, const ExchangeClock &clock, const QString &timeoutText) {
    switch (clock.WaitFor(fd, events)) {
        case ExchangeClock::Wait::Ready:
            return;
        case ExchangeClock::Wait::Silent:
            throw TxError(timeoutText, QStringLiteral("EIdReadTimeout"));
        case ExchangeClock::Wait::PastDeadline:
            clock.RaisePastDeadline();
    }
}

void SendAll(int fd, const QByteArray &data, const ExchangeClock &clock) {
    qsizetype sent = 0;
    while (sent < data.size()) {
        const ssize_t n = ::send(fd, data.constData() + sent,
                                 static_cast<size_t>(data.size() - sent), MSG_NOSIGNAL);
        if (n > 0) {
            sent += n;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            AwaitReady(fd, POLLOUT, clock, QStringLiteral("Write timed out."));
        } else if (n < 0 && errno != EINTR) {
            throw TxError(QStringLiteral("Socket error: %1").arg(SystemText(errno)), kSocketError);
        }
    }
}

QByteArray ReceiveAll(int fd, const ExchangeClock &clock) {
    const qint64 maxBytes = clock.Limits().MaxBytes;
    QByteArray reply;
    char buffer[4096];
    for (;;) {
        AwaitReady(fd, POLLIN, clock, QStringLiteral("Read timed out."));
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n > 0) {
            if (reply.size() + n > maxBytes) {
                throw TxError(ReplyTooLargeText(maxBytes), QLatin1String(kReplyTooLargeClass));
            }
            reply.append(buffer, n);
        } else if (n == 0) {
            return reply;  // the server closed: the reply is complete
        } else if (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) {
            throw TxError(QStringLiteral("Socket error: %1").arg(SystemText(errno)), kSocketError);
        }
    }
}

QString DecodeReply(const QByteArray &bytes) {
    QStringDecoder utf8(QStringConverter::Utf8);
    const QString text = utf8(bytes);
    return utf8.hasError() ? QString::fromLatin1(bytes) : text;
}

void AppendLine(QTextCursor &cursor, const QString &text, const QTextCharFormat &format) {
    cursor.insertText(text, format);
    cursor.insertBlock(QTextBlockFormat(), format);
}

}  // namespace

QString WhoisServerAddress() {
    return ServiceSetting(QStringLiteral("Whois Server"), QStringLiteral("whois.ripe.net"));
}

QString WhoisZone(const QString &url) {
    const int point = url.indexOf(QLatin1Char('.'));
    return point < 0 ? url : url.mid(point + 1);
}

bool WhoisZoneListed(const QStringList &serverList, const QString &zone) {
    if (zone.isEmpty()) {
        return false;
    }
    for (const QString &line : serverList) {
        if (line.contains(zone, Qt::CaseSensitive)) {
            return true;
        }
    }
    return false;
}

QString WhoisQuery(const QString &host, quint16 port, const QString &query,
                   const TExchangeLimits &limits, const TCancelSignal *cancel) {
    const ExchangeClock clock(limits, cancel);
    clock.RaiseIfCancelled();
    const std::unique_ptr<SocketHandle> socket = Connect(host, port, clock);
    SendAll(socket->Get(), query.toUtf8() + "\r\n", clock);
    return DecodeReply(ReceiveAll(socket->Get(), clock));
}

QString WhoisServerQuery(const QString &server, const QString &address,
                         const TExchangeLimits &limits, const TCancelSignal *cancel) {
    QString host;
    quint16 port = 43;
    SplitHostPort(server, 43, &host, &port);
    return WhoisQuery(host, port, address, limits, cancel);
}

QString WhoisLookup(const QStringList &serverList, const QString &url, const QString &server,
                    const TExchangeLimits &limits, const TCancelSignal *cancel) {
    if (!WhoisZoneListed(serverList, WhoisZone(url))) {
        return QString::fromLatin1(kWhoisNoResults);
    }
    return WhoisServerQuery(server, GetIP(url), limits, cancel);
}

QStringList WhoisReplyLines(const QString &reply) {
    static const QRegularExpression lineEnd(QStringLiteral("\r\n|\r|\n"));
    QStringList lines = reply.split(lineEnd);
    if (lines.size() > 1 && lines.constLast().isEmpty()) {
        lines.removeLast();
    }
    if (reply.isEmpty()) {
        lines.clear();
    }
    return lines;
}

QString WhoisVisibleText(const QString &line) {
    QString text = line;
    for (QChar &c : text) {
        const char16_t code = c.unicode();
        if (code < 0x20 && code != u'\t') {
            c = QChar(static_cast<char16_t>(0x2400 + code));
        } else if (code == 0x7F) {
            c = QChar(static_cast<char16_t>(0x2421));
        } else if ((code >= 0x80 && code < 0xA0) || code == 0x2028 || code == 0x2029) {
            c = QChar(QChar::ReplacementCharacter);
        }
    }
    return text;
}

QString FormatWhoisLine(const QString &line) {
    QString text = WhoisVisibleText(line);
    text.replace(QStringLiteral("    "), QStringLiteral(" "));
    text.replace(QStringLiteral("   "), QStringLiteral(" "));
    text.replace(QStringLiteral("  "), QStringLiteral(" "));
    if (text.contains(QLatin1Char('%'))) {
        return text;
    }
    QString key;
    QString value = text;
    const int colon = text.indexOf(QLatin1Char(':'));
    if (colon >= 0) {
        key = text.left(colon + 1);
        int start = colon + 1;
        // Only a separating blank goes; a value written right against the colon stays whole.
        if (start < text.size() &&
            (text.at(start) == QLatin1Char(' ') || text.at(start) == QLatin1Char('\t'))) {
            ++start;
        }
        value = text.mid(start);
    }
    const bool shortKey = key.size() <= 8 || key.contains(QLatin1String("org-type"));
    return key + QString(shortKey ? 3 : 2, QLatin1Char('\t')) + value;
}

QStringList WhoisHeaderLines() {
    return {QStringLiteral("WhoIs Server:\t ") + QLatin1String(kWhoisInfoPage),
            QStringLiteral("Zona:\t\tEurope"), QString(), QStringLiteral("RESULT:"), QString()};
}

void WriteWhoisResult(QTextDocument *pane, const QString &reply, const QColor &color) {
    pane->clear();
    QTextCursor cursor(pane);
    QTextCharFormat format;
    format.setForeground(color);
    format.setFontWeight(QFont::Bold);
    cursor.setCharFormat(format);
    for (const QString &line : WhoisHeaderLines()) {
        AppendLine(cursor, line, format);
    }
    format.setFontWeight(QFont::Normal);
    for (const QString &line : WhoisReplyLines(reply)) {
        AppendLine(cursor, FormatWhoisLine(line), format);
    }
}
