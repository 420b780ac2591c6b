#pragma once

#include <QString>
#include <QStringList>
#include <QTextCursor>
#include <QTextDocument>

// Results-pane lines as a ping run writes them: header, one reply per request, statistics.
inline QStringList PingRunLines(const QString &host, const QString &address, int requests,
                                int run = 0) {
    QStringList lines;
    lines << QStringLiteral("Date: 09.12.2026\tTime: 14:%1:07.051 ms")
                 .arg(run % 60, 2, 10, QLatin1Char('0'))
          << QStringLiteral("Pinging %1 with 32 bytes of data:").arg(host) << QString();
    for (int i = 0; i < requests; ++i) {
        lines << QStringLiteral("Reply from %1;  Bytes=32  Time=%2 ms  TTL=57")
                     .arg(address)
                     .arg(20 + (i + run) % 7);
    }
    lines << QString() << QStringLiteral("Ping statistics for %1; IPv4 - %2").arg(host, address)
          << QStringLiteral("Packets: Sent = %1, Received = %1, Lost = 0 [ 0% loss ]").arg(requests)
          << QString() << QStringLiteral("Approximate round trip times in milli-seconds:")
          << QStringLiteral("Minimum = 20 ms, Maximum = 26 ms, Average = 23 ms") << QString()
          << QString();
    return lines;
}

// `runs` ping runs of 4 requests each, to hosts host0, host1, ...
inline QStringList PingRunsLines(int runs) {
    QStringList lines;
    for (int run = 0; run < runs; ++run) {
        lines << PingRunLines(QStringLiteral("host%1").arg(run),
                              QStringLiteral("10.0.%1.%2").arg(run / 250).arg(run % 250 + 1), 4,
                              run);
    }
    return lines;
}

// A results pane holding `lines`, one paragraph each, as the ping run leaves it.
inline void FillPane(QTextDocument &pane, const QStringList &lines) {
    pane.clear();
    QTextCursor cursor(&pane);
    for (int i = 0; i < lines.size(); ++i) {
        if (i > 0) {
            cursor.insertBlock();
        }
        cursor.insertText(lines.at(i));
    }
}
