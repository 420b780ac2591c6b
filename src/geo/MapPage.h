#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>
#include <functional>

#include "common/MapPlaces.h"

// Building the map page: one marker per located address of the address pane, put into a page
// template (geo/PageTemplates.h) whose script draws a dark map.

// The map provider's addresses: the base of the map script (the "Maps Script URL" service
// setting or the provider's own) and the public map page shown when there is nothing to locate
// (the "Public Map URL" service setting or the provider's own).
QString MapScriptBaseUrl();
QString PublicMapUrl();

// The two map providers: Google Maps (its script, with the user's key) and OpenStreetMap, drawn
// by the Leaflet library of the system (Debian's libjs-leaflet) with tiles from the "Tile URL"
// service setting.
enum class TMapProvider { Google, OpenStreetMap };

// The tile address template of the OpenStreetMap page ("{z}/{x}/{y}" filled by the page): the
// "Tile URL" service setting, or OpenStreetMap's own tile server.
QString TileUrlTemplate();

// The folder of the system's Leaflet files, which the program's URL scheme serves under
// "tarvex://map/leaflet/".
QString LeafletFolder();
// The files of LeafletFolder that the page may load: Leaflet, its marker cluster plugin, their
// style sheets and pictures ("leaflet.js", "images/marker-icon.png", ...).
const QStringList &LeafletFiles();

// The address part of an address pane line ("IPv4 - <ip>\t\tAddress - <address>"): the text
// after the first "Address - ". A line without "Address - " gives the line from its tenth
// character on.
QString PaneLineAddress(const QString &line);

// The IPv4 (or IPv6) part of an address pane line: the text before the first "Address" without
// blanks, tabs, "IPv4-" and "IPv6-" (in any letter case). A line without "Address" gives the
// empty text.
QString PaneLineIPv4(const QString &line);

// Returns `text` escaped for the inside of a double- or single-quoted script string that sits
// in an HTML script element: backslash, quotes, line breaks and other control characters, "<"
// and ">" (so that "</script>" cannot end the element) are written as escapes.
QString EscapeScriptString(const QString &text);

// Returns `text` with &, <, >, " and ' written as HTML character references.
QString EscapeHtml(const QString &text);

// Returns true when `text`, less surrounding blanks, is a plain decimal number (optional sign,
// digits with an optional decimal point, optional exponent) that is finite.
bool IsMapCoordinate(const QString &text);

// The script pieces of a page. Each place adds one line, preceded by CR LF, to each of the last
// four.
struct TMapPieces {
    QString Image;
    QString Positions;
    QString InfoWindows;
    QString Markers;
    QString Listeners;
};

// The map window serves its page and the two marker pictures from memory under the program's
// own URL scheme, so the page needs no access to local files and has no size limit:
// "tarvex://map/page.html", "tarvex://map/Marker.png" and "tarvex://map/Flag.png".
inline constexpr const char *kMapScheme = "tarvex";
inline constexpr const char *kMapHost = "map";
QUrl MapPageUrl();
QUrl MapPictureUrl(bool useFlag);

// The data folder's picture behind MapPictureUrl: Flag.png when `useFlag` is set, Marker.png
// otherwise.
QString MapPicturePath(bool useFlag);

// The image line: `var image = "<URL>"` naming MapPictureUrl(useFlag).
QString MapImageLine(bool useFlag);

// Adds the four lines of place `number` to `pieces`: its position, its info window (showing
// "URL: " address and "IPv4: " address, or "IPv6: " for an IPv6 address, both escaped), its marker
// and its click listener. Returns false, adding nothing, when latitude or longitude is not a number
// (IsMapCoordinate).
// `approximateIn`, when not empty, names where the address was placed for want of its own
// position ("Netherlands (NL)"); the info window then says so in a third line
// ("Approximate: in Netherlands (NL)").
bool AddMapPlace(TMapPieces *pieces, int number, const QString &address, const QString &ipv4,
                 const QString &latitude, const QString &longitude,
                 const QString &approximateIn = QString());

