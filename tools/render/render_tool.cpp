#include "tools/render/render_tool.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <optional>
#include <ostream>
#include <sstream>

#include "drifton_version.h"
#include "tools/common/cli.h"
#include "tools/common/output_file.h"
#include "tools/common/plugin_file.h"
#include "tools/common/progress.h"
#include "tools/render/audio_file.h"
#include "tools/render/demo_signal.h"
#include "tools/render/effect.h"
#include "tools/render/parameters.h"
#include "tools/render/plot.h"
#include "tools/render/renderer.h"

namespace render {

using tools::quoted;
using tools::ToolError;

namespace {

struct Assignment {
    std::string option;  // for messages: "--set Width=80"
    std::string name;
    std::string value;
};

struct Options {
    bool help = false;
    bool version = false;
    bool info = false;
    bool quiet = false;
    std::string plugin;
    std::optional<std::string> input;
    std::optional<std::string> output;
    std::optional<std::string> plot;
    double plotBeats = 16.0;
    int bits = 0;
    Transport transport;
    bool tempoGiven = false;
    std::optional<int> block;
    std::optional<std::uint32_t> randomSeed;
    std::vector<Assignment> sets;
    std::vector<Assignment> automations;
};

Options parse(const std::vector<std::string>& args) {
    Options options;
    tools::ArgCursor cursor(args);
    std::vector<std::string> positional;
    while (!cursor.done()) {
        bool isOption = false;
        const std::string arg = cursor.take(isOption);
        if (!isOption) {
            positional.push_back(arg);
            continue;
        }
        if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--version") {
            options.version = true;
        } else if (arg == "--info") {
            options.info = true;
        } else if (arg == "--quiet" || arg == "-q") {
            options.quiet = true;
        } else if (arg == "--no-transport") {
            options.transport.available = false;
        } else if (arg == "--plugin") {
            options.plugin = cursor.value(arg);
        } else if (arg == "--plot") {
            options.plot = cursor.value(arg);
        } else if (arg == "--plot-beats") {
            options.plotBeats = tools::parseNumber(arg, cursor.value(arg));
            if (!(options.plotBeats > 0.0 && options.plotBeats <= 100000.0)) {
                throw ToolError(arg + ": must be above 0 and at most 100000");
            }
        } else if (arg == "--bits") {
            options.bits = static_cast<int>(tools::parseInteger(arg, cursor.value(arg), 16, 32));
            if (options.bits != 16 && options.bits != 24 && options.bits != 32) {
                throw ToolError(arg + ": " + std::to_string(options.bits) +
                                " is not one of 16, 24, 32");
            }
        } else if (arg == "--tempo") {
            options.transport.tempo = tools::parseNumber(arg, cursor.value(arg));
            options.tempoGiven = true;
            if (!(options.transport.tempo >= 1.0 && options.transport.tempo <= 999.0)) {
                throw ToolError(arg + ": must be between 1 and 999 beats per minute");
            }
        } else if (arg == "--start") {
            options.transport.start = tools::parseNumber(arg, cursor.value(arg));
        } else if (arg == "--block") {
            options.block =
                static_cast<int>(tools::parseInteger(arg, cursor.value(arg), 1, 1 << 20));
        } else if (arg == "--random-blocks") {
            options.randomSeed = static_cast<std::uint32_t>(
                tools::parseInteger(arg, cursor.value(arg), 0, 0xFFFFFFFFll));
        } else if (arg == "--set" || arg == "--automate") {
            const std::string text = cursor.value(arg);
            auto [name, value] = splitAssignment(arg, text);
            auto& list = arg == "--set" ? options.sets : options.automations;
            list.push_back(Assignment{arg + " " + text, std::move(name), std::move(value)});
        } else {
            throw ToolError(arg + ": unknown option (see --help)");
        }
        if (cursor.hasUnusedInlineValue()) {
            throw ToolError(arg + ": takes no value");
        }
    }
    if (options.block && options.randomSeed) {
        throw ToolError("--block and --random-blocks: choose one");
    }
    if (positional.size() > 2) {
        throw ToolError(quoted(positional[2]) + ": too many files (expected [INPUT] OUTPUT)");
    }
    if (positional.size() == 2) {
        options.input = positional[0];
        options.output = positional[1];
    } else if (positional.size() == 1) {
        options.output = positional[0];
    }
    if (options.tempoGiven && !options.transport.available && (options.input || !options.output)) {
        // Without an INPUT, --tempo still sets the built-in demo's tempo.
        throw ToolError(
            "--tempo: has no effect with --no-transport (the effect is given no "
            "tempo); leave one out");
    }
    if (!options.help && !options.version && !options.info && !options.output && !options.plot) {
        throw ToolError("missing OUTPUT (see --help)");
    }
    return options;
}

std::string decibels(double value) {
    if (value <= 0.0) {
        return "-inf";
    }
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.1f", 20.0 * std::log10(value));
    return buffer;
}

bool isIndex(const std::string& name) {
    const auto number = tools::toNumber(name);
    return number && *number >= 0 && std::floor(*number) == *number &&
           name.find_first_not_of("0123456789") == std::string::npos;
}

// A normalised value given directly (with an index) or a display text (with a
// name), as the effect's value.
float valueOf(ParameterNames& table, const std::string& option, int index, const std::string& name,
              const std::string& value) {
    if (isIndex(name)) {
        const auto number = tools::toNumber(value);
        if (!number || *number < 0.0 || *number > 1.0) {
            throw ToolError(option + ": with an index the value is normalised, 0..1, not " +
                            quoted(value));
        }
        return table.fromNormalised(index, static_cast<float>(*number));
    }
    return table.resolveText(option, index, value);
}

Automation automationOf(ParameterNames& table, const Assignment& assignment) {
    Automation automation;
    automation.parameter = table.resolveName(assignment.option, assignment.name);
    for (const std::string& pointText : tools::split(assignment.value, ',')) {
        const auto colon = pointText.find(':');
        if (colon == std::string::npos) {
            throw ToolError(assignment.option + ": expected BEAT:VALUE, got " + quoted(pointText));
        }
        const std::string beatText = pointText.substr(0, colon);
        const auto beat = tools::toNumber(beatText);
        if (!beat) {
            throw ToolError(assignment.option + ": " + quoted(beatText) + " is not a beat");
        }
        if (!automation.points.empty() && *beat <= automation.points.back().beat) {
            throw ToolError(assignment.option + ": beats must increase from point to point");
        }
        const float value = valueOf(table, assignment.option, automation.parameter, assignment.name,
                                    tools::trim(pointText.substr(colon + 1)));
        automation.points.push_back(Automation::Point{*beat, value});
    }
    return automation;
}

std::string settingsLine(ParameterNames& table, const Options& options, const RenderPlan& plan,
                         double rate) {
    std::ostringstream line;
    for (int index = 0; index < table.count(); ++index) {
        line << printable(table.name(index)) << ' ' << table.shown(index) << " \xC2\xB7 ";
    }
    for (const Automation& automation : plan.automations) {
        line << printable(table.name(automation.parameter)) << " automated \xC2\xB7 ";
    }
    if (options.transport.available) {
        char tempo[32];
        std::snprintf(tempo, sizeof tempo, "%g", options.transport.tempo);
        line << tempo << " BPM";
        if (options.transport.start != 0.0) {
            std::snprintf(tempo, sizeof tempo, "%g", options.transport.start);
            line << ", from beat " << tempo;
        }
    } else {
        line << "no host time information";
    }
    line << " \xC2\xB7 " << static_cast<long long>(rate) << " Hz \xC2\xB7 ";
    if (options.randomSeed) {
        line << "random blocks (seed " << *options.randomSeed << ")";
    } else {
        line << "blocks of " << plan.blocks.maxBlock();
    }
    return line.str();
}

// Plots longer than this are refused: the plot's instance renders every
// frame, and this many take minutes already.
constexpr double kMaxPlotFrames = 1e10;

void writeText(const std::string& temporaryPath, const std::string& shownPath,
               const std::string& text) {
    std::ofstream file(temporaryPath, std::ios::binary | std::ios::trunc);
    file << text;
    file.flush();
    if (!file) {
        throw ToolError(quoted(shownPath) + ": write failed");
    }
}

std::string summaryOf(const std::string& path, const Statistics& stats, double rate,
                      const OutputFormat& format) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.2f", static_cast<double>(stats.frames) / rate);
    std::ostringstream line;
    line << path << ": " << seconds << " s at " << static_cast<long long>(rate) << " Hz, "
         << format.description << "; peak L " << decibels(stats.peak[0]) << " R "
         << decibels(stats.peak[1]) << " dBFS; RMS L " << decibels(stats.rms(0)) << " R "
         << decibels(stats.rms(1)) << " dBFS; " << stats.nonFinite << " non-finite";
    if (!format.isFloat) {
        line << ", " << stats.clipped << " clipped";
    } else if (stats.clipped > 0) {
        // Float keeps them: nothing is clipped, but a player may clip them.
        line << ", " << stats.clipped << " above full scale (kept)";
    }
    return line.str();
}

