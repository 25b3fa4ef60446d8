#include "host/guarded_buffer.h"

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

#include <cstdlib>
#include <cstring>

namespace vsthost {

namespace {

#ifdef _WIN32

std::size_t pageSize() {
    SYSTEM_INFO info{};
    GetSystemInfo(&info);
    return info.dwPageSize;
}

void* mapPages(std::size_t bytes) {
    return VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
}

void blockPage(void* page) {
    DWORD previous = 0;
    VirtualProtect(page, pageSize(), PAGE_NOACCESS, &previous);
}

void unmapPages(void* pages, std::size_t /*bytes*/) { VirtualFree(pages, 0, MEM_RELEASE); }

#else

std::size_t pageSize() { return static_cast<std::size_t>(sysconf(_SC_PAGESIZE)); }

void* mapPages(std::size_t bytes) {
    void* region = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return region == MAP_FAILED ? nullptr : region;
}

void blockPage(void* page) { mprotect(page, pageSize(), PROT_NONE); }

void unmapPages(void* pages, std::size_t bytes) { munmap(pages, bytes); }

#endif

}  // namespace

GuardedBuffer::GuardedBuffer(std::size_t capacity) : capacity_(capacity) {
    const std::size_t page = pageSize();
    const std::size_t usable = (capacity + 2 * kCanaryBytes + page - 1) / page * page;
    mapped_ = usable + page;
    void* region = mapPages(mapped_);
    if (region == nullptr) {
        std::abort();
    }
    base_ = static_cast<unsigned char*>(region);
    blockPage(base_ + usable);
    data_ = base_ + usable - kCanaryBytes - capacity;
    resetCanaries();
    fill(0);
}

GuardedBuffer::~GuardedBuffer() { unmapPages(base_, mapped_); }

void GuardedBuffer::fill(unsigned char value) { std::memset(data_, value, capacity_); }

void GuardedBuffer::resetCanaries() {
    std::memset(data_ - kCanaryBytes, kCanary, kCanaryBytes);
    std::memset(data_ + capacity_, kCanary, kCanaryBytes);
}

bool GuardedBuffer::canariesIntact(std::ptrdiff_t* firstDamaged) const {
    const auto report = [&](std::ptrdiff_t offset) {
        if (firstDamaged != nullptr) {
            *firstDamaged = offset;
        }
        return false;
    };
    for (std::size_t i = 0; i < kCanaryBytes; ++i) {
        if (data_[-static_cast<std::ptrdiff_t>(kCanaryBytes - i)] != kCanary) {
            return report(-static_cast<std::ptrdiff_t>(kCanaryBytes - i));
        }
    }
    for (std::size_t i = 0; i < kCanaryBytes; ++i) {
        if (data_[capacity_ + i] != kCanary) {
            return report(static_cast<std::ptrdiff_t>(capacity_ + i));
        }
    }
    return true;
}

}  // namespace vsthost
