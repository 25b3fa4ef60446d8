#include "tools/render/audio_file.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "tools/common/cli.h"

namespace render {

using tools::quoted;
using tools::ToolError;

namespace {

std::uint64_t wavDataLimit = kWavDataLimit;
void (*beforeReadBack)(const char*) = nullptr;

// libsndfile counts the frames that are there; its log keeps what the header
// announced, as "data : 8000 (should be 3888)" (WAV) or "SSND : ..." (AIFF).
std::int64_t announcedFramesOf(SNDFILE* file, std::int64_t frames) {
    std::vector<char> log(16384, '\0');
    sf_command(file, SFC_GET_LOG_INFO, log.data(), static_cast<int>(log.size()));
    for (const std::string& line : tools::split(log.data(), '\n')) {
        const std::string text = tools::trim(line);
        if (text.rfind("data", 0) != 0 && text.rfind("SSND", 0) != 0) {
            continue;
        }
        const auto colon = text.find(':');
        const auto should = text.find("(should be ");
        if (colon == std::string::npos || should == std::string::npos) {
            continue;
        }
        const double announced = std::strtod(text.c_str() + colon + 1, nullptr);
        const double actual = std::strtod(text.c_str() + should + 11, nullptr);
        if (actual > 0.0 && announced > actual) {
            return static_cast<std::int64_t>(announced / actual * static_cast<double>(frames));
        }
    }
    return frames;
}

}  // namespace

void setWavDataLimitForTests(std::uint64_t bytes) { wavDataLimit = bytes; }
void setBeforeReadBackForTests(void (*hook)(const char* path)) { beforeReadBack = hook; }

InputFile::InputFile(const std::string& path) : path_(path) {
    file_ = sf_open(path.c_str(), SFM_READ, &info_);
    if (file_ == nullptr) {
        throw ToolError(quoted(path) + ": cannot read audio: " + sf_strerror(nullptr));
    }
    if (info_.channels < 1 || info_.channels > 2) {
        const int channels = info_.channels;
        sf_close(file_);
        file_ = nullptr;
        throw ToolError(quoted(path) + ": has " + std::to_string(channels) +
                        " channels; only mono and stereo files can be rendered");
    }
    if (info_.samplerate <= 0) {
        sf_close(file_);
        file_ = nullptr;
        throw ToolError(quoted(path) + ": has no valid sample rate");
    }
    announced_ = announcedFramesOf(file_, info_.frames);
}

std::string InputFile::truncationWarning() const {
    const std::int64_t expected = std::max<std::int64_t>(announced_, info_.frames);
    if (read_ >= expected) {
        return {};
    }
    return quoted(path_) + ": the file ends after " + std::to_string(read_) + " of the " +
           std::to_string(expected) + " frames its header announces (cut short?); rendered " +
           std::to_string(read_);
}

InputFile::~InputFile() {
    if (file_ != nullptr) {
        sf_close(file_);
    }
}

std::size_t InputFile::read(float* left, float* right, std::size_t frames) {
    const auto channels = static_cast<std::size_t>(info_.channels);
    std::size_t done = 0;
    while (done < frames) {
        if (next_ == available_) {
            interleaved_.resize(kFileChunkFrames * channels);
            const sf_count_t got = sf_readf_float(file_, interleaved_.data(),
                                                  static_cast<sf_count_t>(kFileChunkFrames));
            if (got < 0 || sf_error(file_) != SF_ERR_NO_ERROR) {
                throw ToolError(quoted(path_) + ": read failed: " + sf_strerror(file_));
            }
            available_ = static_cast<std::size_t>(got);
            next_ = 0;
            if (available_ == 0) {
                break;
            }
        }
        const std::size_t count = std::min(frames - done, available_ - next_);
        const float* from = interleaved_.data() + next_ * channels;
        if (channels == 1) {
            std::copy_n(from, count, left + done);
            std::copy_n(from, count, right + done);
        } else {
            for (std::size_t i = 0; i < count; ++i) {
                left[done + i] = from[2 * i];
                right[done + i] = from[2 * i + 1];
            }
        }
        next_ += count;
        done += count;
    }
    read_ += static_cast<std::int64_t>(done);
    return done;
}

OutputFormat outputFormatFor(const std::string& path, int bits) {
    const auto dot = path.rfind('.');
    const auto slash = path.rfind('/');
    const std::string extension =
        dot == std::string::npos || (slash != std::string::npos && dot < slash)
            ? std::string()
            : tools::lowercase(path.substr(dot + 1));
    OutputFormat format;
    if (extension == "wav" || extension == "wave") {
        switch (bits) {
        case 0:
        case 32:
            format = {SF_FORMAT_WAV | SF_FORMAT_FLOAT, "WAV, 32-bit float", 4, true};
            break;
        case 16:
            format = {SF_FORMAT_WAV | SF_FORMAT_PCM_16, "WAV, 16-bit", 2, false};
            break;
        case 24:
            format = {SF_FORMAT_WAV | SF_FORMAT_PCM_24, "WAV, 24-bit", 3, false};
            break;
        default:
            throw ToolError("--bits: " + std::to_string(bits) + " is not one of 16, 24, 32");
        }
    } else if (extension == "flac") {
        switch (bits) {
        case 16:
            format = {SF_FORMAT_FLAC | SF_FORMAT_PCM_16, "FLAC, 16-bit", 2, false};
            break;
        case 0:
        case 24:
            format = {SF_FORMAT_FLAC | SF_FORMAT_PCM_24, "FLAC, 24-bit", 3, false};
            break;
        default:
            throw ToolError("--bits: FLAC takes 16 or 24, not " + std::to_string(bits));
        }
    } else {
        throw ToolError(quoted(path) + ": unknown output type; name a .wav or .flac file");
    }
    return format;
}

OutputFile::OutputFile(const std::string& writePath, const std::string& displayPath,
                       const OutputFormat& format, int sampleRate, std::int64_t expectedFrames)
    : writePath_(writePath), displayPath_(displayPath) {
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = 2;
    info.format = format.sndfileFormat;
    bytesPerFrame_ = 2u * static_cast<std::uint64_t>(format.bytesPerSample);
    if ((format.sndfileFormat & SF_FORMAT_TYPEMASK) == SF_FORMAT_WAV) {
        // RF64 unless the data stays well below the plain WAV limit (the
        // expected length may be an estimate).
        const bool small = expectedFrames > 0 && static_cast<std::uint64_t>(expectedFrames) <=
                                                     wavDataLimit / 2 / bytesPerFrame_;
        if (small) {
            dataLimit_ = wavDataLimit;
        } else {
            info.format = SF_FORMAT_RF64 | (format.sndfileFormat & SF_FORMAT_SUBMASK);
            rf64_ = true;
        }
    }
    if (sf_format_check(&info) == 0) {
        throw ToolError(quoted(displayPath) + ": " + format.description + " cannot hold " +
                        std::to_string(sampleRate) + " Hz");
    }
    file_ = sf_open(writePath.c_str(), SFM_WRITE, &info);
    if (file_ == nullptr) {
        throw ToolError(quoted(displayPath) + ": cannot write: " + sf_strerror(nullptr));
    }
    if (rf64_) {
        // Written as a plain WAV after all when it ends below 4 GiB.
        sf_command(file_, SFC_RF64_AUTO_DOWNGRADE, nullptr, SF_TRUE);
    }
    // Integer output: samples beyond full scale are clipped, not wrapped.
    // Conversion rounds to the nearest step without dither.
    sf_command(file_, SFC_SET_CLIPPING, nullptr, SF_TRUE);
}

OutputFile::~OutputFile() {
    if (file_ != nullptr) {
        sf_close(file_);
    }
}

void OutputFile::write(const float* left, const float* right, std::size_t frames) {
    interleaved_.resize(kFileChunkFrames * 2);
    std::size_t done = 0;
    while (done < frames) {
        const std::size_t count = std::min(frames - done, kFileChunkFrames - pending_);
        float* to = interleaved_.data() + pending_ * 2;
        for (std::size_t i = 0; i < count; ++i) {
            to[2 * i] = left[done + i];
            to[2 * i + 1] = right[done + i];
        }
        pending_ += count;
        done += count;
        if (pending_ == kFileChunkFrames) {
            flush();
        }
    }
}

void OutputFile::flush() {
    if (dataLimit_ != 0 &&
        static_cast<std::uint64_t>(written_ + static_cast<std::int64_t>(pending_)) >
            dataLimit_ / bytesPerFrame_) {
        // Never wrap the size fields: a file that reads back shorter is lost work.
        throw ToolError(quoted(displayPath_) +
                        ": the input holds more frames than it announced, more than a plain WAV "
                        "file holds; nothing was written");
    }
    const sf_count_t written =
        sf_writef_float(file_, interleaved_.data(), static_cast<sf_count_t>(pending_));
    if (written != static_cast<sf_count_t>(pending_)) {
        throw ToolError(quoted(displayPath_) + ": write failed: " + sf_strerror(file_));
    }
    written_ += static_cast<std::int64_t>(pending_);
    pending_ = 0;
}

void OutputFile::close() {
    if (file_ != nullptr && pending_ > 0) {
        flush();
    }
    SNDFILE* file = file_;
    file_ = nullptr;
    if (file != nullptr && sf_close(file) != 0) {
        throw ToolError(quoted(displayPath_) + ": could not finish writing the file");
    }
    if (beforeReadBack != nullptr) {
        beforeReadBack(writePath_.c_str());
    }
    // Success only for a file that reads back whole.
    SF_INFO info{};
    SNDFILE* check = sf_open(writePath_.c_str(), SFM_READ, &info);
    const sf_count_t frames = check != nullptr ? info.frames : -1;
    if (check != nullptr) {
        sf_close(check);
    }
    if (frames != written_ || info.channels != 2) {
        throw ToolError(quoted(displayPath_) + ": the written file reads back as " +
                        std::to_string(frames < 0 ? 0 : frames) + " frames of the " +
                        std::to_string(written_) + " written; not replaced");
    }
}

}  // namespace render
