#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QToolButton>

#include "common/BoxParts.h"
#include "common/CommandGuard.h"
#include "contact/ContactUnit.h"
#include "settings/Services.h"
#include "support/LocalSmtpServer.h"
#include "support/WindowTest.h"

namespace {

const QString kFrom = QStringLiteral("tarvex@test.example");
const QString kTo = QStringLiteral("support@test.example");
const QString kPassword = QStringLiteral("mailbox secret");

// The body lines of a received message (after the header block).
QStringList BodyLines(const QByteArray &data) {
    const qsizetype split = data.indexOf("\r\n\r\n");
    QStringList lines = QString::fromUtf8(data.mid(split + 4)).split(QStringLiteral("\r\n"));
    if (!lines.isEmpty() && lines.last().isEmpty()) {
        lines.removeLast();
    }
    return lines;
}

// The next widget that Tab reaches from `widget`.
QWidget *NextTabStop(QWidget *widget) {
    QWidget *next = widget->nextInFocusChain();
    while (next != widget && !(next->focusPolicy() & Qt::TabFocus)) {
        next = next->nextInFocusChain();
    }
    return next;
}

class ContactFormTest : public WindowTest {
  protected:
    ContactFormTest() : server(kFrom, kPassword) {}

    void SetUp() override {
        UseServerPort(server.Port());
        QObject::connect(&form, &QDialog::finished, [this](int result) { closedWith << result; });
    }
    void UseServerPort(quint16 port) {
        SetServiceSettings(
            {{QStringLiteral("Mail Server"), QStringLiteral("127.0.0.1:%1").arg(port)},
             {QStringLiteral("Mail From"), kFrom},
             {QStringLiteral("Mail To"), kTo},
             {QStringLiteral("Mail Password"), kPassword}});
    }

    void Type(const QString &name, const QString &subject, const QString &message) {
        form.UserNameEdit->setText(name);
        form.SubjectEdit->setText(subject);
        form.MessageMemo->setPlainText(message);
    }

    LocalSmtpServer server;
    TContactForm form;
    QList<int> closedWith;
};

TEST_F(ContactFormTest, WindowTexts) {
    EXPECT_EQ(form.size(), QSize(529, 348));
    EXPECT_TRUE(form.windowTitle().isEmpty());
    EXPECT_EQ(form.RzLabel1->text(), QStringLiteral("User ID"));
    EXPECT_EQ(form.AddressLabel->text(), QStringLiteral("User Name"));
    EXPECT_EQ(form.RzLabel2->text(), QStringLiteral("Subject"));
    EXPECT_EQ(form.Label5->text(), QStringLiteral("Message:"));
    EXPECT_EQ(form.Label2->text(), QStringLiteral("Send a message"));
    EXPECT_EQ(form.Label1->text(), QStringLiteral("Cancel"));
    EXPECT_EQ(form.StopPingBtn->toolTip(), QStringLiteral("Stop process ..."));
    EXPECT_TRUE(form.StartPingBtn->toolTip().isEmpty());
    EXPECT_TRUE(form.IDEdit->isReadOnly());
    EXPECT_EQ(form.Image1->pixmap().size(), QSize(92, 84));
    EXPECT_EQ(form.Label1->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(NextTabStop(form.UserNameEdit), form.SubjectEdit);
    EXPECT_EQ(NextTabStop(form.SubjectEdit), form.IDEdit);
    EXPECT_EQ(NextTabStop(form.IDEdit), form.MessageMemo);
    EXPECT_EQ(NextTabStop(form.MessageMemo), form.StartPingBtn);
}

TEST_F(ContactFormTest, ShowingPutsTheIdentifierAndKeepsTheTexts) {
    Type(QStringLiteral("Ann"), QStringLiteral("Hi"), QStringLiteral("text"));
    form.show();
    static const QRegularExpression id(QStringLiteral("^[0-9A-F]{8} - [0-9A-F][0-9]+ - [0-9]+$"));
    EXPECT_TRUE(id.match(form.IDEdit->text()).hasMatch()) << form.IDEdit->text().toStdString();
    EXPECT_EQ(form.UserNameEdit->text(), QStringLiteral("Ann"));
    EXPECT_EQ(form.MessageMemo->toPlainText(), QStringLiteral("text"));
    form.hide();
}

TEST_F(ContactFormTest, SendingDeliversTheMailAndCloses) {
    form.FormShow();
    Type(QStringLiteral("Ann Example"), QStringLiteral("Ping question"),
         QStringLiteral("Line one\nLine two"));
    form.StartPingBtn->click();

    EXPECT_TRUE(errors_.isEmpty()) << errors_.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(closedWith, QList<int>{mrOk});
    const QList<LocalSmtpServer::Mail> mails = server.Mails();
    ASSERT_EQ(mails.size(), 1);
    EXPECT_EQ(mails.at(0).AuthUser, kFrom);
    EXPECT_EQ(mails.at(0).AuthPassword, kPassword);
    EXPECT_EQ(mails.at(0).MailFrom, kFrom);
    EXPECT_EQ(mails.at(0).RcptTo, QStringList{kTo});
    EXPECT_TRUE(mails.at(0).Data.contains("\r\nSubject: Ping question\r\n"));

    const QStringList lines = BodyLines(mails.at(0).Data);
    ASSERT_EQ(lines.size(), 17) << lines.join(QLatin1Char('|')).toStdString();
    const QStringList fixedStart = {
        QStringLiteral("Tarvex"),          QStringLiteral("for education"), QString(),
        QStringLiteral("version 1.0.2.0"), QString(38, QLatin1Char('-')),   QString()};
    EXPECT_EQ(lines.mid(0, 6), fixedStart);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^Date: \\d\\d\\.\\d\\d\\.\\d{4}$"))
                    .match(lines.at(6))
                    .hasMatch());
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^Time: \\d\\d\\D\\d\\d\\D\\d\\d\\.\\d{3} ms$"))
                    .match(lines.at(7))
                    .hasMatch());
    const QStringList rest = {
        QString(),
        QStringLiteral("USER ID: ") + form.IDEdit->text(),
        QString(),
        QString::fromUtf8("USER \xD0\x9D\xD0\x90\xD0\x9C\xD0\x95: Ann Example"),
        QString(),
        QStringLiteral("MESSAGE:"),
        QString(),
        QStringLiteral("Line one"),
        QStringLiteral("Line two")};
    EXPECT_EQ(lines.mid(8), rest);
}

