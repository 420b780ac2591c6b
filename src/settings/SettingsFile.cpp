#include "settings/SettingsFile.h"

#include <QRandomGenerator>

#include "common/Errors.h"
#include "settings/IniFile.h"
#include "settings/NumberText.h"

using namespace SettingsKeys;

namespace {

struct IntegerEntry {
    const char *key;
    qint32 TSettingsValues::*field;
};

// In the order the file holds them.
const IntegerEntry kIntegers[] = {
    {"Time Out", &TSettingsValues::PingTimeOutValue},
    {"Buffer Size", &TSettingsValues::PingBufferSizeValue},
    {"TTL", &TSettingsValues::PingTTLValue},
    {"Retries No", &TSettingsValues::PingRetriesNoValue},
    {"NBSaut", &TSettingsValues::PingNBSautValue},
    {"Interval", &TSettingsValues::PingIntervalValue},
    {"Ping No", &TSettingsValues::PingNoValue},
};

struct ColorEntry {
    const QString *section;
    const char *key;
    TColor TSettingsValues::*field;
};

const ColorEntry kColors[] = {
    {&kGraphSection, "Process Graph Color", &TSettingsValues::GraphColor},
    {&kFontSection, "Result Color", &TSettingsValues::ResultsColor},
    {&kFontSection, "Debug Color", &TSettingsValues::DebugColor},
    {&kFontSection, "Info Color", &TSettingsValues::InfoColor},
};

// What a missing or unreadable entry reads as: the standard set, except for the two values that
// the standard set does not decide ("Ping No") or that a file without it has always shown in
// another colour (the graph).
TSettingsValues ReadDefaults() {
    TSettingsValues values = StandardSettings(TSettingsValues());
    values.PingNoValue = 100;
    values.GraphColor = kDefaultGraphColor;
    return values;
}

const char *const kMapKey = "Google Maps Key";
const char *const kMapProviderKey = "Map Provider";
const char *const kAskServiceKey = "Ask Geolocation Service";
const QString kGoogleMapsText = QStringLiteral("Google Maps");
const QString kOpenStreetMapText = QStringLiteral("OpenStreetMap");

// Entries of the system section that came later: written only once they differ from what a
// file without them reads as, or once the file has them.
const IntegerEntry kLaterSystemIntegers[] = {
    {"Rate", &TSettingsValues::PingRateValue},
};

// The list watch's entries, in a section of their own after the others.
const IntegerEntry kWatchIntegers[] = {
    {"Down After", &TSettingsValues::WatchDownAfterValue},
    {"Notifications", &TSettingsValues::WatchNotificationsValue},
};

// The integer of `entry` in `section`, or its read default when it is missing or no number.
qint32 ReadInteger(const TIniText &text, const QString &section, const IntegerEntry &entry,
                   const TSettingsValues &defaults) {
    const qint32 readDefault = defaults.*entry.field;
    QString raw;
    return text.Find(section, QLatin1String(entry.key), &raw) ? ReadIntegerText(raw, readDefault)
                                                              : readDefault;
}

}  // namespace

bool TSettingsValues::operator==(const TSettingsValues &other) const {
    return PingTimeOutValue == other.PingTimeOutValue &&
           PingBufferSizeValue == other.PingBufferSizeValue && PingTTLValue == other.PingTTLValue &&
           PingRetriesNoValue == other.PingRetriesNoValue &&
           PingNBSautValue == other.PingNBSautValue &&
           PingIntervalValue == other.PingIntervalValue && PingNoValue == other.PingNoValue &&
           GraphColor == other.GraphColor && ResultsColor == other.ResultsColor &&
           DebugColor == other.DebugColor && InfoColor == other.InfoColor &&
           GoogleKey == other.GoogleKey && MapChoice == other.MapChoice &&
           AskGeolocationService == other.AskGeolocationService &&
           WatchDownAfterValue == other.WatchDownAfterValue &&
           WatchNotificationsValue == other.WatchNotificationsValue &&
           PingRateValue == other.PingRateValue;
}

