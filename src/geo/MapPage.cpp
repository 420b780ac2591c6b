#include "geo/MapPage.h"

#include <QRegularExpression>
#include <QUrl>
#include <cmath>

#include "common/DataPaths.h"
#include "geo/PageTemplates.h"
#include "settings/Services.h"

namespace {

const QString kCrLf = QStringLiteral("\r\n");

}  // namespace

QString MapScriptBaseUrl() {
    return ServiceSetting(QStringLiteral("Maps Script URL"),
                          QStringLiteral("https://maps.googleapis.com"));
}

QString PublicMapUrl() {
    return ServiceSetting(QStringLiteral("Public Map URL"),
                          QStringLiteral("https://www.google.com/maps"));
}

QString TileUrlTemplate() {
    return ServiceSetting(QStringLiteral("Tile URL"),
                          QStringLiteral("https://tile.openstreetmap.org/{z}/{x}/{y}.png"));
}

QString LeafletFolder() {
    return QStringLiteral("/usr/share/javascript/leaflet");
}

const QStringList &LeafletFiles() {
    static const QStringList files{
        QStringLiteral("leaflet.js"),
        QStringLiteral("leaflet.css"),
        QStringLiteral("leaflet.markercluster.js"),
        QStringLiteral("MarkerCluster.css"),
        QStringLiteral("MarkerCluster.Default.css"),
        QStringLiteral("images/layers.png"),
        QStringLiteral("images/layers-2x.png"),
        QStringLiteral("images/marker-icon.png"),
        QStringLiteral("images/marker-icon-2x.png"),
        QStringLiteral("images/marker-shadow.png"),
    };
    return files;
}

QString PaneLineAddress(const QString &line) {
    const QString marker = QStringLiteral("Address - ");
    const int at = line.indexOf(marker, 0, Qt::CaseSensitive);
    return at < 0 ? line.mid(9) : line.mid(at + marker.size());
}

QString PaneLineIPv4(const QString &line) {
    const int at = line.indexOf(QLatin1String("Address"), 0, Qt::CaseSensitive);
    QString ip = at < 0 ? QString() : line.left(at);
    ip.remove(QLatin1Char(' '));
    ip.remove(QLatin1Char('\t'));
    ip.remove(QStringLiteral("IPv4-"), Qt::CaseInsensitive);
    ip.remove(QStringLiteral("IPv6-"), Qt::CaseInsensitive);
    return ip;
}

QString EscapeScriptString(const QString &text) {
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        switch (c.unicode()) {
            case '\\':
                out += QLatin1String("\\\\");
                break;
            case '"':
                out += QLatin1String("\\\"");
                break;
            case '\'':
                out += QLatin1String("\\'");
                break;
            case '\n':
                out += QLatin1String("\\n");
                break;
            case '\r':
                out += QLatin1String("\\r");
                break;
            case '<':
            case '>':
            case 0x2028:  // line and paragraph separators end a script string too
            case 0x2029:
                out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
                break;
            default:
                if (c.unicode() < 0x20 || c.unicode() == 0x7F) {
                    out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
                } else {
                    out += c;
                }
        }
    }
    return out;
}

QString EscapeHtml(const QString &text) {
    QString out = text.toHtmlEscaped();  // &, <, >, "
    out.replace(QLatin1Char('\''), QLatin1String("&#39;"));
    return out;
}

bool IsMapCoordinate(const QString &text) {
    static const QRegularExpression number(
        QStringLiteral("^[+-]?(\\d+(\\.\\d*)?|\\.\\d+)([eE][+-]?\\d+)?$"));
    const QString trimmed = text.trimmed();
    if (!number.match(trimmed).hasMatch()) {
        return false;
    }
    bool ok = false;
    const double value = trimmed.toDouble(&ok);
    return ok && std::isfinite(value);
}

QUrl MapPageUrl() {
    return QUrl(QStringLiteral("%1://%2/page.html")
                    .arg(QLatin1String(kMapScheme), QLatin1String(kMapHost)));
}

QUrl MapPictureUrl(bool useFlag) {
    return QUrl(QStringLiteral("%1://%2/%3")
                    .arg(QLatin1String(kMapScheme), QLatin1String(kMapHost),
                         useFlag ? QStringLiteral("Flag.png") : QStringLiteral("Marker.png")));
}

