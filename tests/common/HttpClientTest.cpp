#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "common/BlockingCall.h"
#include "common/Errors.h"
#include "common/HttpClient.h"
#include "support/FullDisk.h"
#include "support/LoopbackServer.h"
#include "support/TestSupport.h"

namespace {

// The limits of a request in these tests: generous unless a test is about one of them.
constexpr TExchangeLimits kLimits{30000, 60000, kMiB};

constexpr TExchangeLimits Silence(int milliseconds) {
    return {milliseconds, 60000, kMiB};
}

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

    EXPECT_EQ(HttpGet(server.Url() + QStringLiteral("/xml/1.2.3.4"), kLimits), "<xml>body</xml>");

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

    HttpGet(server.Url() + QStringLiteral("/first"), kLimits);
    HttpGet(server.Url() + QStringLiteral("/second"), kLimits);
    // The store belongs to the process, not to one call: a call from another thread sees it.
    RunBlocking([&] { return HttpGet(server.Url() + QStringLiteral("/third"), kLimits); });

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
        const TxError error =
            ErrorOf([&] { HttpGet(server.Url() + QStringLiteral("/start"), kLimits); });
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

    const TxError timeout =
        ErrorOf([&] { HttpGet(silent.Url() + QStringLiteral("/"), Silence(300)); });
    EXPECT_EQ(timeout.ClassName(), QStringLiteral("EIdReadTimeout"));
    EXPECT_EQ(timeout.Message(), QStringLiteral("Read timed out."));

    const TxError noServer = ErrorOf([&] { HttpGet(refused, Silence(2000)); });
    EXPECT_EQ(noServer.ClassName(), QStringLiteral("EIdSocketError"));
    EXPECT_FALSE(noServer.Message().isEmpty());

    const TxError badAddress =
        ErrorOf([&] { HttpGet(QStringLiteral("ftp://127.0.0.1/x"), kLimits); });
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
        EXPECT_EQ(HttpGetText(server.Url() + QStringLiteral("/NewVersion.txt"), kLimits), c.text);
    }
}

TEST(HttpClient, DownloadToFileReportsProgressAndReplacesTheFileOnlyOnSuccess) {
    QTemporaryDir folder;
    const QString target = folder.filePath(QStringLiteral("Update.exe"));
    const QByteArray installer(200000, 'x');
    LoopbackServer good(Replying(HttpReply(200, "OK", installer)));

    qint64 lastReceived = 0;
    qint64 lastTotal = 0;
    HttpGetToFile(good.Url() + QStringLiteral("/Update.exe"), target, kLimits,
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
    EXPECT_THROW(HttpGetToFile(missing.Url() + QStringLiteral("/Update.exe"), target, kLimits),
                 TxError);
    LoopbackServer silent([](LoopbackConnection &connection, LoopbackServer &) {
        connection.ReadRequestHead();
        connection.Write("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\npartial");
        connection.WaitForClose();
    });
    EXPECT_THROW(HttpGetToFile(silent.Url() + QStringLiteral("/Update.exe"), target, Silence(300)),
                 TxError);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.readAll(), installer);
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("Update.exe")});

    const QString elsewhere = folder.filePath(QStringLiteral("New.exe"));
    EXPECT_THROW(HttpGetToFile(missing.Url() + QStringLiteral("/Update.exe"), elsewhere, kLimits),
                 TxError);
    EXPECT_FALSE(QFile::exists(elsewhere));
}

