#pragma once

#include <QString>
#include <QVariant>

#include "support/LoopbackServer.h"

class QWebEngineView;

// The web services of the map window, served on 127.0.0.1 by a LoopbackServer:
// - "/xml/192.0.2.1" and "/xml/127.0.0.1" locate at 52.37, 4.89; "/xml/192.0.2.2" and
//   "/xml/127.0.0.2" at -33.86, 151.2; "/xml/10.0.a.b" at a / 10, b / 10; any other address is
//   not found (404);
// - "/maps/api/js..." is a stand-in for the map provider's script: it tries to read a local file
//   (window.localFile ends as "blocked" or "read: " and the text), defines the objects the page
//   uses, records what the page creates (window.markerCount, markerIcons, infoContents,
//   listenerCount, mapZoom), shows the pictures of the first ten markers, and calls initMap;
//   with the key "REFUSED" it only calls the page's gm_authFailure, as the provider does with a
//   key it refuses;
// - "/tiles/..." answers any map tile with a small picture, and records "agent " and the
//   request's User-Agent;
// - "/public" is a small public map page.
// Every request path is recorded.
void ServeMapServices(LoopbackConnection &connection, LoopbackServer &server);

// The recorded requests that a page build makes (geolocation lookups and the map script); the
// browser's own requests, such as the page icon, are left out.
QList<QByteArray> PageBuildRequests(const LoopbackServer &server);

// Runs `script` in the view's page and returns its value (waits for it).
QVariant Evaluate(QWebEngineView *view, const QString &script);
