#pragma once

#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <memory>
#include <string>

#include "RunPanes.h"
#include "common/Errors.h"
#include "common/TX_Edit.h"
#include "ping/EchoService.h"
#include "ping/PingRun.h"
#include "support/RunDrivers.h"

// Real echo requests and runs, and what their answers from loopback look like.

// Asks `service` once and returns the reply (a test failure when there is none).
inline TPingReply Ask(TEchoService &service, const QString &address, quint16 size = 32,
                      quint16 timeOut = 2000, quint16 ttl = 0) {
    TEchoQuery query{address, {size, timeOut}};
    query.Echo.TimeToLive = ttl;
    const std::optional<TPingReply> reply = service.ExecQuery(query);
    EXPECT_TRUE(reply.has_value());
    return reply.value_or(TPingReply{});
}

// A reply line from `address` with `bytes` and TTL 64, whatever the trip time.
inline void ExpectReplyLine(const QString &line, const QString &address, int bytes = 32) {
    const QRegularExpression pattern(
        QStringLiteral("^Reply from %1(:  Bytes=%2  Time=<1 ms|;  Bytes=%2  Time=[1-9][0-9]* ms)"
                       "  TTL=64$")
            .arg(QRegularExpression::escape(address))
            .arg(bytes));
    EXPECT_TRUE(pattern.match(line).hasMatch()) << line.toStdString();
}

// A run of `retries` requests to `typed` against the real service, with a fixed clock.
struct RealRun {
    QStringList results;
    QStringList addresses;
};

inline RealRun RunPing(const QString &typed, quint16 retries = 4, quint16 timeOut = 2000,
                       quint16 ttl = 0) {
    RunPanes panes;
    TPingRunInput input = PingInput(typed);
    input.Echo.TimeOut = timeOut;
    input.Echo.Retries = retries;
    input.Echo.TimeToLive = ttl;
    StandardPing(input, panes.targets);
    return RealRun{PaneLines(&panes.debugMemo), PaneLines(&panes.addressMemo)};
}

// Checks a run in which every request was answered by `address`.
inline void ExpectAnsweredRun(const RealRun &run, const QString &typed, const QString &address,
                              const QString &addressLine) {
    SCOPED_TRACE(typed.toStdString());
    ASSERT_EQ(run.results.size(), 15) << run.results.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(run.results[1], QStringLiteral("Pinging %1 with 32 bytes of data:").arg(typed));
    for (int i = 3; i < 7; ++i) {
        ExpectReplyLine(run.results[i], address);
    }
    EXPECT_EQ(run.results[8], QStringLiteral("Ping statistics for %1; %2")
                                  .arg(typed, AddressFamilyPrefix(address) + address));
    EXPECT_EQ(run.results[9],
              QStringLiteral("Packets: Sent = 4, Received = 4, Lost = 0 [ 0% loss ]"));
    EXPECT_EQ(run.results[11], QStringLiteral("Approximate round trip times in milli-seconds:"));
    EXPECT_EQ(run.addresses, QStringList{addressLine});
}

// Opens the real service and asks `loopback` once. Returns null, with the reason to skip, when
// the system has no echo socket of that family.
inline std::unique_ptr<TIcmpEchoService> OpenOrSkipReason(const QString &loopback,
                                                          std::string *reason) {
    try {
        auto service = std::make_unique<TIcmpEchoService>();
        Ask(*service, loopback, 0, 1000);
        return service;
    } catch (const TxError &error) {
        *reason = "no echo socket for " + loopback.toStdString() +
                  " here: " + error.Message().toStdString();
        return nullptr;
    }
}
