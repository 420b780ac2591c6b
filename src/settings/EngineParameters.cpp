#include "settings/EngineParameters.h"

#include "settings/SettingsFile.h"

bool TEngineParameters::operator==(const TEngineParameters &other) const {
    return TimeOut == other.TimeOut && BufferSize == other.BufferSize && Retries == other.Retries &&
           Interval == other.Interval && TTL == other.TTL && Rate == other.Rate;
}

TEngineParameters EngineParameters(const TSettingsValues &values) {
    TEngineParameters parameters;
    // The engine fields are 16 bits wide: larger values wrap, as they always have.
    parameters.TimeOut = static_cast<quint16>(values.PingTimeOutValue);
    parameters.BufferSize = static_cast<quint16>(values.PingBufferSizeValue);
    parameters.Retries = static_cast<quint16>(values.PingRetriesNoValue);
    parameters.Interval = ClampToRange(values.PingIntervalValue, kIntervalRange);
    parameters.TTL = static_cast<quint16>(values.PingTTLValue);
    parameters.Rate = values.PingRateValue < 0 ? kStandardRateSetting
                                               : ClampToRange(values.PingRateValue, kRateRange);
    return parameters;
}
