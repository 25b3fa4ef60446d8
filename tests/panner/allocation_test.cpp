// Processing must not allocate. This binary replaces the global allocation
// functions (every form: sanitizer runtimes bring their own nothrow ones)
// with ones that count while `counting` is set; the plug-in file, loaded
// with dlopen, allocates through them too.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "engine/pan_block_kernel.h"
#include "host/vst_host.h"
#include "panner/drifton_vst.h"
#include "tests/kernel_under_test.h"
#include "tests/plugin_fixture.h"
#include "vst/vst_opcodes.h"
#include "vst/vst_records.h"

namespace {

std::atomic<bool> counting{false};
std::atomic<long> allocations{0};

void* allocate(std::size_t size) {
    if (counting.load()) {
        ++allocations;
    }
    if (void* p = std::malloc(size == 0 ? 1 : size)) {
        return p;
    }
    throw std::bad_alloc();
}

void* allocateAligned(std::size_t size, std::align_val_t alignment) {
    if (counting.load()) {
        ++allocations;
    }
    const auto align = static_cast<std::size_t>(alignment);
    const std::size_t rounded = (size + align - 1) / align * align;
    if (void* p = std::aligned_alloc(align, rounded == 0 ? align : rounded)) {
        return p;
    }
    throw std::bad_alloc();
}

}  // namespace

void* operator new(std::size_t size) { return allocate(size); }
void* operator new[](std::size_t size) { return allocate(size); }
void* operator new(std::size_t size, std::align_val_t a) { return allocateAligned(size, a); }
void* operator new[](std::size_t size, std::align_val_t a) { return allocateAligned(size, a); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return allocate(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
    return operator new(size, tag);
}
void* operator new(std::size_t size, std::align_val_t a, const std::nothrow_t&) noexcept {
    try {
        return allocateAligned(size, a);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, std::align_val_t a, const std::nothrow_t& tag) noexcept {
    return operator new(size, a, tag);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }

namespace {

VstTimeInfo hostTime{};

VstIntPtr host(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    if (opcode == audioMasterVersion) {
        return kVstVersion;
    }
    return opcode == audioMasterGetTime ? reinterpret_cast<VstIntPtr>(&hostTime) : 0;
}

// Allocations made while `work` runs.
template <typename Work>
long allocationsDuring(Work work) {
    allocations = 0;
    counting = true;
    work();
    counting = false;
    return allocations.load();
}

constexpr int kLargest = 65536;

// Block sizes from 1 to 65536 and the song positions that select the kernel
// and the per-sample loop, through `process(inputs, outputs, frames)`, in
// place in `left` and `right`.
template <typename Process>
void processEverySize(std::vector<float>& left, std::vector<float>& right, Process process) {
    float* channels[] = {left.data(), right.data()};
    hostTime.tempo = 140.0;
    hostTime.flags = kVstPpqPosValid | kVstTempoValid;
    for (const double position : {0.0, 9999.5, -3.0, 3e7}) {
        hostTime.ppqPos = position;
        for (const int frames : {1, 7, 64, 255, 256, 257, 4096, kLargest, 0}) {
            process(channels, channels, frames);
        }
    }
}

TEST(Allocations, TheCounterSeesAllocationsHereAndInThePluginFile) {
    EXPECT_EQ(1, allocationsDuring([] { delete new int(1); }));

    std::string error;
    const auto library = vsthost::PluginLibrary::open(pluginFileUnderTest(), &error);
    ASSERT_NE(nullptr, library) << error;
    const vsthost::EntryPoint entry = library->entryPoint("VSTPluginMain");
    ASSERT_NE(nullptr, entry);
    AEffect* effect = nullptr;
    EXPECT_GE(allocationsDuring([&] { effect = entry(&host); }), 1)
        << "creating the effect allocates it";
    ASSERT_NE(nullptr, effect);
    effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
}

TEST(Allocations, NoneWhileThePluginFileProcesses) {
    std::string error;
    const auto library = vsthost::PluginLibrary::open(pluginFileUnderTest(), &error);
    ASSERT_NE(nullptr, library) << error;
    AEffect* effect = library->entryPoint("VSTPluginMain")(&host);
    ASSERT_NE(nullptr, effect);
    std::vector<float> left(kLargest, 0.5f), right(kLargest, -0.5f);
    EXPECT_EQ(0, allocationsDuring([&] {
                  processEverySize(left, right, [&](float** in, float** out, int frames) {
                      effect->processReplacing(effect, in, out, frames);
                  });
              }));
    effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
}

TEST(Allocations, NoneWhileEitherKernelPathProcesses) {
    DriftonVST effect(&host, pantest::kernelUnderTest());
    std::vector<float> left(kLargest, 0.5f), right(kLargest, -0.5f);
    EXPECT_EQ(0, allocationsDuring([&] {
                  processEverySize(left, right, [&](float** in, float** out, int frames) {
                      effect.getEffectRecord()->processReplacing(effect.getEffectRecord(), in, out,
                                                                 frames);
                  });
              }))
        << drifton::kernelPathName(pantest::kernelUnderTest());

    drifton::BlockSettings settings;
    settings.waveShape = 1;
    settings.width = 1.0f;
    settings.beatsPerSample = 1.0 / 22050.0;
    for (const drifton::KernelPath path : drifton::kKernelPaths) {
        if (!drifton::kernelPathSupported(path)) {
            continue;
        }
        drifton::SmoothingFilter filter(drifton::smoothingCoefficients(44100.0f));
        EXPECT_EQ(0, allocationsDuring([&] {
                      for (const int frames : {1, 257, kLargest}) {
                          const drifton::StereoBlock block{left.data(), right.data(), left.data(),
                                                           right.data(), frames};
                          drifton::processPanBlock(path, filter, settings, block);
                      }
                  }))
            << drifton::kernelPathName(path);
    }
}

}  // namespace