// The same for the OpenStreetMap page: the position, the info window's text, a Leaflet marker
// (collected into the page's `placed` list) and the binding of the info window to it.
bool AddLeafletPlace(TMapPieces *pieces, int number, const QString &address, const QString &ip,
                     const QString &latitude, const QString &longitude,
                     const QString &approximateIn = QString());

// The address of the map script with `key` (percent-encoded) and the callback initMap.
QString MapScriptUrl(const QString &key);
// The same address as the window shows it: without the key and the callback.
QString MapScriptShownUrl();

// Titles the page takes to tell the window what went wrong: the map script could not be loaded,
// or the map service refused the key (it calls the page's gm_authFailure).
inline constexpr const char *kMapScriptFailedTitle = "Tarvex: map script failed";
inline constexpr const char *kMapKeyRefusedTitle = "Tarvex: map key refused";

// The script elements that load the map script (MapScriptUrl), asynchronously and deferred:
// a small script first that gives the page the title kMapKeyRefusedTitle when the service
// refuses the key, then the map script, whose failure to load gives it kMapScriptFailedTitle.
QString MapKeyElement(const QString &key);

// What the map window says when something it needs failed (plain text, one paragraph each).
// No key: the map is OpenStreetMap; what a key is for and where it goes.
QString MissingKeyNotice();
// `failed` of `total` distinct addresses were not located; `request` is the address asked for
// by the first of them, `error` its recorded error text.
QString LookupFailureNotice(int failed, int total, const QString &request, const QString &error);
// The user cancelled the lookup of the addresses (Esc): the map shows none of them.
QString LookupCancelledNotice();
// A page or script (`what`, e.g. "The public map") could not be loaded from `address`.
QString LoadFailureNotice(const QString &what, const QString &address, const QString &error);
// The map service refused the key.
QString KeyRefusedNotice();
// `placed` of `total` distinct addresses were not located by the service and are placed in their
// country instead; `request` and `error` as for LookupFailureNotice.
QString CountryFallbackNotice(int placed, int total, const QString &request, const QString &error);
// The system's Leaflet is not installed.
QString MissingLeafletNotice();
// The tiles could not be loaded from the tile server.
QString TilesFailedNotice(const QString &tileUrl);

// Fills the placeholders of `pageTemplate` ("[- GOOGLE KEY -]", "[- IMAGE -]", "[- POSITION -]",
// "[- IP INFO -]", "[- MARKER -]", "[- OPEN INFO -]", in any letter case) with the key element
// and the pieces. Every occurrence is replaced in one pass over the template, so text inside an
// inserted piece is never taken for a placeholder.
// `more` names further placeholders and their texts.
QString FillMapTemplate(const QString &pageTemplate, const TMapPieces &pieces,
                        const QString &keyElement, const QList<QPair<QString, QString>> &more = {});

// Looks up the coordinates of an IPv4 text; sets latitude and longitude (empty: no location).
using TCoordinateLookup =
    std::function<void(const QString &ipv4, QString *latitude, QString *longitude)>;

// The whole page for the lines of the address pane: line n (from 1) that the lookup locates
// becomes place n; lines without a location add nothing. An empty pane gives an empty page.
// With `route`, the lines are the hops of a traced route in order: each marker carries its
// place's number as its label, and one line joins the located places in that order.
QString BuildMapPage(const QStringList &paneLines, bool useFlag, const QString &key,
                     const QString &pageTemplate, const TCoordinateLookup &lookup,
                     bool route = false);

// The title the OpenStreetMap page takes when a tile could not be loaded.
inline constexpr const char *kTilesFailedTitle = "Tarvex: map tiles failed";

// Where an address lies, for BuildProviderPage: the map window's places (both coordinates empty:
// no location; Approximate: placed in its country, named by CountryName and CountryCode).
using TPlaceOfAddress = std::function<TMapPlace(const QString &ip)>;

// The whole page of `provider` for the lines of the address pane, as BuildMapPage builds it: the
// Google page from the located-addresses template with `key`, the OpenStreetMap page from its
// own template with the tile address. An empty pane gives an empty Google page, and an
// OpenStreetMap page without markers.
QString BuildProviderPage(TMapProvider provider, const QStringList &paneLines, bool useFlag,
                          const QString &key, const TPlaceOfAddress &place, bool route = false);
