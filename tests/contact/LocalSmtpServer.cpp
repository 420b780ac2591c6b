#include "LocalSmtpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

class Connection {
  public:
    Connection(int fd, const std::atomic<bool> &stopping) : fd_(fd), stopping_(stopping) {}

    void Send(const QByteArray &line) {
        const QByteArray data = line + "\r\n";
        ::send(fd_, data.constData(), data.size(), MSG_NOSIGNAL);
    }

    // One line without its CR LF; false when the peer left or the server stops.
    bool ReadLine(QByteArray *line) {
        while (!buffer_.contains("\r\n")) {
            pollfd entry{fd_, POLLIN, 0};
            if (stopping_) {
                return false;
            }
            if (::poll(&entry, 1, 50) <= 0) {
                continue;
            }
            char chunk[4096];
            const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
            if (n <= 0) {
                return false;
            }
            buffer_.append(chunk, n);
        }
        const qsizetype end = buffer_.indexOf("\r\n");
        *line = buffer_.left(end);
        buffer_.remove(0, end + 2);
        return true;
    }

  private:
    int fd_;
    const std::atomic<bool> &stopping_;
    QByteArray buffer_;
};

}  // namespace

LocalSmtpServer::LocalSmtpServer(const QString &user, const QString &password)
    : user_(user), password_(password) {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(listener_, reinterpret_cast<sockaddr *>(&address), sizeof address);
    ::listen(listener_, 4);
    socklen_t length = sizeof address;
    ::getsockname(listener_, reinterpret_cast<sockaddr *>(&address), &length);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Run(); });
}

LocalSmtpServer::~LocalSmtpServer() {
    stopping_ = true;
    thread_.join();
    ::close(listener_);
}

QList<LocalSmtpServer::Mail> LocalSmtpServer::Mails() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return mails_;
}

int LocalSmtpServer::RefusedLogins() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return refused_;
}

void LocalSmtpServer::Run() {
    while (!stopping_) {
        pollfd entry{listener_, POLLIN, 0};
        if (::poll(&entry, 1, 50) <= 0) {
            continue;
        }
        const int client = ::accept(listener_, nullptr, nullptr);
        if (client >= 0) {
            Session(client);
            ::close(client);
        }
    }
}

void LocalSmtpServer::Session(int client) {
    Connection connection(client, stopping_);
    connection.Send("220 localhost ESMTP test server");
    Mail mail;
    bool loggedIn = false;
    QByteArray line;
    const auto checkLogin = [&](const QString &user, const QString &password) {
        mail.AuthUser = user;
        mail.AuthPassword = password;
        loggedIn = user == user_ && password == password_;
        if (loggedIn) {
            connection.Send("235 2.7.0 Authentication successful");
        } else {
            std::lock_guard<std::mutex> lock(mutex_);
            ++refused_;
            connection.Send("535 5.7.8 Authentication credentials invalid");
        }
    };
    while (connection.ReadLine(&line)) {
        const qsizetype blank = line.indexOf(' ');
        const QByteArray verb = (blank < 0 ? line : line.left(blank)).toUpper();
        if (verb == "EHLO" || verb == "HELO") {
            connection.Send("250-localhost");
            if (offerStartTls_) {
                connection.Send("250-STARTTLS");
            }
            connection.Send("250-AUTH PLAIN LOGIN");
            connection.Send("250 8BITMIME");
        } else if (verb == "STARTTLS") {
            ++startTlsRequests_;
            connection.Send("454 4.7.0 TLS not available");
        } else if (verb == "AUTH") {
            const QList<QByteArray> parts = line.split(' ');
            const QByteArray mechanism = parts.value(1).toUpper();
            if (mechanism == "PLAIN") {
                QByteArray encoded = parts.value(2);
                if (encoded.isEmpty()) {
                    connection.Send("334 ");
                    connection.ReadLine(&encoded);
                }
                const QList<QByteArray> fields = QByteArray::fromBase64(encoded).split('\0');
                checkLogin(QString::fromUtf8(fields.value(1)), QString::fromUtf8(fields.value(2)));
            } else if (mechanism == "LOGIN") {
                QByteArray user = QByteArray::fromBase64(parts.value(2));
                if (user.isEmpty()) {
                    connection.Send("334 VXNlcm5hbWU6");
                    connection.ReadLine(&user);
                    user = QByteArray::fromBase64(user);
                }
                connection.Send("334 UGFzc3dvcmQ6");
                QByteArray password;
                connection.ReadLine(&password);
                checkLogin(QString::fromUtf8(user),
                           QString::fromUtf8(QByteArray::fromBase64(password)));
            } else {
                connection.Send("504 5.5.4 Unrecognized authentication type");
            }
        } else if (verb == "MAIL") {
            if (!loggedIn) {
                connection.Send("530 5.7.0 Authentication required");
                continue;
            }
            const qsizetype open = line.indexOf('<');
            mail.MailFrom = QString::fromUtf8(line.mid(open + 1, line.indexOf('>') - open - 1));
            connection.Send("250 2.1.0 Ok");
        } else if (verb == "RCPT") {
            const qsizetype open = line.indexOf('<');
            mail.RcptTo << QString::fromUtf8(line.mid(open + 1, line.indexOf('>') - open - 1));
            connection.Send("250 2.1.5 Ok");
        } else if (verb == "DATA") {
            connection.Send("354 End data with <CR><LF>.<CR><LF>");
            QByteArray data;
            while (connection.ReadLine(&line) && line != ".") {
                if (line.startsWith('.')) {
                    line.remove(0, 1);
                }
                data += line + "\r\n";
            }
            mail.Data = data;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                mails_.append(mail);
            }
            mail.MailFrom.clear();
            mail.RcptTo.clear();
            connection.Send("250 2.0.0 Ok: queued");
        } else if (verb == "RSET" || verb == "NOOP") {
            connection.Send("250 2.0.0 Ok");
        } else if (verb == "QUIT") {
            connection.Send("221 2.0.0 Bye");
            return;
        } else {
            connection.Send("502 5.5.2 Command not recognized");
        }
    }
}
