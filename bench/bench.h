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

// A remark printed after a workload's figure, asked for once the workload has run (which
// generated routines the workload's context ran, for instance).
struct Note {
    const char *name;
    std::function<std::string()> text;
};
std::vector<Note> &notes();
struct RegisterNote {
    RegisterNote(const char *name, std::function<std::string()> text) { notes().push_back({name, std::move(text)}); }
};

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
#define KIV_BENCH_NOTE(name, ...) static ::kivbench::RegisterNote KIV_BENCH_CAT(kivBenchNote_, __LINE__)(name, __VA_ARGS__)
