#include "common/ExchangeLimits.h"

QString ByteSizeText(qint64 bytes) {
    const struct {
        qint64 size;
        const char *unit;
    } units[] = {{kGiB, "GiB"}, {kMiB, "MiB"}, {kKiB, "KiB"}};
    for (const auto &unit : units) {
        if (bytes >= unit.size && bytes % unit.size == 0) {
            return QStringLiteral("%1 %2").arg(bytes / unit.size).arg(QLatin1String(unit.unit));
        }
    }
    return QStringLiteral("%1 bytes").arg(bytes);
}

QString DurationText(int milliseconds) {
    constexpr int minute = 60000;
    if (milliseconds >= 10 * minute && milliseconds % minute == 0) {
        return QStringLiteral("%1 min").arg(milliseconds / minute);
    }
    if (milliseconds >= 1000 && milliseconds % 1000 == 0) {
        return QStringLiteral("%1 s").arg(milliseconds / 1000);
    }
    return QStringLiteral("%1 ms").arg(milliseconds);
}

QString ReplyTooLargeText(qint64 maxBytes) {
    return QStringLiteral("The reply is larger than the limit of %1.").arg(ByteSizeText(maxBytes));
}

QString DeadlineText(int deadlineMs) {
    return QStringLiteral("The exchange did not end within the limit of %1.")
        .arg(DurationText(deadlineMs));
}

QString CancelledText() {
    return QStringLiteral("The exchange was cancelled.");
}