QString MapPicturePath(bool useFlag) {
    return useFlag ? FlagImagePath() : MarkerImagePath();
}

QString MapImageLine(bool useFlag) {
    const QString url = MapPictureUrl(useFlag).toString(QUrl::FullyEncoded);
    return QStringLiteral("var image = \"") + EscapeScriptString(url) + QLatin1Char('"');
}

namespace {

// The position line of place `n`; both providers take {lat, lng} objects.
QString PositionLine(const QString &n, const QString &latitude, const QString &longitude) {
    return kCrLf + QStringLiteral("var Position") + n + QStringLiteral(" = {lat: ") +
           latitude.trimmed() + QStringLiteral(", ") + QStringLiteral("lng: ") +
           longitude.trimmed() + QStringLiteral("};");
}

// The text of an info window, for the inside of a double-quoted script string. It is shown as
// HTML: the texts are made inert as HTML first, then as script text.
QString InfoText(const QString &address, const QString &ip, const QString &approximateIn) {
    QString text = QStringLiteral("URL: ") + EscapeScriptString(EscapeHtml(address)) +
                   (ip.contains(QLatin1Char(':')) ? QStringLiteral("<br>IPv6: ")
                                                  : QStringLiteral("<br>IPv4: ")) +
                   EscapeScriptString(EscapeHtml(ip));
    if (!approximateIn.isEmpty()) {
        text +=
            QStringLiteral("<br>Approximate: in ") + EscapeScriptString(EscapeHtml(approximateIn));
    }
    return text;
}

}  // namespace

bool AddLeafletPlace(TMapPieces *pieces, int number, const QString &address, const QString &ip,
                     const QString &latitude, const QString &longitude,
                     const QString &approximateIn) {
    if (!IsMapCoordinate(latitude) || !IsMapCoordinate(longitude)) {
        return false;
    }
    const QString n = QString::number(number);
    pieces->Positions += PositionLine(n, latitude, longitude);
    pieces->InfoWindows += kCrLf + QStringLiteral("var InfoWindow") + n + QStringLiteral(" = \"") +
                           InfoText(address, ip, approximateIn) + QStringLiteral("\";");
    // No "var": the markers are globals of the page, as on the Google page.
    pieces->Markers += kCrLf + QStringLiteral("Marker") + n +
                       QStringLiteral(" = L.marker(Position") + n +
                       QStringLiteral(", {icon: icon, draggable: true}); placed.push(Marker") + n +
                       QStringLiteral(");");
    pieces->Listeners += kCrLf + QStringLiteral("Marker") + n +
                         QStringLiteral(".bindPopup(InfoWindow") + n + QStringLiteral(");");
    return true;
}

bool AddMapPlace(TMapPieces *pieces, int number, const QString &address, const QString &ipv4,
                 const QString &latitude, const QString &longitude, const QString &approximateIn) {
    if (!IsMapCoordinate(latitude) || !IsMapCoordinate(longitude)) {
        return false;
    }
    const QString n = QString::number(number);
    pieces->Positions += PositionLine(n, latitude, longitude);
    pieces->InfoWindows += kCrLf + QStringLiteral("var InfoWindow") + n +
                           QStringLiteral(" = new google.maps.InfoWindow({content: \"") +
                           InfoText(address, ipv4, approximateIn) + QStringLiteral("\"});");
    // No "var": the markers are globals of the page.
    pieces->Markers += kCrLf + QStringLiteral("Marker") + n +
                       QStringLiteral(" = new google.maps.Marker({map: map,position: Position") +
                       n + QStringLiteral(",icon: image,draggable: true});");
    pieces->Listeners += kCrLf + QStringLiteral("Marker") + n +
                         QStringLiteral(".addListener(\"click\", function(){InfoWindow") + n +
                         QStringLiteral(".open(map, Marker") + n + QStringLiteral(")});");
    return true;
}

QString MapScriptUrl(const QString &key) {
    return MapScriptShownUrl() + QStringLiteral("?key=") +
           QString::fromLatin1(QUrl::toPercentEncoding(key)) + QStringLiteral("&callback=initMap");
}

QString MapScriptShownUrl() {
    QString base = MapScriptBaseUrl();
    while (base.endsWith(QLatin1Char('/'))) {
        base.chop(1);
    }
    return base + QStringLiteral("/maps/api/js");
}

