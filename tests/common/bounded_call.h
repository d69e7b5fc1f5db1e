// A call that may hang, run with a bound on the test's own wait: the call runs on a thread of its
// own; when it has not returned within the bound the test fails and the program ends at once (a
// thread stuck in a driver cannot be stopped, and waiting for it would hang the run).
#pragma once
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <thread>

constexpr std::chrono::seconds kBoundedCallLimit{30};

template <class F> auto boundedCall(const char *what, F f) -> decltype(f()) {
    using R = decltype(f());
    std::packaged_task<R()> task(std::move(f));
    std::future<R> done = task.get_future();
    std::thread runner(std::move(task));
    if (done.wait_for(kBoundedCallLimit) != std::future_status::ready) {
        ADD_FAILURE() << what << " did not return within " << kBoundedCallLimit.count() << " s";
        std::fprintf(stderr, "%s hangs: ending the test program\n", what);
        std::fflush(nullptr);
        std::_Exit(1);
    }
    runner.join();
    return done.get();
}
