// Real traces over a chain of network namespaces (RouterChain: host, three routers, target):
// the hops and their addresses over IPv4 and IPv6 and both socket kinds, a router that keeps
// its "time exceeded" to itself, a link that starts dropping during the trace, the ways a route
// ends short of its target, and the target's trip time against a ping's.
#include "ping/TraceRun.h"

#include <gtest/gtest.h>

#include <QStringList>
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "common/Errors.h"
#include "ping/PingFigures.h"
#include "support/RouterChain.h"

namespace {

// How long a test waits for something the trace is sure to do within a second or two; only a
// bound, so that a broken trace fails instead of hanging.
constexpr std::chrono::seconds kPatience(30);

// A trace over the chain, its outcomes collected into hops as the window collects them.
class Trace final {
  public:
    Trace(const RouterChain &chain, TIcmpSocketKind kind, const QString &target, int rounds,
          int maxHops = kMaxTraceHops, int interval = 100)
        : hops_(maxHops) {
        TTraceInput input;
        input.Address = target;
        input.Echo.TimeOut = 300;
        input.Interval = interval;
        input.Rounds = rounds;
        input.MaxHops = maxHops;
        input.Connect = [&chain, kind]() -> std::unique_ptr<TEchoService> {
            return chain.OpenService(kind);
        };
        TTraceCallbacks callbacks;
        callbacks.Resolved = [this](const QString &resolved) {
            const std::lock_guard<std::mutex> lock(mutex_);
            resolved_ = resolved;
        };
        callbacks.RoundStarted = [this](int round, int ttls) {
            const std::lock_guard<std::mutex> lock(mutex_);
            EXPECT_FALSE(finished_) << "a round started after the trace finished";
            rounds_ = round;
            mostTtls_ = std::max(mostTtls_, ttls);
            changed_.notify_all();
        };
        callbacks.ProbeSent = [this](int round, int ttl) {
            const std::lock_guard<std::mutex> lock(mutex_);
            EXPECT_FALSE(finished_) << "a probe left after the trace finished";
            EXPECT_EQ(round, rounds_) << "a probe left after its round";
            ++pending_[round];
            hops_.Sent(ttl);
        };
        callbacks.Probed = [this](int round, int ttl, const TPingReply &reply) {
            const std::lock_guard<std::mutex> lock(mutex_);
            EXPECT_FALSE(finished_) << "an outcome came after the trace finished";
            --pending_[round];
            hops_.Add(ttl, reply);
            if (reply.StatusCode == 0 || reply.StatusCode == 11013) {
                trips_[ttl].push_back(TripMilliseconds(reply));
            }
            changed_.notify_all();
        };
        callbacks.Finished = [this](std::exception_ptr failure) {
            const std::lock_guard<std::mutex> lock(mutex_);
            EXPECT_FALSE(finished_) << "the trace finished twice";
            finished_ = true;
            if (failure) {
                try {
                    std::rethrow_exception(failure);
                } catch (const TxError &error) {
                    failure_ = error.Message();
                } catch (...) {
                    failure_ = QStringLiteral("an exception that is no TxError");
                }
            }
            changed_.notify_all();
        };
        // Made inside the host, so that the trace's threads, and the name look-ups of its hops,
        // stay in the chain.
        EXPECT_TRUE(chain.RunInside([&] {
            try {
                run_ = std::make_unique<TTraceRun>(input, std::move(callbacks));
            } catch (const TxError &error) {
                ADD_FAILURE() << error.Message().toStdString();
            }
        }));
    }

    // Waits until every probe of rounds 1 to `round` has its outcome; false when it did not come
    // to that. A round's probes leave over the round, so all have left once the next began.
    bool WaitForRound(int round) {
        if (run_ == nullptr) {
            return false;
        }
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, kPatience, [this, round] {
            if (rounds_ <= round) {
                return false;
            }
            for (int r = 1; r <= round; ++r) {
                if (pending_[r] != 0) {
                    return false;
                }
            }
            return true;
        });
    }

