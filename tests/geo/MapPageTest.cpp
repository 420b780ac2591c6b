#include <gtest/gtest.h>

#include <QMap>
#include <QRegularExpression>
#include <QUrl>

#include "common/DataPaths.h"
#include "geo/MapPage.h"
#include "geo/PageTemplates.h"
#include "settings/Services.h"

namespace {

const QString kCrLf = QStringLiteral("\r\n");

// Coordinates by IPv4 text; an address not in the map has no location. Records every request.
struct FixedPlaces {
    QMap<QString, QPair<QString, QString>> places;
    QStringList asked;

    TCoordinateLookup Lookup() {
        return [this](const QString &ipv4, QString *latitude, QString *longitude) {
            asked << ipv4;
            const auto place = places.value(ipv4);
            *latitude = place.first;
            *longitude = place.second;
        };
    }
};

const QString kTemplate = QStringLiteral(
    "<head>[- IMAGE -]</head>\r\n[- POSITION -]|[- IP INFO -]|[- MARKER -]|[- OPEN INFO -]\r\n"
    "[- GOOGLE KEY -]");

TEST(MapTemplates, HaveTheirLinesAndPlaceholders) {
    const QString located = PingGeolocationTemplate();
    const QString trace = GoogleMapTemplate();
    EXPECT_EQ(located.split(kCrLf).size(), 129);
    EXPECT_EQ(trace.split(kCrLf).size(), 139);
    EXPECT_FALSE(located.contains(QRegularExpression(QStringLiteral("[^\r]\n"))));
    for (const QString &line :
         {QStringLiteral("      [- IMAGE -]"), QStringLiteral("      [- POSITION -]"),
          QStringLiteral("      [- IP INFO -]"), QStringLiteral("      [- MARKER -]"),
          QStringLiteral("      [- OPEN INFO -]")}) {
        EXPECT_TRUE(located.split(kCrLf).contains(line)) << line.toStdString();
        EXPECT_TRUE(trace.split(kCrLf).contains(line)) << line.toStdString();
    }
    EXPECT_TRUE(located.split(kCrLf).contains(QStringLiteral("    [- GOOGLE KEY -]")));
    EXPECT_TRUE(trace.split(kCrLf).contains(QStringLiteral("      [- TRACE -]")));
    EXPECT_TRUE(located.startsWith(QStringLiteral("<!DOCTYPE html>")));
    EXPECT_TRUE(located.contains(QStringLiteral("<title>Styled Maps - Night Mode</title>")));
    EXPECT_TRUE(located.contains(QStringLiteral("center: {lat: 40.674, lng: -73.945}")));
    EXPECT_TRUE(located.contains(QStringLiteral("zoom: 2")));
    for (const char *colour :
         {"#242f3e", "#746855", "#d59563", "#263c3f", "#6b9a76", "#38414e", "#212a37", "#9ca5b3",
          "#1f2835", "#f3d19c", "#2f3948", "#17263c", "#515c6d"}) {
        EXPECT_TRUE(located.contains(QLatin1String(colour))) << colour;
    }
    EXPECT_TRUE(trace.contains(QStringLiteral("strokeColor: '#E68A00'")));
}

TEST(PaneLine, AddressAndIPv4Parts) {
    const struct {
        QString line;
        const char *address;
        const char *ipv4;
    } cases[] = {
        {QStringLiteral("IPv4 - 192.0.2.7\t\tAddress - example.com"), "example.com", "192.0.2.7"},
        {QStringLiteral("IPv4 - 192.0.2.7\tAddress - a b\tc"), "a b\tc", "192.0.2.7"},
        {QStringLiteral("ipv4 - 10.0.0.1\tAddress - x"), "x", "10.0.0.1"},
        // A loaded but not yet pinged list line: no "Address" at all.
        {QStringLiteral("www.example.org"), "le.org", ""},
        {QStringLiteral("short"), "", ""},
        {QStringLiteral("IPv4 - 1.2.3.4 Address-x"), "2.3.4 Address-x", "1.2.3.4"},
        // IPv6 runs write their lines in the same way.
        {QStringLiteral("IPv6 - ::1\t\tAddress - ::1"), "::1", "::1"},
        {QStringLiteral("IPv6 - 2001:db8::7\tAddress - http://[2001:db8::7]:8080/"),
         "http://[2001:db8::7]:8080/", "2001:db8::7"},
        {QStringLiteral("IPV6 - fd7a:5ee::10\tAddress - v6only.test"), "v6only.test",
         "fd7a:5ee::10"},
        {QStringLiteral("fd7a:5ee::3"), ":3", ""},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(PaneLineAddress(c.line), QString::fromUtf8(c.address)) << c.line.toStdString();
        EXPECT_EQ(PaneLineIPv4(c.line), QString::fromUtf8(c.ipv4)) << c.line.toStdString();
    }
}

TEST(MapCoordinate, OnlyPlainNumbersCount) {
    const struct {
        const char *text;
        bool number;
    } cases[] = {
        {"52.3740", true},   {"-73.945", true}, {"+4", true},          {"0", true},
        {" 1.5 ", true},     {".5", true},      {"1e3", true},         {"", false},
        {"1,5", false},      {"abc", false},    {"1;alert(1)", false}, {"NaN", false},
        {"Infinity", false}, {"1e999", false},  {"0x10", false},       {"1.2.3", false},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(IsMapCoordinate(QString::fromLatin1(c.text)), c.number) << c.text;
    }
}

TEST(ScriptString, EscapesEverythingThatCouldLeaveTheString) {
    const struct {
        QString text;
        const char *escaped;
    } cases[] = {
        {QStringLiteral("example.com"), "example.com"},
        {QStringLiteral("a\"b"), "a\\\"b"},
        {QStringLiteral("a'b"), "a\\'b"},
        {QStringLiteral("a\\b"), "a\\\\b"},
        {QStringLiteral("a\r\nb"), "a\\r\\nb"},
        {QStringLiteral("</script>"), "\\u003c/script\\u003e"},
        {QStringLiteral("a\u2028b"), "a\\u2028b"},
        {QStringLiteral("a\tb"), "a\\u0009b"},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(EscapeScriptString(c.text), QLatin1String(c.escaped)) << c.text.toStdString();
    }
    EXPECT_EQ(EscapeHtml(QStringLiteral("<a href=\"x\">'&'</a>")),
              QStringLiteral("&lt;a href=&quot;x&quot;&gt;&#39;&amp;&#39;&lt;/a&gt;"));
}

TEST(MapPage, LinesWithoutLocationAddNothingAndKeepTheNumbering) {
    FixedPlaces service;
    service.places.insert(QStringLiteral("192.0.2.1"),
                          {QStringLiteral("52.37"), QStringLiteral("4.89")});
    service.places.insert(QStringLiteral("192.0.2.3"),
                          {QStringLiteral("-33.86"), QStringLiteral("151.2")});
    const QStringList pane{QStringLiteral("IPv4 - 192.0.2.1\t\tAddress - alpha.example"),
                           QStringLiteral("IPv4 - 192.0.2.2\t\tAddress - beta.example"),
                           QStringLiteral("IPv4 - 192.0.2.3\tAddress - gamma.example")};

    const QString page =
        BuildMapPage(pane, false, QStringLiteral("KEY123"), kTemplate, service.Lookup());

    EXPECT_EQ(service.asked, (QStringList{QStringLiteral("192.0.2.1"), QStringLiteral("192.0.2.2"),
                                          QStringLiteral("192.0.2.3")}));
    const QString image = QStringLiteral("var image = \"tarvex://map/Marker.png\"");
    const QString positions = kCrLf + QStringLiteral("var Position1 = {lat: 52.37, lng: 4.89};") +
                              kCrLf + QStringLiteral("var Position3 = {lat: -33.86, lng: 151.2};");
    const QString infos = kCrLf +
                          QStringLiteral(
                              "var InfoWindow1 = new google.maps.InfoWindow({content: \"URL: "
                              "alpha.example<br>IPv4: 192.0.2.1\"});") +
                          kCrLf +
                          QStringLiteral(
                              "var InfoWindow3 = new google.maps.InfoWindow({content: \"URL: "
                              "gamma.example<br>IPv4: 192.0.2.3\"});");
    const QString markers =
        kCrLf +
        QStringLiteral(
            "Marker1 = new google.maps.Marker({map: map,position: Position1,icon: "
            "image,draggable: true});") +
        kCrLf +
        QStringLiteral(
            "Marker3 = new google.maps.Marker({map: map,position: Position3,icon: "
            "image,draggable: true});");
    const QString listeners =
        kCrLf +
        QStringLiteral(
            "Marker1.addListener(\"click\", function(){InfoWindow1.open(map, Marker1)});") +
        kCrLf +
        QStringLiteral(
            "Marker3.addListener(\"click\", function(){InfoWindow3.open(map, Marker3)});");
    const QString keyElement = QStringLiteral(
        "<script>function gm_authFailure() { document.title = \"Tarvex: map key refused\"; }"
        "</script>"
        "<script src=\"https://maps.googleapis.com/maps/api/js?key=KEY123&callback=initMap\" "
        "async defer onerror=\"document.title = 'Tarvex: map script failed'\"></script>");
    EXPECT_EQ(page, QStringLiteral("<head>") + image + QStringLiteral("</head>\r\n") + positions +
                        QStringLiteral("|") + infos + QStringLiteral("|") + markers +
                        QStringLiteral("|") + listeners + kCrLf + keyElement);
    EXPECT_FALSE(page.contains(QStringLiteral("Position2")));
}

TEST(MapPage, LastLineWithoutLocationStillGivesTheMarkersPage) {
    FixedPlaces service;
    service.places.insert(QStringLiteral("192.0.2.1"), {QStringLiteral("1"), QStringLiteral("2")});
    const QString page =
        BuildMapPage({QStringLiteral("IPv4 - 192.0.2.1\tAddress - a"),
                      QStringLiteral("IPv4 - 192.0.2.9\tAddress - b")},
                     false, QString(), PingGeolocationTemplate(), service.Lookup());
    EXPECT_TRUE(page.contains(QStringLiteral("var Position1 = {lat: 1, lng: 2};")));
    EXPECT_FALSE(page.contains(QStringLiteral("[- ")));
    EXPECT_TRUE(page.contains(QStringLiteral("js?key=&callback=initMap")));
}

TEST(MapPage, Ipv6LinesAreLookedUpAndPlacedLikeIpv4Lines) {
    FixedPlaces service;
    service.places.insert(QStringLiteral("2001:db8::7"),
                          {QStringLiteral("1"), QStringLiteral("2")});
    service.places.insert(QStringLiteral("192.0.2.1"), {QStringLiteral("3"), QStringLiteral("4")});
    const QString page =
        BuildMapPage({QStringLiteral("IPv6 - 2001:db8::7\t\tAddress - v6.example"),
                      QStringLiteral("IPv4 - 192.0.2.1\t\tAddress - v4.example")},
                     false, QString(), PingGeolocationTemplate(), service.Lookup());
    EXPECT_EQ(service.asked,
              (QStringList{QStringLiteral("2001:db8::7"), QStringLiteral("192.0.2.1")}));
    EXPECT_TRUE(page.contains(QStringLiteral("var Position1 = {lat: 1, lng: 2};")));
    EXPECT_TRUE(page.contains(QStringLiteral("content: \"URL: v6.example<br>IPv6: 2001:db8::7\"")));
    EXPECT_TRUE(page.contains(QStringLiteral("content: \"URL: v4.example<br>IPv4: 192.0.2.1\"")));
}

// A traced route: each located hop's marker carries its number, and one line joins the located
// hops in route order, passing over the one without a location. A lone located hop gets no line.
TEST(MapPage, ARouteNumbersItsMarkersAndJoinsTheLocatedHopsInOrder) {
    FixedPlaces service;
    service.places.insert(QStringLiteral("10.0.0.1"), {QStringLiteral("1"), QStringLiteral("2")});
    service.places.insert(QStringLiteral("192.0.2.7"), {QStringLiteral("5"), QStringLiteral("6")});
    const QStringList hops{
        QStringLiteral("IPv4 - 10.0.0.1		Address - Hop 1: gw.example"),
        QStringLiteral("IPv4 - 10.0.0.9		Address - Hop 2: 10.0.0.9"),
        QStringLiteral("IPv4 - 192.0.2.7		Address - Hop 3: 192.0.2.7")};
    const QString page =
        BuildMapPage(hops, false, QString(), PingGeolocationTemplate(), service.Lookup(), true);
    EXPECT_TRUE(page.contains(QStringLiteral(
        "Marker1.setLabel({text: \"1\", color: \"#ffffff\", fontWeight: \"bold\"});")));
    EXPECT_TRUE(page.contains(QStringLiteral(
        "Marker3.setLabel({text: \"3\", color: \"#ffffff\", fontWeight: \"bold\"});")));
    EXPECT_FALSE(page.contains(QStringLiteral("Marker2")));
    EXPECT_TRUE(page.contains(QStringLiteral(
        "new google.maps.Polyline({map: map, path: [Position1, Position3], geodesic: true")));
    // The line is drawn once the markers exist, inside the page's map function.
    EXPECT_LT(page.indexOf(QStringLiteral("Marker3 = new")),
              page.indexOf(QStringLiteral("Polyline")));
    EXPECT_LT(page.indexOf(QStringLiteral("Polyline")), page.indexOf(QStringLiteral("</script>")));

    // Without the route flag the same lines give the plain markers page.
    const QString plain =
        BuildMapPage(hops, false, QString(), PingGeolocationTemplate(), service.Lookup());
    EXPECT_FALSE(plain.contains(QStringLiteral("Polyline")));
    EXPECT_FALSE(plain.contains(QStringLiteral("setLabel")));
    const QString lone = BuildMapPage({hops.at(0)}, false, QString(), PingGeolocationTemplate(),
                                      service.Lookup(), true);
    EXPECT_FALSE(lone.contains(QStringLiteral("Polyline")));
    EXPECT_TRUE(lone.contains(QStringLiteral("Marker1.setLabel")));
}

TEST(MapPage, EmptyPaneGivesAnEmptyPage) {
    FixedPlaces service;
    EXPECT_TRUE(BuildMapPage({}, true, QStringLiteral("k"), kTemplate, service.Lookup()).isEmpty());
    EXPECT_TRUE(service.asked.isEmpty());
}

TEST(MapPage, FlagOrMarkerImageFromTheProgramsOwnScheme) {
    // The page names the pictures by the program's scheme; the window serves the data folder's
    // files behind them, so the page itself never needs a file URL.
    for (const bool flag : {true, false}) {
        const QString file = flag ? QStringLiteral("Flag.png") : QStringLiteral("Marker.png");
        EXPECT_EQ(MapImageLine(flag),
                  QStringLiteral("var image = \"tarvex://map/") + file + QStringLiteral("\""));
        EXPECT_EQ(MapPicturePath(flag), ImagesFolder() + file);
    }
    EXPECT_EQ(MapPageUrl(), QUrl(QStringLiteral("tarvex://map/page.html")));
}

TEST(MapPage, PlaceholdersInAnyLetterCaseAreReplacedInOnePass) {
    TMapPieces pieces;
    pieces.Image = QStringLiteral("IMG");
    AddMapPlace(&pieces, 1, QStringLiteral("[- OPEN INFO -]"), QStringLiteral("[- marker -]"),
                QStringLiteral("1"), QStringLiteral("2"));
    const QString page = FillMapTemplate(
        QStringLiteral("[- image -]/[- Image -]/[- position -]/[- Ip Info -]/[- mArKeR -]/"
                       "[- open info -]/[- google key -]/[- TRACE -]"),
        pieces, QStringLiteral("KEY"));
    EXPECT_TRUE(page.startsWith(QStringLiteral("IMG/IMG/\r\nvar Position1")));
    EXPECT_TRUE(page.endsWith(QStringLiteral("/KEY/[- TRACE -]")));
    // Text inside an inserted piece is never taken for a placeholder.
    EXPECT_TRUE(
        page.contains(QStringLiteral("content: \"URL: [- OPEN INFO -]<br>IPv4: [- marker -]\"")));
    EXPECT_EQ(page.count(QStringLiteral("addListener")), 1);
}

TEST(MapPage, HostileAddressTextStaysInsideItsString) {
    FixedPlaces service;
    service.places.insert(QString(), {QStringLiteral("1"), QStringLiteral("2")});
    // No "Address" in the line: the IPv4 is empty and the address is the line from its tenth
    // character on.
    const QString line = QStringLiteral(
        "123456789x\"});</script><script>alert('owned')</script><img src=x onerror=y>");
    const QString page =
        BuildMapPage({line}, false, QString(), PingGeolocationTemplate(), service.Lookup());
    EXPECT_EQ(service.asked, QStringList{QString()});
    EXPECT_FALSE(page.contains(QStringLiteral("alert('owned')")));
    EXPECT_FALSE(page.contains(QStringLiteral("<img")));
    // The template's own, the key's refusal hook and the map script.
    EXPECT_EQ(page.count(QStringLiteral("</script>")), 3);
    EXPECT_TRUE(page.contains(QStringLiteral(
        "content: \"URL: x&quot;});&lt;/script&gt;&lt;script&gt;alert(&#39;owned&#39;)"
        "&lt;/script&gt;&lt;img src=x onerror=y&gt;<br>IPv4: \"});")));
}

TEST(MapPage, CoordinatesThatAreNoNumbersGiveNoMarker) {
    FixedPlaces service;
    service.places.insert(QStringLiteral("192.0.2.1"),
                          {QStringLiteral("1});alert(1);({"), QStringLiteral("2")});
    service.places.insert(QStringLiteral("192.0.2.2"), {QStringLiteral("3"), QString()});
    service.places.insert(QStringLiteral("192.0.2.3"),
                          {QStringLiteral(" 5.5"), QStringLiteral("6 ")});
    const QString page = BuildMapPage({QStringLiteral("IPv4 - 192.0.2.1\tAddress - a"),
                                       QStringLiteral("IPv4 - 192.0.2.2\tAddress - b"),
                                       QStringLiteral("IPv4 - 192.0.2.3\tAddress - c")},
                                      false, QString(), kTemplate, service.Lookup());
    EXPECT_FALSE(page.contains(QStringLiteral("alert")));
    EXPECT_FALSE(page.contains(QStringLiteral("Position1")));
    EXPECT_FALSE(page.contains(QStringLiteral("Position2")));
    EXPECT_TRUE(page.contains(QStringLiteral("var Position3 = {lat: 5.5, lng: 6};")));
}

TEST(MapKeyElement, EncodesTheKeyAndTakesTheScriptOverride) {
    // The page tells the window through its title when the service refuses the key or the
    // script cannot be loaded.
    const QString hooks = QStringLiteral(
        "<script>function gm_authFailure() { document.title = \"Tarvex: map key refused\"; }"
        "</script>");
    const QString failed =
        QStringLiteral(" onerror=\"document.title = 'Tarvex: map script failed'\"");
    EXPECT_EQ(MapKeyElement(QStringLiteral("a b&c\"<")),
              hooks +
                  QStringLiteral("<script src=\"https://maps.googleapis.com/maps/api/js?key="
                                 "a%20b%26c%22%3C&callback=initMap\" async defer") +
                  failed + QStringLiteral("></script>"));
    EXPECT_EQ(MapScriptUrl(QStringLiteral("a b")),
              QStringLiteral("https://maps.googleapis.com/maps/api/js?key=a%20b&callback=initMap"));
    EXPECT_EQ(MapScriptShownUrl(), QStringLiteral("https://maps.googleapis.com/maps/api/js"));
    SetServiceSettings(
        {{QStringLiteral("Maps Script URL"), QStringLiteral("http://127.0.0.1:9/")},
         {QStringLiteral("Public Map URL"), QStringLiteral("http://127.0.0.1:9/map")}});
    EXPECT_EQ(
        MapKeyElement(QStringLiteral("K")),
        hooks +
            QStringLiteral("<script src=\"http://127.0.0.1:9/maps/api/js?key=K&callback=initMap\" "
                           "async defer") +
            failed + QStringLiteral("></script>"));
    EXPECT_EQ(PublicMapUrl(), QStringLiteral("http://127.0.0.1:9/map"));
    SetServiceSettings({});
    EXPECT_EQ(PublicMapUrl(), QStringLiteral("https://www.google.com/maps"));
}

}  // namespace

