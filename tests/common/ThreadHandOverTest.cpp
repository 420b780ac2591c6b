#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QObject>
#include <QThread>
#include <memory>
#include <thread>
#include <vector>

#include "common/ThreadHandOver.h"

// What a thread writes before it posts a call is there when the call runs, on the receiver's
// thread and in the order of posting. The receiving thread takes the calls from its queue itself
// instead of running a loop that first reads the wake-up Qt sends with them: in the sanitizer
// build nothing but the hand-over that PostCall states then orders the two threads, so a call
// that does not state it is reported.
TEST(PostCall, HandsWhatWasWrittenBeforePostingToTheReceiversThread) {
    constexpr int kCalls = 200;
    QObject receiver;
    QThread *const receiving = QThread::currentThread();
    std::vector<std::vector<int>> seen;  // the receiving thread's alone
    bool allOnReceivingThread = true;
    std::thread poster([&] {
        for (int call = 0; call < kCalls; ++call) {
            std::vector<int> values(64, call);
            PostCall(&receiver, [&, values] {
                allOnReceivingThread =
                    allOnReceivingThread && QThread::currentThread() == receiving;
                seen.push_back(values);
            });
        }
    });
    const QDeadlineTimer deadline(30000);
    while (static_cast<int>(seen.size()) < kCalls && !deadline.hasExpired()) {
        QCoreApplication::sendPostedEvents(&receiver, QEvent::MetaCall);
        QThread::yieldCurrentThread();
    }
    poster.join();

    ASSERT_EQ(static_cast<int>(seen.size()), kCalls);
    EXPECT_TRUE(allOnReceivingThread);
    for (int call = 0; call < kCalls; ++call) {
        EXPECT_EQ(seen[static_cast<std::size_t>(call)], std::vector<int>(64, call))
            << "call " << call;
    }
}

// A call whose receiver goes before the call runs is dropped: it never runs, and what it holds
// is let go.
TEST(PostCall, DropsTheCallWhenTheReceiverGoesFirst) {
    auto receiver = std::make_unique<QObject>();
    auto held = std::make_shared<int>(7);
    bool ran = false;
    std::thread poster([&, held] { PostCall(receiver.get(), [&ran, held] { ran = true; }); });
    poster.join();
    EXPECT_EQ(held.use_count(), 2);  // the queued call's copy

    receiver.reset();
    QCoreApplication::sendPostedEvents();
    EXPECT_FALSE(ran);
    EXPECT_EQ(held.use_count(), 1);
}
