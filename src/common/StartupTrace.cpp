#include "common/StartupTrace.h"

#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

namespace {

double NowMs(clockid_t clock) {
    timespec now{};
    clock_gettime(clock, &now);
    return static_cast<double>(now.tv_sec) * 1000.0 + static_cast<double>(now.tv_nsec) / 1e6;
}

// The process's start in milliseconds of CLOCK_BOOTTIME: field 22 of /proc/self/stat counts
// clock ticks since boot. The command name (field 2) may hold blanks and parentheses, so the
// fields are counted from its closing parenthesis. Returns a negative value when unknown.
double ProcessStartBoottimeMs() {
    std::ifstream stat("/proc/self/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const std::string::size_type close = text.rfind(')');
    if (close == std::string::npos) {
        return -1;
    }
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    // After the name, field 3 (state) comes first; starttime is field 22.
    for (int index = 3; index < 22 && (fields >> field); ++index) {
    }
    unsigned long long ticks = 0;
    if (!(fields >> ticks)) {
        return -1;
    }
    const long perSecond = sysconf(_SC_CLK_TCK);
    return perSecond > 0 ? static_cast<double>(ticks) * 1000.0 / static_cast<double>(perSecond)
                         : -1;
}

struct Trace {
    bool enabled = false;
    double originMs = 0;    // the process's start on CLOCK_MONOTONIC
    double previousMs = 0;  // time of the previous line, since originMs
};

Trace &TheTrace() {
    static Trace trace = [] {
        Trace t;
        const char *value = std::getenv("TARVEX_STARTUP_TRACE");
        t.enabled = value != nullptr && std::strcmp(value, "") != 0 && std::strcmp(value, "0") != 0;
        if (!t.enabled) {
            return t;
        }
        const double monotonic = NowMs(CLOCK_MONOTONIC);
        const double start = ProcessStartBoottimeMs();
        const double sinceStart = start < 0 ? 0 : NowMs(CLOCK_BOOTTIME) - start;
        t.originMs = monotonic - (sinceStart > 0 ? sinceStart : 0);
        return t;
    }();
    return trace;
}

}  // namespace

void StartupPhase(const char *step) {
    Trace &trace = TheTrace();
    if (!trace.enabled) {
        return;
    }
    const double at = NowMs(CLOCK_MONOTONIC) - trace.originMs;
    std::fprintf(stderr, "tarvex start-up: %-34s %8.1f ms (+%.1f)\n", step, at,
                 at - trace.previousMs);
    std::fflush(stderr);
    trace.previousMs = at;
}
