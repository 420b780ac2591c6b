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
void RunBlockingVoid(const std::function<void()> &work);

template <typename F>
auto RunBlocking(F &&work) -> std::invoke_result_t<F> {
    using R = std::invoke_result_t<F>;
    if constexpr (std::is_void_v<R>) {
        RunBlockingVoid(std::function<void()>(std::forward<F>(work)));
    } else {
        R result{};
        RunBlockingVoid([&] { result = work(); });
        return result;
    }
}
