// Runs every workload (or those whose names contain an argument) for about a quarter second each
// (KIVBENCH_SECS seconds when set, for a profiler's longer look) after a short warm-up, and prints
// its rate, with the note the workload recorded.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include "bench/bench.h"

namespace kivbench {
std::vector<Workload> &registry() {
    static std::vector<Workload> all;
    return all;
}

namespace {
std::string g_note;  // the running workload's
}  // namespace
void recordNote(std::string text) { g_note = std::move(text); }
}  // namespace kivbench

int main(int argc, char **argv) {
    using clock = std::chrono::steady_clock;
    const char *secs = std::getenv("KIVBENCH_SECS");
    const double least = secs != nullptr && std::atof(secs) > 0 ? std::atof(secs) : 0.25;
    for (const kivbench::Workload &w : kivbench::registry()) {
        bool wanted = argc < 2;
        for (int i = 1; i < argc; ++i) wanted |= std::strstr(w.name, argv[i]) != nullptr;
        if (!wanted) continue;
        kivbench::g_note.clear();
        w.run(16);  // warm-up: first-use set-up stays out of the figure
        uint64_t batch = 64, done = 0;
        double seconds = 0;
        while (seconds < least) {
            const auto t0 = clock::now();
            done += w.run(batch);
            seconds += std::chrono::duration<double>(clock::now() - t0).count();
            batch *= 2;
        }
        const double figure = double(done) / seconds * w.scale;
        std::printf("%-32s %14.*f %s", w.name, figure < 100 ? 2 : 0, figure, w.unit);
        if (!kivbench::g_note.empty()) std::printf("  (%s)", kivbench::g_note.c_str());
        std::printf("\n");
        std::fflush(stdout);
    }
    return 0;
}
