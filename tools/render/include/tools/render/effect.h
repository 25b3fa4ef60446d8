// One instance of the effect a render drives, whatever its format: a VST 2.4
// plug-in file through our VST host, or an LV2 plug-in through our LV2 host.
// The render loop, the parameter options and --info see only this.
#pragma once

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace render {

struct Transport;

// The parameters as the user names and sees them. Values are in the
// effect's own terms: normalised 0..1 for a VST effect, the control's plain
// units for an LV2 plug-in (Width 80, PhaseShift -90, Period scale point 5).
class ParameterNames {
public:
    virtual ~ParameterNames() = default;
    virtual int count() const = 0;
    virtual std::string name(int index) const = 0;
    // A parameter by name (case-insensitive), LV2 symbol, or index. Throws
    // ToolError starting with `option` and listing the valid names.
    virtual int resolveName(const std::string& option, const std::string& name) const = 0;
    // The value whose display text matches `text`; throws ToolError listing
    // valid values.
    virtual float resolveText(const std::string& option, int index, const std::string& text) = 0;
    // The value at `normalised` (0..1) of the parameter's range.
    virtual float fromNormalised(int index, float normalised) const = 0;
    // The parameter's value as the effect shows it now, with its unit.
    virtual std::string shown(int index) = 0;
};

class Effect {
public:
    virtual ~Effect() = default;

    virtual ParameterNames& parameters() = 0;
    virtual void setParameter(int index, float value) = 0;

    // What --info prints: identity, channels or ports, parameters.
    virtual void printInfo(const std::string& path, std::ostream& out) = 0;
    // Throws ToolError unless the effect is stereo in and out and can render.
    virtual void checkChannels(const std::string& path) = 0;
    // The effect's product name (for the plot's title), or empty.
    virtual std::string productName() = 0;
    // A fresh instance of the same effect, opened as this one was.
    virtual std::unique_ptr<Effect> another(double sampleRate, int maxBlock) = 0;

    // A session: prepared at `sampleRate` for blocks of up to `maxBlock`
    // frames with the transport's availability, `settings` applied, resumed.
    virtual void begin(double sampleRate, int maxBlock, const Transport& transport,
                       const std::vector<std::pair<int, float>>& settings) = 0;
    // One block at song position `position` (quarter notes) and tempo, the
    // session's frame `frame`; no time at all when the transport is not available.
    virtual void process(const float* inLeft, const float* inRight, float* outLeft, float* outRight,
                         int frames, const Transport& transport, double position,
                         std::int64_t frame) = 0;
    virtual void end() = 0;
};

// Whether --plugin names an LV2 plug-in: a folder (a bundle), a name ending
// in .lv2 or a slash, or a URI (urn:..., http://...) that is not a file.
bool isLv2Plugin(const std::string& path);
// Whether `text` has the form of a URI: a scheme and a colon before any slash.
bool isLv2Uri(const std::string& text);

// The effect `path` names, opened for `sampleRate` and blocks of up to
// `maxBlock` frames: a VST 2.4 plug-in file, or an LV2 bundle folder or URI
// (found on LV2_PATH or the standard LV2 folders). Throws ToolError naming
// `path` when it cannot be loaded.
std::unique_ptr<Effect> openEffect(const std::string& path, double sampleRate, int maxBlock);

}  // namespace render
