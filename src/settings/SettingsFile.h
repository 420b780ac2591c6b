#pragma once

#include <QHash>
#include <QPointF>
#include <QString>
#include <QVector>

#include "settings/ColorValues.h"

class QRandomGenerator;

// Sections and keys of the settings file.
namespace SettingsKeys {
inline const QString kSystemSection = QStringLiteral("PING SYSTEM SETTINGS");
inline const QString kGraphSection = QStringLiteral("PING GRAPH SETTINGS");
inline const QString kFontSection = QStringLiteral("PING FONT SETTINGS");
inline const QString kMapSection = QStringLiteral("GOOGLE MAPS ID");
inline const QString kServicesSection = QStringLiteral("SERVICES");
inline const QString kMapChoiceSection = QStringLiteral("MAP SETTINGS");
inline const QString kWatchSection = QStringLiteral("WATCH");
}  // namespace SettingsKeys

// The map the map window draws when a Google Maps key is set (without one it is always
// OpenStreetMap): in the file "Map Provider" = "Google Maps" or "OpenStreetMap".
enum class TMapChoice { GoogleMaps, OpenStreetMap };

// Every value the settings file holds. All zero before the first load.
struct TSettingsValues {
    qint32 PingTimeOutValue = 0;
    qint32 PingBufferSizeValue = 0;
    qint32 PingTTLValue = 0;
    qint32 PingRetriesNoValue = 0;
    qint32 PingNBSautValue = 0;
    qint32 PingIntervalValue = 0;
    qint32 PingNoValue = 0;
    TColor GraphColor = 0;
    TColor ResultsColor = 0;
    TColor DebugColor = 0;
    TColor InfoColor = 0;
    QString GoogleKey;
    // The map choice, and whether the online geolocation service is asked where addresses lie
    // ("Ask Geolocation Service" 1 or 0): some users must not send addresses to a third party.
    // Both live in [MAP SETTINGS]; a file without them reads as Google Maps and asking, and
    // they are written only once they differ from that or the file has them, so that older
    // files keep their exact lines. The standard set leaves both as they are.
    TMapChoice MapChoice = TMapChoice::GoogleMaps;
    bool AskGeolocationService = true;
    // A list watch: unanswered requests in a row after which an address is down, and whether
    // its changes are desktop notifications (0: no).
    qint32 WatchDownAfterValue = 0;
    qint32 WatchNotificationsValue = 0;
    // "Rate" of [PING SYSTEM SETTINGS]: requests a second that a run sends at most (0: no
    // limit). Written only once it differs from the standard or the file has it, so that older
    // files keep their exact lines.
    qint32 PingRateValue = 0;

    bool operator==(const TSettingsValues &other) const;
};

// The standard set, the read defaults and the spin ranges of the settings window.
constexpr TColor kStandardGraphColor = 0x108ABE;
constexpr TColor kDefaultGraphColor = 0xFFD680;

// A value that the settings window changes with spin buttons: lowest, highest, one press.
struct TSpinRange {
    qint32 Min;
    qint32 Max;
    qint32 Step;
};

// "Interval": milliseconds from one request of "ping until stopped" to the next. The window's
// spin keeps to this range, and a value from the file outside it is moved into it where it is
// used.
constexpr TSpinRange kIntervalRange{100, 60000, 100};

// The spin rows of the settings window.
constexpr TSpinRange kTimeOutRange{100, 10000, 100};
constexpr TSpinRange kBufferSizeRange{32, 256, 8};
constexpr TSpinRange kTTLRange{64, 128, 64};
constexpr TSpinRange kRetriesRange{3, 10, 1};
constexpr TSpinRange kDownAfterRange{1, 20, 1};
// "Rate": requests a second, 0 for no limit. The standard keeps a watched list of a thousand
// addresses every second possible, as the engine's own standard does.
constexpr TSpinRange kRateRange{0, 100000, 500};
constexpr qint32 kStandardRateSetting = 2000;

// Returns `value` moved into the range's limits.
qint32 ClampToRange(qint32 value, const TSpinRange &range);

// Returns `current` with the standard set applied: time-out 4000, buffer size 32, TTL 128,
// retries 4, NBSaut 30, interval 300, graph colour 0x108ABE, the three text colours clGray, a
// watched address down after 3 unanswered requests, notifications on, rate 2000. "Ping No" and
// the map key keep their values.
TSettingsValues StandardSettings(const TSettingsValues &current);

// Reads the settings file at `path`. Returns false, changing nothing, when no file exists.
// Otherwise every value comes from the file or, for a missing key, an empty or unconvertible
// integer, or a colour text that is neither a name nor a number, from its read default (time-out
// 4000, buffer size 32, TTL 128, retries 4, NBSaut 30, interval 300, "Ping No" 100, graph colour
// 0xFFD680, text colours clGray, empty map key, down after 3, notifications on, rate 2000). When
// `services` is
// given it receives the entries of [SERVICES] (keys as written). Throws TxError when the file
// exists but cannot be read.
bool LoadSettingsFile(const QString &path, TSettingsValues *values,
                      QHash<QString, QString> *services = nullptr);

// Writes the twelve entries of the settings file in their fixed order (the watch's two only once
// they differ from their defaults or the file has them),
// keeping every other line of an existing file ([SERVICES] included), and creating the file when it
// is missing. The file is replaced in one step, so a failure leaves it as it was. A line break in
// the map key is written as a blank. Throws TxError("Unable to write to <path>: <cause>") when it
// cannot be written.
//
// With `stored`, the values this program last read from the file or wrote into it, only the
// entries whose value differs from it (or that the file lacks) are written, into the file as it is
// now: another program that changed other entries of the same file in the meantime keeps its
// changes.
void SaveSettingsFile(const QString &path, const TSettingsValues &values,
                      const TSettingsValues *stored = nullptr);

// One press of a spin button: the value moved by `step` and clamped to the limit. The sum is
// formed in 64 bits, so a value read from the file near the 32-bit limits cannot overflow.
qint32 SpinStepDown(qint32 current, qint32 minValue, qint32 step);
qint32 SpinStepUp(qint32 current, qint32 maxValue, qint32 step);

// The sample curve of the settings window's preview chart: 31 points, x = 0, 2, ..., 60, each y
// drawn uniformly from 8 to 31.
QVector<QPointF> PreviewCurvePoints(QRandomGenerator *generator);
