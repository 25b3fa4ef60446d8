#include "context.h"

#include <algorithm>

#include "platform.h"

namespace validate {

namespace {

std::uint64_t nameHash(const std::string& name) {
    std::uint64_t hash = 0xCBF29CE484222325ull;
    for (const char c : name) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001B3ull;
    }
    return hash;
}

constexpr std::size_t kProblemsSent = 5;
constexpr std::size_t kWarningsSent = 8;

}  // namespace

Context::Context(const Options& options, const std::string& checkName, int reportFd)
    : options_(options),
      checkSeed_(options.seed ^ nameHash(checkName)),
      rng_(checkSeed_),
      fd_(reportFd) {}

std::uint64_t Context::seedFor(std::uint64_t salt) const {
    return Rng(checkSeed_ ^ (salt * 0x9E3779B97F4A7C15ull)).next();
}

int Context::scaled(int atOne, int atTen) const {
    const int level = std::clamp(options_.level, 1, 10);
    return atOne + (atTen - atOne) * (level - 1) / 9;
}

void Context::send(char kind, const std::string& text) {
    if (fd_ < 0) {
        return;
    }
    std::string line(1, kind);
    line += '\t';
    for (const char c : text.substr(0, 1000)) {
        line += (c == '\n' || c == '\t' || c == '\r') ? ' ' : c;
    }
    // One write per line: lines below the pipe's atomic size arrive whole.
    writeReport(fd_, line + '\n');
}

void Context::step(const std::string& what) { send('S', what); }

void Context::problem(const std::string& what) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++problems_;
    if (problems_ <= kProblemsSent) {
        send('P', what);
    } else {
        send('N', std::to_string(problems_));
    }
}

void Context::warning(const std::string& what) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (warned_.size() < 64 && !warned_.insert(what).second) {
        return;  // said already
    }
    ++warnings_;
    if (warnings_ <= kWarningsSent) {
        send('W', what);
    } else {
        send('M', std::to_string(warnings_));
    }
}

void Context::tried(const std::string& what) { send('T', what); }
void Context::skip(const std::string& why) { send('K', why); }

void Context::hostileCall(int index, const std::string& what) {
    send('H', std::to_string(index) + " " + what);
}

std::size_t Context::problemCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return problems_;
}

}  // namespace validate
