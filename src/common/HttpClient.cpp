#include "common/HttpClient.h"

#include <curl/curl.h>

#include <QStringDecoder>
#include <QUrl>
#include <array>
#include <chrono>
#include <exception>
#include <memory>
#include <mutex>

#include "common/BlockingCall.h"
#include "common/Errors.h"
#include "common/SafeFile.h"

namespace {

// One share handle holds the cookies of every request for the life of the process. Requests run
// on whatever worker thread RunBlocking picked, so the share needs real locks.
std::array<std::mutex, CURL_LOCK_DATA_LAST> shareLocks;

void LockShare(CURL *, curl_lock_data data, curl_lock_access, void *) {
    shareLocks[static_cast<size_t>(data)].lock();
}

void UnlockShare(CURL *, curl_lock_data data, void *) {
    shareLocks[static_cast<size_t>(data)].unlock();
}

CURLSH *CookieShare() {
    static CURLSH *share = [] {
        curl_global_init(CURL_GLOBAL_DEFAULT);
        CURLSH *created = curl_share_init();
        curl_share_setopt(created, CURLSHOPT_LOCKFUNC, LockShare);
        curl_share_setopt(created, CURLSHOPT_UNLOCKFUNC, UnlockShare);
        curl_share_setopt(created, CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
        return created;
    }();
    return share;
}

using Clock = std::chrono::steady_clock;

// The reply head is a few hundred bytes; anything near this is no honest server.
constexpr qint64 kHeaderLimit = 256 * kKiB;

struct Transfer {
    std::function<bool(const char *, size_t)> sink;  // false stops the transfer
    HttpProgress progress;
    TExchangeLimits limits{};
    Clock::time_point started = Clock::now();
    Clock::time_point lastActivity = Clock::now();
    curl_off_t lastReceived = 0;
    qint64 bodyBytes = 0;
    qint64 headerBytes = 0;
    bool connected = false;
    bool timedOut = false;
    bool pastDeadline = false;
    bool tooLarge = false;
    bool headerTooLarge = false;
    bool sinkFailed = false;
    // The user's request to end the exchange, when the caller can be cancelled.
    const TCancelSignal *cancel = nullptr;
    // An exception raised inside a callback. It must not unwind through libcurl's C frames: the
    // callback stops the transfer instead, and Perform raises it once curl_easy_perform is back.
    std::exception_ptr failure;
    QByteArray statusLine;
};

// Runs a callback's body; an exception is kept for later and `failed` returned to libcurl.
template <typename Result, typename F>
Result Guarded(Transfer *transfer, Result failed, F &&body) noexcept {
    try {
        return body();
    } catch (...) {
        transfer->failure = std::current_exception();
        return failed;
    }
}

size_t WriteBody(char *data, size_t size, size_t count, void *user) {
    auto *transfer = static_cast<Transfer *>(user);
    // Any value other than the byte count stops the transfer with CURLE_WRITE_ERROR.
    return Guarded<size_t>(transfer, 0, [&]() -> size_t {
        const size_t bytes = size * count;
        if (transfer->bodyBytes + static_cast<qint64>(bytes) > transfer->limits.MaxBytes) {
            transfer->tooLarge = true;
            return 0;
        }
        transfer->bodyBytes += static_cast<qint64>(bytes);
        if (!transfer->sink(data, bytes)) {
            transfer->sinkFailed = true;
            return 0;
        }
        return bytes;
    });
}

size_t ReadHeader(char *data, size_t size, size_t count, void *user) {
    auto *transfer = static_cast<Transfer *>(user);
    return Guarded<size_t>(transfer, 0, [&]() -> size_t {
        const size_t bytes = size * count;
        transfer->headerBytes += static_cast<qint64>(bytes);
        if (transfer->headerBytes > kHeaderLimit) {
            transfer->headerTooLarge = true;
            return 0;
        }
        const QByteArray line(data, static_cast<qsizetype>(bytes));
        // An interim "100 Continue" comes before the final status line; the last one wins.
        if (line.startsWith("HTTP/")) {
            transfer->statusLine = line.trimmed();
        }
        return bytes;
    });
}

// Called once the connection stands, just before the request goes out.
int MarkConnected(void *user, char *, char *, int, int) {
    static_cast<Transfer *>(user)->connected = true;
    return CURL_PREREQFUNC_OK;
}

// libcurl's own low-speed limit counts whole seconds; watching the byte counter here gives an
// inactivity time-out in milliseconds, which is what the callers (and their tests) set. libcurl
// calls this at least once a second whatever the server does, also while connecting, so the
// deadline and an announced body that is too large are caught here too.
int WatchTransfer(void *user, curl_off_t dltotal, curl_off_t dlnow, curl_off_t, curl_off_t) {
    auto *transfer = static_cast<Transfer *>(user);
    return Guarded<int>(transfer, 1, [&] {
        const auto now = Clock::now();
        if (dltotal > transfer->limits.MaxBytes) {
            transfer->tooLarge = true;
            return 1;
        }
        if (now - transfer->started > std::chrono::milliseconds(transfer->limits.DeadlineMs)) {
            transfer->pastDeadline = true;
            return 1;
        }
        if (dlnow != transfer->lastReceived) {
            transfer->lastReceived = dlnow;
            transfer->lastActivity = now;
            if (transfer->progress) {
                transfer->progress(dlnow, dltotal > 0 ? dltotal : -1);
            }
        }
        if (now - transfer->lastActivity > std::chrono::milliseconds(transfer->limits.SilenceMs)) {
            transfer->timedOut = true;
            return 1;
        }
        return 0;
    });
}

struct EasyDeleter {
    void operator()(CURL *handle) const { curl_easy_cleanup(handle); }
};
struct HeaderListDeleter {
    void operator()(curl_slist *list) const { curl_slist_free_all(list); }
};

QString Reason(CURLcode code, const char *errorBuffer) {
    const QString detail = QString::fromUtf8(errorBuffer).trimmed();
    return detail.isEmpty() ? QString::fromUtf8(curl_easy_strerror(code)) : detail;
}

[[noreturn]] void RaiseTransferError(CURLcode code, const char *errorBuffer, const Transfer &t) {
    if (t.failure) {
        std::rethrow_exception(t.failure);
    }
    if (t.cancel != nullptr) {
        t.cancel->RaiseIfCancelled();
    }
    if (t.tooLarge) {
        throw TxError(ReplyTooLargeText(t.limits.MaxBytes), QLatin1String(kReplyTooLargeClass));
    }
    if (t.headerTooLarge) {
        throw TxError(QStringLiteral("The reply head is larger than the limit of %1.")
                          .arg(ByteSizeText(kHeaderLimit)),
                      QLatin1String(kReplyTooLargeClass));
    }
    if (t.pastDeadline) {
        throw TxError(DeadlineText(t.limits.DeadlineMs), QLatin1String(kDeadlineClass));
    }
    const bool connected = t.connected;
    switch (code) {
        case CURLE_ABORTED_BY_CALLBACK:
            if (t.timedOut) {
                if (connected) {
                    throw TxError(QStringLiteral("Read timed out."),
                                  QStringLiteral("EIdReadTimeout"));
                }
                throw TxError(QStringLiteral("Connect timed out."),
                              QStringLiteral("EIdConnectTimeout"));
            }
            break;
        case CURLE_OPERATION_TIMEDOUT:
            throw TxError(
                connected ? QStringLiteral("Read timed out.")
                          : QStringLiteral("Connect timed out."),
                connected ? QStringLiteral("EIdReadTimeout") : QStringLiteral("EIdConnectTimeout"));
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_CONNECT:
        case CURLE_SEND_ERROR:
        case CURLE_RECV_ERROR:
        case CURLE_GOT_NOTHING:
        case CURLE_PARTIAL_FILE:
            throw TxError(Reason(code, errorBuffer), QStringLiteral("EIdSocketError"));
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_CIPHER:
        case CURLE_SSL_ENGINE_INITFAILED:
            throw TxError(Reason(code, errorBuffer), QStringLiteral("EIdOSSLConnectError"));
        default:
            break;
    }
    throw TxError(Reason(code, errorBuffer), QStringLiteral("EIdException"));
}

struct MultiDeleter {
    void operator()(CURLM *handle) const { curl_multi_cleanup(handle); }
};

// curl_easy_perform's own loop (poll for at most a second, then let libcurl work), with the
// cancel signal's descriptor among those polled, so that a cancel ends the wait at once instead
// of at the next progress call.
CURLcode PerformCancellable(CURL *handle, const TCancelSignal &cancel) {
    std::unique_ptr<CURLM, MultiDeleter> multi(curl_multi_init());
    if (!multi || curl_multi_add_handle(multi.get(), handle) != CURLM_OK) {
        return CURLE_OUT_OF_MEMORY;
    }
    CURLcode result = CURLE_OK;
    for (;;) {
        int running = 0;
        if (curl_multi_perform(multi.get(), &running) != CURLM_OK) {
            result = CURLE_RECV_ERROR;
            break;
        }
        if (running == 0) {
            int left = 0;
            const CURLMsg *message = curl_multi_info_read(multi.get(), &left);
            result = message != nullptr && message->msg == CURLMSG_DONE ? message->data.result
                                                                        : CURLE_GOT_NOTHING;
            break;
        }
        curl_waitfd wake{cancel.WakeFd(), CURL_WAIT_POLLIN, 0};
        if (curl_multi_poll(multi.get(), &wake, 1, 1000, nullptr) != CURLM_OK) {
            result = CURLE_RECV_ERROR;
            break;
        }
        if (cancel.IsCancelled()) {
            result = CURLE_ABORTED_BY_CALLBACK;
            break;
        }
    }
    curl_multi_remove_handle(multi.get(), handle);
    return result;
}

void Perform(const QString &url, Transfer &transfer, const TExchangeLimits &limits) {
    const QUrl parsed(url, QUrl::TolerantMode);
    const QString scheme = parsed.scheme().toLower();
    if (!parsed.isValid() || parsed.host().isEmpty() ||
        (scheme != QLatin1String("http") && scheme != QLatin1String("https"))) {
        throw TxError(QStringLiteral("Invalid address \"%1\".").arg(url),
                      QStringLiteral("EIdException"));
    }
    const QByteArray encoded = parsed.toEncoded();
    if (transfer.cancel != nullptr) {
        transfer.cancel->RaiseIfCancelled();
    }

    CURLSH *share = CookieShare();
    std::unique_ptr<CURL, EasyDeleter> curl(curl_easy_init());
    if (!curl) {
        throw TxError(QStringLiteral("The HTTP client could not be created."),
                      QStringLiteral("EIdException"));
    }
    std::unique_ptr<curl_slist, HeaderListDeleter> headers;
    curl_slist *list = nullptr;
    list = curl_slist_append(list, (QByteArray("Accept: ") + kHttpAccept).constData());
    list = curl_slist_append(list, "Connection: keep-alive");
    headers.reset(list);

    transfer.limits = limits;
    transfer.started = Clock::now();
    transfer.lastActivity = transfer.started;
    char errorBuffer[CURL_ERROR_SIZE] = {0};

    CURL *h = curl.get();
    curl_easy_setopt(h, CURLOPT_URL, encoded.constData());
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_SHARE, share);
    curl_easy_setopt(h, CURLOPT_COOKIEFILE, "");  // switches the cookie engine on
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(h, CURLOPT_PROXY, "");  // no proxy, whatever the environment says
    curl_easy_setopt(h, CURLOPT_USERAGENT, kHttpUserAgent);
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);  // worker threads must not get SIGALRM
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(limits.SilenceMs));
    // libcurl checks an announced length itself as well; the callbacks above count what comes.
    curl_easy_setopt(h, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(limits.MaxBytes));
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, WriteBody);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, ReadHeader);
    curl_easy_setopt(h, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(h, CURLOPT_PREREQFUNCTION, MarkConnected);
    curl_easy_setopt(h, CURLOPT_PREREQDATA, &transfer);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, WatchTransfer);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, &transfer);

    const CURLcode code =
        transfer.cancel != nullptr ? PerformCancellable(h, *transfer.cancel) : curl_easy_perform(h);
    long status = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
    if (code == CURLE_FILESIZE_EXCEEDED) {
        transfer.tooLarge = true;
    }
    if (code != CURLE_OK) {
        if (transfer.sinkFailed && !transfer.failure) {
            return;  // the sink raises its own error
        }
        RaiseTransferError(code, errorBuffer, transfer);
    }
    if (status < 200 || status > 299) {
        QString line = QString::fromLatin1(transfer.statusLine);
        if (line.isEmpty()) {
            line = QStringLiteral("HTTP status %1").arg(status);
        }
        throw TxError(line, QStringLiteral("EIdHTTPProtocolException"));
    }
}

}  // namespace

