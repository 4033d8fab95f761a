// What both benchmark programs share: a table of goals, each a measure over a baseline from the
// same run, printed with its ratio and PASS or MISS; and the allocation counter behind the
// peak-memory figures.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

namespace vdbench {

// Bytes allocated through operator new and not yet freed, and the most there were since the
// last ResetPeak. The program that includes alloc_counter.inc counts; elsewhere both stay 0.
extern std::atomic<size_t> g_liveBytes;
extern std::atomic<size_t> g_peakBytes;

inline void NoteAllocated(size_t n) {
    const size_t live = g_liveBytes.fetch_add(n) + n;
    size_t peak = g_peakBytes.load();
    while (live > peak && !g_peakBytes.compare_exchange_weak(peak, live)) {}
}
inline void NoteFreed(size_t n) { g_liveBytes.fetch_sub(n); }

// The most bytes f had allocated at once beyond what was live when it started.
template <class F> size_t PeakDuring(F&& f) {
    const size_t before = g_liveBytes.load();
    g_peakBytes.store(before);
    f();
    return g_peakBytes.load() - before;
}

struct Row {
    std::string Measure;
    std::string Baseline;
    double Value = 0;  // the measure's figure (seconds or bytes)
    double Base = 0;   // the baseline's figure, same unit
    double Goal = 0;   // ratio Value/Base must be <= Goal
    std::string Unit;  // "s" or "B"
    bool Measured = true;
    double Ratio() const { return Base > 0 ? Value / Base : 0; }
    bool Pass() const { return Measured && Base > 0 && Ratio() <= Goal; }
};

inline std::string Figure(double v, const std::string& unit) {
    char buf[64];
    if (unit == "B") std::snprintf(buf, sizeof buf, "%.1f MB", v / (1024.0 * 1024.0));
    else if (v < 1e-6) std::snprintf(buf, sizeof buf, "%.1f ns", v * 1e9);
    else if (v < 1e-3) std::snprintf(buf, sizeof buf, "%.2f us", v * 1e6);
    else std::snprintf(buf, sizeof buf, "%.2f ms", v * 1e3);
    return buf;
}

// Prints the table; returns the number of rows that missed their goal.
inline int PrintRows(const char* title, const std::vector<Row>& rows) {
    std::printf("\n%s\n", title);
    std::printf("%-58s %-34s %12s %12s %7s %7s  %s\n", "measure", "baseline (same run)", "measure", "baseline", "ratio",
                "goal", "result");
    int missed = 0;
    for (const Row& r : rows) {
        if (!r.Measured) {
            std::printf("%-58s %-34s %12s %12s %7s %6.2fx  MISS (not measured)\n", r.Measure.c_str(),
                        r.Baseline.c_str(), "-", "-", "-", r.Goal);
            ++missed;
            continue;
        }
        std::printf("%-58s %-34s %12s %12s %6.2fx %6.2fx  %s\n", r.Measure.c_str(), r.Baseline.c_str(),
                    Figure(r.Value, r.Unit).c_str(), Figure(r.Base, r.Unit).c_str(), r.Ratio(), r.Goal,
                    r.Pass() ? "PASS" : "MISS");
        if (!r.Pass()) ++missed;
    }
    std::fflush(stdout);
    return missed;
}

}  // namespace vdbench
