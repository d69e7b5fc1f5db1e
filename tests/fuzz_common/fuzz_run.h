// What every fuzz driver shares: its command line, the seeds it runs and a generator of random
// values. Without arguments (as ctest runs it) a driver runs a few fixed seeds for a second
// each; a longer run names its own:
//
//   test_fuzz_X [--seed=N] [--seconds=S]      (gtest's own flags are taken too)
//
// Every run prints the seed it uses, so that a failure is replayed with --seed.
#pragma once
#include <sys/mman.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <random>
#include <string>
#include <vector>

struct KivFuzzRun {
    std::vector<uint32_t> seeds{1, 2, 3};
    double seconds = 1.0;   // for each seed
};

inline KivFuzzRun &kivFuzzRun() {
    static KivFuzzRun run;
    return run;
}

// A seeded source of the values fuzz drivers pick.
class KivFuzzRandom {
public:
    explicit KivFuzzRandom(uint32_t seed) : engine_(seed) {}
    uint32_t word() { return static_cast<uint32_t>(engine_()); }
    uint32_t below(uint32_t n) { return n ? word() % n : 0; }
    bool chance(uint32_t percent) { return below(100) < percent; }
    template <typename T, size_t N> const T &pick(const T (&table)[N]) { return table[below(N)]; }
    template <typename T> const T &pick(const std::vector<T> &v) { return v[below(uint32_t(v.size()))]; }
    template <typename T> T pick(std::initializer_list<T> l) { return l.begin()[below(uint32_t(l.size()))]; }
    void fill(void *p, size_t n) {
        auto *b = static_cast<uint8_t *>(p);
        for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(word());
    }
    // Sizes as programs get them wrong: 0, small, the exact record, one off, large.
    uint32_t size(uint32_t exact, uint32_t largest) {
        switch (below(6)) {
        case 0: return 0;
        case 1: return below(8);
        case 2: return exact;
        case 3: return exact ? exact - 1 : 1;
        case 4: return exact + 1;
        default: return below(largest + 1);
        }
    }

private:
    std::mt19937 engine_;
};

// Runs `batch(random, batchNumber)` until the seed's time is up, for every seed of the run.
template <typename Batch> void kivFuzzForEachSeed(const char *name, Batch batch) {
    for (uint32_t seed : kivFuzzRun().seeds) {
        std::printf("%s: seed %u for %.1f s\n", name, seed, kivFuzzRun().seconds);
        std::fflush(stdout);
        SCOPED_TRACE("seed " + std::to_string(seed));
        KivFuzzRandom random(seed);
        const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(kivFuzzRun().seconds);
        int n = 0;
        do {
            SCOPED_TRACE("batch " + std::to_string(n));
            batch(random, n++);
            if (::testing::Test::HasFatalFailure() || ::testing::Test::HasNonfatalFailure()) {
                std::printf("%s: seed %u failed in batch %d\n", name, seed, n - 1);
                return;
            }
        } while (std::chrono::steady_clock::now() < end);
        std::printf("%s: seed %u, %d batches\n", name, seed, n);
    }
}

inline int kivFuzzMain(int argc, char **argv) {
    ::testing::InitGoogleTest(&argc, argv);
    KivFuzzRun &run = kivFuzzRun();
    bool timed = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--seed=", 7) == 0) {
            run.seeds = {static_cast<uint32_t>(std::strtoul(argv[i] + 7, nullptr, 0))};
        } else if (std::strncmp(argv[i], "--seconds=", 10) == 0) {
            run.seconds = std::strtod(argv[i] + 10, nullptr);
            timed = true;
        } else {
            std::fprintf(stderr, "usage: %s [--seed=N] [--seconds=S] [gtest flags]\n", argv[0]);
            return 2;
        }
    }
    if (timed && run.seeds.size() > 1) {   // a duration alone: one seed of the clock, printed
        run.seeds = {static_cast<uint32_t>(std::random_device{}())};
    }
    return RUN_ALL_TESTS();
}

// A region of the program's address space with one access; it stays reserved for the whole run
// so that no later allocation lands where a fuzzer names memory as bad.
struct FuzzRegion {
    static constexpr size_t kPage = 4096;
    uint8_t *base;
    size_t size;
    FuzzRegion(size_t pages, int prot) : size(pages * kPage) {
        void *p = mmap(nullptr, size, prot, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        base = p == MAP_FAILED ? nullptr : static_cast<uint8_t *>(p);
    }
    ~FuzzRegion() {
        if (base) munmap(base, size);
    }
    FuzzRegion(const FuzzRegion &) = delete;
    FuzzRegion &operator=(const FuzzRegion &) = delete;
};

// A program address as the 32-bit word a request block carries.
inline uint32_t fuzzAddressOf(const void *p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); }
