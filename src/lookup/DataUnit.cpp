#include "lookup/DataUnit.h"

#include "lookup/LocationDatabase.h"

#include <QSet>

#include "common/BlockingCall.h"
#include "common/Errors.h"
#include "common/ThreadHandOver.h"
#include "lookup/Geolocation.h"

TPingDataModule::TPingDataModule(QObject *parent) : QObject(parent) {
    setObjectName(QStringLiteral("PingDataModule"));
}

void TPingDataModule::CreateWhoIsServerList(const QString &zoneTable) {
    WhoIsServerList = WhoisReplyLines(zoneTable);
}

QString TPingDataModule::GetZona(const QString &URL) const {
    return WhoisZone(URL);
}

QString TPingDataModule::GetRIPE(const QString &URL) {
    const auto query = RipeQuery(URL);
    const TCancelSignal never;
    return RunBlocking([&] { return query(never); });
}

std::function<QString(const TCancelSignal &)> TPingDataModule::RipeQuery(const QString &URL) const {
    // Copies: the query may still run after the table or the settings have changed.
    return [serverList = WhoIsServerList, URL, server = WhoisServerAddress(),
            limits = WhoisLimits](const TCancelSignal &cancel) {
        return WhoisLookup(serverList, URL, server, limits, &cancel);
    };
}

void TPingDataModule::GetGeolocationInfo(const QString &IpAddress) {
    TGeolocationResult result;
    try {
        const TExchangeLimits limits = GeolocationLimits;
        result.Info = RunBlocking([&] { return LookUpGeolocation(IpAddress, limits); });
    } catch (const TxError &error) {
        result.Error = GeolocationErrorText(error.ClassName(), error.Message());
    } catch (const std::exception &error) {
        result.Error = GeolocationErrorText(QStringLiteral("Exception"), ErrorText(error));
    }
    StoreResult(result);
}

QHash<QString, TGeolocationResult> TPingDataModule::GetGeolocationInfos(
    const QStringList &IpAddresses, const std::function<void(int, int)> &progress) {
    QHash<QString, TGeolocationResult> results;
    if (IpAddresses.isEmpty()) {
        return results;
    }
    const TExchangeLimits limits = GeolocationLimits;
    TLookupProgress report;
    if (progress) {
        progress(0, static_cast<int>(QSet<QString>(IpAddresses.begin(), IpAddresses.end()).size()));
        // The lookups end on worker threads; the callback runs on this object's thread, where
        // RunBlocking's loop delivers it while the lookups go on.
        report = [this, progress](int done, int total) {
            PostCall(this, [progress, done, total] { progress(done, total); });
        };
    }
    results = RunBlocking(
        [&] { return LookUpGeolocations(IpAddresses, kParallelLookups, limits, report); });
    StoreResult(results.value(IpAddresses.constLast()));
    return results;
}

TPlaceQuery TPingDataModule::PlacesQuery(const QStringList &IpAddresses,
                                         const std::function<void(int, int)> &progress,
                                         bool askService) {
    return [IpAddresses, progress, askService,
            limits = GeolocationLimits](const TCancelSignal &cancel) {
        QHash<QString, TGeolocationResult> results;
        if (askService && !IpAddresses.isEmpty()) {
            if (progress) {
                progress(0, static_cast<int>(
                                QSet<QString>(IpAddresses.begin(), IpAddresses.end()).size()));
            }
            results = LookUpGeolocations(IpAddresses, kParallelLookups, limits, progress, &cancel);
        }
        cancel.RaiseIfCancelled();
        QHash<QString, TMapPlace> places;
        bool noteGiven = false;
        for (const QString &address : IpAddresses) {
            if (places.contains(address)) {
                continue;
            }
            const TGeolocationResult result = results.value(address);
            TMapPlace place;
            place.Latitude = result.Info.Latitude;
            place.Longitude = result.Info.Longitude;
            place.Request = askService ? GeolocationRequestUrl(address) : QString();
            place.Error = result.Error;
            if (place.Latitude.trimmed().isEmpty() || place.Longitude.trimmed().isEmpty()) {
                const TNetworkLocation location = LookUpNetwork(address);
                double latitude = 0;
                double longitude = 0;
                if (CountryCentre(location.CountryCode, &latitude, &longitude)) {
                    place.Latitude = QString::number(latitude, 'f', 2);
                    place.Longitude = QString::number(longitude, 'f', 2);
                    place.Approximate = true;
                    place.CountryCode = location.CountryCode;
                    place.CountryName = location.CountryName;
                } else if (!noteGiven) {
                    place.Latitude.clear();
                    place.Longitude.clear();
                    place.Note = TakeLocationDatabaseNotice();
                    noteGiven = !place.Note.isEmpty();
                }
            }
            places.insert(address, place);
        }
        return places;
    };
}

void TPingDataModule::StoreResult(const TGeolocationResult &result) {
    // A failed lookup leaves every field empty, so that no marker lands on the previous
    // address's place.
    const TGeolocationInfo &info = result.Info;
    GetError = result.Error;
    CountryCode = info.CountryCode;
    CountryName = info.CountryName;
    RegionCode = info.RegionCode;
    RegionName = info.RegionName;
    City = info.City;
    ZipCode = info.ZipCode;
    Latitude = info.Latitude;
    Longitude = info.Longitude;
    GetStatus = true;
}
