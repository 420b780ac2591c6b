#include "ping/RequestLoops.h"

#include <QElapsedTimer>

void MakeRequests(int count, const std::function<std::optional<TPingReply>()> &request,
                  const std::function<bool()> &stopRequested,
                  const std::function<void(int, const std::optional<TPingReply> &)> &replied) {
    for (int i = 0; i < count && !stopRequested(); ++i) {
        replied(i, request());
    }
}

void PaceRequests(int interval, const std::function<std::optional<TPingReply>()> &request,
                  const std::function<bool()> &stopRequested, const std::function<void(int)> &pause,
                  const std::function<void(int, const std::optional<TPingReply> &)> &replied) {
    QElapsedTimer sinceStart;
    for (int i = 0; !stopRequested(); ++i) {
        sinceStart.start();
        replied(i, request());
        const qint64 rest = interval - sinceStart.elapsed();
        if (rest > 0 && !stopRequested()) {
            pause(static_cast<int>(rest));
        }
    }
}
