// Replacements of the allocator and of libc calls that block or enter the
// kernel. Calls that never block (pthread_mutex_trylock) are not counted. Each counts when the
// calling thread is inside an audio call, then forwards: allocation to glibc's own entry points,
// the rest to the next definition (libc's).
#include "validate/realtime_counters.h"

#include <array>
#include <atomic>
#include <cstddef>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__) || defined(_WIN32)
#define VALIDATE_COUNTING 0
#else
#define VALIDATE_COUNTING 1
#endif

#if VALIDATE_COUNTING
#include <dlfcn.h>
#include <poll.h>
#include <pthread.h>
#include <semaphore.h>
#include <stdarg.h>
#include <stdio.h>
#include <sys/mman.h>
#include <sys/select.h>
#include <time.h>
#include <unistd.h>
#endif

namespace validate::rt {
namespace {

enum Kind : std::size_t {
    kMalloc,
    kCalloc,
    kRealloc,
    kFree,
    kAlignedAlloc,
    kPosixMemalign,
    kMemalign,
    kRead,
    kWrite,
    kOpen,
    kClose,
    kFopen,
    kFwrite,
    kFputs,
    kPrintf,
    kNanosleep,
    kUsleep,
    kSchedYield,
    kMutexLock,
    kCondWait,
    kCondSignal,
    kSemWait,
    kSemPost,
    kMmap,
    kMunmap,
    kPoll,
    kSelect,
    kSyscall,
    kKindCount
};

constexpr std::array<const char*, kKindCount> kNames = {"malloc",
                                                        "calloc",
                                                        "realloc",
                                                        "free",
                                                        "aligned_alloc",
                                                        "posix_memalign",
                                                        "memalign",
                                                        "read",
                                                        "write",
                                                        "open",
                                                        "close",
                                                        "fopen",
                                                        "fwrite",
                                                        "fputs",
                                                        "printf",
                                                        "nanosleep",
                                                        "usleep",
                                                        "sched_yield",
                                                        "pthread_mutex_lock",
                                                        "pthread_cond_wait",
                                                        "pthread_cond_signal",
                                                        "sem_wait",
                                                        "sem_post",
                                                        "mmap",
                                                        "munmap",
                                                        "poll",
                                                        "select",
                                                        "syscall"};

std::array<std::atomic<std::uint64_t>, kKindCount> counts{};
thread_local int audioDepth = 0;
thread_local int pausedDepth = 0;

}  // namespace

void count(std::size_t kind) {
    if (audioDepth > 0 && pausedDepth == 0) {
        counts[kind].fetch_add(1, std::memory_order_relaxed);
    }
}

bool available() { return VALIDATE_COUNTING != 0; }

const char* unavailableReason() {
#if defined(_WIN32)
    return "calls are counted by replacing the C library's functions in the executable, which "
           "only the Linux build does";
#else
    return "this build keeps the sanitizer's allocator, so calls are not counted";
#endif
}
void enterAudioCall() { ++audioDepth; }
void leaveAudioCall() { --audioDepth; }
void pauseInCallback() { ++pausedDepth; }
void resumeAfterCallback() { --pausedDepth; }

void reset() {
    for (auto& c : counts) {
        c.store(0, std::memory_order_relaxed);
    }
}

std::uint64_t total() {
    std::uint64_t sum = 0;
    for (const auto& c : counts) {
        sum += c.load(std::memory_order_relaxed);
    }
    return sum;
}

std::string summary() {
    std::string text;
    for (std::size_t kind = 0; kind < kKindCount; ++kind) {
        const std::uint64_t n = counts[kind].load(std::memory_order_relaxed);
        if (n != 0) {
            text +=
                (text.empty() ? "" : ", ") + std::string(kNames[kind]) + " x" + std::to_string(n);
        }
    }
    return text;
}

}  // namespace validate::rt

#if VALIDATE_COUNTING

using validate::rt::count;

extern "C" {
// glibc's own allocator entry points: no lookup needed, so no recursion.
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* pointer, size_t size);
void __libc_free(void* pointer);
void* __libc_memalign(size_t alignment, size_t size);

void* malloc(size_t size) {
    count(validate::rt::kMalloc);
    return __libc_malloc(size);
}
void* calloc(size_t n, size_t size) {
    count(validate::rt::kCalloc);
    return __libc_calloc(n, size);
}
void* realloc(void* pointer, size_t size) {
    count(validate::rt::kRealloc);
    return __libc_realloc(pointer, size);
}
void free(void* pointer) {
    if (pointer != nullptr) {
        count(validate::rt::kFree);
    }
    __libc_free(pointer);
}
void* aligned_alloc(size_t alignment, size_t size) {
    count(validate::rt::kAlignedAlloc);
    return __libc_memalign(alignment, size);
}
void* memalign(size_t alignment, size_t size) {
    count(validate::rt::kMemalign);
    return __libc_memalign(alignment, size);
}
int posix_memalign(void** out, size_t alignment, size_t size) {
    count(validate::rt::kPosixMemalign);
    if (alignment < sizeof(void*) || (alignment & (alignment - 1)) != 0) {
        return 22;  // EINVAL
    }
    void* pointer = __libc_memalign(alignment, size);
    if (pointer == nullptr) {
        return 12;  // ENOMEM
    }
    *out = pointer;
    return 0;
}
}

