#include "lookup/LocationDatabase.h"

#include <arpa/inet.h>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

extern "C" {
#include <libloc/as.h>
#include <libloc/country.h>
#include <libloc/database.h>
#include <libloc/libloc.h>
#include <libloc/network.h>
}

namespace {

struct TCountryPoint {
    const char *Code;
    double Latitude;
    double Longitude;
};

const TCountryPoint kCountryPoints[] = {
#include "CountryCentres.inc"
};

// An address as 16 bytes: IPv6 as it is, IPv4 as its IPv4-mapped IPv6 address (::ffff:a.b.c.d).
using TAddressBytes = std::array<unsigned char, 16>;

// Parses an IPv4 or IPv6 text (an IPv6 zone such as "%eth0" is dropped). False for anything else.
bool ParseAddress(const QString &text, TAddressBytes *bytes) {
    QByteArray latin = text.trimmed().toLatin1();
    const int zone = latin.indexOf('%');
    if (zone >= 0) {
        latin.truncate(zone);
    }
    in_addr v4{};
    in6_addr v6{};
    if (inet_pton(AF_INET, latin.constData(), &v4) == 1) {
        bytes->fill(0);
        (*bytes)[10] = 0xff;
        (*bytes)[11] = 0xff;
        std::memcpy(bytes->data() + 12, &v4, 4);
        return true;
    }
    if (inet_pton(AF_INET6, latin.constData(), &v6) == 1) {
        std::memcpy(bytes->data(), &v6, 16);
        return true;
    }
    return false;
}

bool IsMappedIPv4(const TAddressBytes &bytes) {
    static const unsigned char prefix[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
    return std::memcmp(bytes.data(), prefix, 12) == 0;
}

// The text the database is asked with: IPv4 (also for an IPv4-mapped address) or IPv6.
QString AddressText(const TAddressBytes &bytes) {
    char text[INET6_ADDRSTRLEN] = {};
    if (IsMappedIPv4(bytes)) {
        inet_ntop(AF_INET, bytes.data() + 12, text, sizeof text);
    } else {
        inet_ntop(AF_INET6, bytes.data(), text, sizeof text);
    }
    return QString::fromLatin1(text);
}

struct TSubnet {
    TAddressBytes Bytes;
    int Bits;  // prefix length over the 16 bytes (an IPv4 /8 is 96 + 8)
};

bool InSubnet(const TAddressBytes &address, const TSubnet &subnet) {
    const int whole = subnet.Bits / 8;
    if (std::memcmp(address.data(), subnet.Bytes.data(), whole) != 0) {
        return false;
    }
    const int rest = subnet.Bits % 8;
    if (rest == 0) {
        return true;
    }
    const unsigned char mask = static_cast<unsigned char>(0xff << (8 - rest));
    return (address[whole] & mask) == (subnet.Bytes[whole] & mask);
}

// IANA's special-purpose address registries (RFC 6890 and its updates), with the multicast and
// reserved blocks: none of these lies in a country.
const std::vector<TSubnet> &SpecialPurposeNetworks() {
    static const std::vector<TSubnet> networks = [] {
        const char *const texts[] = {
            "0.0.0.0/8",      "10.0.0.0/8",     "100.64.0.0/10",  "127.0.0.0/8",
            "169.254.0.0/16", "172.16.0.0/12",  "192.0.0.0/24",   "192.0.2.0/24",
            "192.88.99.0/24", "192.168.0.0/16", "198.18.0.0/15",  "198.51.100.0/24",
            "203.0.113.0/24", "224.0.0.0/4",    "240.0.0.0/4",    "::/128",
            "::1/128",        "64:ff9b::/96",   "64:ff9b:1::/48", "100::/64",
            "2001::/23",      "2001:db8::/32",  "3fff::/20",      "5f00::/16",
            "fc00::/7",       "fe80::/10",      "ff00::/8",
        };
        std::vector<TSubnet> parsed;
        for (const char *text : texts) {
            const QString subnet = QString::fromLatin1(text);
            const int slash = subnet.indexOf(QLatin1Char('/'));
            TSubnet network{};
            ParseAddress(subnet.left(slash), &network.Bytes);
            network.Bits =
                subnet.mid(slash + 1).toInt() + (subnet.contains(QLatin1Char(':')) ? 0 : 96);
            parsed.push_back(network);
        }
        return parsed;
    }();
    return networks;
}

bool IsSpecial(const TAddressBytes &bytes) {
    for (const TSubnet &network : SpecialPurposeNetworks()) {
        if (InSubnet(bytes, network)) {
            return true;
        }
    }
    return false;
}

}  // namespace

QString AsText(const TNetworkLocation &location) {
    if (location.AsNumber == 0) {
        return QString();
    }
    const QString number = QStringLiteral("AS%1").arg(location.AsNumber);
    return location.AsName.isEmpty() ? number : number + QLatin1Char(' ') + location.AsName;
}

bool IsSpecialPurposeAddress(const QString &address) {
    TAddressBytes bytes;
    return ParseAddress(address, &bytes) && IsSpecial(bytes);
}

bool CountryCentre(const QString &code, double *latitude, double *longitude) {
    const QByteArray wanted = code.trimmed().toUpper().toLatin1();
    for (const TCountryPoint &point : kCountryPoints) {
        if (wanted == point.Code) {
            *latitude = point.Latitude;
            *longitude = point.Longitude;
            return true;
        }
    }
    return false;
}

// ---------------------------------------------------------------------------------------------

struct TLocationDatabase::TOpened {
    loc_ctx *Context = nullptr;
    loc_database *Database = nullptr;

