#include "settings/Services.h"

namespace {
QHash<QString, QString> &Overrides() {
    static QHash<QString, QString> values;
    return values;
}
}  // namespace

QString ServiceSetting(const QString &key, const QString &defaultValue) {
    const QString value = Overrides().value(key.toLower()).trimmed();
    return value.isEmpty() ? defaultValue : value;
}

void SetServiceSettings(const QHash<QString, QString> &values) {
    QHash<QString, QString> lowered;
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        lowered.insert(it.key().toLower(), it.value());
    }
    Overrides() = lowered;
}

void SplitHostPort(const QString &text, quint16 defaultPort, QString *host, quint16 *port) {
    const QString trimmed = text.trimmed();
    const int colon = trimmed.lastIndexOf(QLatin1Char(':'));
    bool ok = false;
    const uint parsed = colon > 0 ? trimmed.mid(colon + 1).toUInt(&ok) : 0;
    if (ok && parsed > 0 && parsed <= 65535) {
        *host = trimmed.left(colon);
        *port = static_cast<quint16>(parsed);
    } else {
        *host = trimmed;
        *port = defaultPort;
    }
}