QString MapKeyElement(const QString &key) {
    // The map service calls gm_authFailure when it refuses the key; a script that cannot be
    // loaded fires its element's error event. Either way the page would just stay empty, so it
    // tells the window through its title.
    return QStringLiteral("<script>function gm_authFailure() { document.title = \"") +
           QLatin1String(kMapKeyRefusedTitle) + QStringLiteral("\"; }</script><script src=\"") +
           MapScriptShownUrl().toHtmlEscaped() + QStringLiteral("?key=") +
           QString::fromLatin1(QUrl::toPercentEncoding(key)) + QStringLiteral("&callback=initMap") +
           QStringLiteral("\" async defer onerror=\"document.title = '") +
           QLatin1String(kMapScriptFailedTitle) + QStringLiteral("'\"></script>");
}

QString MissingKeyNotice() {
    return QStringLiteral(
        "No Google Maps API key is set. The pinged addresses are shown on OpenStreetMap; for "
        "Google Maps, get a key for the Maps JavaScript API from Google, type it into \"Google "
        "API key\" above and press Enter.");
}

QString LookupFailureNotice(int failed, int total, const QString &request, const QString &error) {
    return QStringLiteral(
               "The geolocation service did not locate %1 of %2 addresses, so they "
               "have no marker. First failure: %3 gave %4")
        .arg(failed)
        .arg(total)
        .arg(request, error);
}

QString LookupCancelledNotice() {
    return QStringLiteral(
        "Locating the addresses was cancelled, so they have no marker. Open the map again to "
        "locate them.");
}

QString LoadFailureNotice(const QString &what, const QString &address, const QString &error) {
    return QStringLiteral("%1 could not be loaded from %2: %3").arg(what, address, error);
}

QString KeyRefusedNotice() {
    return QStringLiteral(
        "The map service refused the Google Maps API key, so it draws no map. Check the key in "
        "\"Google API key\" above (it must be enabled for the Maps JavaScript API).");
}

QString CountryFallbackNotice(int placed, int total, const QString &request, const QString &error) {
    return QStringLiteral(
               "The geolocation service did not locate %1 of %2 addresses, so they are placed "
               "in their country, as the offline location database knows it (marked "
               "\"Approximate\"). First failure: %3 gave %4")
        .arg(placed)
        .arg(total)
        .arg(request, error);
}

QString MissingLeafletNotice() {
    return QStringLiteral(
               "The map library Leaflet is missing (%1/leaflet.js), so the OpenStreetMap map "
               "cannot be drawn. Debian installs it with the packages libjs-leaflet and "
               "libjs-leaflet.markercluster.")
        .arg(LeafletFolder());
}

QString TilesFailedNotice(const QString &tileUrl) {
    return QStringLiteral(
               "Map tiles could not be loaded from %1, so the map shows the markers without the "
               "land beneath them. Check the network, or the \"Tile URL\" of [SERVICES] in the "
               "settings file.")
        .arg(tileUrl);
}

QString FillMapTemplate(const QString &pageTemplate, const TMapPieces &pieces,
                        const QString &keyElement, const QList<QPair<QString, QString>> &more) {
    QList<QPair<QString, QString>> values{
        {QStringLiteral("[- GOOGLE KEY -]"), keyElement},
        {QStringLiteral("[- IMAGE -]"), pieces.Image},
        {QStringLiteral("[- POSITION -]"), pieces.Positions},
        {QStringLiteral("[- IP INFO -]"), pieces.InfoWindows},
        {QStringLiteral("[- MARKER -]"), pieces.Markers},
        {QStringLiteral("[- OPEN INFO -]"), pieces.Listeners},
    };
    values += more;
    QStringList alternatives;
    for (const auto &value : values) {
        alternatives << QRegularExpression::escape(value.first);
    }
    const QRegularExpression placeholder(alternatives.join(QLatin1Char('|')),
                                         QRegularExpression::CaseInsensitiveOption);
    QString page;
    int copied = 0;
    auto matches = placeholder.globalMatch(pageTemplate);
    while (matches.hasNext()) {
        const QRegularExpressionMatch match = matches.next();
        page += pageTemplate.mid(copied, match.capturedStart() - copied);
        for (const auto &value : values) {
            if (match.captured().compare(value.first, Qt::CaseInsensitive) == 0) {
                page += value.second;
                break;
            }
        }
        copied = match.capturedEnd();
    }
    page += pageTemplate.mid(copied);
    return page;
}

