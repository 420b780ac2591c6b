#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <functional>

// Where addresses lie, as the map window needs them: the latitude and longitude texts of an
// address, both empty for one that was not found; and for a lookup that failed, what the window
// shows of it: the address the service was asked and the recorded error text
// ("Error <class> [ <message> ]").
// An address that the service did not locate can still be placed in its country (from the
// offline location database): then Approximate is set and the coordinates are the country's point.
struct TMapPlace {
    QString Latitude;
    QString Longitude;
    QString Request;
    QString Error;
    bool Approximate = false;
    QString CountryCode;
    QString CountryName;
    // Something the window says about the place beyond the error (that the offline location
    // database is missing, once).
    QString Note;
};

class TCancelSignal;

// A lookup of places, ready to run on a worker thread: blocks until each address has its place
// and returns the places by address; once `cancel` is cancelled it ends at once, and what it
// returns then does not count.
using TPlaceQuery = std::function<QHash<QString, TMapPlace>(const TCancelSignal &cancel)>;

// Prepares, on the caller's thread, the lookup of each distinct text of `addresses` and returns
// it, to be run on a worker thread; while it runs, `progress(done, total)` is called from that
// thread (so it must be safe to call from any thread). Throws TxError when the lookups cannot be
// made at all.
using TPlaceLookup = std::function<TPlaceQuery(
    const QStringList &addresses, const std::function<void(int done, int total)> &progress)>;
