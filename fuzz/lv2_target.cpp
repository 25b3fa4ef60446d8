// The LV2 edition's run(), driven through its descriptor: any sample rate,
// with or without urid:map and the atom input, control values of every kind,
// blocks of 0 to 8192 frames, in place or not, and atom sequences built from
// the input with every size as the input says: time:Position objects with
// known, unknown and mistyped keys, non-finite and huge values, events out of
// order or past the block, other atoms, sizes that do not fit. Every block's
// output must be finite, never subnormal, and within the pan law's bound of
// its input.
#include <lv2/atom/atom.h>
#include <lv2/time/time.h>
#include <lv2/urid/urid.h>

#include <array>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "drifton_lv2/drifton_lv2.h"
#include "fuzz/harness/fuzz_bytes.h"
#include "fuzz/targets.h"

namespace drifton::fuzz {

namespace {

constexpr std::uint32_t kMaxFrames = 8192;
constexpr std::size_t kSequenceBytes = 4096;
constexpr int kMaxBlocks = 48;
constexpr float kPanLawBound = 1.41422f;

// The URIs the input picks from by index; URID = index + 1.
constexpr std::array<const char*, 18> kUris = {LV2_ATOM__Blank,
                                               LV2_ATOM__Object,
                                               LV2_ATOM__Float,
                                               LV2_ATOM__Double,
                                               LV2_ATOM__Int,
                                               LV2_ATOM__Long,
                                               LV2_ATOM__beatTime,
                                               LV2_TIME__Position,
                                               LV2_TIME__bar,
                                               LV2_TIME__barBeat,
                                               LV2_TIME__beat,
                                               LV2_TIME__beatUnit,
                                               LV2_TIME__beatsPerBar,
                                               LV2_TIME__beatsPerMinute,
                                               LV2_TIME__speed,
                                               LV2_TIME__frame,
                                               "http://lv2plug.in/ns/ext/midi#MidiEvent",
                                               "urn:fuzz:unknown"};

LV2_URID mapUri(LV2_URID_Map_Handle, const char* uri) {
    for (std::size_t i = 0; i < kUris.size(); ++i) {
        if (std::strcmp(uri, kUris[i]) == 0) {
            return static_cast<LV2_URID>(i + 1);
        }
    }
    return static_cast<LV2_URID>(kUris.size() + 1);
}

LV2_URID urid(const char* uri) { return mapUri(nullptr, uri); }

// A URID from the input: mostly one of the table's, sometimes any number.
LV2_URID pickUrid(FuzzBytes& in) {
    const std::uint8_t selector = in.byte();
    return selector < 224 ? static_cast<LV2_URID>(selector % (kUris.size() + 1))
                          : in.take<std::uint32_t>();
}

// Appends bytes to the sequence buffer while they fit.
class Writer {
public:
    explicit Writer(std::vector<std::uint64_t>& buffer)
        : bytes_(reinterpret_cast<std::uint8_t*>(buffer.data())),
          capacity_(buffer.size() * sizeof(std::uint64_t)) {}
    template <typename T>
    bool put(const T& value) {
        if (size_ + sizeof(T) > capacity_) {
            return false;
        }
        std::memcpy(bytes_ + size_, &value, sizeof(T));
        size_ += sizeof(T);
        return true;
    }
    void pad() { size_ = std::min(capacity_, (size_ + 7) & ~std::size_t{7}); }
    std::size_t size() const { return size_; }
    std::uint8_t* at(std::size_t offset) { return bytes_ + offset; }

private:
    std::uint8_t* bytes_;
    std::size_t capacity_;
    std::size_t size_ = 0;
};

// One property: a key, a value of a numeric (or any) type, and a size that
// is mostly the value's own.
void writeProperty(FuzzBytes& in, Writer& w) {
    static constexpr std::array<const char*, 8> kKeys = {
        LV2_TIME__bar,         LV2_TIME__barBeat,        LV2_TIME__beat,  LV2_TIME__beatUnit,
        LV2_TIME__beatsPerBar, LV2_TIME__beatsPerMinute, LV2_TIME__speed, LV2_TIME__frame};
    const std::uint8_t selector = in.byte();
    const LV2_URID key = selector < 200 ? urid(kKeys[selector % kKeys.size()]) : pickUrid(in);
    w.put(key);
    w.put(std::uint32_t{0});  // context
    const std::uint8_t type = in.byte();
    std::uint32_t size = 0;
    LV2_URID typeId = 0;
    const std::size_t sizeAt = w.size();
    w.put(size);
    w.put(typeId);
    switch (type % 6) {
    case 0:
        typeId = urid(LV2_ATOM__Float);
        size = 4;
        w.put(interestingFloat(in));
        break;
    case 1:
        typeId = urid(LV2_ATOM__Double);
        size = 8;
        w.put(interestingDouble(in));
        break;
    case 2:
        typeId = urid(LV2_ATOM__Int);
        size = 4;
        w.put(in.take<std::int32_t>());
        break;
    case 3:
        typeId = urid(LV2_ATOM__Long);
        size = 8;
        w.put(in.take<std::int64_t>());
        break;
    default:
        typeId = pickUrid(in);
        size = in.byte() % 16;
        for (std::uint32_t i = 0; i < size; ++i) {
            w.put(in.byte());
        }
        break;
    }
    if ((type & 0xc0) == 0xc0) {
        size = in.take<std::uint32_t>();  // a size that need not fit
    }
    std::memcpy(w.at(sizeAt), &size, sizeof size);
    std::memcpy(w.at(sizeAt + 4), &typeId, sizeof typeId);
    w.pad();
}

std::int64_t pickFrame(FuzzBytes& in, std::uint32_t frames) {
    const std::uint8_t selector = in.byte();
    switch (selector % 5) {
    case 0:
        return 0;
    case 1:
        return frames > 0 ? in.take<std::uint16_t>() % frames : 0;
    case 2:
        return static_cast<std::int64_t>(frames) + in.byte();  // past the end
    case 3:
        return -static_cast<std::int64_t>(in.byte());  // before the start
    default:
        return in.take<std::int64_t>();
    }
}

// A sequence of events as the input spells it; the sequence's own size is
// what was written, or less.
void writeSequence(FuzzBytes& in, std::vector<std::uint64_t>& buffer, std::uint32_t frames) {
    Writer w(buffer);
    w.put(LV2_Atom{0, urid(LV2_ATOM__Sequence)});
    const std::uint8_t unit = in.byte();
    w.put(LV2_Atom_Sequence_Body{unit < 240 ? 0u : pickUrid(in), 0});
    const int events = in.byte() % 8;
    for (int e = 0; e < events && !in.empty(); ++e) {
        w.put(pickFrame(in, frames));
        const std::size_t atomAt = w.size();
        w.put(LV2_Atom{0, 0});
        const std::uint8_t kind = in.byte();
        LV2_Atom atom{0, 0};
        if (kind < 192) {
            atom.type = (kind & 1) != 0 ? urid(LV2_ATOM__Object) : urid(LV2_ATOM__Blank);
            w.put(
                LV2_Atom_Object_Body{0, (kind & 2) != 0 ? pickUrid(in) : urid(LV2_TIME__Position)});
            const int properties = in.byte() % 10;
            for (int p = 0; p < properties; ++p) {
                writeProperty(in, w);
            }
        } else {
            atom.type = pickUrid(in);
            const int length = in.byte() % 24;
            for (int i = 0; i < length; ++i) {
                w.put(in.byte());
            }
        }
        atom.size = static_cast<std::uint32_t>(w.size() - atomAt - sizeof(LV2_Atom));
        if ((kind & 0x60) == 0x60) {
            atom.size = in.take<std::uint32_t>();  // a size that need not fit
        }
        std::memcpy(w.at(atomAt), &atom, sizeof atom);
        w.pad();
    }
    auto size = static_cast<std::uint32_t>(w.size() - sizeof(LV2_Atom));
    if ((unit & 0x0f) == 0x0f) {
        size = std::min(size, static_cast<std::uint32_t>(in.take<std::uint16_t>()));  // cut short
    }
    std::memcpy(w.at(0), &size, sizeof size);
}

float pickAmplitude(FuzzBytes& in) {
    static constexpr std::array<float, 6> kAmplitudes = {1.0f,  1e-3f,    1e-30f,
                                                         1e30f, 1.2e-38f, 0.0f};
    return kAmplitudes[in.byte() % kAmplitudes.size()];
}

std::string checkChannel(const float* input, const float* output, std::uint32_t frames,
                         const char* name) {
    for (std::uint32_t i = 0; i < frames; ++i) {
        const float out = output[i];
        if (!std::isfinite(out) || std::fpclassify(out) == FP_SUBNORMAL ||
            static_cast<double>(std::fabs(out)) >
                static_cast<double>(kPanLawBound) * static_cast<double>(std::fabs(input[i]))) {
            return std::string(name) + " output " + std::to_string(out) + " for input " +
                   std::to_string(input[i]) + " at frame " + std::to_string(i);
        }
    }
    return {};
}

}  // namespace

std::string runLv2(const std::uint8_t* data, std::size_t size) {
    FuzzBytes in(data, size);
    LV2_URID_Map map{nullptr, mapUri};
    const LV2_Feature mapFeature{LV2_URID__map, &map};
    const LV2_Feature* withMap[] = {&mapFeature, nullptr};
    const LV2_Feature* none[] = {nullptr};
    const std::uint8_t setup = in.byte();
    static constexpr std::array<double, 6> kRates = {44100.0, 48000.0, 8000.0, 768000.0, 0.0, 1.0};
    const double rate = (setup & 0x07) < 6 ? kRates[setup & 0x07] : interestingDouble(in);

    const LV2_Descriptor& d = lv2::descriptor();
    LV2_Handle instance = d.instantiate(&d, rate, "/", (setup & 0x08) != 0 ? none : withMap);
    if (instance == nullptr) {
        return "instantiate failed";
    }
    std::vector<float> inL(kMaxFrames), inR(kMaxFrames), outL(kMaxFrames), outR(kMaxFrames);
    std::vector<std::uint64_t> sequence(kSequenceBytes / sizeof(std::uint64_t));
    std::array<float, kParameterCount> controls{};
    for (float& control : controls) {
        control = interestingFloat(in);
    }
    for (std::uint32_t c = 0; c < controls.size(); ++c) {
        d.connect_port(instance, lv2::kFirstControl + c, &controls[c]);
    }
    d.connect_port(instance, lv2::kTime, (setup & 0x10) != 0 ? nullptr : sequence.data());
    d.activate(instance);

    std::string problem;
    for (int block = 0; block < kMaxBlocks && !in.empty() && problem.empty(); ++block) {
        const std::uint8_t action = in.byte();
        if ((action & 0x03) == 0x03) {
            controls[in.byte() % controls.size()] = interestingFloat(in);
        }
        const std::uint32_t frames =
            (action & 0x04) != 0 ? in.byte() : in.take<std::uint16_t>() % (kMaxFrames + 1);
        std::uint32_t state = in.take<std::uint32_t>();
        const float amplitude = pickAmplitude(in);
        for (std::uint32_t i = 0; i < frames; ++i) {
            state = state * 1664525u + 1013904223u;
            inL[i] =
                amplitude * (static_cast<float>(static_cast<std::int32_t>(state >> 8) - (1 << 23)) /
                             static_cast<float>(1 << 23));
            inR[i] = -0.5f * inL[i];
        }
        const std::vector<float> keptL(inL.begin(), inL.begin() + frames);
        const std::vector<float> keptR(inR.begin(), inR.begin() + frames);
        const bool inPlace = (action & 0x08) != 0;
        d.connect_port(instance, lv2::kInLeft, inL.data());
        d.connect_port(instance, lv2::kInRight, inR.data());
        d.connect_port(instance, lv2::kOutLeft, inPlace ? inL.data() : outL.data());
        d.connect_port(instance, lv2::kOutRight, inPlace ? inR.data() : outR.data());
        writeSequence(in, sequence, frames);
        d.run(instance, frames);
        problem = checkChannel(keptL.data(), inPlace ? inL.data() : outL.data(), frames, "left");
        if (problem.empty()) {
            problem =
                checkChannel(keptR.data(), inPlace ? inR.data() : outR.data(), frames, "right");
        }
    }
    d.deactivate(instance);
    d.cleanup(instance);
    return problem;
}

}  // namespace drifton::fuzz