    // Waits until the trace has finished by itself; false when it has not.
    bool WaitUntilFinished() {
        if (run_ == nullptr) {
            return false;
        }
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, kPatience, [this] { return finished_; });
    }

    void Stop() {
        if (run_ != nullptr) {
            run_->Stop();
            run_->Wait();
        }
    }

    int Rounds() {
        const std::lock_guard<std::mutex> lock(mutex_);
        return rounds_;
    }
    // The most probes a round sent (TTL 1 to this).
    int MostTtls() {
        const std::lock_guard<std::mutex> lock(mutex_);
        return mostTtls_;
    }
    TTraceHops Hops() {
        const std::lock_guard<std::mutex> lock(mutex_);
        return hops_;
    }
    QString Resolved() {
        const std::lock_guard<std::mutex> lock(mutex_);
        return resolved_;
    }
    QString Failure() {
        const std::lock_guard<std::mutex> lock(mutex_);
        return failure_;
    }
    // The trip times of the answers of hop `ttl`, in ms, as they came.
    std::vector<double> Trips(int ttl) {
        const std::lock_guard<std::mutex> lock(mutex_);
        return trips_[ttl];
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    TTraceHops hops_;
    std::map<int, int> pending_;  // probes of each round without outcome
    std::map<int, std::vector<double>> trips_;
    int rounds_ = 0;
    int mostTtls_ = 0;
    bool finished_ = false;
    QString resolved_;
    QString failure_;
    std::unique_ptr<TTraceRun> run_;
};

struct TFamily {
    const char *Name;
    QString (*Hop)(int);
};

const TFamily kFamilies[] = {{"IPv4", &RouterChain::HopV4}, {"IPv6", &RouterChain::HopV6}};

const struct {
    const char *Name;
    TIcmpSocketKind Kind;
} kKinds[] = {{"datagram", TIcmpSocketKind::Datagram}, {"raw", TIcmpSocketKind::Raw}};

// Per hop shown: its addresses joined by ",", "?" for none, then "sent/received".
QStringList Summary(const TTraceHops &hops) {
    QStringList lines;
    for (int ttl = 1; ttl <= hops.Count(); ++ttl) {
        const TTraceHop &hop = hops.Hop(ttl);
        lines << QStringLiteral("%1 %2/%3")
                     .arg(hop.Addresses.isEmpty() ? QStringLiteral("?")
                                                  : hop.Addresses.join(QLatin1Char(',')))
                     .arg(hop.Figures.Sent)
                     .arg(hop.Figures.PacketsReceived);
    }
    return lines;
}

std::string Text(const QStringList &lines) {
    return lines.join(QLatin1Char('\n')).toStdString();
}

#define SKIP_WITHOUT_CHAIN(chain)                        \
    if (!(chain).Problem().isEmpty()) {                  \
        GTEST_SKIP() << (chain).Problem().toStdString(); \
    }

TEST(TraceRun, ListsEveryHopByItsAddressAndFinishesAfterItsRounds) {
    RouterChain chain(QStringLiteral("hops"));
    SKIP_WITHOUT_CHAIN(chain);
    constexpr int kRounds = 3;
    for (const TFamily &family : kFamilies) {
        for (const auto &kind : kKinds) {
            SCOPED_TRACE(std::string(family.Name) + " over a " + kind.Name + " socket");
            Trace trace(chain, kind.Kind, family.Hop(RouterChain::kHops), kRounds);
            ASSERT_TRUE(trace.WaitUntilFinished()) << "the trace did not end by itself";
            EXPECT_EQ(trace.Failure(), QString());
            EXPECT_EQ(trace.Resolved(), family.Hop(RouterChain::kHops));
            EXPECT_EQ(trace.Rounds(), kRounds);
            const TTraceHops hops = trace.Hops();
            QStringList expected;
            for (int hop = 1; hop <= RouterChain::kHops; ++hop) {
                expected << QStringLiteral("%1 %2/%2").arg(family.Hop(hop)).arg(kRounds);
            }
            EXPECT_EQ(Text(Summary(hops)), Text(expected));
            EXPECT_EQ(hops.End(), RouterChain::kHops);
            EXPECT_TRUE(hops.Reached());
            for (int hop = 1; hop <= hops.Count(); ++hop) {
                EXPECT_EQ(hops.Hop(hop).InFlight, 0) << "hop " << hop;
            }
        }
    }
}

