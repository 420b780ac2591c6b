#pragma once

#include <QString>
#include <QtGlobal>

// What an exchange with an outside server may cost. A server is not trusted to end its reply:
// one that sends without end would fill the memory, and one that trickles a byte now and then
// would keep the window waiting for ever, since each byte restarts the silence time-out.
struct TExchangeLimits {
    int SilenceMs;    // longest wait for the connection or for the next byte
    int DeadlineMs;   // longest whole exchange, from the connection to the last byte
    qint64 MaxBytes;  // largest reply (body) accepted
};

inline constexpr qint64 kKiB = 1024;
inline constexpr qint64 kMiB = 1024 * kKiB;
inline constexpr qint64 kGiB = 1024 * kMiB;

// A WHOIS reply is a few kilobytes of text; RIPE's largest objects stay far below 1 MiB.
inline constexpr TExchangeLimits kWhoisLimits{30000, 60000, 1 * kMiB};
// A geolocation reply is a dozen short elements; the version file four short lines.
inline constexpr TExchangeLimits kGeolocationLimits{30000, 60000, 64 * kKiB};
inline constexpr TExchangeLimits kVersionFileLimits{30000, 60000, 64 * kKiB};
// The installer may take long on a slow line: it is bounded by its silence as before, and by a
// total that a working connection never reaches.
inline constexpr TExchangeLimits kInstallerLimits{30000, 30 * 60000, 1 * kGiB};

// Class names of the three failures below.
inline constexpr const char *kReplyTooLargeClass = "EIdReplyTooLarge";
inline constexpr const char *kDeadlineClass = "EIdDeadlineExceeded";
inline constexpr const char *kCancelledClass = "EIdCancelled";

// A size for people: "1 GiB", "64 KiB", "3 MiB", or "N bytes" when no unit divides it.
QString ByteSizeText(qint64 bytes);

// A duration for people: "30 min" (from ten minutes on, in whole minutes), "60 s", "250 ms".
QString DurationText(int milliseconds);

// The message of a reply cut off at `maxBytes`: "The reply is larger than the limit of 1 MiB."
QString ReplyTooLargeText(qint64 maxBytes);

// The message of an exchange stopped at its deadline:
// "The exchange did not end within the limit of 60 s."
QString DeadlineText(int deadlineMs);

// The message of an exchange that the user ended before it was over:
// "The exchange was cancelled."
QString CancelledText();
