#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "common/BlockingCall.h"
#include "common/Errors.h"
#include "lookup/DataUnit.h"
#include "lookup/Geolocation.h"
#include "settings/Services.h"
#include "support/LoopbackServer.h"
#include "support/TestSupport.h"

namespace {

const QByteArray kFullReply =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<Response>\n"
    "  <IP>192.0.2.7</IP>\n"
    "  <CountryCode>NL</CountryCode>\n"
    "  <CountryName>Netherlands</CountryName>\n"
    "  <RegionCode>NH</RegionCode>\n"
    "  <RegionName>North Holland</RegionName>\n"
    "  <City>Amsterdam</City>\n"
    "  <ZipCode>1012</ZipCode>\n"
    "  <TimeZone>Europe/Amsterdam</TimeZone>\n"
    "  <Latitude>52.3740</Latitude>\n"
    "  <Longitude>4.8897</Longitude>\n"
    "  <MetroCode>0</MetroCode>\n"
    "</Response>\n";

TGeolocationInfo Amsterdam() {
    return {QStringLiteral("NL"),        QStringLiteral("Netherlands"),
            QStringLiteral("NH"),        QStringLiteral("North Holland"),
            QStringLiteral("Amsterdam"), QStringLiteral("1012"),
            QStringLiteral("52.3740"),   QStringLiteral("4.8897")};
}

void ExpectInfo(const TGeolocationInfo &actual, const TGeolocationInfo &expected) {
    EXPECT_EQ(actual.CountryCode, expected.CountryCode);
    EXPECT_EQ(actual.CountryName, expected.CountryName);
    EXPECT_EQ(actual.RegionCode, expected.RegionCode);
    EXPECT_EQ(actual.RegionName, expected.RegionName);
    EXPECT_EQ(actual.City, expected.City);
    EXPECT_EQ(actual.ZipCode, expected.ZipCode);
    EXPECT_EQ(actual.Latitude, expected.Latitude);
    EXPECT_EQ(actual.Longitude, expected.Longitude);
}

TGeolocationInfo ModuleInfo(const TPingDataModule &module) {
    return {module.CountryCode, module.CountryName, module.RegionCode, module.RegionName,
            module.City,        module.ZipCode,     module.Latitude,   module.Longitude};
}

TEST(GeolocationReply, ReadsTheChildrenOfARootOfAnyName) {
    ExpectInfo(ParseGeolocationReply(kFullReply), Amsterdam());

    TGeolocationInfo noCity = Amsterdam();
    noCity.City.clear();
    QByteArray withoutCity = kFullReply;
    withoutCity.replace("  <City>Amsterdam</City>\n", "");
    ExpectInfo(ParseGeolocationReply(withoutCity), noCity);

    // Texts stay exactly as sent: blanks, comma decimals, entities and CDATA decoded, comments
    // dropped, only the first element of a name, only children of the root (other children may
    // nest as they like).
    const TGeolocationInfo odd = ParseGeolocationReply(
        "<geo><Latitude> 1,5 </Latitude><Longitude>-0.1</Longitude><Longitude>9</Longitude>"
        "<City>A &amp; <!-- x -->B <![CDATA[<C>]]></City>"
        "<x><CountryCode>ZZ</CountryCode><y><z/></y></x></geo>");
    EXPECT_EQ(odd.Latitude, QStringLiteral(" 1,5 "));
    EXPECT_EQ(odd.Longitude, QStringLiteral("-0.1"));
    EXPECT_EQ(odd.City, QStringLiteral("A & B <C>"));
    EXPECT_TRUE(odd.CountryCode.isEmpty());

    // The encoding comes from the document.
    const TGeolocationInfo latin1 = ParseGeolocationReply(
        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r><City>K\xF6ln</City></r>");
    EXPECT_EQ(latin1.City, QStringLiteral("K\u00F6ln"));
}

TEST(GeolocationReply, MalformedDocumentsAreParseErrors) {
    const QByteArray cases[] = {
        "",
        "not xml at all",
        "<Response><City>Amsterdam</Response>",
        "<Response><City>Amsterdam</City>",
        "<html><body>Service unavailable<br></body></html>",
    };
    for (const QByteArray &reply : cases) {
        try {
            ParseGeolocationReply(reply);
            ADD_FAILURE() << "accepted: " << reply.constData();
        } catch (const TxError &error) {
            EXPECT_EQ(error.ClassName(), QStringLiteral("EDOMParseError")) << reply.constData();
            EXPECT_FALSE(error.Message().isEmpty());
        }
    }
}

// A field holds text only. Reading nested markup inside one used to recurse once per level, so
// a hostile reply nesting tens of thousands of elements in a field overflowed the stack.
TEST(GeolocationReply, AnElementInsideAFieldIsAnInvalidReply) {
    const int levels = 58000;
    QByteArray deep = "<r><City>";
    deep += QByteArray("<a>").repeated(levels);
    deep += QByteArray("</a>").repeated(levels);
    deep += "</City><Latitude>1</Latitude></r>";
    ASSERT_GT(deep.size(), 400000);

    const struct {
        const char *name;
        QByteArray reply;
        const char *message;
    } cases[] = {
        {"markup in a field", "<r><Latitude>1</Latitude><City>A <b>B</b></City></r>",
         "Invalid reply: the element \"City\" holds the element \"b\" (line 1, column "},
        {"empty element in a later field", "<r><City>x</City><Longitude><n/></Longitude></r>",
         "Invalid reply: the element \"Longitude\" holds the element \"n\" (line 1, column "},
        {"58,000 levels inside a field", deep,
         "Invalid reply: the element \"City\" holds the element \"a\" (line 1, column "},
    };
    for (const auto &c : cases) {
        try {
            ParseGeolocationReply(c.reply);
            ADD_FAILURE() << c.name << ": accepted";
        } catch (const TxError &error) {
            EXPECT_EQ(error.ClassName(), QStringLiteral("EDOMParseError")) << c.name;
            EXPECT_TRUE(error.Message().startsWith(QLatin1String(c.message)))
                << c.name << ": " << error.Message().toStdString();
        }
    }

    // The same depth outside the fields is just an element the reader does not ask for.
    QByteArray deepElsewhere = "<r><Latitude>1</Latitude><x>";
    deepElsewhere += QByteArray("<a>").repeated(levels) + QByteArray("</a>").repeated(levels);
    deepElsewhere += "</x><Longitude>2</Longitude></r>";
    const TGeolocationInfo info = ParseGeolocationReply(deepElsewhere);
    EXPECT_EQ(info.Latitude, QStringLiteral("1"));
    EXPECT_EQ(info.Longitude, QStringLiteral("2"));
}

TEST(GeolocationReply, ErrorTextForm) {
    EXPECT_EQ(GeolocationErrorText(QStringLiteral("EIdHTTPProtocolException"),
                                   QStringLiteral("HTTP/1.1 404 Not Found")),
              QStringLiteral("Error EIdHTTPProtocolException [ HTTP/1.1 404 Not Found ]"));
}

class GeolocationService : public ::testing::Test {
  protected:
    void Serve(const QByteArray &reply) {
        server_ = std::make_unique<LoopbackServer>(
            [reply](LoopbackConnection &connection, LoopbackServer &server) {
                server.Record(connection.ReadRequestHead());
                connection.Write(reply);
            });
        SetServiceSettings({{QStringLiteral("Geolocation URL"), server_->Url()}});
    }
    void TearDown() override { SetServiceSettings({}); }

    QByteArray LastPath() const { return RequestPath(server_->Recorded().constLast()); }

    std::unique_ptr<LoopbackServer> server_;
    TPingDataModule module_;
};

TEST_F(GeolocationService, SuccessfulLookupFillsAllEightFields) {
    Serve(HttpReply(200, "OK", kFullReply, {"Content-Type: application/xml"}));
    module_.GetError = QStringLiteral("old error");
    module_.GetStatus = false;

    module_.GetGeolocationInfo(QStringLiteral("192.0.2.7"));

    ExpectInfo(ModuleInfo(module_), Amsterdam());
    EXPECT_TRUE(module_.GetError.isEmpty());
    EXPECT_TRUE(module_.GetStatus);
    const QByteArray head = server_->Recorded().constLast();
    EXPECT_EQ(RequestPath(head), "/xml/192.0.2.7");
    EXPECT_EQ(HeaderValue(head, "Accept"),
              "text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8");
    EXPECT_TRUE(HeaderValue(head, "User-Agent").startsWith("Mozilla/5.0 (Windows NT 6.1; WOW64)"));
    EXPECT_EQ(HeaderValue(head, "Connection"), "keep-alive");
}

TEST_F(GeolocationService, EmptyAddressAsksForTheBarePath) {
    Serve(HttpReply(200, "OK", "<Response/>"));
    module_.GetGeolocationInfo(QString());
    EXPECT_EQ(LastPath(), "/xml/");
    EXPECT_TRUE(module_.GetError.isEmpty());
    EXPECT_TRUE(module_.Latitude.isEmpty());
}

TEST_F(GeolocationService, FailedLookupsRecordTheErrorAndClearThePlace) {
    const struct {
        const char *name;
        QByteArray reply;
        const char *errorStart;
    } cases[] = {
        {"not found", HttpReply(404, "Not Found", "missing"),
         "Error EIdHTTPProtocolException [ HTTP/1.1 404 Not Found ]"},
        {"malformed", HttpReply(200, "OK", "<Response><Latitude>1</Response>"),
         "Error EDOMParseError [ "},
    };
    for (const auto &c : cases) {
        // A good lookup first: its place must not survive the failed one.
        Serve(HttpReply(200, "OK", kFullReply));
        module_.GetGeolocationInfo(QStringLiteral("192.0.2.7"));
        ASSERT_EQ(module_.Latitude, QStringLiteral("52.3740"));

        Serve(c.reply);
        module_.GetStatus = false;
        EXPECT_NO_THROW(module_.GetGeolocationInfo(QStringLiteral("192.0.2.8")));
        EXPECT_TRUE(module_.GetError.startsWith(QLatin1String(c.errorStart)))
            << c.name << ": " << module_.GetError.toStdString();
        EXPECT_TRUE(module_.GetError.endsWith(QStringLiteral(" ]")));
        EXPECT_TRUE(module_.GetStatus);
        ExpectInfo(ModuleInfo(module_), TGeolocationInfo{});
    }
}

TEST_F(GeolocationService, RepliesBeyondTheLimitFailWithoutReadingThem) {
    // 64 KiB is the largest reply taken; one byte more fails, whether the server announces the
    // length or just keeps sending (chunked, no length known before the end).
    QByteArray padded = kFullReply;
    padded.insert(padded.indexOf("</Response>"), QByteArray(64 * 1024 - padded.size(), ' '));
    ASSERT_EQ(padded.size(), 64 * 1024);
    QByteArray chunked =
        "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n"
        "Connection: close\r\n\r\n";
    const QByteArray oneMore = padded + ' ';
    chunked += QByteArray::number(oneMore.size(), 16) + "\r\n" + oneMore + "\r\n0\r\n\r\n";

    Serve(HttpReply(200, "OK", padded));
    module_.GetGeolocationInfo(QStringLiteral("192.0.2.7"));
    EXPECT_TRUE(module_.GetError.isEmpty()) << module_.GetError.toStdString();
    EXPECT_EQ(module_.Latitude, QStringLiteral("52.3740"));

    const QByteArray tooLarge[] = {HttpReply(200, "OK", oneMore), chunked};
    for (const QByteArray &reply : tooLarge) {
        Serve(reply);
        module_.GetGeolocationInfo(QStringLiteral("192.0.2.7"));
        EXPECT_EQ(module_.GetError,
                  QStringLiteral("Error EIdReplyTooLarge [ The reply is larger than the limit of "
                                 "64 KiB. ]"));
        EXPECT_TRUE(module_.Latitude.isEmpty());
        EXPECT_TRUE(module_.GetStatus);
    }
}

TEST_F(GeolocationService, ANestedFieldIsAFailedLookup) {
    QByteArray deep = "<r><Latitude>1</Latitude><Longitude>2</Longitude><City>";
    deep += QByteArray("<a>").repeated(5000) + QByteArray("</a>").repeated(5000);
    deep += "</City></r>";
    Serve(HttpReply(200, "OK", deep));
    module_.GetGeolocationInfo(QStringLiteral("192.0.2.7"));
    EXPECT_TRUE(module_.GetError.startsWith(QStringLiteral(
        "Error EDOMParseError [ Invalid reply: the element \"City\" holds the element \"a\"")))
        << module_.GetError.toStdString();
    EXPECT_TRUE(module_.Latitude.isEmpty());
    EXPECT_TRUE(module_.GetStatus);
}

TEST_F(GeolocationService, ManyAddressesAreEachAskedForOnce) {
    server_ = std::make_unique<LoopbackServer>(
        [](LoopbackConnection &connection, LoopbackServer &server) {
            const QByteArray path = RequestPath(connection.ReadRequestHead());
            server.Record(path);
            connection.Write(path == "/xml/192.0.2.7" ? HttpReply(200, "OK", kFullReply)
                                                      : HttpReply(404, "Not Found", "no"));
        });
    SetServiceSettings({{QStringLiteral("Geolocation URL"), server_->Url()}});
    const QStringList addresses{QStringLiteral("192.0.2.7"), QStringLiteral("192.0.2.8"),
                                QStringLiteral("192.0.2.7"), QString(),
                                QStringLiteral("192.0.2.7")};
    QList<QPair<int, int>> reported;
    const QHash<QString, TGeolocationResult> results =
        module_.GetGeolocationInfos(addresses, [&](int done, int total) {
            reported.append({done, total});
        });

    ASSERT_EQ(results.size(), 3);
    ExpectInfo(results.value(QStringLiteral("192.0.2.7")).Info, Amsterdam());
    EXPECT_TRUE(results.value(QStringLiteral("192.0.2.7")).Error.isEmpty());
    ExpectInfo(results.value(QStringLiteral("192.0.2.8")).Info, TGeolocationInfo{});
    EXPECT_EQ(results.value(QStringLiteral("192.0.2.8")).Error,
              QStringLiteral("Error EIdHTTPProtocolException [ HTTP/1.1 404 Not Found ]"));
    QList<QByteArray> asked = server_->Recorded();
    std::sort(asked.begin(), asked.end());
    EXPECT_EQ(asked, (QList<QByteArray>{"/xml/", "/xml/192.0.2.7", "/xml/192.0.2.8"}));
    // Progress arrives on this thread, from nothing done to all three.
    ASSERT_FALSE(reported.isEmpty());
    EXPECT_EQ(reported.first(), qMakePair(0, 3));
    EXPECT_EQ(reported.last(), qMakePair(3, 3));
    // The fields are those of the last address of the list, as one lookup after another leaves
    // them.
    ExpectInfo(ModuleInfo(module_), Amsterdam());
    EXPECT_TRUE(module_.GetError.isEmpty());
    EXPECT_TRUE(module_.GetStatus);
}

TEST_F(GeolocationService, NothingListeningIsASocketError) {
    SetServiceSettings({{QStringLiteral("Geolocation URL"),
                         QStringLiteral("http://127.0.0.1:%1").arg(ClosedLoopbackPort())}});
    module_.Latitude = QStringLiteral("1");
    module_.GetGeolocationInfo(QStringLiteral("192.0.2.7"));
    EXPECT_TRUE(module_.GetError.startsWith(QStringLiteral("Error EIdSocketError [ ")))
        << module_.GetError.toStdString();
    EXPECT_TRUE(module_.Latitude.isEmpty());
    EXPECT_TRUE(module_.GetStatus);
}

TEST(GeolocationServiceUrl, DefaultAndOverride) {
    EXPECT_TRUE(
        GeolocationRequestUrl(QStringLiteral("1.2.3.4")).startsWith(QStringLiteral("http://")));
    EXPECT_TRUE(
        GeolocationRequestUrl(QStringLiteral("1.2.3.4")).endsWith(QStringLiteral("/xml/1.2.3.4")));
    SetServiceSettings(
        {{QStringLiteral("Geolocation URL"), QStringLiteral("http://127.0.0.1:8080/")}});
    EXPECT_EQ(GeolocationRequestUrl(QStringLiteral("1.2.3.4")),
              QStringLiteral("http://127.0.0.1:8080/xml/1.2.3.4"));
    SetServiceSettings({});
}

}  // namespace

namespace {

// A geolocation service that takes each request and never answers; it records each path when
// asked, and "closed" when the client has gone.
LoopbackServer::Handler NeverAnswering(std::atomic<int> *asked) {
    return [asked](LoopbackConnection &connection, LoopbackServer &server) {
        server.Record(RequestPath(connection.ReadRequestHead()));
        ++*asked;
        connection.WaitForClose();
        server.Record("closed");
    };
}

}  // namespace

// Lookups of many addresses from a service that never answers end at once when cancelled: the
// requests under way are left (their connections closed), the rest are never made, and every
// address records the cancel.
TEST_F(GeolocationService, ACancelEndsTheLookupsUnderWayAndMakesNoMore) {
    std::atomic<int> asked{0};
    server_ = std::make_unique<LoopbackServer>(NeverAnswering(&asked),
                                               LoopbackServer::Serving::Concurrently);
    SetServiceSettings({{QStringLiteral("Geolocation URL"), server_->Url()}});
    QStringList addresses;
    for (int i = 1; i <= 12; ++i) {
        addresses << QStringLiteral("192.0.2.%1").arg(i);
    }
    TCancelSignal cancel;
    std::thread canceller([&] {
        while (asked < 1) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        cancel.Cancel();
    });
    // The standard limits: only the cancel can end these lookups early.
    const QHash<QString, TGeolocationResult> results = LookUpGeolocations(
        addresses, TPingDataModule::kParallelLookups, kGeolocationLimits, {}, &cancel);
    canceller.join();

    ASSERT_EQ(results.size(), addresses.size());
    for (const QString &address : addresses) {
        EXPECT_EQ(results.value(address).Error,
                  QStringLiteral("Error EIdCancelled [ The exchange was cancelled. ]"))
            << address.toStdString();
        EXPECT_TRUE(results.value(address).Info.Latitude.isEmpty());
    }
    const int made = asked;
    EXPECT_GE(made, 1);
    EXPECT_LE(made, TPingDataModule::kParallelLookups);
    EXPECT_TRUE(WaitUntil([&] { return server_->Recorded().count("closed") == made; }));
}

// The map window's lookup, cancelled before it runs, asks nobody and ends as cancelled.
TEST_F(GeolocationService, ACancelledPlacesLookupAsksNobody) {
    Serve(HttpReply(200, "OK", kFullReply));
    const TPlaceQuery query = module_.PlacesQuery({QStringLiteral("192.0.2.7")}, {});
    TCancelSignal cancel;
    cancel.Cancel();
    try {
        query(cancel);
        ADD_FAILURE() << "no error";
    } catch (const TxError &error) {
        EXPECT_EQ(error.ClassName(), QStringLiteral("EIdCancelled"));
    }
    EXPECT_EQ(server_->Connections(), 0);
    // Not cancelled, the same lookup places the address.
    TCancelSignal open;
    const QHash<QString, TMapPlace> places =
        module_.PlacesQuery({QStringLiteral("192.0.2.7")}, {})(open);
    EXPECT_EQ(places.value(QStringLiteral("192.0.2.7")).Latitude, QStringLiteral("52.3740"));
}
