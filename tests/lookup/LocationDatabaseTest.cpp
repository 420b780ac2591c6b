#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <thread>
#include <vector>

#include "lookup/LocationDatabase.h"

namespace {

// Addresses of networks whose holders have kept them for decades, as Debian 12's database
// (libloc-database) records them.
struct KnownAddress {
    const char *address;
    const char *network;
    const char *country;
    const char *countryName;
    quint32 as;
    const char *asName;
};

const KnownAddress kKnown[] = {
    {"193.0.6.139", "193.0.0.0/21", "NL", "Netherlands", 3333,
     "Reseaux IP Europeens Network Coordination Centre (RIPE NCC)"},
    {"2001:67c:2e8:22::c100:68b", "2001:67c:2e8::/48", "NL", "Netherlands", 3333,
     "Reseaux IP Europeens Network Coordination Centre (RIPE NCC)"},
    {"8.8.8.8", "8.8.8.0/24", "US", "United States of America", 15169, "GOOGLE"},
    {"2001:4860:4860::8888", "2001:4860::/32", "US", "United States of America", 15169, "GOOGLE"},
    {" 130.89.1.1 ", "130.89.0.0/16", "NL", "Netherlands", 1133, "SURF B.V."},
    // An IPv4 address written as IPv4-mapped IPv6 is the IPv4 address.
    {"::ffff:8.8.8.8", "8.8.8.0/24", "US", "United States of America", 15169, "GOOGLE"},
};

TEST(LocationDatabase, KnownNetworksGiveTheirCountryAndAs) {
    TLocationDatabase database;
    ASSERT_TRUE(database.Available()) << database.Problem().toStdString();
    EXPECT_TRUE(database.Problem().isEmpty());
    EXPECT_TRUE(database.CreatedAt().isValid());
    for (const KnownAddress &known : kKnown) {
        SCOPED_TRACE(known.address);
        const TNetworkLocation location = database.LookUp(QString::fromLatin1(known.address));
        EXPECT_TRUE(location.Found());
        EXPECT_EQ(location.Address, QString::fromLatin1(known.address).trimmed());
        EXPECT_EQ(location.Network, QString::fromLatin1(known.network));
        EXPECT_EQ(location.CountryCode, QString::fromLatin1(known.country));
        EXPECT_EQ(location.CountryName, QString::fromLatin1(known.countryName));
        EXPECT_EQ(location.AsNumber, known.as);
        EXPECT_EQ(location.AsName, QString::fromLatin1(known.asName));
    }
}

// Private and reserved addresses lie in no country, whatever block of the database covers them
// (2001:db8::/32, the documentation prefix, lies inside an APNIC allocation the database gives
// to Australia). Texts that are no address give nothing either.
TEST(LocationDatabase, SpecialPurposeAddressesAndNonAddressesGiveNothing) {
    TLocationDatabase database;
    ASSERT_TRUE(database.Available());
    const char *const nothing[] = {
        "10.1.2.3",
        "172.16.5.4",
        "192.168.1.1",
        "127.0.0.1",
        "169.254.1.1",
        "100.64.0.1",
        "192.0.2.1",
        "198.51.100.7",
        "203.0.113.9",
        "198.18.0.1",
        "224.0.0.1",
        "240.0.0.1",
        "255.255.255.255",
        "0.0.0.0",
        "::",
        "::1",
        "fe80::1",
        "fe80::1%lo",
        "fd00::1",
        "ff02::1",
        "2001:db8::1",
        "::ffff:10.0.0.1",
        "64:ff9b::808:808",
        "example.org",
        "1.2.3",
        "",
        "8.8.8.8.8",
    };
    for (const char *text : nothing) {
        SCOPED_TRACE(text);
        const TNetworkLocation location = database.LookUp(QString::fromLatin1(text));
        EXPECT_FALSE(location.Found());
        EXPECT_TRUE(location.CountryCode.isEmpty());
        EXPECT_EQ(location.AsNumber, 0u);
        EXPECT_TRUE(AsText(location).isEmpty());
    }
    // The same ranges decide for any address inside them, IPv4 and IPv6.
    EXPECT_TRUE(IsSpecialPurposeAddress((QStringLiteral("172.31.255.255"))));
    EXPECT_FALSE(IsSpecialPurposeAddress((QStringLiteral("172.32.0.1"))));
    EXPECT_TRUE(IsSpecialPurposeAddress((QStringLiteral("fdff::1"))));
    EXPECT_FALSE(IsSpecialPurposeAddress((QStringLiteral("2001:4860::1"))));
}

TEST(LocationDatabase, AsTextOfTheTables) {
    TNetworkLocation location;
    EXPECT_EQ(AsText(location), QString());
    location.AsNumber = 3333;
    EXPECT_EQ(AsText(location), QStringLiteral("AS3333"));
    location.AsName = QStringLiteral("RIPE NCC");
    EXPECT_EQ(AsText(location), QStringLiteral("AS3333 RIPE NCC"));
}

TEST(CountryCentres, EveryCountryHasAPointOnEarthAndUnknownCodesNone) {
    const struct {
        const char *code;
        double latitude;
        double longitude;
    } rows[] = {
        // One time zone: its principal city.
        {"NL", 52.37, 4.90},
        {"fr", 48.87, 2.33},
        // Several: the median of their cities, inside the country.
        {"US", 41.30, -101.30},
        {"AU", -31.95, 146.14},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.code);
        double latitude = 0;
        double longitude = 0;
        ASSERT_TRUE(CountryCentre(QString::fromLatin1(row.code), &latitude, &longitude));
        EXPECT_DOUBLE_EQ(latitude, row.latitude);
        EXPECT_DOUBLE_EQ(longitude, row.longitude);
    }
    double latitude = 99;
    double longitude = 99;
    for (const char *code : {"ZZ", "", "A1", "NLD"}) {
        EXPECT_FALSE(CountryCentre(QString::fromLatin1(code), &latitude, &longitude)) << code;
    }
    EXPECT_EQ(latitude, 99);
    // Every country code the database gives for the known networks has its point.
    TLocationDatabase database;
    for (const KnownAddress &known : kKnown) {
        const TNetworkLocation location = database.LookUp(QString::fromLatin1(known.address));
        EXPECT_TRUE(CountryCentre(location.CountryCode, &latitude, &longitude)) << known.address;
        EXPECT_GE(latitude, -90);
        EXPECT_LE(latitude, 90);
        EXPECT_GE(longitude, -180);
        EXPECT_LE(longitude, 180);
    }
}

