#pragma once

#include <QByteArray>
#include <QWebEngineUrlSchemeHandler>

class QWebEngineUrlRequestJob;

// Registers the program's URL scheme ("tarvex", host syntax) with the web engine. The engine
// takes schemes only before it makes its first object; this code registers it as it is loaded
// (with the browser module, before any browser exists, or with a test that links the map window
// directly, before main), so the scheme is always in time. Calling it again does nothing.
void RegisterMapScheme();

// Serves the map window's URLs from memory: "tarvex://map/page.html" is the page last handed to
// SetPage, "tarvex://map/Marker.png" and "tarvex://map/Flag.png" the data folder's pictures,
// "tarvex://map/leaflet/<file>" the listed files of the system's Leaflet (LeafletFiles). Anything
// else is not found. Installed on the map window's own browser profile only.
class TMapSchemeHandler final : public QWebEngineUrlSchemeHandler {
    Q_OBJECT

  public:
    explicit TMapSchemeHandler(QObject *parent = nullptr);

    // The page served as "tarvex://map/page.html" from now on (UTF-8 HTML).
    void SetPage(const QByteArray &html);

    void requestStarted(QWebEngineUrlRequestJob *job) override;

  private:
    QByteArray page_;
};
