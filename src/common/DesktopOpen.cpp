#include "common/DesktopOpen.h"

#include <QDesktopServices>
#include <QList>

namespace {
bool desktopOpenEnabled = true;
QList<QUrl> suppressed;
}  // namespace

bool OpenInDesktop(const QUrl &url) {
    if (!desktopOpenEnabled) {
        suppressed.append(url);
        return true;
    }
    return QDesktopServices::openUrl(url);
}

bool SetDesktopOpenEnabled(bool enabled) {
    const bool previous = desktopOpenEnabled;
    desktopOpenEnabled = enabled;
    return previous;
}

QList<QUrl> SuppressedDesktopOpens() {
    return suppressed;
}
