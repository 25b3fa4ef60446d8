// One check's view of the run, inside its child process. Messages go to the
// parent through a pipe, one write per line, so that what was reached
// survives a crash. Line kinds: S step, P problem, N problem count,
// W warning, M warning count, T tried, K skipped, H hostile call index.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <set>
#include <string>

#include "rng.h"
#include "validate/validator.h"

namespace validate {

class Context {
public:
    Context(const Options& options, const std::string& checkName, int reportFd);

    const Options& options() const { return options_; }
    int level() const { return options_.level; }
    Rng& rng() { return rng_; }
    const Profile& profile() const { return options_.profile; }
    // A seed for part `salt` of the check that does not depend on how much
    // of the check ran before it.
    std::uint64_t seedFor(std::uint64_t salt) const;

    // Linear in the level: `atOne` at level 1, `atTen` at level 10.
    int scaled(int atOne, int atTen) const;

    void step(const std::string& what);     // what is being tried now
    void problem(const std::string& what);  // thread-safe
    void warning(const std::string& what);  // thread-safe; each text once
    void tried(const std::string& what);
    void skip(const std::string& why);
    // The hostile check's call `index` is about to run.
    void hostileCall(int index, const std::string& what);
    std::size_t problemCount() const;

private:
    void send(char kind, const std::string& text);
    const Options& options_;
    std::uint64_t checkSeed_;
    Rng rng_;
    int fd_;
    mutable std::mutex mutex_;
    std::size_t problems_ = 0;
    std::size_t warnings_ = 0;
    std::set<std::string> warned_;
};

}  // namespace validate
