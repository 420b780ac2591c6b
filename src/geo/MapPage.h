#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>
#include <functional>

// Building the map page: one marker per located address of the address pane, put into a page
// template (geo/PageTemplates.h) whose script draws a dark map.

// The map provider's addresses: the base of the map script (the "Maps Script URL" service
// setting or the provider's own) and the public map page shown when there is nothing to locate
// (the "Public Map URL" service setting or the provider's own).
QString MapScriptBaseUrl();
QString PublicMapUrl();

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
bool AddMapPlace(TMapPieces *pieces, int number, const QString &address, const QString &ipv4,
                 const QString &latitude, const QString &longitude);

// The script element that loads the map script with `key` (percent-encoded) and the callback
// initMap, asynchronously and deferred.
QString MapKeyElement(const QString &key);

// Fills the placeholders of `pageTemplate` ("[- GOOGLE KEY -]", "[- IMAGE -]", "[- POSITION -]",
// "[- IP INFO -]", "[- MARKER -]", "[- OPEN INFO -]", in any letter case) with the key element
// and the pieces. Every occurrence is replaced in one pass over the template, so text inside an
// inserted piece is never taken for a placeholder.
QString FillMapTemplate(const QString &pageTemplate, const TMapPieces &pieces,
                        const QString &keyElement);

// Looks up the coordinates of an IPv4 text; sets latitude and longitude (empty: no location).
using TCoordinateLookup =
    std::function<void(const QString &ipv4, QString *latitude, QString *longitude)>;

// The whole page for the lines of the address pane: line n (from 1) that the lookup locates
// becomes place n; lines without a location add nothing. An empty pane gives an empty page.
QString BuildMapPage(const QStringList &paneLines, bool useFlag, const QString &key,
                     const QString &pageTemplate, const TCoordinateLookup &lookup);
