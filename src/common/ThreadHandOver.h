#pragma once

#include <QMetaObject>
#include <QObject>
#include <utility>

// Qt hands a queued call from one thread to another under a lock inside its own compiled library.
// Debian's Qt is not built with the thread sanitizer, so in the sanitizer build that lock is
// invisible: what one thread wrote before posting and the other reads when the call runs looks
// unordered, and is reported as a race. These functions state the hand-over to the sanitizer; in
// every other build they are empty and the posted call is the plain queued call.

#if defined(__SANITIZE_THREAD__)
#define TARVEX_THREAD_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define TARVEX_THREAD_SANITIZER 1
#endif
#endif

#ifdef TARVEX_THREAD_SANITIZER
extern "C" void __tsan_acquire(void *address);
extern "C" void __tsan_release(void *address);
extern "C" void __tsan_ignore_thread_begin();
extern "C" void __tsan_ignore_thread_end();
#endif

// Everything this thread wrote so far is seen by the thread that next calls HandOverAcquire with
// the same token.
inline void HandOverRelease(const void *token) {
#ifdef TARVEX_THREAD_SANITIZER
    __tsan_release(const_cast<void *>(token));
#else
    static_cast<void>(token);
#endif
}

inline void HandOverAcquire(const void *token) {
#ifdef TARVEX_THREAD_SANITIZER
    __tsan_acquire(const_cast<void *>(token));
#else
    static_cast<void>(token);
#endif
}

// A call on its way to another thread's event loop. Qt builds the slot object that carries it on
// the posting thread, runs it on the receiving thread, and deletes it on whichever thread drops
// the last reference, the posting one included. So the hand-over is stated by the call itself,
// with its own address as the token: once it is built in place (everything it carries written),
// when it runs (and back again when it has run), and before it goes.
template <typename F>
class THandedOverCall final {
  public:
    explicit THandedOverCall(F call) : call_(std::move(call)) { HandOverRelease(this); }
    THandedOverCall(THandedOverCall &&other) : call_(std::move(other.call_)) {
        HandOverRelease(this);
    }
    THandedOverCall(const THandedOverCall &) = delete;
    THandedOverCall &operator=(const THandedOverCall &) = delete;
    THandedOverCall &operator=(THandedOverCall &&) = delete;
    ~THandedOverCall() { HandOverAcquire(this); }

    void operator()() {
        HandOverAcquire(this);
        call_();
        HandOverRelease(this);
    }

  private:
    F call_;
};

// Runs `call` on the thread of `receiver`, from its event loop, after what was posted there
// before (QMetaObject::invokeMethod with Qt::QueuedConnection); dropped unrun if `receiver` goes
// first. Any thread.
//
// The queueing itself is Qt's alone: the event it allocates and the receiving thread's queue,
// which every posting thread appends to under Qt's lock. The sanitizer does not look at those
// accesses (it still sees the hand-over the call states), so two threads posting to the same
// thread at once are not taken for a race on the queue.
template <typename F>
void PostCall(QObject *receiver, F call) {
#ifdef TARVEX_THREAD_SANITIZER
    __tsan_ignore_thread_begin();
#endif
    QMetaObject::invokeMethod(receiver, THandedOverCall<F>(std::move(call)), Qt::QueuedConnection);
#ifdef TARVEX_THREAD_SANITIZER
    __tsan_ignore_thread_end();
#endif
}