TEST_F(ContactFormTest, SecondSendingComposesAFreshMail) {
    form.FormShow();
    Type(QStringLiteral("First"), QStringLiteral("one"), QStringLiteral("a\nb\nc"));
    form.StartPingBtnClick();
    Type(QStringLiteral("Second"), QStringLiteral("two"), QStringLiteral("z"));
    form.StartPingBtnClick();
    Type(QStringLiteral("Third"), QString(), QString());
    form.StartPingBtnClick();

    const QList<LocalSmtpServer::Mail> mails = server.Mails();
    ASSERT_EQ(mails.size(), 3);
    const QStringList second = BodyLines(mails.at(1).Data);
    EXPECT_EQ(second.size(), 16);
    EXPECT_EQ(second.last(), QStringLiteral("z"));
    EXPECT_EQ(second.filter(QStringLiteral("First")), QStringList());
    EXPECT_EQ(mails.at(1).Data.count("Subject:"), 1);
    EXPECT_TRUE(mails.at(1).Data.contains("Subject: two\r\n"));
    const QStringList third = BodyLines(mails.at(2).Data);
    EXPECT_EQ(third.size(), 16);
    EXPECT_EQ(third.last(), QString());
    EXPECT_TRUE(mails.at(2).Data.contains("Subject: \r\n"));
    EXPECT_EQ(closedWith, (QList<int>{mrOk, mrOk, mrOk}));
}

TEST_F(ContactFormTest, UnsentMailIsReportedAndTheWindowKeepsItsTexts) {
    struct Case {
        const char *name;
        std::function<void()> arrange;
    };
    quint16 deadPort = 0;
    {
        LocalSmtpServer closed(kFrom, kPassword);
        deadPort = closed.Port();
    }
    const Case cases[] = {
        {"connection refused", [&] { UseServerPort(deadPort); }},
        {"log-in refused",
         [&] {
             UseServerPort(server.Port());
             SetServiceSettings({{QStringLiteral("Mail Server"),
                                  QStringLiteral("127.0.0.1:%1").arg(server.Port())},
                                 {QStringLiteral("Mail From"), kFrom},
                                 {QStringLiteral("Mail Password"), QStringLiteral("wrong")}});
         }},
    };
    form.FormShow();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        errors_.clear();
        c.arrange();
        Type(QStringLiteral("Ann"), QStringLiteral("Subject kept"), QStringLiteral("Body\nkept"));
        form.StartPingBtn->click();
        ASSERT_EQ(errors_.size(), 1);
        EXPECT_TRUE(errors_.at(0).startsWith(QStringLiteral("The message could not be sent: ")));
        EXPECT_GT(errors_.at(0).size(), QStringLiteral("The message could not be sent: ").size());
        EXPECT_TRUE(closedWith.isEmpty());
        EXPECT_EQ(form.UserNameEdit->text(), QStringLiteral("Ann"));
        EXPECT_EQ(form.SubjectEdit->text(), QStringLiteral("Subject kept"));
        EXPECT_EQ(form.MessageMemo->toPlainText(), QStringLiteral("Body\nkept"));
    }
    EXPECT_TRUE(server.Mails().isEmpty());
}

TEST_F(ContactFormTest, CancelSendsNothing) {
    Type(QStringLiteral("Ann"), QStringLiteral("s"), QStringLiteral("m"));
    form.StopPingBtn->click();
    EXPECT_EQ(closedWith, QList<int>{mrCancel});
    EXPECT_TRUE(server.Mails().isEmpty());
    EXPECT_EQ(form.UserNameEdit->text(), QStringLiteral("Ann"));
}

TEST_F(ContactFormTest, Screenshot) {
    const QString folder = qEnvironmentVariable("TARVEX_SCREENSHOT_DIR");
    if (folder.isEmpty()) {
        GTEST_SKIP() << "TARVEX_SCREENSHOT_DIR not set";
    }
    Type(QStringLiteral("Ann Example"), QStringLiteral("Question about list runs"),
         QStringLiteral("Hello,\nhow do I ping a list of addresses?\n\nThanks, Ann"));
    form.show();
    EXPECT_TRUE(form.grab().save(folder + QStringLiteral("/contact.png")));
    form.hide();
}

}  // namespace
