#include "lookup/Geolocation.h"

#include <QHash>
#include <QXmlStreamReader>

#include "common/Errors.h"
#include "common/HttpClient.h"
#include "settings/Services.h"

QString GeolocationServiceUrl() {
    return ServiceSetting(QStringLiteral("Geolocation URL"),
                          QStringLiteral("http://freegeoip.live"));
}

QString GeolocationRequestUrl(const QString &ipAddress) {
    QString base = GeolocationServiceUrl();
    while (base.endsWith(QLatin1Char('/'))) {
        base.chop(1);
    }
    return base + QStringLiteral("/xml/") + ipAddress;
}

TGeolocationInfo ParseGeolocationReply(const QByteArray &reply) {
    TGeolocationInfo info;
    QHash<QString, QString *> fields{
        {QStringLiteral("CountryCode"), &info.CountryCode},
        {QStringLiteral("CountryName"), &info.CountryName},
        {QStringLiteral("RegionCode"), &info.RegionCode},
        {QStringLiteral("RegionName"), &info.RegionName},
        {QStringLiteral("City"), &info.City},
        {QStringLiteral("ZipCode"), &info.ZipCode},
        {QStringLiteral("Latitude"), &info.Latitude},
        {QStringLiteral("Longitude"), &info.Longitude},
    };
    QXmlStreamReader xml(reply);
    bool sawRoot = false;
    int depth = 0;
    // The whole document is read before any field counts: a reply that breaks off half-way is
    // malformed, and its first elements must not pass for a place.
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            if (depth == 0) {
                sawRoot = true;
                ++depth;
                continue;
            }
            if (depth == 1) {
                const QString name = xml.name().toString();
                const QString text = xml.readElementText(QXmlStreamReader::IncludeChildElements);
                if (xml.hasError()) {
                    break;
                }
                // The first element of a name counts; later ones are ignored.
                if (QString *field = fields.take(name)) {
                    *field = text;
                }
                continue;
            }
            ++depth;
        } else if (xml.isEndElement()) {
            --depth;
        }
    }
    if (xml.hasError()) {
        throw TxError(QStringLiteral("%1 (line %2, column %3)")
                          .arg(xml.errorString())
                          .arg(xml.lineNumber())
                          .arg(xml.columnNumber()),
                      QStringLiteral("EDOMParseError"));
    }
    if (!sawRoot) {
        throw TxError(QStringLiteral("The reply holds no XML document."),
                      QStringLiteral("EDOMParseError"));
    }
    return info;
}

QString GeolocationErrorText(const QString &className, const QString &message) {
    return QStringLiteral("Error ") + className + QStringLiteral(" [ ") + message +
           QStringLiteral(" ]");
}

TGeolocationInfo LookUpGeolocation(const QString &ipAddress, int timeoutMs) {
    return ParseGeolocationReply(HttpGet(GeolocationRequestUrl(ipAddress), timeoutMs));
}
