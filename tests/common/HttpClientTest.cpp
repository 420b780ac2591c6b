#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <atomic>

#include "common/BlockingCall.h"
#include "common/Errors.h"
#include "common/HttpClient.h"
#include "lookup/LoopbackServer.h"

namespace {

// Answers every request with `reply` and records the request heads.
LoopbackServer::Handler Replying(const QByteArray &reply) {
    return [reply](LoopbackConnection &connection, LoopbackServer &server) {
        server.Record(connection.ReadRequestHead());
        connection.Write(reply);
    };
}

// Runs `call` and returns the TxError it raised (fails the test when it raised none).
template <typename F>
TxError ErrorOf(F &&call) {
    try {
        call();
    } catch (const TxError &error) {
        return error;
    }
    ADD_FAILURE() << "no error raised";
    return TxError(QString(), QString());
}

TEST(HttpClient, GetSendsTheFixedHeaderValuesAndReturnsTheBody) {
    LoopbackServer server(Replying(HttpReply(200, "OK", "<xml>body</xml>")));

    EXPECT_EQ(HttpGet(server.Url() + QStringLiteral("/xml/1.2.3.4")), "<xml>body</xml>");

    ASSERT_EQ(server.Recorded().size(), 1);
    const QByteArray head = server.Recorded().first();
    EXPECT_TRUE(head.startsWith("GET /xml/1.2.3.4 HTTP/1.1\r\n")) << head.constData();
    EXPECT_EQ(HeaderValue(head, "Accept"),
              "text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8");
    EXPECT_EQ(HeaderValue(head, "User-Agent"),
              "Mozilla/5.0 (Windows NT 6.1; WOW64) AppleWebKit/537.36 (KHTML, like Gecko) "
              "Chrome/37.0.2062.102 Safari/537.36");
    EXPECT_EQ(HeaderValue(head, "Connection"), "keep-alive");
    EXPECT_EQ(HeaderValue(head, "Host"), server.HostPort().toLatin1());
}

TEST(HttpClient, CookiesSetByAServerComeBackOnLaterRequests) {
    std::atomic<int> served{0};
    LoopbackServer server([&served](LoopbackConnection &connection, LoopbackServer &server) {
        server.Record(connection.ReadRequestHead());
        const QList<QByteArray> headers =
            served++ == 0 ? QList<QByteArray>{"Set-Cookie: visitor=4711; Path=/"}
                          : QList<QByteArray>{};
        connection.Write(HttpReply(200, "OK", "ok", headers));
    });

    HttpGet(server.Url() + QStringLiteral("/first"));
    HttpGet(server.Url() + QStringLiteral("/second"));
    // The store belongs to the process, not to one call: a call from another thread sees it.
    RunBlocking([&] { return HttpGet(server.Url() + QStringLiteral("/third")); });

    const QList<QByteArray> heads = server.Recorded();
    ASSERT_EQ(heads.size(), 3);
    EXPECT_TRUE(HeaderValue(heads.at(0), "Cookie").isEmpty());
    EXPECT_EQ(HeaderValue(heads.at(1), "Cookie"), "visitor=4711");
    EXPECT_EQ(HeaderValue(heads.at(2), "Cookie"), "visitor=4711");
}

TEST(HttpClient, StatusOutsideSuccessIsRaisedAndRedirectsAreNotFollowed) {
    const struct {
        int status;
        const char *reason;
        const char *message;
    } cases[] = {
        {404, "Not Found", "HTTP/1.1 404 Not Found"},
        {500, "Internal Server Error", "HTTP/1.1 500 Internal Server Error"},
        {302, "Found", "HTTP/1.1 302 Found"},
        {301, "Moved Permanently", "HTTP/1.1 301 Moved Permanently"},
    };
    for (const auto &c : cases) {
        LoopbackServer server(
            Replying(HttpReply(c.status, c.reason, "page", {"Location: /elsewhere"})));
        const TxError error = ErrorOf([&] { HttpGet(server.Url() + QStringLiteral("/start")); });
        EXPECT_EQ(error.ClassName(), QStringLiteral("EIdHTTPProtocolException")) << c.status;
        EXPECT_EQ(error.Message(), QLatin1String(c.message));
        ASSERT_EQ(server.Recorded().size(), 1) << c.status;
        EXPECT_EQ(RequestPath(server.Recorded().first()), "/start");
    }
}

TEST(HttpClient, ConnectionFailuresAndSilenceRaiseTheirKinds) {
    LoopbackServer silent([](LoopbackConnection &connection, LoopbackServer &) {
        connection.ReadRequestHead();
        connection.WaitForClose();
    });
    const QString refused = QStringLiteral("http://127.0.0.1:%1/").arg(ClosedLoopbackPort());

    const TxError timeout = ErrorOf([&] { HttpGet(silent.Url() + QStringLiteral("/"), 300); });
    EXPECT_EQ(timeout.ClassName(), QStringLiteral("EIdReadTimeout"));
    EXPECT_EQ(timeout.Message(), QStringLiteral("Read timed out."));

    const TxError noServer = ErrorOf([&] { HttpGet(refused, 2000); });
    EXPECT_EQ(noServer.ClassName(), QStringLiteral("EIdSocketError"));
    EXPECT_FALSE(noServer.Message().isEmpty());

    const TxError badAddress = ErrorOf([&] { HttpGet(QStringLiteral("ftp://127.0.0.1/x")); });
    EXPECT_EQ(badAddress.ClassName(), QStringLiteral("EIdException"));
    EXPECT_EQ(badAddress.Message(), QStringLiteral("Invalid address \"ftp://127.0.0.1/x\"."));
}

TEST(HttpClient, TextIsUtf8OrLatin1) {
    const struct {
        QByteArray body;
        QString text;
    } cases[] = {
        {"1020\r\nversion 1.0.2.0", QStringLiteral("1020\r\nversion 1.0.2.0")},
        {"\xEF\xBB\xBFK\xC3\xB6ln", QStringLiteral("K\u00F6ln")},
        {"K\xF6ln", QStringLiteral("K\u00F6ln")},
    };
    for (const auto &c : cases) {
        LoopbackServer server(Replying(HttpReply(200, "OK", c.body)));
        EXPECT_EQ(HttpGetText(server.Url() + QStringLiteral("/NewVersion.txt")), c.text);
    }
}

TEST(HttpClient, DownloadToFileReportsProgressAndReplacesTheFileOnlyOnSuccess) {
    QTemporaryDir folder;
    const QString target = folder.filePath(QStringLiteral("Update.exe"));
    const QByteArray installer(200000, 'x');
    LoopbackServer good(Replying(HttpReply(200, "OK", installer)));

    qint64 lastReceived = 0;
    qint64 lastTotal = 0;
    HttpGetToFile(good.Url() + QStringLiteral("/Update.exe"), target,
                  [&](qint64 received, qint64 total) {
                      EXPECT_GE(received, lastReceived);
                      lastReceived = received;
                      lastTotal = total;
                  });
    QFile written(target);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.readAll(), installer);
    written.close();
    EXPECT_EQ(lastReceived, installer.size());
    EXPECT_EQ(lastTotal, installer.size());

