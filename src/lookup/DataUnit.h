#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

#include "common/ExchangeLimits.h"
#include "common/MapPlaces.h"
#include "lookup/Geolocation.h"
#include "lookup/Whois.h"

class TCancelSignal;

// The shared data module: the WHOIS zone table and lookup, and the geolocation lookup with its
// result fields.
class TPingDataModule final : public QObject {
    Q_OBJECT

  public:
    explicit TPingDataModule(QObject *parent = nullptr);

    // Fills WhoIsServerList with the lines of `zoneTable` (at the first showing of the main
    // window, the built-in table of WhoisZoneTable()).
    void CreateWhoIsServerList(const QString &zoneTable);

    // Returns the zone of an address text: everything after its first "."; a text without "." is
    // its own zone.
    QString GetZona(const QString &URL) const;

    // Returns the WHOIS server's reply about the IPv4 address of `URL`, or "No results." when the
    // zone of `URL` occurs nowhere in WhoIsServerList (then nothing goes over the network). The
    // resolution and the query run through RunBlocking. Throws TxError when the WHOIS server
    // cannot be reached, or its reply breaks one of WhoisLimits.
    QString GetRIPE(const QString &URL);

    // GetRIPE for a window that must not wait: takes what the lookup of `URL` needs from this
    // module now, and returns the lookup itself, which blocks and may run on any thread. It
    // returns what GetRIPE returns and throws what it throws; once `cancel` is cancelled it ends
    // at once with "EIdCancelled" (WhoisQuery).
    std::function<QString(const TCancelSignal &cancel)> RipeQuery(const QString &URL) const;

    // Asks the geolocation service about `IpAddress` and stores the answer in the eight place
    // fields, with GetError empty. A failed lookup raises nothing: it empties the eight fields and
    // sets GetError to "Error <class> [ <message> ]". Either way GetStatus is true afterwards.
    // The request runs through RunBlocking.
    void GetGeolocationInfo(const QString &IpAddress);

    // Looks up each distinct address of `IpAddresses` once, at most kParallelLookups at a time,
    // through RunBlocking, and returns the results by address (a failed lookup: empty fields and
    // its error text). `progress(done, total)` is called on this object's thread, first with
    // done 0. Afterwards the result fields, GetError and GetStatus are as a lookup of the last
    // address of the list leaves them.
    QHash<QString, TGeolocationResult> GetGeolocationInfos(
        const QStringList &IpAddresses, const std::function<void(int, int)> &progress = {});

    // The places of the map window, as a lookup to run on a worker thread (TPlaceQuery): each
    // distinct address asked once, at most kParallelLookups at a time, each result cut down to
    // its coordinates, its request address and its error text. With `askService` false nobody is
    // asked (some users must not send addresses to a third party). An address left without
    // coordinates is placed in its country from the offline location database (Approximate),
    // where it knows one; the first place without any position carries the note that the
    // database is missing, once in the program's run. `progress(done, total)` is called from the
    // thread that runs the lookup, first with done 0 (when the service is asked), so it must be
    // safe to call from any thread. The result fields are left alone: the lookup may outlive a
    // window that no longer wants it.
    TPlaceQuery PlacesQuery(const QStringList &IpAddresses,
                            const std::function<void(int, int)> &progress, bool askService = true);

    // Lookups that GetGeolocationInfos runs at the same time: enough to hide the service's
    // latency, few enough not to look like a flood to it.
    static constexpr int kParallelLookups = 4;

    // The zone table, one line per zone.
    QStringList WhoIsServerList;

    // Time-outs, deadlines and size limits of the WHOIS query and of the geolocation request.
    TExchangeLimits WhoisLimits = kWhoisLimits;
    TExchangeLimits GeolocationLimits = kGeolocationLimits;

    // The result of the last geolocation lookup.
    QString CountryCode;
    QString CountryName;
    QString RegionCode;
    QString RegionName;
    QString City;
    QString ZipCode;
    QString Latitude;
    QString Longitude;
    QString GetError;
    bool GetStatus = false;

  private:
    // Stores one lookup's outcome in the result fields and sets GetStatus.
    void StoreResult(const TGeolocationResult &result);
};
