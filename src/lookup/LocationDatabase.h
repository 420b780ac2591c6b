#pragma once

#include <QDateTime>
#include <QString>
#include <memory>
#include <mutex>

// The offline location database: the IPFire location database that Debian ships (libloc-database),
// read with libloc. It tells the country and the autonomous system (AS) of an IPv4 or IPv6
// address without asking anyone on the network.

// What the database tells about one address. Every field is empty (AsNumber 0) when it does not
// know the address.
struct TNetworkLocation {
    QString Address;      // the address as looked up
    QString Network;      // the database's network that holds it, "193.0.0.0/21"
    QString CountryCode;  // ISO 3166 code, "NL"
    QString CountryName;  // "Netherlands"
    quint32 AsNumber = 0;
    QString AsName;  // "Reseaux IP Europeens Network Coordination Centre (RIPE NCC)"

    bool Found() const { return !Network.isEmpty(); }
};

// The network of a location as the tables show it: "AS3333 RIPE NCC"-style ("AS", number, blank,
// name), "AS3333" without a name, "" without an AS.
QString AsText(const TNetworkLocation &location);

// Returns true for an address that lies in no country: private, loopback, link-local,
// unspecified, shared (carrier-grade NAT), benchmarking, documentation, multicast and the other
// special-purpose ranges of IANA's registries. The database's allocations can cover some of them
// (2001:db8::/32 lies inside an APNIC block), so they are answered before it is asked. False for
// a text that is no IPv4 or IPv6 address.
bool IsSpecialPurposeAddress(const QString &address);

// Where the map places an address of country `code` (ISO 3166, any letter case) when nothing
// finer is known. Returns false, setting nothing, for a code without a point.
bool CountryCentre(const QString &code, double *latitude, double *longitude);

// One database file. Opened on the first question, not before (the program's start never waits
// for it). Every method may be called from any thread: libloc's objects count their references
// without atomics, so one lock covers every call into it (a lookup takes well under a
// millisecond).
class TLocationDatabase final {
  public:
    // The file Debian's libloc-database installs.
    static QString StandardPath();

    explicit TLocationDatabase(const QString &path = StandardPath());
    ~TLocationDatabase();
    TLocationDatabase(const TLocationDatabase &) = delete;
    TLocationDatabase &operator=(const TLocationDatabase &) = delete;

    QString Path() const { return path_; }

    // What the database knows about `address` (an IPv4 or IPv6 text; an IPv4-mapped IPv6 address
    // counts as its IPv4 address). Nothing for a text that is no address, a special-purpose
    // address, an address the database does not hold, or a database that cannot be used.
    TNetworkLocation LookUp(const QString &address);

    // True when the file could be opened and read (opens it if that was not tried yet).
    bool Available();
    // Why the database cannot be used ("" when it can): the file is missing or unreadable.
    QString Problem();
    // When the database was made (invalid when it cannot be used).
    QDateTime CreatedAt();

  private:
    struct TOpened;
    // Opens the file on the first call; the caller holds mutex_.
    TOpened *Opened();

    QString path_;
    std::mutex mutex_;
    bool tried_ = false;
    QString problem_;
    std::unique_ptr<TOpened> opened_;
};

// The program's database: the standard file, or the one SetLocationDatabasePath names.
TLocationDatabase &LocationDatabase();

// Makes LocationDatabase() use the file at `path` from now on (tests: another file, a missing one;
// an empty path puts the standard file back). Not while another thread uses the database.
void SetLocationDatabasePath(const QString &path);

// The country and network of `address` from the program's database, as the tables of the main
// window show them (route hops, watched addresses). Safe to call from any thread.
TNetworkLocation LookUpNetwork(const QString &address);

// Returns the text that says the program's database cannot be used, the first time this is
// asked while it cannot; "" every other time, so that the program says it once.
QString TakeLocationDatabaseNotice();

// The first word of `text` that is an IPv4 or IPv6 address (words are parted by blanks, tabs,
// brackets, commas and semicolons; a colon at a word's end is dropped), "" when there is none:
// the address of an address pane line, "IPv4 - 193.0.6.139\t\tAddress - www.ripe.net".
QString FirstAddressIn(const QString &text);

// The lines "Country and network" writes for `address` from `database`: a heading, then the
// country, the network and the AS; for an address the database does not know, a private or
// reserved address, or a database that cannot be used, one line that says so.
QStringList CountryAndNetworkLines(const QString &address, TLocationDatabase &database);
