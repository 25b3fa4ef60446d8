#include "tools/render/effect.h"

#include <sys/stat.h>

#include <cctype>
#include <cstdio>

#include "tools/common/cli.h"
#include "tools/common/plugin_file.h"
#include "tools/render/parameters.h"
#include "tools/render/renderer.h"

namespace render {

using tools::quoted;
using tools::ToolError;

#if DRIFTON_RENDER_LV2
std::unique_ptr<Effect> openLv2Effect(const std::string& path, double sampleRate);
#endif

namespace {

std::string fourCharacters(VstInt32 id) {
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const auto c = static_cast<char>((static_cast<std::uint32_t>(id) >> shift) & 0xFFu);
        text.push_back(c >= 0x20 && c < 0x7F ? c : '?');
    }
    return text;
}

// A VST 2.4 effect through our VST host. Instances share the library.
class VstEffect : public Effect {
public:
    VstEffect(std::shared_ptr<vsthost::PluginLibrary> library, std::unique_ptr<vsthost::Host> host,
              std::unique_ptr<vsthost::Instance> instance, double sampleRate, int maxBlock)
        : library_(std::move(library)), host_(std::move(host)), instance_(std::move(instance)) {
        // Open first: many plug-ins name and show their parameters only then.
        openInstance(*instance_, sampleRate, maxBlock);
        table_.emplace(*instance_);
    }
    ~VstEffect() override {
        instance_.reset();  // closes the effect before its host and library go
    }

    ParameterNames& parameters() override { return *table_; }
    void setParameter(int index, float value) override { instance_->setParameter(index, value); }

    void printInfo(const std::string& path, std::ostream& out) override {
        vsthost::Instance& instance = *instance_;
        const AEffect& record = *instance.record();
        out << "Plug-in:  " << path << "\n"
            << "Effect:   " << printable(instance.text(effGetEffectName)) << "\n"
            << "Product:  " << printable(instance.text(effGetProductString)) << "\n"
            << "Vendor:   " << printable(instance.text(effGetVendorString)) << ", version "
            << instance.dispatch(effGetVendorVersion) << "\n"
            << "ID:       " << fourCharacters(record.uniqueID) << " (" << record.uniqueID
            << "), effect version " << record.version << ", VST "
            << instance.dispatch(effGetVstVersion) << "\n"
            << "Channels: " << record.numInputs << " in, " << record.numOutputs << " out\n"
            << "Parameters:\n";
        ParameterTable& table = *table_;
        for (int index = 0; index < table.count(); ++index) {
            std::string label = printable(table.label(index));
            char value[32];
            std::snprintf(value, sizeof value, "%.4f",
                          static_cast<double>(instance.getParameter(index)));
            out << "  " << index << "  " << printable(table.name(index)) << " = "
                << printable(table.display(index)) << (label.empty() ? "" : " " + label) << "  ("
                << value << ")\n";
        }
    }

    void checkChannels(const std::string& path) override {
        const AEffect& record = *instance_->record();
        if (record.numInputs != 2 || record.numOutputs != 2) {
            throw ToolError(quoted(path) + ": has " + std::to_string(record.numInputs) +
                            " inputs and " + std::to_string(record.numOutputs) +
                            " outputs; drifton-render drives stereo effects (2 in, 2 out)");
        }
        if ((record.flags & effFlagsCanReplacing) == 0) {
            throw ToolError(quoted(path) + ": does not offer replacing processing");
        }
    }

    std::string productName() override {
        std::string product = printable(instance_->text(effGetProductString));
        return product.empty() ? printable(instance_->text(effGetEffectName)) : product;
    }

    std::unique_ptr<Effect> another(double sampleRate, int maxBlock) override {
        auto host = std::make_unique<vsthost::Host>();
        vsthost::EntryPoint entry = library_->entryPoint("VSTPluginMain");
        if (entry == nullptr) {
            entry = library_->entryPoint("main");
        }
        auto instance = vsthost::Instance::create(entry, *host);
        if (instance == nullptr) {
            throw ToolError("the entry point returned no effect");
        }
        return std::make_unique<VstEffect>(library_, std::move(host), std::move(instance),
                                           sampleRate, maxBlock);
    }

    void begin(double sampleRate, int maxBlock, const Transport& transport,
               const std::vector<std::pair<int, float>>& settings) override {
        vsthost::Host& host = *host_;
        host.setRecording(false);
        host.setTimeInfoAvailable(transport.available);
        host.timeInfo().sampleRate = sampleRate;
        host.setTransport(transport.start, transport.tempo);
        instance_->dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(sampleRate));
        instance_->dispatch(effSetBlockSize, 0, maxBlock);
        for (const auto& [parameter, value] : settings) {
            instance_->setParameter(parameter, value);
        }
        instance_->dispatch(effMainsChanged, 0, 1);
        instance_->dispatch(effStartProcess);
    }

    void process(const float* inLeft, const float* inRight, float* outLeft, float* outRight,
                 int frames, const Transport& transport, double position,
                 std::int64_t frame) override {
        host_->setTransport(position, transport.tempo);
        host_->timeInfo().samplePos = static_cast<double>(frame);
        float* inputs[] = {const_cast<float*>(inLeft), const_cast<float*>(inRight)};
        float* outputs[] = {outLeft, outRight};
        instance_->processReplacing(inputs, outputs, static_cast<VstInt32>(frames));
    }

    void end() override {
        instance_->dispatch(effStopProcess);
        instance_->dispatch(effMainsChanged, 0, 0);
    }

private:
    std::shared_ptr<vsthost::PluginLibrary> library_;
    std::unique_ptr<vsthost::Host> host_;
    std::unique_ptr<vsthost::Instance> instance_;
    std::optional<ParameterTable> table_;
};

bool isFolder(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool exists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

}  // namespace

bool isLv2Plugin(const std::string& path) {
    if (isFolder(path)) {
        return true;
    }
    if (exists(path)) {
        return false;
    }
    // Not on disk: a bundle's name (kq-drifton.lv2, with or without its
    // slash), or a URI (urn:..., http://...) rather than a file path.
    const std::string lower = tools::lowercase(path);
    const auto endsWith = [&](const std::string& end) {
        return lower.size() >= end.size() &&
               lower.compare(lower.size() - end.size(), end.size(), end) == 0;
    };
    return endsWith(".lv2") || endsWith(".lv2/") || (!lower.empty() && lower.back() == '/') ||
           isLv2Uri(path);
}

bool isLv2Uri(const std::string& text) {
    // A scheme (letters, digits, +, ., -) and a colon, before any slash.
    const auto colon = text.find(':');
    return colon != std::string::npos && colon > 0 && text.find('/') > colon &&
           std::isalpha(static_cast<unsigned char>(text[0])) != 0 &&
           text.find_first_not_of(
               "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789+.-") == colon;
}

std::unique_ptr<Effect> openEffect(const std::string& path, double sampleRate, int maxBlock) {
    if (isLv2Plugin(path)) {
#if DRIFTON_RENDER_LV2
        return openLv2Effect(path, sampleRate);
#else
        throw ToolError(quoted(path) + ": this drifton-render was built without LV2 support");
#endif
    }
    auto host = std::make_unique<vsthost::Host>();
    tools::OpenPlugin plugin = tools::openPlugin(path, *host);
    std::shared_ptr<vsthost::PluginLibrary> library = std::move(plugin.library);
    return std::make_unique<VstEffect>(std::move(library), std::move(host),
                                       std::move(plugin.instance), sampleRate, maxBlock);
}

}  // namespace render
