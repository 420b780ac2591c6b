#pragma once

#include <exception>
#include <functional>
#include <type_traits>
#include <utility>

// Runs a blocking call (echo request, name resolution, WHOIS, HTTP, SMTP) on a worker thread
// while the calling thread waits in a local event loop that processes paint and timer events but
// no user input. The window keeps painting, yet no other command can start in between, which is
// the order the program relies on. Without a Qt event dispatcher on the calling thread the call
// simply runs inline. An exception thrown by the call is re-thrown on the calling thread.
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
