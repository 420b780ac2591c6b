#include "WithoutRoot.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <QByteArray>
#include <QFile>
#include <QList>
#include <thread>

bool RootWithPingSocketsClosed() {
    QFile range(QStringLiteral("/proc/sys/net/ipv4/ping_group_range"));
    if (geteuid() != 0 || !range.open(QIODevice::ReadOnly)) {
        return false;
    }
    const QList<QByteArray> bounds = range.readAll().simplified().split(' ');
    return bounds.size() == 2 && bounds[0].toLongLong() > bounds[1].toLongLong();
}

bool RunWithoutRoot(const std::function<void()> &work) {
    bool changed = false;
    std::thread unprivileged([&work, &changed] {
        changed = syscall(SYS_setresuid, -1, 65534, -1) == 0;
        if (changed) {
            work();
            syscall(SYS_setresuid, -1, 0, -1);
        }
    });
    unprivileged.join();
    return changed;
}
