#include "common/BlockingCall.h"

#include <sys/eventfd.h>
#include <unistd.h>
#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <thread>

#include "common/Errors.h"
#include "common/ExchangeLimits.h"
#include "common/ThreadHandOver.h"

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
        PostCall(&loop, [&loop] { loop.quit(); });
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

TCancelSignal::TCancelSignal() : wakeFd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (wakeFd_ < 0) {
        throw TxError(QStringLiteral("Cannot prepare the exchange: %1")
                          .arg(QString::fromLocal8Bit(std::strerror(errno))));
    }
}

TCancelSignal::~TCancelSignal() {
    ::close(wakeFd_);
}

void TCancelSignal::Cancel() {
    if (cancelled_.exchange(true)) {
        return;
    }
    // Nobody reads the counter back, so the descriptor stays readable for every later wait.
    const eventfd_t one = 1;
    while (::write(wakeFd_, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

bool TCancelSignal::IsCancelled() const {
    return cancelled_.load();
}

void TCancelSignal::RaiseIfCancelled() const {
    if (IsCancelled()) {
        throw TxError(CancelledText(), QLatin1String(kCancelledClass));
    }
}

TBackgroundCall::TBackgroundCall(QObject *parent) : QObject(parent) {}

TBackgroundCall::~TBackgroundCall() {
    for (TCall &call : calls_) {
        call.Cancel->Cancel();
    }
    // What the workers post to this object goes with it; they only need to be over.
    for (TCall &call : calls_) {
        call.Thread.join();
    }
}

bool TBackgroundCall::Start(TWork work, TFinish finish) {
    if (IsBusy()) {
        return false;
    }
    const quint64 id = ++lastId_;
    auto cancel = std::make_shared<TCancelSignal>();
    finish_ = std::move(finish);
    TCall call;
    call.Id = id;
    call.Cancel = cancel;
    call.Thread = std::thread([this, id, cancel, work = std::move(work)] {
        TStep step;
        try {
            step = work(*cancel);
        } catch (...) {
            step = [failure = std::current_exception()] { std::rethrow_exception(failure); };
        }
        // The last thing the worker does: this object joins the thread once the step arrives,
        // and it cannot be gone before, since its destructor joins first.
        PostCall(this, [this, id, step = std::move(step)] { Ended(id, step); });
    });
    calls_.push_back(std::move(call));
    current_ = id;
    return true;
}

bool TBackgroundCall::Cancel() {
    if (!IsBusy()) {
        return false;
    }
    for (TCall &call : calls_) {
        if (call.Id == current_) {
            call.Cancel->Cancel();
        }
    }
    current_ = 0;
    finish_ = {};
    return true;
}

void TBackgroundCall::Ended(quint64 id, const TStep &step) {
    for (auto call = calls_.begin(); call != calls_.end(); ++call) {
        if (call->Id == id) {
            call->Thread.join();
            calls_.erase(call);
            break;
        }
    }
    if (id != current_) {
        return;  // cancelled: its result no longer counts
    }
    current_ = 0;
    const TFinish finish = std::move(finish_);
    finish_ = {};
    if (finish) {
        finish(step ? step : TStep([] {}));
    }
}
