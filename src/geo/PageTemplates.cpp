#include "geo/PageTemplates.h"

#include <QFile>
#include <QStringList>

namespace {

QString LoadTemplate(const QString &resource) {
    QFile file(resource);
    if (!file.open(QIODevice::ReadOnly)) {
        return QString();
    }
    QString text = QString::fromUtf8(file.readAll());
    text.remove(QLatin1Char('\r'));
    QStringList lines = text.split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.constLast().isEmpty()) {
        lines.removeLast();
    }
    return lines.join(QStringLiteral("\r\n"));
}

}  // namespace

QString PingGeolocationTemplate() {
    return LoadTemplate(QStringLiteral(":/geo/PingGeolocation.html"));
}

QString GoogleMapTemplate() {
    return LoadTemplate(QStringLiteral(":/geo/GoogleMap.html"));
}

QString OpenStreetMapTemplate() {
    return LoadTemplate(QStringLiteral(":/geo/OpenStreetMap.html"));
}
