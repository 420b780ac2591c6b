#include <gtest/gtest.h>
#include <poll.h>

#include <QCoreApplication>
#include <QObject>
#include <QThread>
#include <QTimer>
#include <atomic>

#include "common/BlockingCall.h"
#include "common/Errors.h"
#include "common/ThreadHandOver.h"
#include "support/TestSupport.h"

TEST(BlockingCall, RunsOffTheCallingThreadAndReturnsTheResult) {
    QThread *caller = QThread::currentThread();
    QThread *worker = nullptr;
    const int value = RunBlocking([&] {
        worker = QThread::currentThread();
        return 42;
    });
    EXPECT_EQ(value, 42);
    EXPECT_NE(worker, caller);
}

TEST(BlockingCall, KeepsTimersRunningWhileWaiting) {
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(5);
    RunBlocking([] { QThread::msleep(120); });
    EXPECT_GT(ticks, 0);
}

TEST(BlockingCall, RethrowsTheWorkersErrorOnTheCallingThread) {
    try {
        RunBlocking(
            [] { throw TxError(QStringLiteral("socket closed"), QStringLiteral("ESocket")); });
        FAIL() << "no error";
    } catch (const TxError &error) {
        EXPECT_EQ(error.Message(), QStringLiteral("socket closed"));
        EXPECT_EQ(error.ClassName(), QStringLiteral("ESocket"));
    }
}

// What the work posts back to the calling thread (a progress report, say) has been delivered
// when the call returns, also when the work is over before the wait begins: a report that came
// later would redo what the caller has already closed.
TEST(BlockingCall, DeliversWhatTheWorkPostedBeforeReturning) {
    QObject receiver;
    for (int round = 0; round < 20000; ++round) {
        int reports = 0;
        RunBlocking([&] { PostCall(&receiver, [&reports] { ++reports; }); });
        ASSERT_EQ(reports, 1) << "round " << round;
    }
}

// A background call leaves the calling thread free: the work runs elsewhere, its step comes
// back to the calling thread, and the call is over (not busy) when the step runs. An error of
// the work comes out of the step; a second call waits for the first to end.
TEST(BackgroundCall, RunsTheWorkElsewhereAndHandsItsStepBack) {
    TBackgroundCall call;
    QThread *caller = QThread::currentThread();
    QThread *worker = nullptr;
    QThread *stepThread = nullptr;
    bool busyInStep = true;
    int finished = 0;
    ASSERT_TRUE(call.Start(
        [&](const TCancelSignal &) -> TBackgroundCall::TStep {
            worker = QThread::currentThread();
            return [&] {
                stepThread = QThread::currentThread();
                busyInStep = call.IsBusy();
            };
        },
        [&](const TBackgroundCall::TStep &step) {
            ++finished;
            step();
        }));
    EXPECT_TRUE(call.IsBusy());
    EXPECT_FALSE(call.Start([](const TCancelSignal &) { return TBackgroundCall::TStep(); },
                            [](const TBackgroundCall::TStep &) {}));
    ASSERT_TRUE(WaitUntil([&] { return finished == 1; }));
    EXPECT_NE(worker, caller);
    EXPECT_EQ(stepThread, caller);
    EXPECT_FALSE(busyInStep);

    QString failure;
    ASSERT_TRUE(call.Start(
        [](const TCancelSignal &) -> TBackgroundCall::TStep {
            throw TxError(QStringLiteral("Read timed out."), QStringLiteral("EIdReadTimeout"));
        },
        [&](const TBackgroundCall::TStep &step) {
            try {
                step();
                failure = QStringLiteral("none");
            } catch (const TxError &error) {
                failure = error.ClassName() + QLatin1Char(' ') + error.Message();
            }
        }));
    ASSERT_TRUE(WaitUntil([&] { return !failure.isEmpty(); }));
    EXPECT_EQ(failure, QStringLiteral("EIdReadTimeout Read timed out."));
}

// Cancelling ends the call at once for the caller: it is no longer busy, its result never
// arrives, the work sees the signal (its wait on the wake-up descriptor ends), and a new call can
// start while the cancelled one is still finishing.
TEST(BackgroundCall, ACancelEndsTheCallAtOnceAndDropsItsResult) {
    TBackgroundCall call;
    std::atomic<bool> waiting{false};
    std::atomic<bool> woken{false};
    std::atomic<bool> release{false};
    bool finished = false;
    ASSERT_TRUE(call.Start(
        [&](const TCancelSignal &cancel) -> TBackgroundCall::TStep {
            pollfd entry{cancel.WakeFd(), POLLIN, 0};
            waiting = true;
            woken = ::poll(&entry, 1, -1) == 1 && cancel.IsCancelled();
            // Still working after the cancel, as a worker inside the name resolver would be.
            while (!release) {
                QThread::msleep(5);
            }
            return [&] { finished = true; };
        },
        [&](const TBackgroundCall::TStep &step) { step(); }));
    ASSERT_TRUE(WaitUntil([&] { return waiting.load(); }));
    EXPECT_TRUE(call.Cancel());
    EXPECT_FALSE(call.IsBusy());
    EXPECT_FALSE(call.Cancel());
    ASSERT_TRUE(WaitUntil([&] { return woken.load(); }));

    bool second = false;
    ASSERT_TRUE(call.Start([](const TCancelSignal &) { return TBackgroundCall::TStep(); },
                           [&](const TBackgroundCall::TStep &) { second = true; }));
    ASSERT_TRUE(WaitUntil([&] { return second; }));
    release = true;
    // The cancelled call's step is dropped even once its work is over.
    WaitUntil([] { return false; }, 200);
    EXPECT_FALSE(finished);
}

// A call still under way when its object goes is cancelled and its thread joined: nothing of it
// runs afterwards.
TEST(BackgroundCall, GoingAwayCancelsAndWaitsForTheWork) {
    std::atomic<bool> sawCancel{false};
    {
        TBackgroundCall call;
        ASSERT_TRUE(call.Start(
            [&](const TCancelSignal &cancel) -> TBackgroundCall::TStep {
                pollfd entry{cancel.WakeFd(), POLLIN, 0};
                ::poll(&entry, 1, -1);
                sawCancel = cancel.IsCancelled();
                return {};
            },
            [](const TBackgroundCall::TStep &) { ADD_FAILURE() << "finished after going"; }));
    }
    EXPECT_TRUE(sawCancel);
    QCoreApplication::processEvents();
}
