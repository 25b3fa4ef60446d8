// The console table as usual, and the fastest repetition of each benchmark
// kept by its full name, for the ratios a benchmark prints at the end.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

class FastestReporter : public benchmark::ConsoleReporter {
public:
    FastestReporter() : ConsoleReporter(OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred) {
                continue;
            }
            const std::string name = run.run_name.str();
            const double time = run.GetAdjustedRealTime();
            const auto found = fastest_.find(name);
            fastest_[name] = found == fastest_.end() ? time : std::min(found->second, time);
        }
    }

protected:
    // Fastest real time per benchmark name, in each benchmark's own time unit.
    const std::map<std::string, double>& fastest() const { return fastest_; }

private:
    std::map<std::string, double> fastest_;
};
