// An LV2 probe for the Ardour time measurement: stereo pass-through with the
// panner's four control ports and an atom input for time:Position. It keeps
// every block and every key of every object event it receives in a buffer
// reserved at instantiation, and writes them as text when the host cleans it
// up, to $DRIFTON_PROBE_DIR/lv2.log (nothing without that variable).
#include <lv2/atom/atom.h>
#include <lv2/atom/util.h>
#include <lv2/core/lv2.h>
#include <lv2/urid/urid.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <string>
#include <vector>

namespace {

constexpr const char* kUri = "urn:kq-drifton:test:time-probe";

enum Port : std::uint32_t {
    kInL,
    kInR,
    kOutL,
    kOutR,
    kTime,
    kPeriod,
    kType,
    kWidth,
    kPhase,
    kPorts
};

// One line of the log: a block start (key 0), or one key of an object event.
struct Record {
    std::int64_t block;
    std::int64_t offset;
    std::uint32_t frames;
    std::uint32_t objectType;
    LV2_URID key;
    double value;
};

struct Probe {
    const float* audioIn[2]{};
    float* audioOut[2]{};
    const LV2_Atom_Sequence* time = nullptr;
    LV2_URID_Map* map = nullptr;
    LV2_URID_Unmap* unmap = nullptr;
    LV2_URID atomInt = 0, atomLong = 0, atomFloat = 0, atomDouble = 0, atomObject = 0,
             atomBlank = 0;
    std::vector<Record> records;
    std::size_t used = 0;
    std::size_t dropped = 0;
    std::int64_t block = 0;
    bool hadMap = false;
    std::string logPath;

    void add(const Record& record) {
        if (used < records.size()) {
            records[used++] = record;
        } else {
            ++dropped;
        }
    }

    double number(const LV2_Atom* atom) const {
        if (atom->type == atomInt) return reinterpret_cast<const LV2_Atom_Int*>(atom)->body;
        if (atom->type == atomLong)
            return static_cast<double>(reinterpret_cast<const LV2_Atom_Long*>(atom)->body);
        if (atom->type == atomFloat) return reinterpret_cast<const LV2_Atom_Float*>(atom)->body;
        if (atom->type == atomDouble) return reinterpret_cast<const LV2_Atom_Double*>(atom)->body;
        return std::numeric_limits<double>::quiet_NaN();
    }

    std::string name(LV2_URID urid) const {
        const char* uri = unmap != nullptr ? unmap->unmap(unmap->handle, urid) : nullptr;
        if (uri == nullptr) {
            char text[32];
            std::snprintf(text, sizeof text, "urid:%u", urid);
            return text;
        }
        // Keys of the time vocabulary by their short name, others in full.
        const std::string text(uri);
        const std::string vocabulary = "http://lv2plug.in/ns/ext/time#";
        return text.compare(0, vocabulary.size(), vocabulary) == 0 ? text.substr(vocabulary.size())
                                                                   : text;
    }

    void write() const {
        if (logPath.empty()) return;
        std::FILE* file = std::fopen(logPath.c_str(), "w");
        if (file == nullptr) return;
        std::fprintf(file, "map %d dropped %zu\n", hadMap ? 1 : 0, dropped);
        for (std::size_t i = 0; i < used; ++i) {
            const Record& r = records[i];
            if (r.key == 0) {
                std::fprintf(file, "block %lld %u\n", static_cast<long long>(r.block), r.frames);
            } else {
                std::fprintf(file, "event %lld %lld %s %s %.17g\n", static_cast<long long>(r.block),
                             static_cast<long long>(r.offset), name(r.objectType).c_str(),
                             name(r.key).c_str(), r.value);
            }
        }
        std::fclose(file);
    }
};

LV2_Handle instantiate(const LV2_Descriptor*, double, const char*,
                       const LV2_Feature* const* features) {
    auto* probe = new (std::nothrow) Probe;
    if (probe == nullptr) return nullptr;
    for (int i = 0; features != nullptr && features[i] != nullptr; ++i) {
        if (std::strcmp(features[i]->URI, LV2_URID__map) == 0) {
            probe->map = static_cast<LV2_URID_Map*>(features[i]->data);
        } else if (std::strcmp(features[i]->URI, LV2_URID__unmap) == 0) {
            probe->unmap = static_cast<LV2_URID_Unmap*>(features[i]->data);
        }
    }
    if (probe->map != nullptr) {
        probe->hadMap = true;
        auto map = [probe](const char* uri) { return probe->map->map(probe->map->handle, uri); };
        probe->atomInt = map(LV2_ATOM__Int);
        probe->atomLong = map(LV2_ATOM__Long);
        probe->atomFloat = map(LV2_ATOM__Float);
        probe->atomDouble = map(LV2_ATOM__Double);
        probe->atomObject = map(LV2_ATOM__Object);
        probe->atomBlank = map(LV2_ATOM__Blank);
    }
    if (const char* dir = std::getenv("DRIFTON_PROBE_DIR"); dir != nullptr) {
        probe->logPath = std::string(dir) + "/lv2.log";
    }
    try {
        probe->records.resize(1u << 18);
    } catch (...) {
        delete probe;
        return nullptr;
    }
    return probe;
}

void connectPort(LV2_Handle handle, std::uint32_t port, void* data) {
    auto* probe = static_cast<Probe*>(handle);
    switch (port) {
    case kInL:
        probe->audioIn[0] = static_cast<const float*>(data);
        break;
    case kInR:
        probe->audioIn[1] = static_cast<const float*>(data);
        break;
    case kOutL:
        probe->audioOut[0] = static_cast<float*>(data);
        break;
    case kOutR:
        probe->audioOut[1] = static_cast<float*>(data);
        break;
    case kTime:
        probe->time = static_cast<const LV2_Atom_Sequence*>(data);
        break;
    default:
        break;
    }
}

void run(LV2_Handle handle, std::uint32_t frames) {
    auto* probe = static_cast<Probe*>(handle);
    probe->add(Record{probe->block, 0, frames, 0, 0, 0.0});
    if (probe->time != nullptr && probe->hadMap) {
        LV2_ATOM_SEQUENCE_FOREACH(probe->time, event) {
            const LV2_Atom* body = &event->body;
            if (body->type != probe->atomObject && body->type != probe->atomBlank) {
                probe->add(Record{probe->block, event->time.frames, frames, body->type, body->type,
                                  std::numeric_limits<double>::quiet_NaN()});
                continue;
            }
            const auto* object = reinterpret_cast<const LV2_Atom_Object*>(body);
            LV2_ATOM_OBJECT_FOREACH(object, property) {
                probe->add(Record{probe->block, event->time.frames, frames, object->body.otype,
                                  property->key, probe->number(&property->value)});
            }
        }
    }
    for (int c = 0; c < 2; ++c) {
        if (probe->audioIn[c] != probe->audioOut[c]) {
            std::memmove(probe->audioOut[c], probe->audioIn[c], frames * sizeof(float));
        }
    }
    ++probe->block;
}

void cleanup(LV2_Handle handle) {
    auto* probe = static_cast<Probe*>(handle);
    probe->write();
    delete probe;
}

const LV2_Descriptor descriptor = {kUri, instantiate, connectPort, nullptr,
                                   run,  nullptr,     cleanup,     nullptr};

}  // namespace

// Any thread, any time: the probe's one descriptor at index 0.
extern "C" __attribute__((visibility("default"))) const LV2_Descriptor* lv2_descriptor(
    std::uint32_t index) {
    return index == 0 ? &descriptor : nullptr;
}