    ~TOpened() {
        if (Database != nullptr) {
            loc_database_unref(Database);
        }
        if (Context != nullptr) {
            loc_unref(Context);
        }
    }
};

QString TLocationDatabase::StandardPath() {
    return QStringLiteral("/var/lib/location/database.db");
}

TLocationDatabase::TLocationDatabase(const QString &path) : path_(path) {}

TLocationDatabase::~TLocationDatabase() = default;

TLocationDatabase::TOpened *TLocationDatabase::Opened() {
    if (tried_) {
        return opened_.get();
    }
    tried_ = true;
    const QString missing =
        QStringLiteral(
            "The offline location database %1 is missing, so addresses have no country or "
            "network (Debian installs it with the package libloc-database).")
            .arg(path_);
    if (!QFileInfo(path_).isFile()) {
        problem_ = missing;
        return nullptr;
    }
    std::FILE *file = std::fopen(QFile::encodeName(path_).constData(), "r");
    if (file == nullptr) {
        problem_ = QStringLiteral("The offline location database %1 cannot be opened: %2")
                       .arg(path_, QString::fromLocal8Bit(std::strerror(errno)));
        return nullptr;
    }
    auto opened = std::make_unique<TOpened>();
    int error = loc_new(&opened->Context);
    if (error == 0) {
        // The library logs to standard error by itself; what it has to say reaches the user as
        // the problem text instead.
        loc_set_log_priority(opened->Context, 0);
        error = loc_database_new(opened->Context, &opened->Database, file);
    }
    // The library maps the file into memory; the mapping outlives the stream.
    std::fclose(file);
    // A file cut short (a download that broke off) can still open, with a header that promises
    // everything, and then know no address at all. Networks that have been allocated to the same
    // holders since the 1990s are in every real database: one of them must be found.
    if (error == 0 && opened->Database != nullptr) {
        bool knowsAny = false;
        for (const char *probe : {"193.0.0.1", "8.8.8.8"}) {
            loc_network *network = nullptr;
            if (loc_database_lookup_from_string(opened->Database, probe, &network) == 0 &&
                network != nullptr) {
                loc_network_unref(network);
                knowsAny = true;
                break;
            }
        }
        if (!knowsAny) {
            loc_database_unref(opened->Database);
            error = 1;
        }
    }
    if (error != 0 || opened->Database == nullptr) {
        opened->Database = nullptr;
        problem_ = QStringLiteral(
                       "The offline location database %1 cannot be read (it is no location "
                       "database of a version this program knows, or it is damaged).")
                       .arg(path_);
        return nullptr;
    }
    opened_ = std::move(opened);
    return opened_.get();
}

TNetworkLocation TLocationDatabase::LookUp(const QString &text) {
    TNetworkLocation location;
    location.Address = text.trimmed();
    TAddressBytes address;
    if (!ParseAddress(text, &address) || IsSpecial(address)) {
        return location;
    }
    const std::lock_guard<std::mutex> lock(mutex_);
    TOpened *opened = Opened();
    if (opened == nullptr) {
        return location;
    }
    loc_network *network = nullptr;
    if (loc_database_lookup_from_string(
            opened->Database, AddressText(address).toLatin1().constData(), &network) != 0 ||
        network == nullptr) {
        return location;
    }
    location.Network = QString::fromLatin1(loc_network_str(network));
    location.CountryCode = QString::fromLatin1(loc_network_get_country_code(network));
    location.AsNumber = loc_network_get_asn(network);
    loc_network_unref(network);
    if (location.AsNumber != 0) {
        loc_as *as = nullptr;
        if (loc_database_get_as(opened->Database, &as, location.AsNumber) == 0 && as != nullptr) {
            location.AsName = QString::fromUtf8(loc_as_get_name(as)).trimmed();
            loc_as_unref(as);
        }
    }
    if (!location.CountryCode.isEmpty()) {
        loc_country *country = nullptr;
        if (loc_database_get_country(opened->Database, &country,
                                     location.CountryCode.toLatin1().constData()) == 0 &&
            country != nullptr) {
            location.CountryName = QString::fromUtf8(loc_country_get_name(country)).trimmed();
            loc_country_unref(country);
        }
    }
    return location;
}

bool TLocationDatabase::Available() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return Opened() != nullptr;
}