QByteArray HttpGet(const QString &url, const TExchangeLimits &limits, const TCancelSignal *cancel) {
    QByteArray body;
    Transfer transfer;
    transfer.cancel = cancel;
    transfer.sink = [&body](const char *data, size_t size) {
        body.append(data, static_cast<qsizetype>(size));
        return true;
    };
    Perform(url, transfer, limits);
    return body;
}

QString HttpGetText(const QString &url, const TExchangeLimits &limits,
                    const TCancelSignal *cancel) {
    const QByteArray body = HttpGet(url, limits, cancel);
    QStringDecoder utf8(QStringConverter::Utf8);
    const QString text = utf8(body);
    if (utf8.hasError()) {
        return QString::fromLatin1(body);
    }
    return text;
}

void HttpGetToFile(const QString &url, const QString &filePath, const TExchangeLimits &limits,
                   const HttpProgress &progress) {
    TSafeFile file(filePath);
    try {
        file.Open();
    } catch (const TxError &error) {
        throw TxError(
            QStringLiteral("Cannot create file \"%1\". %2").arg(filePath, error.Message()),
            QStringLiteral("EFCreateError"));
    }
    Transfer transfer;
    transfer.progress = progress;
    QString reason;
    transfer.sink = [&file, &reason](const char *data, size_t size) {
        try {
            file.Write(data, static_cast<qint64>(size));
            return true;
        } catch (const TxError &error) {
            reason = error.Message();
            return false;
        }
    };
    Perform(url, transfer, limits);
    try {
        if (transfer.sinkFailed) {
            throw TxError(reason);
        }
        file.Commit();
    } catch (const TxError &error) {
        throw TxError(QStringLiteral("Cannot write file \"%1\". %2").arg(filePath, error.Message()),
                      QStringLiteral("EFCreateError"));
    }
}
