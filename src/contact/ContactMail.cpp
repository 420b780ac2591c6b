#include "contact/ContactMail.h"

#include <curl/curl.h>

#include <QLocale>
#include <QRegularExpression>
#include <QUuid>
#include <cstring>
#include <mutex>

#include "common/Errors.h"
#include "settings/Services.h"

namespace {

const QString kCrLf = QStringLiteral("\r\n");

void EnsureCurl() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

QString HeaderText(const QString &text) {
    // A header value must not break the header block: line breaks become blanks.
    QString flat = text;
    flat.replace(QRegularExpression(QStringLiteral("[\r\n]+")), QStringLiteral(" "));
    bool ascii = true;
    for (const QChar c : flat) {
        if (c.unicode() > 126 || (c.unicode() < 32 && c != QLatin1Char('\t'))) {
            ascii = false;
            break;
        }
    }
    if (ascii) {
        return flat;
    }
    return QStringLiteral("=?UTF-8?B?") + QString::fromLatin1(flat.toUtf8().toBase64()) +
           QStringLiteral("?=");
}

QString AngleAddress(const QString &address) {
    const QString trimmed = address.trimmed();
    return trimmed.startsWith(QLatin1Char('<')) ? trimmed
                                                : QLatin1Char('<') + trimmed + QLatin1Char('>');
}

// "Wed, 09 Dec 2026 23:50:12 +0100": English names whatever the user's language.
QString RfcDate(const QDateTime &date) {
    const int offset = date.offsetFromUtc() / 60;
    return QLocale::c().toString(date, QStringLiteral("ddd, dd MMM yyyy hh:mm:ss ")) +
           QStringLiteral("%1%2%3")
               .arg(offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
               .arg(qAbs(offset) / 60, 2, 10, QLatin1Char('0'))
               .arg(qAbs(offset) % 60, 2, 10, QLatin1Char('0'));
}

struct UploadSource {
    const QByteArray *data;
    qsizetype offset;
};

size_t ReadUpload(char *buffer, size_t size, size_t count, void *userData) {
    auto *source = static_cast<UploadSource *>(userData);
    const qsizetype room = static_cast<qsizetype>(size * count);
    const qsizetype left = source->data->size() - source->offset;
    const qsizetype chunk = qMin(room, left);
    if (chunk > 0) {
        std::memcpy(buffer, source->data->constData() + source->offset, static_cast<size_t>(chunk));
        source->offset += chunk;
    }
    return static_cast<size_t>(chunk);
}

}  // namespace

void TMailMessage::Clear() {
    *this = TMailMessage();
}

QString ContactTimeText(const QTime &time) {
    // The locale's short time pattern shows its separator between the hour and the minute
    // fields. The long pattern will not do: some locales name the units there instead
    // (Japanese "H時mm分ss秒", Korean "h시 m분 s초").
    static const QRegularExpression separator(QStringLiteral("[hH]+([^hHmM]+)m"));
    const QRegularExpressionMatch match =
        separator.match(QLocale().timeFormat(QLocale::ShortFormat));
    QString sep = match.hasMatch() ? match.captured(1) : QStringLiteral(":");
    sep.remove(QLatin1Char('\''));  // quotes mark literal text in a pattern
    if (sep.isEmpty()) {
        sep = QStringLiteral(":");
    }
    return time.toString(QStringLiteral("hh")) + sep + time.toString(QStringLiteral("mm")) + sep +
           time.toString(QStringLiteral("ss.zzz"));
}

QStringList ComposeContactBody(const QString &userId, const QString &userName,
                               const QString &message, const QDateTime &now) {
    QStringList body;
    body << QStringLiteral("Tarvex") << QStringLiteral("for education") << QString()
         << QStringLiteral("version 1.0.2.0") << QString(38, QLatin1Char('-')) << QString()
         << QStringLiteral("Date: ") + now.date().toString(QStringLiteral("dd.MM.yyyy"))
         << QStringLiteral("Time: ") + ContactTimeText(now.time()) + QStringLiteral(" ms")
         << QString() << QStringLiteral("USER ID: ") + userId
         << QString()
         // The second word is written in Cyrillic letters (U+041D U+0410 U+041C U+0415).
         << QStringLiteral("USER \u041D\u0410\u041C\u0415: ") + userName << QString()
         << QStringLiteral("MESSAGE:") << QString();
    // The editor's text, line by line: whatever breaks the user typed become CR LF on the wire.
    QString text = message;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"))
        .replace(QLatin1Char('\r'), QLatin1Char('\n'));
    body << text.split(QLatin1Char('\n'));
    return body;
}

void ComposeContactMail(TMailMessage *message, const QString &from, const QString &to,
                        const QString &subject, const QStringList &body) {
    message->Clear();
    message->Body = body;
    message->From = from;
    message->Recipients = QStringList{to};
    message->Subject = subject;
    message->IsEncoded = true;
    message->ContentType = QStringLiteral("multipart/related; type=multipart/alternative;");
    message->CharSet = QStringLiteral("UTF-8");
    message->ContentTransferEncoding = QStringLiteral("8bit");
}

QByteArray RenderMail(const TMailMessage &message, const QDateTime &date) {
    QString contentType = message.ContentType.trimmed();
    while (contentType.endsWith(QLatin1Char(';'))) {
        contentType.chop(1);
    }
    if (!message.CharSet.isEmpty()) {
        contentType += QStringLiteral("; charset=") + message.CharSet;
    }
    QStringList angleRecipients;
    for (const QString &recipient : message.Recipients) {
        angleRecipients << AngleAddress(recipient);
    }
    const QString domain = message.From.section(QLatin1Char('@'), 1).trimmed();
    QStringList lines;
    lines << QStringLiteral("From: ") + AngleAddress(message.From)
          << QStringLiteral("To: ") + angleRecipients.join(QStringLiteral(", "))
          << QStringLiteral("Subject: ") + HeaderText(message.Subject)
          << QStringLiteral("Date: ") + RfcDate(date)
          << QStringLiteral("Message-ID: <") + QUuid::createUuid().toString(QUuid::WithoutBraces) +
                 QLatin1Char('@') + (domain.isEmpty() ? QStringLiteral("localhost") : domain) +
                 QLatin1Char('>')
          << QStringLiteral("MIME-Version: 1.0") << QStringLiteral("Content-Type: ") + contentType;
    if (!message.ContentTransferEncoding.isEmpty()) {
        lines << QStringLiteral("Content-Transfer-Encoding: ") + message.ContentTransferEncoding;
    }
    lines << QString();
    lines << message.Body;
    return (lines.join(kCrLf) + kCrLf).toUtf8();
}

TSmtpSettings ContactSmtpSettings() {
    TSmtpSettings settings;
    SplitHostPort(ServiceSetting(QStringLiteral("Mail Server"), QStringLiteral("mail.haldrin.com")),
                  26, &settings.Host, &settings.Port);
    settings.From =
        ServiceSetting(QStringLiteral("Mail From"), QStringLiteral("tarvex@haldrin.com"));
    settings.Username = settings.From;
    settings.To = ServiceSetting(QStringLiteral("Mail To"), QStringLiteral("support@haldrin.com"));
    settings.Password =
        ServiceSetting(QStringLiteral("Mail Password"), QStringLiteral("Qw7+Lp3#Rv8m"));
    return settings;
}

void TSmtpClient::Send(const TMailMessage &message) const {
    EnsureCurl();
    CURL *curl = curl_easy_init();
    if (curl == nullptr) {
        throw TxError(QStringLiteral("The mail client could not be started."),
                      QStringLiteral("EIdException"));
    }
    const QByteArray data = RenderMail(message, QDateTime::currentDateTime());
    UploadSource source{&data, 0};
    QString host = Host.trimmed();
    if (host.contains(QLatin1Char(':')) && !host.startsWith(QLatin1Char('['))) {
        host = QLatin1Char('[') + host + QLatin1Char(']');
    }
    const QByteArray url = QStringLiteral("smtp://%1:%2").arg(host).arg(Port).toUtf8();
    const QByteArray user = Username.toUtf8();
    const QByteArray password = Password.toUtf8();
    const QByteArray from = AngleAddress(message.From).toUtf8();
    curl_slist *recipients = nullptr;
    for (const QString &recipient : message.Recipients) {
        recipients = curl_slist_append(recipients, AngleAddress(recipient).toUtf8().constData());
    }
    char errorBuffer[CURL_ERROR_SIZE] = {};

    curl_easy_setopt(curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(curl, CURLOPT_USERNAME, user.constData());
    curl_easy_setopt(curl, CURLOPT_PASSWORD, password.constData());
    // STARTTLS when the server offers it; a server without it still gets the mail.
    curl_easy_setopt(curl, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_TRY));
    curl_easy_setopt(curl, CURLOPT_MAIL_FROM, from.constData());
    curl_easy_setopt(curl, CURLOPT_MAIL_RCPT, recipients);
    curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(curl, CURLOPT_READFUNCTION, &ReadUpload);
    curl_easy_setopt(curl, CURLOPT_READDATA, &source);
    curl_easy_setopt(curl, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(data.size()));
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(TimeoutMs));
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(TimeoutMs));
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorBuffer);

    const CURLcode code = curl_easy_perform(curl);
    long reply = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &reply);
    curl_slist_free_all(recipients);
    curl_easy_cleanup(curl);
    if (code == CURLE_OK) {
        return;
    }
    QString reason = QString::fromUtf8(errorBuffer).trimmed();
    if (reason.isEmpty()) {
        reason = QString::fromUtf8(curl_easy_strerror(code));
    }
    const bool noConnection = code == CURLE_COULDNT_CONNECT || code == CURLE_COULDNT_RESOLVE_HOST ||
                              code == CURLE_OPERATION_TIMEDOUT || code == CURLE_RECV_ERROR ||
                              code == CURLE_SEND_ERROR;
    if (reply >= 400 && !noConnection) {
        reason += QStringLiteral(" (server reply %1)").arg(reply);
    }
    throw TxError(reason, noConnection ? QStringLiteral("EIdSocketError")
                                       : QStringLiteral("EIdSMTPReplyError"));
}
