#include "support/LocalSmtpServer.h"

namespace {

void Send(LoopbackConnection &connection, const QByteArray &line) {
    connection.Write(line + "\r\n");
}

}  // namespace

LocalSmtpServer::LocalSmtpServer(const QString &user, const QString &password)
    : user_(user),
      password_(password),
      server_([this](LoopbackConnection &connection, LoopbackServer &) { Session(connection); }) {}

QList<LocalSmtpServer::Mail> LocalSmtpServer::Mails() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return mails_;
}

int LocalSmtpServer::RefusedLogins() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return refused_;
}

void LocalSmtpServer::Session(LoopbackConnection &connection) {
    Send(connection, "220 localhost ESMTP test server");
    Mail mail;
    bool loggedIn = false;
    QByteArray line;
    const auto checkLogin = [&](const QString &user, const QString &password) {
        mail.AuthUser = user;
        mail.AuthPassword = password;
        loggedIn = user == user_ && password == password_;
        if (loggedIn) {
            Send(connection, "235 2.7.0 Authentication successful");
        } else {
            std::lock_guard<std::mutex> lock(mutex_);
            ++refused_;
            Send(connection, "535 5.7.8 Authentication credentials invalid");
        }
    };
    while (connection.ReadCommandLine(&line)) {
        const qsizetype blank = line.indexOf(' ');
        const QByteArray verb = (blank < 0 ? line : line.left(blank)).toUpper();
        if (verb == "EHLO" || verb == "HELO") {
            Send(connection, "250-localhost");
            if (offerStartTls_) {
                Send(connection, "250-STARTTLS");
            }
            Send(connection, "250-AUTH PLAIN LOGIN");
            Send(connection, "250 8BITMIME");
        } else if (verb == "STARTTLS") {
            ++startTlsRequests_;
            Send(connection, "454 4.7.0 TLS not available");
        } else if (verb == "AUTH") {
            const QList<QByteArray> parts = line.split(' ');
            const QByteArray mechanism = parts.value(1).toUpper();
            if (mechanism == "PLAIN") {
                QByteArray encoded = parts.value(2);
                if (encoded.isEmpty()) {
                    Send(connection, "334 ");
                    connection.ReadCommandLine(&encoded);
                }
                const QList<QByteArray> fields = QByteArray::fromBase64(encoded).split('\0');
                checkLogin(QString::fromUtf8(fields.value(1)), QString::fromUtf8(fields.value(2)));
            } else if (mechanism == "LOGIN") {
                QByteArray user = QByteArray::fromBase64(parts.value(2));
                if (user.isEmpty()) {
                    Send(connection, "334 VXNlcm5hbWU6");
                    connection.ReadCommandLine(&user);
                    user = QByteArray::fromBase64(user);
                }
                Send(connection, "334 UGFzc3dvcmQ6");
                QByteArray password;
                connection.ReadCommandLine(&password);
                checkLogin(QString::fromUtf8(user),
                           QString::fromUtf8(QByteArray::fromBase64(password)));
            } else {
                Send(connection, "504 5.5.4 Unrecognized authentication type");
            }
        } else if (verb == "MAIL") {
            if (!loggedIn) {
                Send(connection, "530 5.7.0 Authentication required");
                continue;
            }
            const qsizetype open = line.indexOf('<');
            mail.MailFrom = QString::fromUtf8(line.mid(open + 1, line.indexOf('>') - open - 1));
            Send(connection, "250 2.1.0 Ok");
        } else if (verb == "RCPT") {
            const qsizetype open = line.indexOf('<');
            mail.RcptTo << QString::fromUtf8(line.mid(open + 1, line.indexOf('>') - open - 1));
            Send(connection, "250 2.1.5 Ok");
        } else if (verb == "DATA") {
            Send(connection, "354 End data with <CR><LF>.<CR><LF>");
            QByteArray data;
            while (connection.ReadCommandLine(&line) && line != ".") {
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
            Send(connection, "250 2.0.0 Ok: queued");
        } else if (verb == "RSET" || verb == "NOOP") {
            Send(connection, "250 2.0.0 Ok");
        } else if (verb == "QUIT") {
            Send(connection, "221 2.0.0 Bye");
            return;
        } else {
            Send(connection, "502 5.5.2 Command not recognized");
        }
    }
}
