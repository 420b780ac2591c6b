#include "settings/EngineParameters.h"

#include "settings/NumberText.h"
#include "settings/SettingsFile.h"

bool TEngineParameters::operator==(const TEngineParameters &other) const {
    return TimeOut == other.TimeOut && BufferSize == other.BufferSize && Retries == other.Retries &&
           Interval == other.Interval && TTL == other.TTL;
}

TEngineParameters EngineParameters(const TEngineTexts &texts) {
    TEngineParameters parameters;
    // The engine fields are 16 bits wide: larger values wrap, as they always have.
    parameters.TimeOut = static_cast<quint16>(ReadIntegerText(texts.TimeOut, 1000));
    parameters.BufferSize = static_cast<quint16>(ReadIntegerText(texts.BufferSize, 32));
    parameters.Retries = static_cast<quint16>(ReadIntegerText(texts.Retries, 4));
    parameters.Interval = ClampToRange(ReadIntegerText(texts.Interval, 300), kIntervalRange);
    parameters.TTL = static_cast<quint16>(ReadIntegerText(texts.TTL, 128));
    return parameters;
}