TEST(TraceRun, ARouterThatKeepsItsTimeExceededIsAHopWithoutAddressAndTheRestStillAnswer) {
    RouterChain chain(QStringLiteral("mute"));
    SKIP_WITHOUT_CHAIN(chain);
    ASSERT_TRUE(chain.Nft(2,
                          "add rule inet txchain output icmp type time-exceeded drop\n"
                          "add rule inet txchain output icmpv6 type time-exceeded drop\n"));
    constexpr int kRounds = 4;
    for (const TFamily &family : kFamilies) {
        SCOPED_TRACE(family.Name);
        Trace trace(chain, TIcmpSocketKind::Automatic, family.Hop(RouterChain::kHops), kRounds);
        ASSERT_TRUE(trace.WaitUntilFinished());
        const TTraceHops hops = trace.Hops();
        const QStringList expected = {QStringLiteral("%1 4/4").arg(family.Hop(1)),
                                      QStringLiteral("? 4/0"),
                                      QStringLiteral("%1 4/4").arg(family.Hop(3)),
                                      QStringLiteral("%1 4/4").arg(family.Hop(4))};
        EXPECT_EQ(Text(Summary(hops)), Text(expected));
        EXPECT_EQ(hops.Hop(2).Figures.LossPercent(), 100);
        const QStringList lines = TraceHopLines(hops);
        ASSERT_EQ(lines.size(), 1 + RouterChain::kHops) << Text(lines);
        EXPECT_TRUE(lines.at(2).contains(QStringLiteral("???")) &&
                    lines.at(2).contains(QStringLiteral("100%")))
            << lines.at(2).toStdString();
    }
}

TEST(TraceRun, ALinkThatStartsDroppingShowsAsLossFromItsHopOnAndNotBefore) {
    RouterChain chain(QStringLiteral("drop"));
    SKIP_WITHOUT_CHAIN(chain);
    constexpr int kRoundsBefore = 3;
    constexpr int kRoundsAfter = 4;
    for (const TFamily &family : kFamilies) {
        SCOPED_TRACE(family.Name);
        Trace trace(chain, TIcmpSocketKind::Automatic, family.Hop(RouterChain::kHops), 0);
        ASSERT_TRUE(trace.WaitForRound(kRoundsBefore));
        // Router 2 stops forwarding toward router 3: the probes for hops 3 and 4 die there,
        // while those whose TTL runs out at router 2 or before still get their answer.
        ASSERT_TRUE(chain.Nft(2, "add rule inet txchain forward oifname \"tot\" drop\n"));
        // Rounds that start from now on meet the rule.
        const int firstDropped = trace.Rounds() + 1;
        ASSERT_TRUE(trace.WaitForRound(firstDropped + kRoundsAfter - 1));
        trace.Stop();
        EXPECT_TRUE(trace.WaitUntilFinished());
        ASSERT_TRUE(chain.Nft(2, "flush chain inet txchain forward\n"));
        const TTraceHops hops = trace.Hops();
        ASSERT_EQ(hops.Count(), RouterChain::kHops) << Text(Summary(hops));
        for (int hop = 1; hop <= RouterChain::kHops; ++hop) {
            const TPingFigures &figures = hops.Hop(hop).Figures;
            SCOPED_TRACE(Text(Summary(hops)));
            EXPECT_EQ(hops.Hop(hop).Addresses, QStringList{family.Hop(hop)}) << "hop " << hop;
            EXPECT_GE(figures.Sent, firstDropped + kRoundsAfter - 1) << "hop " << hop;
            if (hop < 3) {
                EXPECT_EQ(figures.Lost(), 0) << "hop " << hop;
            } else {
                EXPECT_GE(figures.PacketsReceived, kRoundsBefore) << "hop " << hop;
                EXPECT_GE(figures.Lost(), kRoundsAfter) << "hop " << hop;
                EXPECT_LE(figures.PacketsReceived, firstDropped - 1) << "hop " << hop;
            }
        }
    }
}