TSettingsValues StandardSettings(const TSettingsValues &current) {
    TSettingsValues values = current;
    values.PingTimeOutValue = 4000;
    values.PingBufferSizeValue = 32;
    values.PingTTLValue = 128;
    values.PingNBSautValue = 30;
    values.PingRetriesNoValue = 4;
    values.PingIntervalValue = 300;
    values.GraphColor = kStandardGraphColor;
    values.ResultsColor = clGray;
    values.DebugColor = clGray;
    values.InfoColor = clGray;
    values.WatchDownAfterValue = 3;
    values.WatchNotificationsValue = 1;
    values.PingRateValue = kStandardRateSetting;
    return values;
}

bool LoadSettingsFile(const QString &path, TSettingsValues *values,
                      QHash<QString, QString> *services) {
    TIniText text;
    if (!ReadIniFile(path, &text)) {
        return false;
    }
    const TSettingsValues defaults = ReadDefaults();
    TSettingsValues loaded = *values;
    for (const IntegerEntry &entry : kIntegers) {
        loaded.*entry.field = ReadInteger(text, kSystemSection, entry, defaults);
    }
    for (const ColorEntry &entry : kColors) {
        TColor color = defaults.*entry.field;
        QString raw;
        // The program never writes a colour that is neither a name nor a number; a hand-edited
        // one falls back to the read default instead of stopping the load half-way.
        if (text.Find(*entry.section, QLatin1String(entry.key), &raw)) {
            StringToColor(raw, &color);
        }
        loaded.*entry.field = color;
    }
    loaded.GoogleKey = text.ReadString(kMapSection, QLatin1String(kMapKey), QString());
    // Any other text than the two names (a hand edit) reads as the default.
    const QString provider =
        text.ReadString(kMapChoiceSection, QLatin1String(kMapProviderKey), QString()).trimmed();
    loaded.MapChoice = provider.compare(kOpenStreetMapText, Qt::CaseInsensitive) == 0
                           ? TMapChoice::OpenStreetMap
                           : TMapChoice::GoogleMaps;
    QString ask;
    loaded.AskGeolocationService =
        !text.Find(kMapChoiceSection, QLatin1String(kAskServiceKey), &ask) ||
        ReadIntegerText(ask, 1) != 0;
    for (const IntegerEntry &entry : kWatchIntegers) {
        loaded.*entry.field = ReadInteger(text, kWatchSection, entry, defaults);
    }
    for (const IntegerEntry &entry : kLaterSystemIntegers) {
        loaded.*entry.field = ReadInteger(text, kSystemSection, entry, defaults);
    }
    *values = loaded;
    if (services != nullptr) {
        services->clear();
        for (const auto &entry : text.SectionEntries(kServicesSection)) {
            if (!services->contains(entry.first)) {
                services->insert(entry.first, entry.second);
            }
        }
    }
    return true;
}

