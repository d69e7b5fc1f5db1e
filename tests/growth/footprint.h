// What a run of create/draw/delete cycles must leave as it found it: the heap's bytes in use
// (mallinfo2), the process's mappings (lines of /proc/self/maps) and this namespace's shared-memory
// objects (/dev/shm). This is the leak check of the plain build, where no leak checker runs: under
// the user-mode emulator the sanitizers' leak checker cannot work at all. The cycles come after a
// warm-up that brings caches and bounded records to their size. KIV_GROWTH_CYCLES sets the number
// of measured cycles (a few hundred by default, so that the emulator runs the test in seconds;
// 10,000 for a long run).
#pragma once
#include <gtest/gtest.h>
#include <malloc.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <functional>
#include <string>

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer's allocator keeps freed blocks in a quarantine and maps fresh memory while it
// fills; emptied before each measure, the blocks go back to the allocator, which hands them out
// again in the next stretch, so the mappings measure is about the program, whatever the
// quarantine's size. Freed blocks stay in quarantine within a stretch, where a use after free is
// still caught.
extern "C" void __sanitizer_purge_allocator(void);
inline void settleAllocator() { __sanitizer_purge_allocator(); }
#else
inline void settleAllocator() {}
#endif

inline int growthCycles(int byDefault) {
    const char *v = std::getenv("KIV_GROWTH_CYCLES");
    return v && *v ? std::atoi(v) : byDefault;
}

// heap: bytes in use; mappings: lines of /proc/self/maps; mapped: their bytes (leaked mappings
// next to each other may merge into one line); sharedObjects: this namespace's in /dev/shm.
struct Footprint {
    size_t heap = 0, mappings = 0, mapped = 0, sharedObjects = 0;
};

inline void readMappings(Footprint &f) {
    if (FILE *m = std::fopen("/proc/self/maps", "r")) {
        char line[512];
        while (std::fgets(line, sizeof line, m)) {
            unsigned long from = 0, to = 0;
            if (std::sscanf(line, "%lx-%lx", &from, &to) == 2) {
                f.mappings += 1;
                f.mapped += to - from;
            }
        }
        std::fclose(m);
    }
}

// The named objects of this user and namespace, as the platform names them in /dev/shm.
inline size_t sharedObjects() {
    std::string prefix = "kiv." + std::to_string(getuid()) + ".";
    if (const char *ns = std::getenv("KIV_OBJECT_NAMESPACE"); ns && *ns) prefix += std::string(ns) + ".";
    size_t n = 0;
    if (DIR *d = opendir("/dev/shm")) {
        while (const dirent *e = readdir(d)) n += std::strncmp(e->d_name, prefix.c_str(), prefix.size()) == 0;
        closedir(d);
    }
    return n;
}

// `aside`: heap bytes that bounded records hold and that may still grow to their bound.
inline Footprint footprint(const std::function<size_t()> &aside) {
    Footprint f;
    settleAllocator();
    f.heap = mallinfo2().uordblks - (aside ? aside() : 0);
    readMappings(f);
    f.sharedObjects = sharedObjects();
    return f;
}

// Runs `cycle(i)` warmUp times, then `cycles` times more in four stretches, and fails when a
// measure grew over every stretch: what each cycle leaves piles up, while a cache or a record
// that grows once (a vector doubling, the allocator taking a new block of pages) grows in one.
inline void expectNoGrowth(int warmUp, int cycles, const std::function<void(int)> &cycle,
                           const std::function<size_t()> &aside = nullptr) {
    for (int i = 0; i < warmUp; ++i) {
        cycle(i);
        ASSERT_FALSE(::testing::Test::HasFailure()) << "warm-up cycle " << i;
    }
    constexpr int kStretches = 4;
    Footprint at[kStretches + 1];
    at[0] = footprint(aside);
    for (int s = 1, i = warmUp; s <= kStretches; ++s) {
        for (const int end = warmUp + cycles * s / kStretches; i < end; ++i) {
            cycle(i);
            ASSERT_FALSE(::testing::Test::HasFailure()) << "cycle " << i;
        }
        at[s] = footprint(aside);
    }
    struct Measure {
        const char *name;
        size_t Footprint::*field;
    };
    for (const Measure m : {Measure{"bytes in use", &Footprint::heap}, Measure{"mappings", &Footprint::mappings},
                            Measure{"mapped bytes", &Footprint::mapped},
                            Measure{"shared-memory objects", &Footprint::sharedObjects}}) {
        bool grewEach = true;
        std::string series;
        for (int s = 0; s <= kStretches; ++s) {
            if (s > 0) grewEach = grewEach && at[s].*m.field > at[s - 1].*m.field;
            series += (s ? ", " : "") + std::to_string(at[s].*m.field);
        }
        EXPECT_FALSE(grewEach) << m.name << " grew over each stretch of " << cycles / kStretches
                               << " cycles: " << series;
    }
}
