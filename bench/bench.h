// kivbench: named workloads, each printing one line "workload figure unit". Figures are rates
// measured on this machine; compare them as ratios between builds, never against fixed numbers.
#pragma once
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kivbench {

struct Workload {
    const char *name;
    const char *unit;
    // Runs `count` units of work and returns how many it really did.
    std::function<uint64_t(uint64_t count)> run;
    // The figure printed is units per second times this (1e-6 for a rate in millions).
    double scale = 1.0;
};

std::vector<Workload> &registry();

// A remark a workload records about its own run (which generated routines its context ran after
// its last frame, for instance), printed after its figure. The last one recorded while the
// workload ran is the one printed; a workload that records none gets no remark.
void recordNote(std::string text);
// A line of the legend printed below the table (what a suffix or a path in the names means); each
// distinct line once, in the order first recorded.
void recordLegend(std::string text);

struct Register {
    Register(const char *name, const char *unit, std::function<uint64_t(uint64_t)> run, double scale = 1.0) {
        registry().push_back({name, unit, std::move(run), scale});
    }
};

// Keeps a computed value alive so the optimiser cannot drop the work that made it.
template <class T>
inline void keep(const T &value) {
    asm volatile("" : : "g"(&value) : "memory");
}

}  // namespace kivbench

#define KIV_BENCH_CAT2(a, b) a##b
#define KIV_BENCH_CAT(a, b) KIV_BENCH_CAT2(a, b)
// KIV_BENCH("name", "unit", [](uint64_t n) -> uint64_t { ...; return n; }[, scale]);
#define KIV_BENCH(name, unit, ...) static ::kivbench::Register KIV_BENCH_CAT(kivBench_, __LINE__)(name, unit, __VA_ARGS__)
