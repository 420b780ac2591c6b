#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>
#include <functional>

#include "common/ExchangeLimits.h"

class TCancelSignal;

// The geolocation lookup: where an IPv4 address is, as a web service tells it.

// The place and coordinates of one address, each the text of the reply element of the same name,
// exactly as received.
struct TGeolocationInfo {
    QString CountryCode;
    QString CountryName;
    QString RegionCode;
    QString RegionName;
    QString City;
    QString ZipCode;
    QString Latitude;
    QString Longitude;
};

// Base address of the geolocation service: the "Geolocation URL" service setting, or the public
// service built in.
QString GeolocationServiceUrl();

// The request address for `ipAddress`: the service base, "/xml/" and the address as given
// (an empty address asks for "/xml/" alone).
QString GeolocationRequestUrl(const QString &ipAddress);

// Reads a reply document. The root element may have any name; each field is the text of the
// root's first child element of that name, empty when there is none. The encoding comes from the
// document (byte-order mark or XML declaration). Throws TxError with class "EDOMParseError" and
// a message with line and column when the reply is not well-formed XML, has no root element, or
// has an element inside one of the fields (a field holds text only). Reads the document in one
// flat pass, so any depth of nesting costs no stack.
TGeolocationInfo ParseGeolocationReply(const QByteArray &reply);

// The recorded text of a failed lookup: "Error ", the class name, " [ ", the message, " ]".
QString GeolocationErrorText(const QString &className, const QString &message);

// The outcome of one lookup among many: the place, or empty fields and the recorded error text
// ("Error <class> [ <message> ]") of a lookup that failed.
struct TGeolocationResult {
    TGeolocationInfo Info;
    QString Error;
};

// Reports how many of `total` lookups have ended.
using TLookupProgress = std::function<void(int done, int total)>;

// Looks up each distinct text of `ipAddresses` once, with at most `parallel` requests at a time,
// and returns the results by address. Blocks until every lookup has ended; a failed lookup
// raises nothing, it is recorded in its result. `progress`, when given, is called after each
// lookup from the thread that ran it (so it must be safe to call from any thread). Once `cancel`
// is cancelled, the requests under way end at once and those not yet made are not made; each
// records the cancel ("Error EIdCancelled [ ... ]").
QHash<QString, TGeolocationResult> LookUpGeolocations(const QStringList &ipAddresses, int parallel,
                                                      const TExchangeLimits &limits,
                                                      const TLookupProgress &progress = {},
                                                      const TCancelSignal *cancel = nullptr);

// Asks the service about `ipAddress` and returns the place. Blocks (a window runs it on a worker
// thread). Throws the HTTP client's TxError or ParseGeolocationReply's; `cancel` as for HttpGet.
TGeolocationInfo LookUpGeolocation(const QString &ipAddress,
                                   const TExchangeLimits &limits = kGeolocationLimits,
                                   const TCancelSignal *cancel = nullptr);
