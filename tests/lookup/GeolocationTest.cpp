#include <gtest/gtest.h>

#include "common/Errors.h"
#include "lookup/DataUnit.h"
#include "lookup/Geolocation.h"
#include "lookup/LoopbackServer.h"
#include "settings/Services.h"

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

    // Texts stay exactly as sent: blanks, comma decimals, entities decoded, nested markup read
    // as text, only the first element of a name, only children of the root.
    const TGeolocationInfo odd = ParseGeolocationReply(
        "<geo><Latitude> 1,5 </Latitude><Longitude>-0.1</Longitude><Longitude>9</Longitude>"
        "<City>A &amp; B <b>C</b></City><x><CountryCode>ZZ</CountryCode></x></geo>");
    EXPECT_EQ(odd.Latitude, QStringLiteral(" 1,5 "));
    EXPECT_EQ(odd.Longitude, QStringLiteral("-0.1"));
    EXPECT_EQ(odd.City, QStringLiteral("A & B C"));
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
