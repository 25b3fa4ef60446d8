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
    // The frames the file's header announces; more than totalFrames() when
    // the file was cut short (libsndfile counts what is there).
    std::int64_t announcedFrames() const { return announced_; }
    std::int64_t framesRead() const { return read_; }
    // A warning naming the file and both frame counts when fewer frames were
    // read than the header announces; empty otherwise.
    std::string truncationWarning() const;

private:
    std::string path_;
    std::int64_t announced_ = 0;
    std::int64_t read_ = 0;
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
    int bytesPerSample = 4;
    bool isFloat = false;  // nothing is clipped
};

// The largest data chunk a plain WAV file holds (its size fields are 32-bit).
// WAV output expected to come near it, or of unknown length, is written as
// RF64 (the 64-bit WAV of EBU Tech 3306), which libsndfile turns back into a
// plain WAV on closing when the data stayed small. Tests lower the limit.
inline constexpr std::uint64_t kWavDataLimit = 0xFFFFFFFFull - 1024;
void setWavDataLimitForTests(std::uint64_t bytes);
// Called with the finished temporary file before it is read back, so that
// tests can damage it.
void setBeforeReadBackForTests(void (*hook)(const char* path));

// `bits` is 0 for the container's default: 32-bit float for WAV, 24-bit for
// FLAC (which has no float samples). Throws ToolError naming the file or --bits.
OutputFormat outputFormatFor(const std::string& path, int bits);

// An output file written at `writePath` (the temporary file); errors name
// `displayPath`, the file the user asked for. `expectedFrames` (0 when not
// known) chooses between plain WAV and RF64.
class OutputFile : public Sink {
public:
    OutputFile(const std::string& writePath, const std::string& displayPath,
               const OutputFormat& format, int sampleRate, std::int64_t expectedFrames);
    ~OutputFile() override;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    void write(const float* left, const float* right, std::size_t frames) override;
    // Flushes, closes and reads the file's header back; throws ToolError when
    // the data did not reach the file or the file reads back other than written.
    void close();
    bool isRf64() const { return rf64_; }

private:
    void flush();
    std::string writePath_;
    std::string displayPath_;
    std::uint64_t bytesPerFrame_ = 8;
    std::uint64_t dataLimit_ = 0;  // plain WAV only; 0 for none
    std::int64_t written_ = 0;
    bool rf64_ = false;
    SNDFILE* file_ = nullptr;
    std::vector<float> interleaved_;  // frames waiting to be written
    std::size_t pending_ = 0;
};

}  // namespace render
