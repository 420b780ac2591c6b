#include <gtest/gtest.h>

#include <QDateTime>

#include "common/Errors.h"
#include "contact/ContactMail.h"
#include "settings/Services.h"
#include "support/LocalSmtpServer.h"

namespace {

const QString kUser = QStringLiteral("tarvex@test.example");
const QString kPassword = QStringLiteral("Qw7+Lp3#Rv8m");

QStringList HeadStart() {
    return {QStringLiteral("Tarvex"),
            QStringLiteral("for education"),
            QString(),
            QStringLiteral("version 1.0.2.0"),
            QStringLiteral("--------------------------------------"),
            QString()};
}

// Fixes the user's locale for one test.
class ScopedLocale final {
  public:
    explicit ScopedLocale(const QLocale &locale) { QLocale::setDefault(locale); }
    ~ScopedLocale() { QLocale::setDefault(previous_); }

  private:
    QLocale previous_;
};

TEST(ContactBody, TimeUsesTheUsersSeparator) {
    const QTime time(9, 5, 7, 4);
    struct Case {
        const char *locale;
        const char *expected;
    };
    const Case cases[] = {
        {"en_US", "09:05:07.004"},
        {"de_DE", "09:05:07.004"},
        {"fi_FI", "09.05.07.004"},
        {"da_DK", "09.05.07.004"},
        // Their long patterns name the units ("H時mm分ss秒", "AP h시 m분 s초"); the short ones
        // hold the separator.
        {"ja_JP", "09:05:07.004"},
        {"ko_KR", "09:05:07.004"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.locale);
        ScopedLocale locale{QLocale(QString::fromLatin1(c.locale))};
        EXPECT_EQ(ContactTimeText(time), QString::fromLatin1(c.expected));
    }
}

TEST(ContactBody, LineForLine) {
    ScopedLocale locale{QLocale(QLocale::English, QLocale::UnitedStates)};
    const QDateTime now(QDate(2026, 12, 9), QTime(14, 3, 7, 42));
    const QStringList body =
        ComposeContactBody(QStringLiteral("1A2B3C4D - E609 - 08160"), QStringLiteral("Ann"),
                           QStringLiteral("first line\nsecond line\r\nthird\rfourth"), now);
    QStringList expected = HeadStart();
    expected << QStringLiteral("Date: 09.12.2026") << QStringLiteral("Time: 14:03:07.042 ms")
             << QString() << QStringLiteral("USER ID: 1A2B3C4D - E609 - 08160") << QString()
             << QString::fromUtf8("USER \xD0\x9D\xD0\x90\xD0\x9C\xD0\x95: Ann") << QString()
             << QStringLiteral("MESSAGE:") << QString() << QStringLiteral("first line")
             << QStringLiteral("second line") << QStringLiteral("third")
             << QStringLiteral("fourth");
    EXPECT_EQ(body, expected);
    EXPECT_EQ(body.at(4).size(), 38);
    // The name label's second word is Cyrillic, not Latin.
    EXPECT_EQ(body.at(11).mid(5, 4), QStringView(u"\u041D\u0410\u041C\u0415").toString());
}

TEST(ContactBody, EmptyPartsStillGiveEveryLine) {
    ScopedLocale locale{QLocale(QLocale::English, QLocale::UnitedStates)};
    const QStringList body = ComposeContactBody(QString(), QString(), QString(),
                                                QDateTime(QDate(2027, 1, 2), QTime(0, 0)));
    ASSERT_EQ(body.size(), 16);
    EXPECT_EQ(body.at(6), QStringLiteral("Date: 02.01.2027"));
    EXPECT_EQ(body.at(7), QStringLiteral("Time: 00:00:00.000 ms"));
    EXPECT_EQ(body.at(9), QStringLiteral("USER ID: "));
    EXPECT_EQ(body.at(15), QString());
}

TEST(ContactMessage, ComposeClearsTheEarlierMail) {
    TMailMessage message;
    ComposeContactMail(&message, QStringLiteral("a@x"), QStringLiteral("b@x"),
                       QStringLiteral("first"), {QStringLiteral("one"), QStringLiteral("two")});
    ComposeContactMail(&message, QStringLiteral("a@x"), QStringLiteral("c@x"),
                       QStringLiteral("second"), {QStringLiteral("three")});
    EXPECT_EQ(message.Body, QStringList{QStringLiteral("three")});
    EXPECT_EQ(message.Recipients, QStringList{QStringLiteral("c@x")});
    EXPECT_EQ(message.From, QStringLiteral("a@x"));
    EXPECT_EQ(message.Subject, QStringLiteral("second"));
    EXPECT_EQ(message.ContentType,
              QStringLiteral("multipart/related; type=multipart/alternative;"));
    EXPECT_EQ(message.CharSet, QStringLiteral("UTF-8"));
    EXPECT_EQ(message.ContentTransferEncoding, QStringLiteral("8bit"));
    EXPECT_TRUE(message.IsEncoded);
}

TEST(ContactMessage, RendersHeadersAndBody) {
    TMailMessage message;
    ComposeContactMail(
        &message, QStringLiteral("tarvex@haldrin.test"), QStringLiteral("support@haldrin.test"),
        QString::fromUtf8("Frage zu \xC3\x9C"
                          "bersicht\r\nBcc: x@y"),
        {QStringLiteral("line one"), QString::fromUtf8("\xD0\x9D\xD0\x90"), QString()});
    const QByteArray wire = RenderMail(
        message, QDateTime(QDate(2026, 12, 9), QTime(14, 3, 7), Qt::OffsetFromUTC, 3600));
    const qsizetype split = wire.indexOf("\r\n\r\n");
    ASSERT_GT(split, 0);
    const QList<QByteArray> head = wire.left(split).split('\n');
    QStringList headers;
    for (const QByteArray &line : head) {
        ASSERT_TRUE(line.endsWith('\r') || &line == &head.last());
        headers << QString::fromUtf8(line).trimmed();
    }
    EXPECT_TRUE(headers.contains(QStringLiteral("From: <tarvex@haldrin.test>")));
    EXPECT_TRUE(headers.contains(QStringLiteral("To: <support@haldrin.test>")));
    EXPECT_TRUE(headers.contains(QStringLiteral("Date: Wed, 09 Dec 2026 14:03:07 +0100")));
    EXPECT_TRUE(headers.contains(QStringLiteral("MIME-Version: 1.0")));
    EXPECT_TRUE(headers.contains(QStringLiteral(
        "Content-Type: multipart/related; type=multipart/alternative; charset=UTF-8")));
    EXPECT_TRUE(headers.contains(QStringLiteral("Content-Transfer-Encoding: 8bit")));
    // A subject with line breaks cannot add header fields; non-ASCII is an encoded word.
    const QString subject = QStringLiteral("Subject: =?UTF-8?B?") +
                            QString::fromLatin1(QString::fromUtf8("Frage zu \xC3\x9C"
                                                                  "bersicht Bcc: x@y")
                                                    .toUtf8()
                                                    .toBase64()) +
                            QStringLiteral("?=");
    EXPECT_TRUE(headers.contains(subject)) << headers.join(QLatin1Char('|')).toStdString();
    EXPECT_FALSE(headers.contains(QStringLiteral("Bcc: x@y")));
    EXPECT_EQ(wire.mid(split + 4), QByteArray("line one\r\n\xD0\x9D\xD0\x90\r\n\r\n"));
}

TEST(ContactMessage, ServiceSettingsOverrideTheMailServer) {
    SetServiceSettings({{QStringLiteral("Mail Server"), QStringLiteral("127.0.0.1:2525")},
                        {QStringLiteral("Mail To"), QStringLiteral("help@test.example")}});
    TSmtpSettings settings = ContactSmtpSettings();
    EXPECT_EQ(settings.Host, QStringLiteral("127.0.0.1"));
    EXPECT_EQ(settings.Port, 2525);
    EXPECT_EQ(settings.To, QStringLiteral("help@test.example"));
    EXPECT_EQ(settings.Username, settings.From);
    EXPECT_EQ(settings.Password, QStringLiteral("Qw7+Lp3#Rv8m"));
    SetServiceSettings({{QStringLiteral("Mail Server"), QStringLiteral("mail.test.example")}});
    settings = ContactSmtpSettings();
    EXPECT_EQ(settings.Host, QStringLiteral("mail.test.example"));
    EXPECT_EQ(settings.Port, 26);
    SetServiceSettings({});
    EXPECT_EQ(ContactSmtpSettings().Port, 26);
}

class SmtpExchange : public ::testing::Test {
  protected:
    SmtpExchange() : server(kUser, kPassword) {
        client.Host = QStringLiteral("127.0.0.1");
        client.Port = server.Port();
        client.Username = kUser;
        client.Password = kPassword;
        ComposeContactMail(&message, kUser, QStringLiteral("support@test.example"),
                           QStringLiteral("Hello"),
                           {QStringLiteral("one"), QStringLiteral(".two starts with a dot"),
                            QStringLiteral("."), QStringLiteral("end")});
    }

