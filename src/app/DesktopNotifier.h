#pragma once

#include <QObject>
#include <QString>

// Desktop notifications through the freedesktop notification service on the session bus. A
// notice is sent without waiting for the service's answer, so that a slow or missing service
// never holds up the window.
class TDesktopNotifier final : public QObject {
    Q_OBJECT

  public:
    explicit TDesktopNotifier(QObject *parent = nullptr);

    // Shows a notification; `urgent` asks the service to keep it until it is seen.
    void Notify(const QString &summary, const QString &body, bool urgent);

  signals:
    // No notification could be shown: no session bus, or no notification service on it. Told
    // once per notifier; later notices are dropped silently.
    void Unavailable(const QString &reason);

  private:
    void GiveUp(const QString &reason);

    bool unavailable_ = false;
};