int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const Options options = parse(args);
    if (options.help) {
        out << helpText();
        return 0;
    }
    if (options.version) {
        out << "drifton-render " << DRIFTON_VERSION << "\n";
        return 0;
    }
    const std::string pluginPath =
        options.plugin.empty() ? tools::defaultPluginPath() : options.plugin;

    // Files: checked before any audio is produced.
    std::optional<OutputFormat> format;
    if (options.output) {
        format = outputFormatFor(*options.output, options.bits);
        if (options.input && (*options.input == *options.output ||
                              tools::sameFile(*options.input, *options.output))) {
            throw ToolError(quoted(*options.output) + ": is the input file; choose another output");
        }
    } else if (options.bits != 0) {
        throw ToolError("--bits: there is no OUTPUT file to apply it to");
    }
    if (options.plot) {
        for (const auto& other : {options.input, options.output}) {
            if (other && (*other == *options.plot || tools::sameFile(*other, *options.plot))) {
                throw ToolError("--plot " + *options.plot +
                                ": is also an audio file of this render");
            }
        }
    }
    // Every output gets its temporary file before any work, so that a path
    // that cannot be written fails at once; they replace their targets
    // together, at the end, only when everything succeeded.
    std::optional<tools::PendingOutput> audioOut;
    std::optional<tools::PendingOutput> plotOut;
    if (options.output) {
        audioOut.emplace(*options.output);
    }
    if (options.plot) {
        plotOut.emplace(*options.plot);
        if (audioOut && audioOut->replacedPath() == plotOut->replacedPath()) {
            throw ToolError("--plot " + *options.plot + ": is also an audio file of this render");
        }
    }

    std::unique_ptr<Source> source;
    if (options.output || options.plot) {
        if (options.input) {
            source = std::make_unique<InputFile>(*options.input);
        } else {
            source = std::make_unique<DemoSource>(options.transport.tempo);
        }
    }
    const double rate = source ? source->sampleRate() : DemoSource::kSampleRate;

    std::int64_t plotFrames = 0;
    if (options.plot) {
        const double tempo = options.transport.available ? options.transport.tempo : 120.0;
        const double frames = options.plotBeats * 60.0 / tempo * rate;
        if (frames > kMaxPlotFrames) {
            char text[160];
            std::snprintf(text, sizeof text,
                          "--plot-beats: %g beats at %g BPM and %g Hz are %.3g frames; a plot "
                          "takes at most %.0e",
                          options.plotBeats, tempo, rate, frames, kMaxPlotFrames);
            throw ToolError(text);
        }
        plotFrames = std::max<std::int64_t>(std::llround(frames), 1);
    }

    RenderPlan plan;
    plan.transport = options.transport;
    if (options.randomSeed) {
        plan.blocks = BlockSizer::random(*options.randomSeed);
    } else {
        plan.blocks = BlockSizer(options.block.value_or(512));
    }
    const std::unique_ptr<Effect> effect = openEffect(pluginPath, rate, plan.blocks.maxBlock());
    {
        ParameterNames& table = effect->parameters();
        for (const Assignment& set : options.sets) {
            const int index = table.resolveName(set.option, set.name);
            plan.settings.emplace_back(index,
                                       valueOf(table, set.option, index, set.name, set.value));
        }
        for (const Assignment& automation : options.automations) {
            plan.automations.push_back(automationOf(table, automation));
        }
    }
    if (options.info) {
        // Shown with the --set values applied.
        for (const auto& [index, value] : plan.settings) {
            effect->setParameter(index, value);
        }
        effect->printInfo(pluginPath, out);
        if (!options.output && !options.plot) {
            return 0;
        }
    }
    effect->checkChannels(pluginPath);

    RenderHooks hooks;
    hooks.cancelled = [] { return tools::interrupted(); };
    std::vector<std::string> summaries;
    if (audioOut) {
        OutputFile file(audioOut->temporaryPath(), *options.output, *format, static_cast<int>(rate),
                        source->totalFrames());
        tools::Progress progress(source->totalFrames(), rate, !options.quiet);
        RenderHooks audioHooks = hooks;
        audioHooks.progress = [&](std::int64_t done) { progress.update(done); };
        const Statistics stats = renderSession(*effect, plan, *source, file, audioHooks);
        progress.finish();
        if (stats.nonFinite > 0) {
            throw ToolError(quoted(*options.output) + ": the effect produced " +
                            std::to_string(stats.nonFinite) +
                            " non-finite samples; nothing was written");
        }
        file.close();
        if (const auto* input = dynamic_cast<const InputFile*>(source.get())) {
            if (const std::string warning = input->truncationWarning(); !warning.empty()) {
                err << "drifton-render: warning: " << warning << "\n";
            }
        }
        summaries.push_back(summaryOf(*options.output, stats, rate, *format));
    }

    if (plotOut) {
        // A fresh instance, probed with a constant 1 through the same path.
        const std::unique_ptr<Effect> probe = effect->another(rate, plan.blocks.maxBlock());
        ConstantSource constant(1.0f, plotFrames, rate);
        GainColumns gains(plotFrames);
        for (const auto& [index, value] : plan.settings) {
            probe->setParameter(index, value);
        }
        ParameterNames& table = probe->parameters();
        GainPlot picture;
        const std::string product = probe->productName();
        picture.title = (product.empty() ? std::string("Effect") : product) +
                        ": left and right gain of a constant input";
        picture.subtitle = settingsLine(table, options, plan, rate);
        picture.sampleRate = rate;
        picture.tempo = options.transport.available ? options.transport.tempo : 120.0;
        picture.startBeat = options.transport.available ? options.transport.start : 0.0;
        tools::Progress progress(plotFrames, rate, !options.quiet);
        RenderHooks plotHooks = hooks;
        plotHooks.progress = [&](std::int64_t done) { progress.update(done); };
        renderSession(*probe, plan, constant, gains, plotHooks);
        progress.finish();
        picture.frames = plotFrames;
        picture.left = gains.column(0);
        picture.right = gains.column(1);
        writeText(plotOut->temporaryPath(), *options.plot, plotSvg(picture));
        char beats[32];
        std::snprintf(beats, sizeof beats, "%g", options.plotBeats);
        summaries.push_back(*options.plot + ": gains over " + beats + " beats");
    }

    // Everything succeeded: the outputs replace their targets together.
    if (tools::interrupted()) {
        throw ToolError("interrupted");
    }
    if (audioOut) {
        audioOut->commit();
    }
    if (plotOut) {
        plotOut->commit();
    }
    if (!options.quiet) {
        for (const std::string& line : summaries) {
            out << line << "\n";
        }
    }
    return 0;
}

}  // namespace

int runRenderTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    try {
        return run(args, out, err);
    } catch (const ToolError& error) {
        err << "drifton-render: " << error.what() << "\n";
    } catch (const std::exception& error) {
        err << "drifton-render: unexpected failure: " << error.what() << "\n";
    }
    return 1;
}

std::string helpText() {
    return std::string(R"(Usage: drifton-render [options] [INPUT] OUTPUT
       drifton-render [options] --plot FILE.svg
       drifton-render --info

Renders an audio file through a stereo effect, VST 2.4 or LV2 (by default K'q
Drifton's VST edition), offline, block by block with a host transport, as a DAW
would.

Files
  INPUT                 any file libsndfile reads (WAV, AIFF, FLAC, Ogg Vorbis, ...),
                        mono or stereo; a mono file feeds both inputs. Its sample
                        rate is the session's. Without INPUT a built-in demo is
                        rendered: 8 bars of a groove at 48 kHz and the --tempo.
  OUTPUT                .wav (32-bit float unless --bits) or .flac (24-bit unless
                        --bits). A WAV that may pass 4 GiB is written as RF64.
                        Outputs are written to temporary files beside them and
                        renamed together only when everything succeeded; a link
                        is written through to its target, a replaced file keeps
                        its mode, a read-only file is refused.
  --bits 16|24|32       integer PCM (16, 24) or float (32, WAV only). Integer output
                        is rounded to the nearest step without dither; samples
                        beyond full scale are clipped (and counted in the summary).
  --plot FILE.svg       also draw the left and right gains over time, probed with
                        a constant input through the same settings, transport,
                        blocks and automation, with a beat and bar grid.
  --plot-beats N        length of the plot in beats (default 16, at most 100000
                        and 1e10 frames); its memory does not grow with it
  --plugin PATH         the effect to load: a VST 2.4 plug-in file, an LV2 bundle
                        folder (kq-drifton.lv2), or an LV2 plug-in's URI, found
                        where LV2 hosts look (LV2_PATH, else ~/.lv2,
                        /usr/local/lib/lv2, /usr/lib/lv2, ...). Default: the
                        installed VST edition, <dir of this program>/../lib/vst/
                        KqDrifton.so, else the one built beside this program:
                        )") +
           tools::buildTreePluginPath() + R"(

Transport
  --tempo BPM           tempo reported to the effect (default 120)
  --start BEATS         song position of the first frame in beats (default 0;
                        negative for a count-in)
  --block N             host block size in frames (default 512)
  --random-blocks SEED  varying block sizes 1..4096 from a seeded generator
  --no-transport        the host answers the effect's time requests with nothing,
                        or sends an LV2 plug-in no time:Position (then --tempo
                        only sets the built-in demo's tempo)

Parameters
  --set NAME=TEXT       set a parameter by name (or an LV2 port's symbol) and display
                        text, case-insensitive, e.g. --set Period=1/8 --set Type=Square
                        --set Width=80 --set PhaseShift=-90 (a label, unit or degree
                        sign may be left out)
  --set INDEX=VALUE     set parameter INDEX to a normalised value 0..1
  --automate NAME=BEAT:TEXT,BEAT:TEXT,...
  --automate INDEX=BEAT:VALUE,...
                        move a parameter over time. Between two points the
                        normalised value is interpolated linearly in song position;
                        before the first point it holds the first value, after the
                        last the last. The value is sent at the start of each block,
                        and blocks are split at every point and into pieces of at
                        most 32 frames while the value moves.
  --info                print the effect's identity, channels and parameters with
                        their current display texts; for an LV2 plug-in its ports
                        with symbols, names, ranges, defaults and scale points

Other
  -q, --quiet           print nothing but errors
  -h, --help            this text
      --version         print the release number

A progress bar appears on a terminal when a render takes more than a second. At
the end one line sums up duration, peak and RMS per channel and the number of
non-finite (and, for integer output, clipped) samples; non-finite output is an
error and leaves no file. An input shorter than its header announces is
rendered with a warning. Ctrl-C, SIGTERM or SIGHUP stop the render within a
second and leave no file. Exit status 0 on success, 1 on any error (one line on
stderr). The manual: tools/render/README.md.
)";
}

}  // namespace render
