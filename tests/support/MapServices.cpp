#include "support/MapServices.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <memory>

#include "support/TestSupport.h"

namespace {

// Stands in for the map provider's script: defines the objects the page uses, counts what the
// page creates, and calls the page back the way the real script does.
const QByteArray kFakeMapsScript = R"js(
// Whatever serves or alters the map script runs it with the page's rights: it must not be able
// to read the user's files.
window.localFile = 'pending';
try {
  var request = new XMLHttpRequest();
  request.onload = function () { window.localFile = 'read: ' + request.responseText; };
  request.onerror = function () { window.localFile = 'blocked'; };
  request.open('GET', 'file:///etc/hostname');
  request.send();
} catch (e) {
  window.localFile = 'blocked';
}
window.markerCount = 0;
window.markerIcons = [];
window.infoContents = [];
window.listenerCount = 0;
window.google = {maps: {
  Map: function (element, options) {
    window.mapZoom = options.zoom;
    this.element = element;
    element.style.background = options.styles[0].stylers[0].color;
  },
  InfoWindow: function (options) { window.infoContents.push(options.content); this.open = function () {}; },
  Marker: function (options) {
    window.markerCount++;
    window.markerIcons.push(options.icon);
    this.addListener = function () { window.listenerCount++; };
    if (window.markerCount > 10) return;  // a few pictures show that they load
    var picture = document.createElement('img');
    picture.src = options.icon;
    picture.style.position = 'absolute';
    picture.style.left = (30 + 1.6 * (options.position.lng + 180)) + 'px';
    picture.style.top = (10 + 1.6 * (90 - options.position.lat)) + 'px';
    options.map.element.appendChild(picture);
  },
  Polyline: function () { this.setMap = function () {}; }
}};
initMap();
)js";

QByteArray PlaceReply(const QByteArray &latitude, const QByteArray &longitude) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Response><CountryCode>NL</CountryCode>"
           "<Latitude>" +
           latitude + "</Latitude><Longitude>" + longitude + "</Longitude></Response>";
}

// The services of the window, all on 127.0.0.1: geolocation, map script and public map page.
}  // namespace

void ServeMapServices(LoopbackConnection &connection, LoopbackServer &server) {
    const QByteArray head = connection.ReadRequestHead();
    const QByteArray path = RequestPath(head);
    server.Record(path);
    if (path == "/xml/192.0.2.1" || path == "/xml/127.0.0.1") {
        connection.Write(HttpReply(200, "OK", PlaceReply("52.37", "4.89")));
    } else if (path == "/xml/192.0.2.2" || path == "/xml/127.0.0.2") {
        connection.Write(HttpReply(200, "OK", PlaceReply("-33.86", "151.2")));
    } else if (path.startsWith("/xml/10.0.")) {
        // 10.0.a.b is at latitude a / 10, longitude b / 10.
        const QList<QByteArray> parts = path.mid(5).split('.');
        const QByteArray a = parts.value(2);
        const QByteArray b = parts.value(3);
        connection.Write(HttpReply(200, "OK",
                                   PlaceReply(QByteArray::number(a.toInt() / 10.0),
                                              QByteArray::number(b.toInt() / 10.0))));
    } else if (path.startsWith("/maps/api/js?key=REFUSED&")) {
        // What the map provider's script does with a key it refuses.
        connection.Write(HttpReply(200, "OK", "window.gm_authFailure && gm_authFailure();",
                                   {"Content-Type: application/javascript"}));
    } else if (path.startsWith("/maps/api/js")) {
        connection.Write(
            HttpReply(200, "OK", kFakeMapsScript, {"Content-Type: application/javascript"}));
    } else if (path.startsWith("/tiles/")) {
        // A map tile: any picture does; who asks for it is recorded too.
        static const QByteArray tile = [] {
            QFile file(SourcePath(QStringLiteral("resources/images/Marker.png")));
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        }();
        for (const QByteArray &line : head.split('\n')) {
            if (line.toLower().startsWith("user-agent:")) {
                server.Record("agent " + line.mid(11).trimmed());
            }
        }
        connection.Write(HttpReply(200, "OK", tile, {"Content-Type: image/png"}));
    } else if (path == "/public") {
        connection.Write(HttpReply(200, "OK", "<html><body>public map</body></html>",
                                   {"Content-Type: text/html"}));
    } else {
        connection.Write(HttpReply(404, "Not Found", ""));
    }
}

QList<QByteArray> PageBuildRequests(const LoopbackServer &server) {
    QList<QByteArray> requests;
    for (const QByteArray &path : server.Recorded()) {
        if (path.startsWith("/xml/") || path.startsWith("/maps/")) {
            requests << path;
        }
    }
    return requests;
}

QVariant Evaluate(QWebEngineView *view, const QString &script) {
    // On a busy machine the answer can come after the wait has given up, or when the page goes
    // away: it must land in an object of its own, not in the frame of a call that has returned.
    struct Answer {
        QVariant value;
        bool done = false;
    };
    const auto answer = std::make_shared<Answer>();
    view->page()->runJavaScript(script, [answer](const QVariant &value) {
        answer->value = value;
        answer->done = true;
    });
    EXPECT_TRUE(WaitUntil([&] { return answer->done; }, 20000)) << script.toStdString();
    return answer->value;
}