    LocalSmtpServer server;
    TSmtpClient client;
    TMailMessage message;
};

TEST_F(SmtpExchange, LogsInAndDeliversTheMail) {
    client.Send(message);
    const QList<LocalSmtpServer::Mail> mails = server.Mails();
    ASSERT_EQ(mails.size(), 1);
    EXPECT_EQ(mails.at(0).AuthUser, kUser);
    EXPECT_EQ(mails.at(0).AuthPassword, kPassword);
    EXPECT_EQ(mails.at(0).MailFrom, kUser);
    EXPECT_EQ(mails.at(0).RcptTo, QStringList{QStringLiteral("support@test.example")});
    const QByteArray data = mails.at(0).Data;
    EXPECT_TRUE(data.contains("\r\nSubject: Hello\r\n"));
    EXPECT_TRUE(data.endsWith("\r\n\r\none\r\n.two starts with a dot\r\n.\r\nend\r\n"))
        << data.constData();
}

TEST_F(SmtpExchange, AsksForTlsWhenOfferedAndGoesOnWithoutIt) {
    client.Send(message);
    EXPECT_EQ(server.StartTlsRequests(), 0);
    server.OfferStartTls(true);
    client.Send(message);
    EXPECT_EQ(server.StartTlsRequests(), 1);
    EXPECT_EQ(server.Mails().size(), 2);
}

TEST_F(SmtpExchange, FailuresRaiseWithTheirReason) {
    client.Password = QStringLiteral("wrong");
    try {
        client.Send(message);
        ADD_FAILURE() << "no error";
    } catch (const TxError &error) {
        EXPECT_EQ(error.ClassName(), QStringLiteral("EIdSMTPReplyError"));
        EXPECT_FALSE(error.Message().isEmpty());
    }
    EXPECT_EQ(server.RefusedLogins(), 1);
    EXPECT_TRUE(server.Mails().isEmpty());

    TSmtpClient nowhere = client;
    {
        LocalSmtpServer closed(kUser, kPassword);
        nowhere.Port = closed.Port();
    }
    try {
        nowhere.Send(message);
        ADD_FAILURE() << "no error";
    } catch (const TxError &error) {
        EXPECT_EQ(error.ClassName(), QStringLiteral("EIdSocketError"));
        EXPECT_TRUE(error.Message().contains(QStringLiteral("onnect")))
            << error.Message().toStdString();
    }
}

}  // namespace