// Where the route ends without the target's reply: a router answering "unreachable" for it,
// a target that keeps silent, or a maximum of hops short of the target. Each says so.
TEST(TraceRun, TheRouteEndsAtAnUnreachableOrAtTheLastHopThatAnswered) {
    const struct {
        const char *name;
        int node;  // 0: no rules
        QByteArray rules;
        // For each hop shown, which hop's address answered for it; every probe answered.
        std::vector<int> answeredBy;
        // The hops after those, up to this one, are shown silent.
        int silentTo;
        int end;
        // How the route ended, %1 standing for the address of router 3.
        const char *endLine;
        int maxHops = kMaxTraceHops;
    } rows[] = {
        // The probes whose TTL runs out at router 3 get its "time exceeded"; those that would
        // go on get its "unreachable", one hop further, and the route ends there.
        {"router 3 answers unreachable",
         3,
         "add rule inet txchain forward icmp type echo-request reject with icmp type "
         "host-unreachable\n"
         "add rule inet txchain forward icmpv6 type echo-request reject with icmpv6 type "
         "addr-unreachable\n",
         {1, 2, 3, 3},
         0,
         4,
         "Destination Host Unreachable from %1 at hop 4: the target was not reached."},
        // Nothing answers past router 3: the end is unknown, and every hop probed is shown,
        // the silent ones too.
        {"the target keeps silent",
         4,
         "add chain inet txchain input { type filter hook input priority 0; policy accept; }\n"
         "add rule inet txchain input icmp type echo-request drop\n"
         "add rule inet txchain input icmpv6 type echo-request drop\n",
         {1, 2, 3},
         kMaxTraceHops,
         0,
         "No answer from hop 4 to 30: the target was not reached."},
        // No probe goes further than the maximum, so the target's reply never comes.
        {"a maximum of 3 hops",
         0,
         "",
         {1, 2, 3},
         0,
         0,
         "The target was not reached within 3 hops.",
         3},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        RouterChain chain(QStringLiteral("end"));
        SKIP_WITHOUT_CHAIN(chain);
        ASSERT_TRUE(row.node == 0 || chain.Nft(row.node, row.rules));
        for (const TFamily &family : kFamilies) {
            SCOPED_TRACE(family.Name);
            Trace trace(chain, TIcmpSocketKind::Automatic, family.Hop(RouterChain::kHops), 2,
                        row.maxHops);
            ASSERT_TRUE(trace.WaitUntilFinished());
            const TTraceHops hops = trace.Hops();
            QStringList expected;
            for (int hop : row.answeredBy) {
                expected << family.Hop(hop) + QStringLiteral(" 2/2");
            }
            for (int hop = static_cast<int>(row.answeredBy.size()) + 1; hop <= row.silentTo;
                 ++hop) {
                expected << QStringLiteral("? 2/0");
            }
            EXPECT_EQ(Text(Summary(hops)), Text(expected));
            EXPECT_EQ(hops.End(), row.end);
            EXPECT_FALSE(hops.Reached());
            EXPECT_EQ(trace.MostTtls(), row.maxHops);
            EXPECT_EQ(
                TraceEndLine(hops),
                QString::fromLatin1(row.endLine).replace(QStringLiteral("%1"), family.Hop(3)));
        }
    }
}

// The probes of a round leave one by one, so that each goes as a lone request goes: the
// target's hop takes what a ping of the target takes over the same chain, not the fraction
// that a probe behind a burst of others takes.
TEST(TraceRun, TheTargetsHopTakesWhatAPingOfTheTargetTakes) {
    RouterChain chain(QStringLiteral("trip"));
    SKIP_WITHOUT_CHAIN(chain);
    constexpr int kRequests = 12;
    // A round a quarter second, as often as a ping of the same address is made below.
    constexpr int kInterval = 250;
    const auto median = [](std::vector<double> values) {
        std::sort(values.begin(), values.end());
        return values.empty() ? 0.0 : values[values.size() / 2];
    };
    std::vector<double> traced;
    {
        Trace trace(chain, TIcmpSocketKind::Automatic, RouterChain::TargetV4(), kRequests,
                    kMaxTraceHops, kInterval);
        ASSERT_TRUE(trace.WaitUntilFinished());
        ASSERT_TRUE(trace.Hops().Reached());
        traced = trace.Trips(RouterChain::kHops);
    }
    std::vector<double> pinged;
    ASSERT_TRUE(chain.RunInside([&] {
        const std::unique_ptr<TIcmpEchoService> service =
            chain.OpenService(TIcmpSocketKind::Automatic);
        ASSERT_NE(service, nullptr);
        TEchoQuery query;
        query.Address = RouterChain::TargetV4();
        query.Echo.TimeOut = 300;
        for (int request = 0; request < kRequests; ++request) {
            const std::optional<TPingReply> reply = service->ExecQuery(query);
            if (reply && reply->StatusCode == 0) {
                pinged.push_back(TripMilliseconds(*reply));
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(kInterval));
        }
    }));
    ASSERT_GE(traced.size(), static_cast<std::size_t>(kRequests - 2));
    ASSERT_GE(pinged.size(), static_cast<std::size_t>(kRequests - 2));
    // Medians, so that a request held up by the busy machine now and then does not count; a
    // factor of two either way still tells a lone probe from one behind a burst (about five).
    const double trace = median(traced);
    const double ping = median(pinged);
    EXPECT_GT(trace, ping / 2) << "trace " << trace << " ms, ping " << ping << " ms";
    EXPECT_LT(trace, ping * 2) << "trace " << trace << " ms, ping " << ping << " ms";
}

}  // namespace