void SaveSettingsFile(const QString &path, const TSettingsValues &values,
                      const TSettingsValues *stored) {
    TIniText text;
    try {
        ReadIniFile(path, &text);
    } catch (const TxError &error) {
        // Without the old content its other lines would be lost.
        throw UnableToWrite(path, error.Message());
    }
    // A line break cannot stand inside an entry: it would end the entry and start a line of its
    // own (a new key, even a new section). Blanks keep the parts of the key apart.
    QString googleKey = values.GoogleKey;
    googleKey.replace(QLatin1String("\r\n"), QLatin1String(" "));
    googleKey.replace(QLatin1Char('\r'), QLatin1Char(' '))
        .replace(QLatin1Char('\n'), QLatin1Char(' '));
    // An entry this program has not changed keeps what the file holds now, which may be another
    // program's change made since this one read the file.
    QString held;
    const auto changed = [&text, &held, stored](bool differs, const QString &section,
                                                const char *key) {
        return stored == nullptr || differs || !text.Find(section, QLatin1String(key), &held);
    };
    try {
        for (const IntegerEntry &entry : kIntegers) {
            if (changed(stored != nullptr && values.*entry.field != stored->*entry.field,
                        kSystemSection, entry.key)) {
                text.WriteString(kSystemSection, QLatin1String(entry.key),
                                 QString::number(values.*entry.field));
            }
        }
        for (const ColorEntry &entry : kColors) {
            if (changed(stored != nullptr && values.*entry.field != stored->*entry.field,
                        *entry.section, entry.key)) {
                text.WriteString(*entry.section, QLatin1String(entry.key),
                                 ColorToString(values.*entry.field));
            }
        }
        if (changed(stored != nullptr && values.GoogleKey != stored->GoogleKey, kMapSection,
                    kMapKey)) {
            text.WriteString(kMapSection, QLatin1String(kMapKey), googleKey);
        }
        // Written once they differ from what a file without them reads as, or once the file
        // has them: a file of an older version keeps its exact lines until a choice is made.
        if (changed(stored != nullptr && values.MapChoice != stored->MapChoice, kMapChoiceSection,
                    kMapProviderKey) &&
            (values.MapChoice != TMapChoice::GoogleMaps ||
             text.Find(kMapChoiceSection, QLatin1String(kMapProviderKey), &held))) {
            text.WriteString(kMapChoiceSection, QLatin1String(kMapProviderKey),
                             values.MapChoice == TMapChoice::OpenStreetMap ? kOpenStreetMapText
                                                                           : kGoogleMapsText);
        }
        if (changed(
                stored != nullptr && values.AskGeolocationService != stored->AskGeolocationService,
                kMapChoiceSection, kAskServiceKey) &&
            (!values.AskGeolocationService ||
             text.Find(kMapChoiceSection, QLatin1String(kAskServiceKey), &held))) {
            text.WriteString(
                kMapChoiceSection, QLatin1String(kAskServiceKey),
                values.AskGeolocationService ? QStringLiteral("1") : QStringLiteral("0"));
        }
        // As the map's: written once they differ from what a file without them reads as, or
        // once the file has them.
        const TSettingsValues defaults = ReadDefaults();
        const auto writeLater = [&](const QString &section, const IntegerEntry &entry) {
            if (changed(stored != nullptr && values.*entry.field != stored->*entry.field, section,
                        entry.key) &&
                (values.*entry.field != defaults.*entry.field ||
                 text.Find(section, QLatin1String(entry.key), &held))) {
                text.WriteString(section, QLatin1String(entry.key),
                                 QString::number(values.*entry.field));
            }
        };
        for (const IntegerEntry &entry : kLaterSystemIntegers) {
            writeLater(kSystemSection, entry);
        }
        for (const IntegerEntry &entry : kWatchIntegers) {
            writeLater(kWatchSection, entry);
        }
    } catch (const TxError &error) {
        throw UnableToWrite(path, error.Message());
    }
    WriteIniFile(path, text);
}

qint32 SpinStepDown(qint32 current, qint32 minValue, qint32 step) {
    const qint64 result = qint64(current) - step;
    return result < minValue ? minValue : qint32(result);
}

qint32 SpinStepUp(qint32 current, qint32 maxValue, qint32 step) {
    const qint64 result = qint64(current) + step;
    return result > maxValue ? maxValue : qint32(result);
}

qint32 ClampToRange(qint32 value, const TSpinRange &range) {
    return qBound(range.Min, value, range.Max);
}

QVector<QPointF> PreviewCurvePoints(QRandomGenerator *generator) {
    QVector<QPointF> points;
    points.reserve(31);
    for (int i = 0; i <= 30; ++i) {
        points.append(QPointF(2 * i, generator->bounded(8, 32)));
    }
    return points;
}
