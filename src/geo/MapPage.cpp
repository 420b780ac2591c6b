#include "geo/MapPage.h"

#include <QRegularExpression>
#include <QUrl>
#include <cmath>

#include "common/DataPaths.h"
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

bool AddMapPlace(TMapPieces *pieces, int number, const QString &address, const QString &ipv4,
                 const QString &latitude, const QString &longitude) {
    if (!IsMapCoordinate(latitude) || !IsMapCoordinate(longitude)) {
        return false;
    }
    const QString n = QString::number(number);
    pieces->Positions += kCrLf + QStringLiteral("var Position") + n + QStringLiteral(" = {lat: ") +
                         latitude.trimmed() + QStringLiteral(", ") + QStringLiteral("lng: ") +
                         longitude.trimmed() + QStringLiteral("};");
    // The info window shows HTML: the texts are made inert as HTML first, then as script text.
    pieces->InfoWindows += kCrLf + QStringLiteral("var InfoWindow") + n +
                           QStringLiteral(" = new google.maps.InfoWindow({content: \"URL: ") +
                           EscapeScriptString(EscapeHtml(address)) +
                           (ipv4.contains(QLatin1Char(':')) ? QStringLiteral("<br>IPv6: ")
                                                            : QStringLiteral("<br>IPv4: ")) +
                           EscapeScriptString(EscapeHtml(ipv4)) + QStringLiteral("\"});");
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
        "No Google Maps API key is set. The map service draws the map with the pinged addresses "
        "only with a key; until then the window shows the public map. Get a key for the Maps "
        "JavaScript API from Google, type it into \"Google API key\" above and press Enter.");
}

QString LookupFailureNotice(int failed, int total, const QString &request, const QString &error) {
    return QStringLiteral(
               "The geolocation service did not locate %1 of %2 addresses, so they "
               "have no marker. First failure: %3 gave %4")
        .arg(failed)
        .arg(total)
        .arg(request, error);
}

QString LoadFailureNotice(const QString &what, const QString &address, const QString &error) {
    return QStringLiteral("%1 could not be loaded from %2: %3").arg(what, address, error);
}

QString KeyRefusedNotice() {
    return QStringLiteral(
        "The map service refused the Google Maps API key, so it draws no map. Check the key in "
        "\"Google API key\" above (it must be enabled for the Maps JavaScript API).");
}

QString FillMapTemplate(const QString &pageTemplate, const TMapPieces &pieces,
                        const QString &keyElement) {
    const QList<QPair<QString, QString>> values{
        {QStringLiteral("[- GOOGLE KEY -]"), keyElement},
        {QStringLiteral("[- IMAGE -]"), pieces.Image},
        {QStringLiteral("[- POSITION -]"), pieces.Positions},
        {QStringLiteral("[- IP INFO -]"), pieces.InfoWindows},
        {QStringLiteral("[- MARKER -]"), pieces.Markers},
        {QStringLiteral("[- OPEN INFO -]"), pieces.Listeners},
    };
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

QString BuildMapPage(const QStringList &paneLines, bool useFlag, const QString &key,
                     const QString &pageTemplate, const TCoordinateLookup &lookup, bool route) {
    if (paneLines.isEmpty()) {
        return QString();
    }
    TMapPieces pieces;
    pieces.Image = MapImageLine(useFlag);
    QStringList path;  // the located places of a route, in order
    for (int index = 0; index < paneLines.size(); ++index) {
        const QString &line = paneLines.at(index);
        const QString ipv4 = PaneLineIPv4(line);
        QString latitude;
        QString longitude;
        lookup(ipv4, &latitude, &longitude);
        if (AddMapPlace(&pieces, index + 1, PaneLineAddress(line), ipv4, latitude, longitude) &&
            route) {
            const QString n = QString::number(index + 1);
            pieces.Listeners += kCrLf + QStringLiteral("Marker") + n +
                                QStringLiteral(".setLabel({text: \"") + n +
                                QStringLiteral("\", color: \"#ffffff\", fontWeight: \"bold\"});");
            path << QStringLiteral("Position") + n;
        }
    }
    if (route && path.size() > 1) {
        pieces.Listeners += kCrLf + QStringLiteral("new google.maps.Polyline({map: map, path: [") +
                            path.join(QStringLiteral(", ")) +
                            QStringLiteral(
                                "], geodesic: true, strokeColor: \"#00a0ff\", "
                                "strokeOpacity: 0.9, strokeWeight: 2});");
    }
    return FillMapTemplate(pageTemplate, pieces, MapKeyElement(key));
}
