#pragma once

#include <QObject>
#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

// Runs a blocking call (name resolution, HTTP, SMTP) on a worker thread while the calling thread
// waits in a local event loop that processes paint and timer events but no user input. A lookup
// that the user may want to end (WHOIS, geolocation) goes through TBackgroundCall below instead.
// The window keeps painting, yet no other command can start in between, which is the order the
// program relies on. Without a Qt event dispatcher on the calling thread the call simply runs
// inline. An exception thrown by the call is re-thrown on the calling thread.
//
// What happens to user input while the call runs: Held keeps it until the call has returned (the
// rule for every blocking call); Processed handles it at once, for a call that the user may want
// to stop while it runs (a watched address); the window must then hold off by itself every
// command that may not run in between.
enum class TUserInput { Held, Processed };

void RunBlockingVoid(const std::function<void()> &work, TUserInput input = TUserInput::Held);

template <typename F>
auto RunBlocking(F &&work, TUserInput input = TUserInput::Held) -> std::invoke_result_t<F> {
    using R = std::invoke_result_t<F>;
    if constexpr (std::is_void_v<R>) {
        RunBlockingVoid(std::function<void()>(std::forward<F>(work)), input);
    } else {
        R result{};
        RunBlockingVoid([&] { result = work(); }, input);
        return result;
    }
}

// A request to end an exchange before it is over, shared by the thread that runs the exchange
// and the one that may end it (the window, when the user presses Esc). Cancelling makes WakeFd()
// readable, so a wait in poll() on the exchange's socket and on that descriptor together ends at
// once; a wait that cannot watch a descriptor (the name resolver) ends on its own time.
class TCancelSignal final {
  public:
    TCancelSignal();
    ~TCancelSignal();
    TCancelSignal(const TCancelSignal &) = delete;
    TCancelSignal &operator=(const TCancelSignal &) = delete;

    // Any thread, any number of times.
    void Cancel();
    bool IsCancelled() const;
    // Readable from the moment Cancel is called, and for good.
    int WakeFd() const { return wakeFd_; }
    // Throws TxError (kCancelledClass, CancelledText()) once cancelled.
    void RaiseIfCancelled() const;

  private:
    int wakeFd_ = -1;
    std::atomic<bool> cancelled_{false};
};

// A call that a window must not wait for (a WHOIS or geolocation lookup): it runs on a thread of
// its own while the window stays live, and its result comes back as a queued call on the thread
// of this object. One call at a time.
//
// Cancel ends the call under way at once as the window sees it: IsBusy() is false when Cancel
// returns and the call's result is dropped. The worker is told through its TCancelSignal and
// leaves any socket wait at once; a worker still inside the name resolver, which cannot be
// interrupted, finishes on its own and its thread is joined then, or when this object goes (so
// no thread outlives it).
class TBackgroundCall final : public QObject {
  public:
    // What the work hands back: the step that puts its result in place, run on this object's
    // thread.
    using TStep = std::function<void()>;
    // The work itself, run on the worker thread; it should pass `cancel` to every wait.
    using TWork = std::function<TStep(const TCancelSignal &cancel)>;
    // Called on this object's thread when a call that was not cancelled has ended (IsBusy() is
    // then false), with the work's step; when the work threw, the step throws the same error.
    using TFinish = std::function<void(const TStep &step)>;

    explicit TBackgroundCall(QObject *parent = nullptr);
    ~TBackgroundCall() override;

    // Starts `work`; false, and nothing started, while another call is under way.
    bool Start(TWork work, TFinish finish);
    bool IsBusy() const { return current_ != 0; }
    // Cancels the call under way; false when there is none.
    bool Cancel();

  private:
    struct TCall {
        quint64 Id = 0;
        std::shared_ptr<TCancelSignal> Cancel;
        std::thread Thread;
    };
    void Ended(quint64 id, const TStep &step);

    std::vector<TCall> calls_;  // the one under way and cancelled ones still finishing
    quint64 current_ = 0;       // the id of the call under way, 0 when none
    quint64 lastId_ = 0;
    TFinish finish_;
};
