// Audio files through libsndfile: any format it reads as input, WAV or FLAC as
// output, always exchanged with the renderer as two planar float channels.
#pragma once

#include <sndfile.h>

#include <cstdint>
#include <string>
#include <vector>

namespace render {

// What a file source or the demo hands to the renderer, a block at a time.
class Source {
public:
    virtual ~Source() = default;
    // Fills up to `frames` frames of both channels; fewer only at the end.
    virtual std::size_t read(float* left, float* right, std::size_t frames) = 0;
    virtual double sampleRate() const = 0;
    // Frames in total, or 0 when not known.
    virtual std::int64_t totalFrames() const = 0;
};

class Sink {
public:
    virtual ~Sink() = default;
    virtual void write(const float* left, const float* right, std::size_t frames) = 0;
};

// An input file. A mono file feeds both channels; more than two channels is
// an error naming the file.
class InputFile : public Source {
public:
    explicit InputFile(const std::string& path);
    ~InputFile() override;
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    std::size_t read(float* left, float* right, std::size_t frames) override;
    double sampleRate() const override { return static_cast<double>(info_.samplerate); }
    std::int64_t totalFrames() const override { return info_.frames; }
    int channels() const { return info_.channels; }

private:
    std::string path_;
    SF_INFO info_{};
    SNDFILE* file_ = nullptr;
    std::vector<float> interleaved_;  // frames read ahead, in the file's layout
    std::size_t available_ = 0;       // frames in interleaved_
    std::size_t next_ = 0;            // first frame not handed out
};

// Files are read and written in chunks of this many frames: libsndfile passes
// each call to the system, and host blocks are small.
inline constexpr std::size_t kFileChunkFrames = 65536;

// Container and sample format of an output file, from its extension and --bits.
struct OutputFormat {
    int sndfileFormat = 0;
    std::string description;  // e.g. "WAV, 32-bit float"
};

// `bits` is 0 for the container's default: 32-bit float for WAV, 24-bit for
// FLAC (which has no float samples). Throws ToolError naming the file or --bits.
OutputFormat outputFormatFor(const std::string& path, int bits);

// An output file written at `writePath` (the temporary file); errors name
// `displayPath`, the file the user asked for.
class OutputFile : public Sink {
public:
    OutputFile(const std::string& writePath, const std::string& displayPath,
               const OutputFormat& format, int sampleRate);
    ~OutputFile() override;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    void write(const float* left, const float* right, std::size_t frames) override;
    // Flushes and closes; throws ToolError when the data did not reach the file.
    void close();

private:
    void flush();
    std::string displayPath_;
    SNDFILE* file_ = nullptr;
    std::vector<float> interleaved_;  // frames waiting to be written
    std::size_t pending_ = 0;
};

}  // namespace render