QString TLocationDatabase::Problem() {
    const std::lock_guard<std::mutex> lock(mutex_);
    Opened();
    return problem_;
}

QDateTime TLocationDatabase::CreatedAt() {
    const std::lock_guard<std::mutex> lock(mutex_);
    TOpened *opened = Opened();
    if (opened == nullptr) {
        return QDateTime();
    }
    return QDateTime::fromSecsSinceEpoch(loc_database_created_at(opened->Database), Qt::UTC);
}

// ---------------------------------------------------------------------------------------------

namespace {

std::mutex programDatabaseMutex;
std::unique_ptr<TLocationDatabase> programDatabase;
QString programDatabasePath;
bool noticeGiven = false;

}  // namespace

TLocationDatabase &LocationDatabase() {
    const std::lock_guard<std::mutex> lock(programDatabaseMutex);
    if (!programDatabase) {
        programDatabase = std::make_unique<TLocationDatabase>(
            programDatabasePath.isEmpty() ? TLocationDatabase::StandardPath()
                                          : programDatabasePath);
    }
    return *programDatabase;
}

void SetLocationDatabasePath(const QString &path) {
    const std::lock_guard<std::mutex> lock(programDatabaseMutex);
    programDatabasePath = path;
    programDatabase.reset();
    noticeGiven = false;
}

TNetworkLocation LookUpNetwork(const QString &address) {
    return LocationDatabase().LookUp(address);
}

QString TakeLocationDatabaseNotice() {
    const QString problem = LocationDatabase().Problem();
    const std::lock_guard<std::mutex> lock(programDatabaseMutex);
    if (problem.isEmpty() || noticeGiven) {
        return QString();
    }
    noticeGiven = true;
    return problem;
}

QString FirstAddressIn(const QString &text) {
    static const QRegularExpression separators(QStringLiteral("[\\s\\[\\](),;]+"));
    for (QString word : text.split(separators, Qt::SkipEmptyParts)) {
        while (word.endsWith(QLatin1Char(':')) && !word.endsWith(QLatin1String("::"))) {
            word.chop(1);
        }
        TAddressBytes bytes;
        if (ParseAddress(word, &bytes)) {
            return word;
        }
    }
    return QString();
}

QStringList CountryAndNetworkLines(const QString &address, TLocationDatabase &database) {
    const QString heading = QStringLiteral("Country and network of ") + address;
    TAddressBytes bytes;
    if (!ParseAddress(address, &bytes)) {
        return {heading + QStringLiteral(": this is no IPv4 or IPv6 address.")};
    }
    if (IsSpecial(bytes)) {
        return {heading +
                QStringLiteral(": none, it is a private or reserved address (it lies in no "
                               "country and no public network).")};
    }
    const TNetworkLocation location = database.LookUp(address);
    if (!database.Problem().isEmpty()) {
        return {heading + QStringLiteral(": unknown. ") + database.Problem()};
    }
    if (!location.Found()) {
        return {heading + QStringLiteral(": unknown, the offline location database does not "
                                         "hold this address.")};
    }
    QStringList lines{heading};
    if (!location.CountryCode.isEmpty()) {
        lines << (QStringLiteral("Country: ") + location.CountryCode + QLatin1Char(' ') +
                  location.CountryName)
                     .trimmed();
    }
    lines << QStringLiteral("Network: ") + location.Network;
    if (location.AsNumber != 0) {
        lines << QStringLiteral("AS: ") + AsText(location);
    }
    lines << QStringLiteral("From the offline location database of %1")
                 .arg(database.CreatedAt().date().toString(Qt::ISODate));
    return lines;
}