    // A failed download keeps the earlier file as it was and leaves nothing else behind.
    LoopbackServer missing(Replying(HttpReply(404, "Not Found", "no such file")));
    EXPECT_THROW(HttpGetToFile(missing.Url() + QStringLiteral("/Update.exe"), target), TxError);
    LoopbackServer silent([](LoopbackConnection &connection, LoopbackServer &) {
        connection.ReadRequestHead();
        connection.Write("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\npartial");
        connection.WaitForClose();
    });
    EXPECT_THROW(HttpGetToFile(silent.Url() + QStringLiteral("/Update.exe"), target, {}, 300),
                 TxError);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.readAll(), installer);
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("Update.exe")});

    const QString elsewhere = folder.filePath(QStringLiteral("New.exe"));
    EXPECT_THROW(HttpGetToFile(missing.Url() + QStringLiteral("/Update.exe"), elsewhere), TxError);
    EXPECT_FALSE(QFile::exists(elsewhere));
}

TEST(HttpClient, UnwritableTargetIsAFileError) {
    LoopbackServer server(Replying(HttpReply(200, "OK", "data")));
    const TxError error = ErrorOf([&] {
        HttpGetToFile(server.Url() + QStringLiteral("/x"),
                      QStringLiteral("/nonexistent-folder/sub/Update.exe"));
    });
    EXPECT_EQ(error.ClassName(), QStringLiteral("EFCreateError"));
}

}  // namespace
