// Runs every workload (or those whose names contain an argument) for about a quarter second each
// (KIVBENCH_SECS seconds when set, for a profiler's longer look) after one warm-up unit, and
// prints the median rate of its repeats with the note the workload recorded; then the legend the
// workloads left, below the table.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <fstream>
#include "bench/bench.h"
#include "platform/machine/machine.h"

namespace kivbench {
std::vector<Workload> &registry() {
    static std::vector<Workload> all;
    return all;
}

namespace {
std::string g_note;                  // the running workload's
std::vector<std::string> g_legend;   // in the order first recorded
}  // namespace
void recordNote(std::string text) { g_note = std::move(text); }
void recordLegend(std::string text) {
    if (std::find(g_legend.begin(), g_legend.end(), text) == g_legend.end()) g_legend.push_back(std::move(text));
}
}  // namespace kivbench

namespace {

using clock = std::chrono::steady_clock;
constexpr int kRepeats = 5;

double seconds(clock::time_point t0) { return std::chrono::duration<double>(clock::now() - t0).count(); }

// The workload's rate in units per second: the median of up to kRepeats timed batches that share
// `budget` seconds with the calibration before them, which grows a batch from one unit until it
// takes a measurable share of the time. A unit longer than the whole budget is timed once.
double measure(const kivbench::Workload &w, double budget) {
    w.run(1);   // warm-up: first-use set-up stays out of the figure
    const double perBatch = budget / (kRepeats + 1);
    uint64_t batch = 1, done = 0;
    double took = 0, spent = 0;
    for (;;) {
        const auto t0 = clock::now();
        done = w.run(batch);
        took = seconds(t0);
        spent += took;
        if (took >= perBatch / 4 || spent >= budget || batch >= (uint64_t(1) << 40)) break;
        const double grow = took > 0 ? perBatch / took : 64;
        batch = uint64_t(double(batch) * std::min(64.0, std::max(2.0, grow)));
    }
    const double perUnit = took / double(batch);
    if (took > 0) batch = std::max<uint64_t>(1, uint64_t(perBatch / perUnit));
    std::vector<double> rates;
    while (int(rates.size()) < kRepeats && spent + perUnit * double(batch) <= budget * 1.25) {
        const auto t0 = clock::now();
        const uint64_t n = w.run(batch);
        const double s = seconds(t0);
        spent += s;
        if (s > 0) rates.push_back(double(n) / s);
    }
    if (rates.empty()) return took > 0 ? double(done) / took : 0;
    std::sort(rates.begin(), rates.end());
    return rates[rates.size() / 2];
}

int usage(FILE *to, int exitCode) {
    std::fprintf(to,
                 "usage: kivbench [WORKLOAD-PART...]\n"
                 "  runs every workload, or those whose names contain one of the arguments, each for about a\n"
                 "  quarter second (KIVBENCH_SECS), and prints one line per workload (name, median rate of its\n"
                 "  repeats, unit, note), then the legend\n"
                 "environment: KIVBENCH_SECS (seconds per workload), KIV_MACHINE (the simulated PC),\n"
                 "  KIV_MODULE_PATH (folders of the driver modules), KIV_I386_MODE (native, binfmt or emulated: how\n"
                 "  tools/i386-run started it), KIV_OBJECT_NAMESPACE; writes no files\n"
                 "workloads:");
    for (const kivbench::Workload &w : kivbench::registry()) std::fprintf(to, " %s", w.name);
    std::fprintf(to, "\n");
    return exitCode;
}

}  // namespace

int main(int argc, char **argv) {
    const char *secs = std::getenv("KIVBENCH_SECS");
    const double budget = secs != nullptr && std::atof(secs) > 0 ? std::atof(secs) : 0.25;
    std::vector<const kivbench::Workload *> chosen;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) return usage(stdout, 0);
        bool any = false;
        for (const kivbench::Workload &w : kivbench::registry()) any |= std::strstr(w.name, argv[i]) != nullptr;
        if (argv[i][0] == '-' || !any) {
            std::fprintf(stderr, "kivbench: no workload's name contains \"%s\"\n", argv[i]);
            return usage(stderr, 2);
        }
    }
    size_t width = 0;
    for (const kivbench::Workload &w : kivbench::registry()) {
        bool wanted = argc < 2;
        for (int i = 1; i < argc; ++i) wanted |= std::strstr(w.name, argv[i]) != nullptr;
        if (!wanted) continue;
        chosen.push_back(&w);
        width = std::max(width, std::strlen(w.name));
    }
    if (kivRunsEmulated())
        std::printf("running emulated (i386 through a user-mode emulator): figures are the emulator's, far below "
                    "the processor's own\n");
    for (const kivbench::Workload *w : chosen) {
        kivbench::g_note.clear();
        const double figure = measure(*w, budget) * w->scale;
        std::printf("%-*s %14.*f %s", int(width), w->name, figure < 100 ? 2 : 0, figure, w->unit);
        if (!kivbench::g_note.empty()) std::printf("  (%s)", kivbench::g_note.c_str());
        std::printf("\n");
        std::fflush(stdout);
    }
    if (!kivbench::g_legend.empty()) std::printf("\n");
    for (const std::string &line : kivbench::g_legend) std::printf("%s\n", line.c_str());
    return 0;
}
