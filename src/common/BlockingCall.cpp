#include "common/BlockingCall.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <QThread>
#include <atomic>
#include <thread>

void RunBlockingVoid(const std::function<void()> &work, TUserInput input) {
    if (QCoreApplication::instance() == nullptr ||
        QAbstractEventDispatcher::instance(QThread::currentThread()) == nullptr) {
        work();
        return;
    }

    QEventLoop loop;
    std::exception_ptr failure;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        try {
            work();
        } catch (...) {
            failure = std::current_exception();
        }
        done = true;
        // Queued to the waiting thread's loop; quitting before exec() is harmless because the
        // flag is checked below before the loop starts.
        QMetaObject::invokeMethod(&loop, "quit", Qt::QueuedConnection);
    });
    if (!done) {
        loop.exec(input == TUserInput::Held ? QEventLoop::ExcludeUserInputEvents
                                            : QEventLoop::AllEvents);
        worker.join();
    } else {
        // Over before the wait began (a loopback echo often is). The loop would have delivered
        // what the work posted to this thread ahead of its quit, progress reports among them;
        // delivered later, a report would reopen what the caller closes once the call returns.
        worker.join();
        QCoreApplication::removePostedEvents(&loop);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
    }
    if (failure) {
        std::rethrow_exception(failure);
    }
}
