#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QtGlobal>

// The contact mail: its message, its body, and the SMTP client that sends it.

// A mail message: header fields and body lines.
struct TMailMessage {
    QString From;
    QStringList Recipients;
    QString Subject;
    QStringList Body;
    QString ContentType;
    QString CharSet;
    QString ContentTransferEncoding;
    bool IsEncoded = false;

    // Empties every header field and the body.
    void Clear();
};

// The body of a contact mail, one entry a line: product, edition, version, rule, date and time
// of `now`, the identifier, the user's name, and the message (its lines as typed).
QStringList ComposeContactBody(const QString &userId, const QString &userName,
                               const QString &message, const QDateTime &now);

// "hh:mm:ss.zzz" with the user's time separator (that of the default locale, which is the
// system's unless the program chose another) between hours, minutes and seconds; ":" when the
// locale's time pattern shows none.
QString ContactTimeText(const QTime &time);

// Fills `message` (after clearing it) as the contact window sends it: from `from` to `to`, the
// subject, the body above, content type "multipart/related; type=multipart/alternative;",
// character set "UTF-8", transfer encoding "8bit", already encoded.
void ComposeContactMail(TMailMessage *message, const QString &from, const QString &to,
                        const QString &subject, const QStringList &body);

// The message as it goes over the wire: header fields (From, To, Subject, Date, Message-ID,
// MIME-Version, Content-Type with the character set, Content-Transfer-Encoding), an empty line
// and the body lines, every line ending in CR LF. A subject that is not plain ASCII is written
// as an RFC 2047 encoded word.
QByteArray RenderMail(const TMailMessage &message, const QDateTime &date);

// Mail-server settings from [SERVICES] ("Mail Server" host[:port], port 26 by default; "Mail
// From" is also the log-in name; "Mail To"; "Mail Password") or the built-in defaults.
struct TSmtpSettings {
    QString Host;
    quint16 Port = 26;
    QString Username;
    QString Password;
    QString From;
    QString To;
};
TSmtpSettings ContactSmtpSettings();

// An SMTP client: logs in with user name and password, switches to TLS when the server offers
// STARTTLS, and sends one message per call.
class TSmtpClient final {
  public:
    QString Host;
    quint16 Port = 26;
    QString Username;
    QString Password;
    int TimeoutMs = 60000;

    // Connects, logs in, sends `message` to its recipients and disconnects. Blocks: run it
    // through RunBlocking. Throws TxError (class "EIdSMTPReplyError" when the server refused a
    // step, "EIdSocketError" when no connection could be made) with the reason as its text.
    void Send(const TMailMessage &message) const;
};
