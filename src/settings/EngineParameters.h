#pragma once

#include <QString>
#include <QtGlobal>

// The texts of the settings window's value fields, as they stand when the window is applied.
struct TEngineTexts {
    QString TimeOut;
    QString BufferSize;
    QString Retries;
    QString Interval;
    QString TTL;
};

// The parameters the ping engine runs with.
struct TEngineParameters {
    quint16 TimeOut = 0;
    quint16 BufferSize = 0;
    quint16 Retries = 0;
    // Milliseconds from one request of "ping until stopped" to the next.
    qint32 Interval = 300;
    quint16 TTL = 0;

    bool operator==(const TEngineParameters &other) const;
};

// Returns the engine's parameters for the settings window's texts. Each text is converted as
// ParseIntegerText converts it; a text that does not convert gives time-out 1000, buffer size
// 32, retries 4, interval 300 and TTL 128. The 16-bit fields keep the low 16 bits of a value
// that does not fit them; the interval is moved into kIntervalRange.
TEngineParameters EngineParameters(const TEngineTexts &texts);