namespace {

// The next definition of a libc function, looked up once.
template <typename Function>
Function next(const char* name) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

}  // namespace

#define VALIDATE_FORWARD(kind, type, name, params, args)      \
    extern "C" type name params {                             \
        count(validate::rt::kind);                            \
        static const auto real = next<type(*) params>(#name); \
        return real args;                                     \
    }

VALIDATE_FORWARD(kRead, ssize_t, read, (int fd, void* buffer, size_t size), (fd, buffer, size))
VALIDATE_FORWARD(kWrite, ssize_t, write, (int fd, const void* buffer, size_t size),
                 (fd, buffer, size))
VALIDATE_FORWARD(kClose, int, close, (int fd), (fd))
VALIDATE_FORWARD(kFopen, FILE*, fopen, (const char* path, const char* mode), (path, mode))
VALIDATE_FORWARD(kFwrite, size_t, fwrite, (const void* data, size_t size, size_t n, FILE* file),
                 (data, size, n, file))
VALIDATE_FORWARD(kFputs, int, fputs, (const char* text, FILE* file), (text, file))
VALIDATE_FORWARD(kFputs, int, puts, (const char* text), (text))
VALIDATE_FORWARD(kNanosleep, int, nanosleep, (const struct timespec* want, struct timespec* left),
                 (want, left))
VALIDATE_FORWARD(kNanosleep, int, clock_nanosleep,
                 (clockid_t clock, int flags, const struct timespec* want, struct timespec* left),
                 (clock, flags, want, left))
VALIDATE_FORWARD(kUsleep, int, usleep, (useconds_t micros), (micros))
VALIDATE_FORWARD(kSchedYield, int, sched_yield, (), ())
VALIDATE_FORWARD(kMutexLock, int, pthread_mutex_lock, (pthread_mutex_t * mutex), (mutex))
VALIDATE_FORWARD(kCondWait, int, pthread_cond_wait, (pthread_cond_t * cond, pthread_mutex_t* m),
                 (cond, m))
VALIDATE_FORWARD(kCondSignal, int, pthread_cond_signal, (pthread_cond_t * cond), (cond))
VALIDATE_FORWARD(kCondSignal, int, pthread_cond_broadcast, (pthread_cond_t * cond), (cond))
VALIDATE_FORWARD(kSemWait, int, sem_wait, (sem_t * sem), (sem))
VALIDATE_FORWARD(kSemPost, int, sem_post, (sem_t * sem), (sem))
VALIDATE_FORWARD(kMmap, void*, mmap,
                 (void* address, size_t size, int protection, int flags, int fd, off_t offset),
                 (address, size, protection, flags, fd, offset))
VALIDATE_FORWARD(kMunmap, int, munmap, (void* address, size_t size), (address, size))
VALIDATE_FORWARD(kPoll, int, poll, (struct pollfd * fds, nfds_t n, int timeout), (fds, n, timeout))
VALIDATE_FORWARD(kSelect, int, select,
                 (int n, fd_set* readable, fd_set* writable, fd_set* failed, struct timeval* wait),
                 (n, readable, writable, failed, wait))

// The variadic ones: open's mode and syscall's arguments are read as the
// calling convention passes them.
extern "C" int open(const char* path, int flags, ...) {
    count(validate::rt::kOpen);
    va_list arguments;
    va_start(arguments, flags);
    const auto mode = va_arg(arguments, unsigned int);
    va_end(arguments);
    static const auto real = next<int (*)(const char*, int, ...)>("open");
    return real(path, flags, mode);
}

extern "C" int printf(const char* format, ...) {
    count(validate::rt::kPrintf);
    va_list arguments;
    va_start(arguments, format);
    const int written = vprintf(format, arguments);
    va_end(arguments);
    return written;
}

extern "C" int fprintf(FILE* file, const char* format, ...) {
    count(validate::rt::kPrintf);
    va_list arguments;
    va_start(arguments, format);
    const int written = vfprintf(file, format, arguments);
    va_end(arguments);
    return written;
}

extern "C" long syscall(long number, ...) {
    count(validate::rt::kSyscall);
    va_list arguments;
    va_start(arguments, number);
    long a[6];
    for (long& argument : a) {
        argument = va_arg(arguments, long);
    }
    va_end(arguments);
    static const auto real = next<long (*)(long, ...)>("syscall");
    return real(number, a[0], a[1], a[2], a[3], a[4], a[5]);
}

#endif
