// run() must not allocate and must make no system call. The descriptor is
// driven in process with time positions, unknown atoms and every control
// value; allocations are counted by replacing the global allocation
// functions, and system calls are caught in a child process whose seccomp
// filter lets only exit through.
#include <gtest/gtest.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <lv2/atom/forge.h>
#include <lv2/time/time.h>
#include <lv2/urid/urid.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <map>
#include <new>
#include <string>
#include <vector>

#include "drifton_lv2/drifton_lv2.h"

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

}  // namespace

void* operator new(std::size_t size) { return allocate(size); }
void* operator new[](std::size_t size) { return allocate(size); }
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
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace {

// A plain map for the test's own URIs (set up before anything is counted).
struct TestMap {
    std::map<std::string, LV2_URID> ids;
    LV2_URID_Map feature{
        this, [](LV2_URID_Map_Handle h, const char* uri) -> LV2_URID {
            auto& known = static_cast<TestMap*>(h)->ids;
            return known.emplace(uri, static_cast<LV2_URID>(known.size() + 1)).first->second;
        }};
};

// An instance with its buffers and a sequence of time positions at several
// frames, an unknown object and a MIDI atom: every path run() takes.
class Rig {
public:
    static constexpr std::uint32_t kFrames = 4096;

    Rig() : audio_(4 * kFrames, 0.25f), sequence_(4096) {
        const LV2_Feature mapFeature{LV2_URID__map, &map_.feature};
        const LV2_Feature* features[] = {&mapFeature, nullptr};
        const LV2_Descriptor& d = drifton::lv2::descriptor();
        instance_ = d.instantiate(&d, 48000.0, "/", features);
        for (std::uint32_t p = 0; p < 4; ++p) {
            d.connect_port(instance_, p, audio_.data() + p * kFrames);
        }
        for (std::uint32_t c = 0; c < controls_.size(); ++c) {
            d.connect_port(instance_, drifton::lv2::kFirstControl + c, &controls_[c]);
        }
        d.connect_port(instance_, drifton::lv2::kTime, sequence_.data());
        d.activate(instance_);
        forgeEvents();
    }
    ~Rig() {
        const LV2_Descriptor& d = drifton::lv2::descriptor();
        d.deactivate(instance_);
        d.cleanup(instance_);
    }

    // Blocks of several sizes and control values of every kind.
    void runBlocks() {
        const LV2_Descriptor& d = drifton::lv2::descriptor();
        const float values[] = {
            0.0f,  1e30f,  -1e30f, std::nanf(""), std::numeric_limits<float>::infinity(),
            50.0f, -90.0f, 2.5f};
        std::size_t n = 0;
        for (const std::uint32_t frames : {kFrames, 1u, 64u, 0u, 1000u}) {
            for (float& control : controls_) {
                control = values[n++ % std::size(values)];
            }
            d.run(instance_, frames);
        }
    }

private:
    void forgeEvents() {
        LV2_Atom_Forge forge;
        lv2_atom_forge_init(&forge, &map_.feature);
        lv2_atom_forge_set_buffer(&forge, reinterpret_cast<std::uint8_t*>(sequence_.data()),
                                  sequence_.size() * sizeof(std::uint64_t));
        const auto id = [&](const char* uri) { return map_.feature.map(map_.feature.handle, uri); };
        LV2_Atom_Forge_Frame seq, obj;
        lv2_atom_forge_sequence_head(&forge, &seq, 0);
        for (const std::int64_t frame : {0, 700, 2000, 9999}) {
            lv2_atom_forge_frame_time(&forge, frame);
            lv2_atom_forge_object(&forge, &obj, 0, id(LV2_TIME__Position));
            lv2_atom_forge_key(&forge, id(LV2_TIME__bar));
            lv2_atom_forge_long(&forge, frame / 100);
            lv2_atom_forge_key(&forge, id(LV2_TIME__barBeat));
            lv2_atom_forge_float(&forge, 1.5f);
            lv2_atom_forge_key(&forge, id(LV2_TIME__beatsPerBar));
            lv2_atom_forge_float(&forge, 6.0f);
            lv2_atom_forge_key(&forge, id(LV2_TIME__beatUnit));
            lv2_atom_forge_int(&forge, 8);
            lv2_atom_forge_key(&forge, id(LV2_TIME__beatsPerMinute));
            lv2_atom_forge_float(&forge, 140.0f);
            lv2_atom_forge_key(&forge, id(LV2_TIME__speed));
            lv2_atom_forge_float(&forge, frame == 2000 ? 0.0f : 1.0f);
            lv2_atom_forge_pop(&forge, &obj);
        }
        lv2_atom_forge_frame_time(&forge, 800);
        lv2_atom_forge_object(&forge, &obj, 0, id("urn:test:Other"));
        lv2_atom_forge_key(&forge, id(LV2_TIME__beat));
        lv2_atom_forge_double(&forge, 3.0);
        lv2_atom_forge_pop(&forge, &obj);
        lv2_atom_forge_frame_time(&forge, 900);
        const std::uint8_t midi[] = {0x90, 60, 100};
        lv2_atom_forge_atom(&forge, sizeof midi, id("http://lv2plug.in/ns/ext/midi#MidiEvent"));
        lv2_atom_forge_write(&forge, midi, sizeof midi);
        lv2_atom_forge_pop(&forge, &seq);
    }

    TestMap map_;
    std::vector<float> audio_;
    std::vector<std::uint64_t> sequence_;
    std::array<float, drifton::kParameterCount> controls_{};
    LV2_Handle instance_ = nullptr;
};

TEST(Lv2Realtime, RunAllocatesNothing) {
    Rig rig;
    rig.runBlocks();  // anything done once on first use happens here
    allocations = 0;
    counting = true;
    rig.runBlocks();
    counting = false;
    EXPECT_EQ(0, allocations.load());
}

// The child's exit status: 0 when `work` ran and the child left through
// exit_group, or the signal that killed it.
template <typename Work>
int statusUnderSeccomp(Work work) {
    const pid_t child = fork();
    if (child == 0) {
        sock_filter filter[] = {
            BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
            BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_exit_group, 2, 0),
            BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_exit, 1, 0),
            BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_KILL_PROCESS),
            BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        };
        sock_fprog program{static_cast<unsigned short>(std::size(filter)), filter};
        if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 ||
            syscall(SYS_seccomp, SECCOMP_SET_MODE_FILTER, 0, &program) != 0) {
            _exit(77);
        }
        work();
        syscall(SYS_exit_group, 0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
}

TEST(Lv2Realtime, RunMakesNoSystemCall) {
    Rig rig;
    rig.runBlocks();
    // The filter itself: a system call kills the child.
    const int control = statusUnderSeccomp([] { syscall(SYS_getpid); });
    if (control == 77) {
        GTEST_SKIP() << "seccomp filters are not available here";
    }
    ASSERT_EQ(1000 + SIGSYS, control);
    EXPECT_EQ(0, statusUnderSeccomp([&rig] { rig.runBlocks(); }));
}

}  // namespace
