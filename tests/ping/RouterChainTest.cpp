// The router chain that the trace tests run over: each hop answers a probe whose TTL runs out
// there, from the address the chain names for it, over IPv4 and IPv6; a router told to drop its
// "time exceeded" stays silent; and nothing of the chain is left once it goes.
#include "support/RouterChain.h"

#include <gtest/gtest.h>

#include <QProcess>

namespace {

struct TFamily {
    const char *Name;
    const char *Option;
    QString (*Hop)(int);
};

const TFamily kFamilies[] = {{"IPv4", "-4", &RouterChain::HopV4},
                             {"IPv6", "-6", &RouterChain::HopV6}};

// ping's output for one request with TTL `ttl` to the chain's target.
QString PingWithTtl(const RouterChain &chain, const TFamily &family, int ttl) {
    QByteArray output;
    chain.Exec(QStringLiteral("ping"),
               {QLatin1String(family.Option), QStringLiteral("-n"), QStringLiteral("-c1"),
                QStringLiteral("-W1"), QStringLiteral("-t"), QString::number(ttl),
                family.Hop(RouterChain::kHops)},
               &output);
    return QString::fromLocal8Bit(output);
}

TEST(RouterChain, EachHopAnswersFromItsAddressAndADroppedTimeExceededIsSilent) {
    QString base;
    {
        RouterChain chain(QStringLiteral("self"));
        if (!chain.Problem().isEmpty()) {
            GTEST_SKIP() << chain.Problem().toStdString();
        }
        base = chain.NamespaceName(0).chopped(1);
        for (const TFamily &family : kFamilies) {
            SCOPED_TRACE(family.Name);
            for (int ttl = 1; ttl < RouterChain::kHops; ++ttl) {
                EXPECT_TRUE(PingWithTtl(chain, family, ttl)
                                .contains(QStringLiteral("From %1 ").arg(family.Hop(ttl))))
                    << "TTL " << ttl;
            }
            EXPECT_TRUE(
                PingWithTtl(chain, family, RouterChain::kHops)
                    .contains(QStringLiteral(" from %1: ").arg(family.Hop(RouterChain::kHops))));
        }
        ASSERT_TRUE(chain.Nft(2,
                              "add rule inet txchain output icmp type time-exceeded drop\n"
                              "add rule inet txchain output icmpv6 type time-exceeded drop\n"));
        for (const TFamily &family : kFamilies) {
            SCOPED_TRACE(family.Name);
            EXPECT_FALSE(PingWithTtl(chain, family, 2).contains(QStringLiteral("From ")));
            EXPECT_TRUE(PingWithTtl(chain, family, 3)
                            .contains(QStringLiteral("From %1 ").arg(family.Hop(3))));
        }
    }
    QProcess list;
    list.start(QStringLiteral("ip"), {QStringLiteral("netns"), QStringLiteral("list")});
    ASSERT_TRUE(list.waitForFinished());
    EXPECT_FALSE(QString::fromLocal8Bit(list.readAllStandardOutput()).contains(base));
}

}  // namespace