namespace {

TEST(MapNotices, SayWhatFailedWhereAndWhy) {
    EXPECT_TRUE(MissingKeyNotice().startsWith(QStringLiteral("No Google Maps API key is set.")));
    EXPECT_TRUE(MissingKeyNotice().contains(QStringLiteral("\"Google API key\" above")));
    EXPECT_EQ(LookupFailureNotice(2, 3, QStringLiteral("http://127.0.0.1:9/xml/192.0.2.1"),
                                  QStringLiteral("Error EIdSocketError [ refused ]")),
              QStringLiteral("The geolocation service did not locate 2 of 3 addresses, so they "
                             "have no marker. First failure: http://127.0.0.1:9/xml/192.0.2.1 "
                             "gave Error EIdSocketError [ refused ]"));
    EXPECT_EQ(LoadFailureNotice(QStringLiteral("The map script"),
                                QStringLiteral("http://127.0.0.1:9/maps/api/js"),
                                QStringLiteral("Error EIdSocketError [ refused ]")),
              QStringLiteral("The map script could not be loaded from "
                             "http://127.0.0.1:9/maps/api/js: Error EIdSocketError [ refused ]"));
    // Texts of a server ("%1" in an error text) are taken as they are, not as placeholders.
    EXPECT_EQ(
        LoadFailureNotice(QStringLiteral("The public map"), QStringLiteral("http://h/%1"),
                          QStringLiteral("HTTP/1.1 500 %2 %1")),
        QStringLiteral("The public map could not be loaded from http://h/%1: HTTP/1.1 500 %2 %1"));
}

}  // namespace