namespace {

// "Netherlands (NL)": where an approximate place lies.
QString ApproximateIn(const TMapPlace &place) {
    if (!place.Approximate) {
        return QString();
    }
    if (place.CountryName.isEmpty()) {
        return place.CountryCode;
    }
    return place.CountryName + QStringLiteral(" (") + place.CountryCode + QLatin1Char(')');
}

// The pieces of the page: one place per located line, numbered by its line; a route's places
// carry their numbers as labels and are joined by a line in their order.
TMapPieces BuildPieces(TMapProvider provider, const QStringList &paneLines, bool useFlag,
                       const TPlaceOfAddress &placeOf, bool route) {
    const bool google = provider == TMapProvider::Google;
    TMapPieces pieces;
    pieces.Image = MapImageLine(useFlag);
    QStringList path;  // the located places of a route, in order
    for (int index = 0; index < paneLines.size(); ++index) {
        const QString &line = paneLines.at(index);
        const QString ip = PaneLineIPv4(line);
        const TMapPlace place = placeOf(ip);
        const QString approximate = ApproximateIn(place);
        const bool added = google ? AddMapPlace(&pieces, index + 1, PaneLineAddress(line), ip,
                                                place.Latitude, place.Longitude, approximate)
                                  : AddLeafletPlace(&pieces, index + 1, PaneLineAddress(line), ip,
                                                    place.Latitude, place.Longitude, approximate);
        if (!added || !route) {
            continue;
        }
        const QString n = QString::number(index + 1);
        pieces.Listeners +=
            kCrLf + QStringLiteral("Marker") + n +
            (google ? QStringLiteral(".setLabel({text: \"") + n +
                          QStringLiteral("\", color: \"#ffffff\", fontWeight: \"bold\"});")
                    : QStringLiteral(".bindTooltip(\"") + n +
                          QStringLiteral("\", {permanent: true, direction: \"top\", offset: [0, "
                                         "-36], className: \"hop\"});"));
        path << QStringLiteral("Position") + n;
    }
    if (route && !google) {
        pieces.Listeners += kCrLf + QStringLiteral("route = true;");
    }
    if (route && path.size() > 1) {
        pieces.Listeners +=
            kCrLf + (google ? QStringLiteral("new google.maps.Polyline({map: map, path: [") +
                                  path.join(QStringLiteral(", ")) +
                                  QStringLiteral("], geodesic: true, strokeColor: \"#00a0ff\", "
                                                 "strokeOpacity: 0.9, strokeWeight: 2});")
                            : QStringLiteral("L.polyline([") + path.join(QStringLiteral(", ")) +
                                  QStringLiteral("], {color: \"#00a0ff\", opacity: 0.9, "
                                                 "weight: 2}).addTo(map);"));
    }
    return pieces;
}

}  // namespace

QString BuildMapPage(const QStringList &paneLines, bool useFlag, const QString &key,
                     const QString &pageTemplate, const TCoordinateLookup &lookup, bool route) {
    if (paneLines.isEmpty()) {
        return QString();
    }
    const auto placeOf = [&lookup](const QString &ip) {
        TMapPlace place;
        lookup(ip, &place.Latitude, &place.Longitude);
        return place;
    };
    return FillMapTemplate(pageTemplate,
                           BuildPieces(TMapProvider::Google, paneLines, useFlag, placeOf, route),
                           MapKeyElement(key));
}

QString BuildProviderPage(TMapProvider provider, const QStringList &paneLines, bool useFlag,
                          const QString &key, const TPlaceOfAddress &place, bool route) {
    if (provider == TMapProvider::Google) {
        if (paneLines.isEmpty()) {
            return QString();
        }
        return FillMapTemplate(PingGeolocationTemplate(),
                               BuildPieces(provider, paneLines, useFlag, place, route),
                               MapKeyElement(key));
    }
    return FillMapTemplate(
        OpenStreetMapTemplate(), BuildPieces(provider, paneLines, useFlag, place, route), QString(),
        {{QStringLiteral("[- TILE URL -]"), EscapeScriptString(TileUrlTemplate())},
         {QStringLiteral("[- TILE ERROR TITLE -]"), QLatin1String(kTilesFailedTitle)}});
}
