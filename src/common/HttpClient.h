#pragma once

#include <QByteArray>
#include <QString>
#include <functional>

#include "common/ExchangeLimits.h"

class TCancelSignal;

// The program's one HTTP client (libcurl). Every request:
// - carries the header values below (Accept, User-Agent, Connection: keep-alive);
// - shares one cookie store that lives as long as the process;
// - does not follow redirects: any status outside 200-299 (a 3xx included) is an error;
// - speaks TLS for "https" addresses (peer certificate verified) and plain HTTP otherwise;
// - gives up when the connection cannot be made, or no byte moves, within the silence time-out,
//   when the whole exchange takes longer than its deadline, and when the body (as announced or
//   as received) is larger than the limit (common/ExchangeLimits.h).
//
// The calls block. Callers on the user-interface thread run them on a TBackgroundCall, or
// through RunBlocking (common/BlockingCall.h) so that the window keeps painting.
//
// Failures raise TxError (common/Errors.h). Its ClassName() names the kind of failure:
//   "EIdHTTPProtocolException"  the server answered with an error status; the message is the
//                               status line, e.g. "HTTP/1.1 404 Not Found"
//   "EIdSocketError"            no connection: host not found, connection refused, reset, ...
//   "EIdReadTimeout"            connected but nothing arrived within the time-out
//   "EIdConnectTimeout"         the connection could not be made within the time-out
//   "EIdOSSLConnectError"       the TLS handshake or certificate check failed
//   "EIdReplyTooLarge"          the body is larger than the limit; the message names the limit
//   "EIdDeadlineExceeded"       the exchange outlasted its deadline; the message names it
//   "EIdCancelled"              the caller's cancel signal ended the exchange (at once: the
//                               signal is watched with the socket)
//   "EIdException"              anything else the transfer reports (bad URL, ...)
//   "EFCreateError"             HttpGetToFile could not write the target file

inline constexpr const char *kHttpAccept =
    "text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8";
inline constexpr const char *kHttpUserAgent =
    "Mozilla/5.0 (Windows NT 6.1; WOW64) AppleWebKit/537.36 (KHTML, like Gecko) "
    "Chrome/37.0.2062.102 Safari/537.36";

// Reports transfer progress: bytes received so far and the total announced by the server (-1
// when the server gave no length). Called on the thread that runs the transfer (a worker thread
// under RunBlocking): queue anything that touches a widget to the widget's thread.
using HttpProgress = std::function<void(qint64 received, qint64 total)>;

// GETs `url` and returns the reply body as bytes. Throws TxError as described above. `cancel`,
// when given, ends the exchange as soon as it is cancelled.
QByteArray HttpGet(const QString &url, const TExchangeLimits &limits,
                   const TCancelSignal *cancel = nullptr);

// GETs `url` and returns the reply body as text: UTF-8 (a byte-order mark is dropped), or
// Latin-1 when the bytes are not valid UTF-8. Throws TxError as described above; `cancel` as for
// HttpGet.
QString HttpGetText(const QString &url, const TExchangeLimits &limits,
                    const TCancelSignal *cancel = nullptr);

// GETs `url` into the file `filePath`, replacing it. The body goes to a temporary file beside
// the target that takes the target's name only when the whole transfer succeeded, so a failed
// download leaves neither a partial file nor a changed old one. `progress` may be empty.
// Throws TxError as described above.
void HttpGetToFile(const QString &url, const QString &filePath, const TExchangeLimits &limits,
                   const HttpProgress &progress = {});