namespace {

// The OpenStreetMap page: the same numbering and escaping as the Google page, Leaflet markers
// and info windows, the approximate places marked, the tile address from the service setting
// put inertly into the script, and a route's hops labelled and joined.
TEST(OpenStreetMapPage, MarkersNumberingApproximatePlacesAndTiles) {
    SetServiceSettings({{QStringLiteral("Tile URL"),
                         QStringLiteral("http://127.0.0.1:9/t/{z}/{x}/{y}.png?a=\"</script>")}});
    QMap<QString, TMapPlace> places;
    places[QStringLiteral("192.0.2.1")].Latitude = QStringLiteral("1.5");
    places[QStringLiteral("192.0.2.1")].Longitude = QStringLiteral("2");
    TMapPlace &approximate = places[QStringLiteral("193.0.6.139")];
    approximate.Latitude = QStringLiteral("52.37");
    approximate.Longitude = QStringLiteral("4.90");
    approximate.Error = QStringLiteral("Error x");
    approximate.Approximate = true;
    approximate.CountryCode = QStringLiteral("NL");
    approximate.CountryName = QStringLiteral("Netherlands");
    const auto placeOf = [&places](const QString &ip) { return places.value(ip); };
    const QStringList pane{
        QStringLiteral("IPv4 - 192.0.2.1\t\tAddress - a\"</script><b>"),
        QStringLiteral("IPv4 - 10.0.0.9\t\tAddress - nowhere"),
        QStringLiteral("IPv4 - 193.0.6.139\t\tAddress - www.ripe.net"),
    };
    const QString page =
        BuildProviderPage(TMapProvider::OpenStreetMap, pane, true, QStringLiteral("KEY"), placeOf);
    EXPECT_TRUE(page.contains(QStringLiteral("var image = \"tarvex://map/Flag.png\"")));
    EXPECT_TRUE(page.contains(QStringLiteral("var Position1 = {lat: 1.5, lng: 2};")));
    EXPECT_TRUE(page.contains(QStringLiteral(
        "var InfoWindow1 = \"URL: a&quot;&lt;/script&gt;&lt;b&gt;<br>IPv4: 192.0.2.1\";")));
    EXPECT_TRUE(page.contains(QStringLiteral(
        "Marker1 = L.marker(Position1, {icon: icon, draggable: true}); placed.push(Marker1);")));
    EXPECT_TRUE(page.contains(QStringLiteral("Marker1.bindPopup(InfoWindow1);")));
    EXPECT_FALSE(page.contains(QStringLiteral("Position2")));
    EXPECT_TRUE(page.contains(QStringLiteral(
        "var InfoWindow3 = \"URL: www.ripe.net<br>IPv4: 193.0.6.139<br>Approximate: in "
        "Netherlands (NL)\";")));
    // The tile address stays inside its script string; nothing of the Google page comes along.
    EXPECT_TRUE(page.contains(QStringLiteral(
        "L.tileLayer(\"http://127.0.0.1:9/t/{z}/{x}/{y}.png?a=\\\"\\u003c/script\\u003e\"")));
    EXPECT_EQ(page.count(QStringLiteral("</script>")), 3);  // the page's own elements
    EXPECT_FALSE(page.contains(QStringLiteral("google")));
    EXPECT_FALSE(page.contains(QStringLiteral("KEY")));
    EXPECT_TRUE(page.contains(QStringLiteral("document.title = \"Tarvex: map tiles failed\"")));
    // Every file the page loads is one the program's scheme serves.
    const QRegularExpression loaded(
        QStringLiteral("(?:src|href)=\"tarvex://map/leaflet/([^\"]+)\""));
    int files = 0;
    for (auto match = loaded.globalMatch(page); match.hasNext(); ++files) {
        EXPECT_TRUE(LeafletFiles().contains(match.next().captured(1)));
    }
    EXPECT_EQ(files, 5);

    const QString route =
        BuildProviderPage(TMapProvider::OpenStreetMap, pane, false, QString(), placeOf, true);
    EXPECT_TRUE(route.contains(
        QStringLiteral("Marker3.bindTooltip(\"3\", {permanent: true, direction: \"top\"")));
    EXPECT_TRUE(route.contains(QStringLiteral("route = true;")));
    EXPECT_TRUE(route.contains(QStringLiteral("L.polyline([Position1, Position3], {color:")));

    // An empty pane: the world without markers (the Google page stays empty).
    const QString empty =
        BuildProviderPage(TMapProvider::OpenStreetMap, {}, false, QString(), placeOf);
    EXPECT_TRUE(empty.contains(QStringLiteral("L.map('map'")));
    EXPECT_FALSE(empty.contains(QStringLiteral("L.marker(")));
    EXPECT_TRUE(
        BuildProviderPage(TMapProvider::Google, {}, false, QStringLiteral("K"), placeOf).isEmpty());
    // The Google page marks an approximate place the same way.
    EXPECT_TRUE(BuildProviderPage(TMapProvider::Google, pane, false, QStringLiteral("K"), placeOf)
                    .contains(QStringLiteral("content: \"URL: www.ripe.net<br>IPv4: "
                                             "193.0.6.139<br>Approximate: in Netherlands (NL)\"")));
    SetServiceSettings({});
    EXPECT_EQ(TileUrlTemplate(), QStringLiteral("https://tile.openstreetmap.org/{z}/{x}/{y}.png"));
}

}  // namespace
