#pragma once

#include <QString>

// The two map page templates, lines joined by CR LF: the page for located addresses, and the
// trace page. Their placeholders are filled by the map page builder.
QString PingGeolocationTemplate();
QString GoogleMapTemplate();
// The OpenStreetMap page (Leaflet): the placeholders of the located-addresses page, and
// "[- TILE URL -]" and "[- TILE ERROR TITLE -]".
QString OpenStreetMapTemplate();