// A missing or damaged file is said, and every lookup gives nothing; nothing crashes.
TEST(LocationDatabase, MissingOrDamagedFileIsSaidAndGivesNothing) {
    QTemporaryDir folder;
    const QString damaged = folder.filePath(QStringLiteral("damaged.db"));
    {
        QFile file(damaged);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(4096, '\x5a'));
    }
    const QString truncated = folder.filePath(QStringLiteral("truncated.db"));
    {
        QFile real(TLocationDatabase::StandardPath());
        ASSERT_TRUE(real.open(QIODevice::ReadOnly));
        QFile file(truncated);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(real.read(200));
    }
    const struct {
        QString path;
        QString starts;
    } rows[] = {
        {folder.filePath(QStringLiteral("none.db")),
         QStringLiteral("The offline location database %1 is missing")
             .arg(folder.filePath(QStringLiteral("none.db")))},
        {damaged, QStringLiteral("The offline location database %1 cannot be read").arg(damaged)},
        {truncated,
         QStringLiteral("The offline location database %1 cannot be read").arg(truncated)},
        {folder.path(),
         QStringLiteral("The offline location database %1 is missing").arg(folder.path())},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.path.toStdString());
        TLocationDatabase database(row.path);
        EXPECT_FALSE(database.Available());
        EXPECT_TRUE(database.Problem().startsWith(row.starts)) << database.Problem().toStdString();
        EXPECT_FALSE(database.LookUp(QStringLiteral("8.8.8.8")).Found());
        EXPECT_FALSE(database.CreatedAt().isValid());
    }
}

// The program's database says it is missing once; another file for it is taken at once.
TEST(LocationDatabase, TheProgramsDatabaseSaysOnceThatItIsMissing) {
    SetLocationDatabasePath(QStringLiteral("/nonexistent/location.db"));
    EXPECT_FALSE(LookUpNetwork(QStringLiteral("8.8.8.8")).Found());
    const QString first = TakeLocationDatabaseNotice();
    EXPECT_TRUE(first.contains(QStringLiteral("/nonexistent/location.db"))) << first.toStdString();
    EXPECT_TRUE(first.contains(QStringLiteral("libloc-database")));
    EXPECT_EQ(TakeLocationDatabaseNotice(), QString());
    EXPECT_EQ(TakeLocationDatabaseNotice(), QString());

    SetLocationDatabasePath(QString());
    EXPECT_EQ(LookUpNetwork(QStringLiteral("8.8.8.8")).AsNumber, 15169u);
    EXPECT_EQ(TakeLocationDatabaseNotice(), QString());
}

