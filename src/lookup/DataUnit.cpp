#include "lookup/DataUnit.h"

#include "common/BlockingCall.h"
#include "common/Errors.h"
#include "lookup/Geolocation.h"
#include "lookup/PageTemplates.h"

TPingDataModule *PingDataModule = nullptr;

TPingDataModule::TPingDataModule(QObject *parent)
    : QObject(parent), PingGeolocation(PingGeolocationTemplate()), GoogleMap(GoogleMapTemplate()) {
    setObjectName(QStringLiteral("PingDataModule"));
}

void TPingDataModule::CreateWhoIsServerList(const QString &zoneTable) {
    WhoIsServerList = WhoisReplyLines(zoneTable);
}

QString TPingDataModule::GetZona(const QString &URL) const {
    return WhoisZone(URL);
}

QString TPingDataModule::GetRIPE(const QString &URL) {
    if (!WhoisZoneListed(WhoIsServerList, GetZona(URL))) {
        return QString::fromLatin1(kWhoisNoResults);
    }
    const QStringList serverList = WhoIsServerList;
    const QString server = WhoisServerAddress();
    const TExchangeLimits limits = WhoisLimits;
    return RunBlocking([&] { return WhoisLookup(serverList, URL, server, limits); });
}

void TPingDataModule::GetGeolocationInfo(const QString &IpAddress) {
    GetError.clear();
    TGeolocationInfo info;
    try {
        const TExchangeLimits limits = GeolocationLimits;
        info = RunBlocking([&] { return LookUpGeolocation(IpAddress, limits); });
    } catch (const TxError &error) {
        GetError = GeolocationErrorText(error.ClassName(), error.Message());
    } catch (const std::exception &error) {
        GetError = GeolocationErrorText(QStringLiteral("Exception"), ErrorText(error));
    }
    // A failed lookup leaves every field empty (info is still blank), so that no marker lands on
    // the previous address's place.
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