TEST(HttpClient, BodiesBeyondTheLimitFailAndNameIt) {
    const QByteArray body(1000, 'b');
    QByteArray chunked =
        "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n";
    for (int i = 0; i < 10; ++i) {
        chunked += "64\r\n" + QByteArray(100, 'c') + "\r\n";
    }
    chunked += "0\r\n\r\n";
    const TExchangeLimits limits{30000, 60000, 999};
    const struct {
        const char *name;
        QByteArray reply;
    } cases[] = {
        {"announced length", HttpReply(200, "OK", body)},
        {"chunked, no length known in advance", chunked},
        {"length left out, closed at the end",
         "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + body},
    };
    QTemporaryDir folder;
    const QString target = folder.filePath(QStringLiteral("Update.exe"));
    for (const auto &c : cases) {
        LoopbackServer server(Replying(c.reply));
        const TxError error = ErrorOf([&] { HttpGet(server.Url() + QStringLiteral("/"), limits); });
        EXPECT_EQ(error.ClassName(), QStringLiteral("EIdReplyTooLarge")) << c.name;
        EXPECT_EQ(error.Message(),
                  QStringLiteral("The reply is larger than the limit of 999 bytes."))
            << c.name;
        const TxError fileError =
            ErrorOf([&] { HttpGetToFile(server.Url() + QStringLiteral("/"), target, limits); });
        EXPECT_EQ(fileError.ClassName(), QStringLiteral("EIdReplyTooLarge")) << c.name;
        EXPECT_FALSE(QFile::exists(target)) << c.name;

        // One byte more room and the same reply goes through.
        EXPECT_EQ(HttpGet(server.Url() + QStringLiteral("/"), {30000, 60000, 1000}).size(), 1000)
            << c.name;
    }
}

TEST(HttpClient, TricklingServerIsStoppedByTheDeadline) {
    std::atomic<bool> clientGone{false};
    LoopbackServer trickling([&](LoopbackConnection &connection, LoopbackServer &) {
        connection.ReadRequestHead();
        connection.Write("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n");
        while (!clientGone) {
            connection.Write("x");
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    });
    const TxError error = ErrorOf([&] {
        HttpGet(trickling.Url() + QStringLiteral("/"), {1000, 1500, kMiB});
    });
    clientGone = true;
    EXPECT_EQ(error.ClassName(), QStringLiteral("EIdDeadlineExceeded"));
    EXPECT_EQ(error.Message(),
              QStringLiteral("The exchange did not end within the limit of 1500 ms."));
}

// An exception raised in a callback must not unwind through libcurl's C frames (that aborts the
// program); it stops the transfer and comes out of the call.
TEST(HttpClient, AnExceptionInTheProgressCallbackComesOutOfTheCall) {
    LoopbackServer server(Replying(HttpReply(200, "OK", QByteArray(50000, 'x'))));
    QTemporaryDir folder;
    const QString target = folder.filePath(QStringLiteral("Update.exe"));
    try {
        HttpGetToFile(server.Url() + QStringLiteral("/"), target, kLimits,
                      [](qint64, qint64) { throw std::runtime_error("stopped by the listener"); });
        ADD_FAILURE() << "no error";
    } catch (const std::runtime_error &error) {
        EXPECT_STREQ(error.what(), "stopped by the listener");
    }
    EXPECT_FALSE(QFile::exists(target));
}

TEST(ExchangeLimits, TextsNameTheLimit) {
    EXPECT_EQ(ReplyTooLargeText(kWhoisLimits.MaxBytes),
              QStringLiteral("The reply is larger than the limit of 1 MiB."));
    EXPECT_EQ(ReplyTooLargeText(kGeolocationLimits.MaxBytes),
              QStringLiteral("The reply is larger than the limit of 64 KiB."));
    EXPECT_EQ(ReplyTooLargeText(kInstallerLimits.MaxBytes),
              QStringLiteral("The reply is larger than the limit of 1 GiB."));
    EXPECT_EQ(ByteSizeText(1025), QStringLiteral("1025 bytes"));
    EXPECT_EQ(DeadlineText(kWhoisLimits.DeadlineMs),
              QStringLiteral("The exchange did not end within the limit of 60 s."));
    EXPECT_EQ(DurationText(kInstallerLimits.DeadlineMs), QStringLiteral("30 min"));
    EXPECT_EQ(DurationText(1500), QStringLiteral("1500 ms"));
}

TEST(HttpClient, UnwritableTargetIsAFileError) {
    LoopbackServer server(Replying(HttpReply(200, "OK", "data")));
    const TxError error = ErrorOf([&] {
        HttpGetToFile(server.Url() + QStringLiteral("/x"),
                      QStringLiteral("/nonexistent-folder/sub/Update.exe"), kLimits);
    });
    EXPECT_EQ(error.ClassName(), QStringLiteral("EFCreateError"));
}

// A download onto a full disk keeps the package already there and says why.
TEST(HttpClient, ADownloadOntoAFullDiskKeepsTheOldFile) {
    TFullDisk disk;
    if (!disk.Problem().isEmpty()) {
        GTEST_SKIP() << disk.Problem().toStdString();
    }
    const QString target = disk.FilePath(QStringLiteral("tarvex.deb"));
    WriteBytes(target, "the package of before");
    disk.Fill();
    for (const qsizetype size : {qsizetype(10), qsizetype(256 * 1024)}) {
        SCOPED_TRACE(size);
        LoopbackServer server(Replying(HttpReply(200, "OK", QByteArray(size, 'p'))));
        const TxError error =
            ErrorOf([&] { HttpGetToFile(server.Url() + QStringLiteral("/p"), target, kLimits); });
        EXPECT_EQ(error.ClassName(), QStringLiteral("EFCreateError"));
        EXPECT_EQ(error.Message(),
                  QStringLiteral("Cannot write file \"%1\". No space left on device").arg(target));
        EXPECT_EQ(ReadBytes(target), "the package of before");
    }
}

}  // namespace

// A server that holds the exchange open (no answer, or a trickle that keeps the silence time-out
// from ever running out) is left at once when the caller cancels: the call ends as cancelled,
// not at the time-out or the deadline, and the connection is closed.
TEST(HttpClient, ACancelEndsAnExchangeThatAServerHoldsOpen) {
    const struct {
        const char *name;
        bool trickle;
    } rows[] = {{"no answer", false}, {"a byte now and then", true}};
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        std::atomic<bool> asked{false};
        std::atomic<bool> clientGone{false};
        const bool trickle = row.trickle;
        LoopbackServer holding([&](LoopbackConnection &connection, LoopbackServer &server) {
            connection.ReadRequestHead();
            if (trickle) {
                connection.Write("HTTP/1.1 200 OK\r\nContent-Length: 10000\r\n\r\n");
                asked = true;
                while (!clientGone) {
                    connection.Write("x");
                    std::this_thread::sleep_for(std::chrono::milliseconds(20));
                }
            } else {
                asked = true;
                connection.WaitForClose();
                server.Record("closed");
            }
        });
        TCancelSignal cancel;
        std::thread canceller([&] {
            while (!asked) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            cancel.Cancel();
        });
        // The standard limits: only the cancel can end this exchange early.
        const TxError error = ErrorOf([&] {
            HttpGet(holding.Url() + QStringLiteral("/xml/1"), kGeolocationLimits, &cancel);
        });
        clientGone = true;
        canceller.join();
        EXPECT_EQ(error.ClassName(), QStringLiteral("EIdCancelled"));
        EXPECT_EQ(error.Message(), QStringLiteral("The exchange was cancelled."));
        if (!trickle) {
            // The server sees the connection go once its handler is back from the wait.
            for (int i = 0; i < 1000 && holding.Recorded().isEmpty(); ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            EXPECT_EQ(holding.Recorded(), QList<QByteArray>{"closed"});
        }
    }
}

// A cancel that came before the call lets nothing out.
TEST(HttpClient, ACancelledCallAsksNobody) {
    LoopbackServer server(Replying(HttpReply(200, "OK", "body")));
    TCancelSignal cancel;
    cancel.Cancel();
    const TxError error =
        ErrorOf([&] { HttpGet(server.Url() + QStringLiteral("/"), kLimits, &cancel); });
    EXPECT_EQ(error.ClassName(), QStringLiteral("EIdCancelled"));
    EXPECT_EQ(server.Connections(), 0);
    // Without a cancel the same call goes through: the signal is what stopped it.
    TCancelSignal open;
    EXPECT_EQ(HttpGet(server.Url() + QStringLiteral("/"), kLimits, &open), QByteArray("body"));
}