// The tables ask from several threads at once (the watch list's workers, the window): every
// answer is the one a single thread gets.
TEST(LocationDatabase, LookupsFromManyThreadsAtOnceAgree) {
    TLocationDatabase database;
    std::vector<std::thread> threads;
    std::vector<int> wrong(6, 0);
    for (int t = 0; t < 6; ++t) {
        threads.emplace_back([&database, &wrong, t] {
            for (int i = 0; i < 3000; ++i) {
                const KnownAddress &known = kKnown[(i + t) % std::size(kKnown)];
                const TNetworkLocation location =
                    database.LookUp(QString::fromLatin1(known.address));
                if (location.AsNumber != known.as ||
                    location.CountryCode != QLatin1String(known.country)) {
                    ++wrong[t];
                }
            }
        });
    }
    for (std::thread &thread : threads) {
        thread.join();
    }
    EXPECT_EQ(wrong, std::vector<int>(6, 0));
}

TEST(CountryAndNetwork, AddressOfAPaneLineOrSelection) {
    const struct {
        const char *text;
        const char *address;
    } rows[] = {
        {"IPv4 - 193.0.6.139\t\tAddress - www.ripe.net", "193.0.6.139"},
        {"IPv6 - 2001:67c:2e8:22::c100:68b\tAddress - www.ripe.net", "2001:67c:2e8:22::c100:68b"},
        {"Reply from 8.8.8.8: bytes=32 time=5ms TTL=117", "8.8.8.8"},
        {"  1  router.example [10.0.0.1]   4  0%", "10.0.0.1"},
        {"::1", "::1"},
        {"8.8.8.8.", ""},
        {"Address - www.ripe.net", ""},
        {"", ""},
    };
    for (const auto &row : rows) {
        EXPECT_EQ(FirstAddressIn(QString::fromLatin1(row.text)), QString::fromLatin1(row.address))
            << row.text;
    }
}

TEST(CountryAndNetwork, LinesSayWhatTheDatabaseKnowsOrWhyNothing) {
    TLocationDatabase database;
    const QString created = database.CreatedAt().date().toString(Qt::ISODate);
    EXPECT_EQ(created, QStringLiteral("2022-10-29"));  // Debian 12's database
    const struct {
        const char *address;
        QStringList lines;
    } rows[] = {
        {"193.0.6.139",
         {QStringLiteral("Country and network of 193.0.6.139"),
          QStringLiteral("Country: NL Netherlands"), QStringLiteral("Network: 193.0.0.0/21"),
          QStringLiteral("AS: AS3333 Reseaux IP Europeens Network Coordination Centre (RIPE NCC)"),
          QStringLiteral("From the offline location database of ") + created}},
        {"2001:4860:4860::8888",
         {QStringLiteral("Country and network of 2001:4860:4860::8888"),
          QStringLiteral("Country: US United States of America"),
          QStringLiteral("Network: 2001:4860::/32"), QStringLiteral("AS: AS15169 GOOGLE"),
          QStringLiteral("From the offline location database of ") + created}},
        {"192.168.1.1",
         {QStringLiteral("Country and network of 192.168.1.1: none, it is a private or reserved "
                         "address (it lies in no country and no public network).")}},
        {"www.ripe.net",
         {QStringLiteral("Country and network of www.ripe.net: this is no IPv4 or IPv6 address.")}},
    };
    for (const auto &row : rows) {
        EXPECT_EQ(CountryAndNetworkLines(QString::fromLatin1(row.address), database), row.lines)
            << row.address;
    }
    TLocationDatabase missing(QStringLiteral("/nonexistent/location.db"));
    const QStringList lines = CountryAndNetworkLines(QStringLiteral("8.8.8.8"), missing);
    ASSERT_EQ(lines.size(), 1);
    EXPECT_EQ(lines.first(),
              QStringLiteral("Country and network of 8.8.8.8: unknown. ") + missing.Problem());
}

}  // namespace
