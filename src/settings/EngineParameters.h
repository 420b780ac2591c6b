#pragma once

#include <QtGlobal>

#include "settings/SettingsFile.h"

struct TSettingsValues;

// The parameters the ping engine runs with.
struct TEngineParameters {
    quint16 TimeOut = 0;
    quint16 BufferSize = 0;
    quint16 Retries = 0;
    // Milliseconds from one request of "ping until stopped" to the next.
    qint32 Interval = 300;
    quint16 TTL = 0;
    // Requests a second of list runs and watched lists, 0: no limit.
    qint32 Rate = kStandardRateSetting;

    bool operator==(const TEngineParameters &other) const;
};

// Returns the engine's parameters for the setting values. The 16-bit fields keep the low 16 bits
// of a value that does not fit them; the interval is moved into kIntervalRange. A rate below 0
// (a hand edit) is the standard one, not "no limit"; one above kRateRange is its maximum.
TEngineParameters EngineParameters(const TSettingsValues &values);
