#pragma once

#include <QColor>
#include <QString>
#include <QStringList>

#include "common/ExchangeLimits.h"

class QTextDocument;
class TCancelSignal;

// The WHOIS lookup of an address: the zone check against the zone table, the query to the
// WHOIS server, and the re-layout of the reply for the results pane.

// The reply text when the address's zone is not in the zone table.
inline constexpr const char *kWhoisNoResults = "No results.";

// The WHOIS server queried for every address, as "host" or "host:port": the "Whois Server"
// service setting, or RIPE NCC's server. The port is 43 when none is given.
QString WhoisServerAddress();

// Returns the zone of an address text: everything after its first "."; a text without "." is
// returned unchanged ("a.b.c" gives "b.c", "b.c" gives "c", "localhost" gives "localhost").
QString WhoisZone(const QString &url);

// Returns true when `zone` occurs, case-sensitively, anywhere in one of the lines of
// `serverList` (zones and host names alike). An empty zone never matches.
bool WhoisZoneListed(const QStringList &serverList, const QString &zone);

// Sends one WHOIS query to host:port: connects, sends `query` followed by CR LF, and returns
// everything the server sends until it closes the connection (decoded as UTF-8, or Latin-1 when
// the bytes are not UTF-8). Blocks: the window runs it on a TBackgroundCall.
// Throws TxError with class "EIdSocketError" when the host is not found or the connection fails
// or breaks, "EIdConnectTimeout" when no connection is made within the silence time-out of
// `limits`, "EIdReadTimeout" when the server then sends nothing for that long,
// "EIdDeadlineExceeded" when the exchange outlasts the deadline, and "EIdReplyTooLarge" when the
// reply grows past the size limit (the messages of the last two name the limit). The resolver
// cannot be interrupted: the time it takes to find the server counts against the deadline, but
// only the waits on the socket end the exchange. With `cancel`, every wait on the socket also
// ends at once when it is cancelled, with "EIdCancelled" (a cancel during the resolver counts
// when it is back).
QString WhoisQuery(const QString &host, quint16 port, const QString &query,
                   const TExchangeLimits &limits = kWhoisLimits,
                   const TCancelSignal *cancel = nullptr);

// Asks the WHOIS server `server` ("host" or "host:port", port 43 by default) about `address`, as
// WhoisQuery does.
QString WhoisServerQuery(const QString &server, const QString &address,
                         const TExchangeLimits &limits = kWhoisLimits,
                         const TCancelSignal *cancel = nullptr);

// The whole lookup of an address text: when the text's zone is listed in `serverList`, resolves
// the whole text with GetIP (an unresolved name is asked for as "0.0.0.0") and returns the reply
// of the WHOIS server `server` ("host" or "host:port", port 43 by default) for that IPv4
// address; otherwise returns "No results." without any network access. Blocks; throws what
// WhoisQuery throws, and ends as WhoisQuery does when `cancel` is cancelled.
QString WhoisLookup(const QStringList &serverList, const QString &url, const QString &server,
                    const TExchangeLimits &limits = kWhoisLimits,
                    const TCancelSignal *cancel = nullptr);

// Splits a reply into lines at CR LF, CR or LF; a line end after the last line adds no empty
// line.
QStringList WhoisReplyLines(const QString &reply);

// Returns `line` with its control characters shown instead of sent on: a WHOIS server may send
// any bytes, and a NUL, an escape sequence or a form feed written raw would cut the line short,
// drive the terminal or break the pane's paragraph. C0 controls other than the tab become their
// symbols of the Unicode block Control Pictures (U+2400 + code: NUL as U+2400, ESC as U+241B),
// DEL becomes U+2421, and C1 controls and the line and paragraph separators (U+2028, U+2029)
// become U+FFFD.
QString WhoisVisibleText(const QString &line);

// Lays out one reply line for the results pane, its control characters shown as
// WhoisVisibleText shows them. Runs of blanks are collapsed (four blanks to
// one, then three to one, then two to one). A line holding "%" is then kept as it is. Any other
// line is split at its first ":" into the key (up to and including the colon) and the value
// (after the colon, less one blank or tab that directly follows it) and rebuilt as key, tabs,
// value: three tabs when the key has at most 8 characters or contains "org-type", two otherwise.
// A line without a colon has an empty key.
QString FormatWhoisLine(const QString &line);

// The header above a reply in the results pane, one text per line.
QStringList WhoisHeaderLines();

// Replaces the whole content of `pane` by the header, in bold, and the laid-out lines of
// `reply`, in regular style, all in `color`. Every line ends with a paragraph break.
void WriteWhoisResult(QTextDocument *pane, const QString &reply, const QColor &color);
