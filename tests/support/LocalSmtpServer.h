#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <atomic>
#include <mutex>

#include "support/LoopbackServer.h"

// A small SMTP server on 127.0.0.1 that requires log-in (AUTH PLAIN or LOGIN) and keeps what it
// was given. It serves one session at a time on a thread of its own.
class LocalSmtpServer final {
  public:
    struct Mail {
        QString AuthUser;
        QString AuthPassword;
        QString MailFrom;    // the envelope sender, without angle brackets
        QStringList RcptTo;  // the envelope recipients
        QByteArray Data;     // the message as received, dot-stuffing undone
    };

    LocalSmtpServer(const QString &user, const QString &password);
    LocalSmtpServer(const LocalSmtpServer &) = delete;
    LocalSmtpServer &operator=(const LocalSmtpServer &) = delete;

    quint16 Port() const { return server_.Port(); }
    // Offers STARTTLS in the EHLO reply; the command itself is then refused ("454"), since this
    // server has no certificate, and counted.
    void OfferStartTls(bool offer) { offerStartTls_ = offer; }
    int StartTlsRequests() const { return startTlsRequests_; }
    // Mails accepted so far.
    QList<Mail> Mails() const;
    // Log-in attempts that were refused.
    int RefusedLogins() const;

  private:
    void Session(LoopbackConnection &connection);

    QString user_;
    QString password_;
    std::atomic<bool> offerStartTls_{false};
    std::atomic<int> startTlsRequests_{0};
    mutable std::mutex mutex_;
    QList<Mail> mails_;
    int refused_ = 0;
    // Last: it serves on its own thread, which uses the members above, until it is destroyed.
    LoopbackServer server_;
};
