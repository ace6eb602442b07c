#pragma once

// Audio files through libsndfile: a streaming reader and a writer that only ever shows the
// finished file (it writes out of sight in the target folder and puts the file in place at
// the end), and only when every byte of it reached the disk.

#include "platform/files/atomic_file.h"

#include <sndfile.h>

#include <cstdint>
#include <string>
#include <vector>

namespace zerin::session {

// The sample rates Zerin renders: from the telephone rate to the highest rate audio
// interfaces offer. A header claiming more would make the tail alone billions of frames.
inline constexpr int kMinSampleRate = 8000;
inline constexpr int kMaxSampleRate = 768000;

struct AudioInfo {
    double sampleRate = 48000.0;
    int channels = 2;
    std::int64_t frames = 0;
};

class AudioReader {
public:
    // False with `error` naming the file if it cannot be opened or read as audio.
    bool open(const std::string& path, std::string* error);
    ~AudioReader();
    const AudioInfo& info() const { return mInfo; }
    // Reads up to `frames` interleaved frames; returns how many were read (0 at the end).
    std::int64_t read(float* interleaved, std::int64_t frames);

private:
    int mFd = -1; // ours to close, after libsndfile is done with it
    SNDFILE* mFile = nullptr;
    AudioInfo mInfo;
};

class AudioWriter {
public:
    // Starts a file that `commit` puts at `path`, in the format its extension names. False
    // with `error` if the extension is unknown or the folder cannot be written.
    bool open(const std::string& path, const AudioInfo& info, std::string* error);
    ~AudioWriter(); // discards the file unless `commit` succeeded
    bool write(const float* interleaved, std::int64_t frames, std::string* error);
    // Finishes the file (the encoders write their last pages and headers here), syncs it
    // and puts it in place. Any write error met on the way fails it.
    bool commit(std::string* error);

private:
    void discard();
    SNDFILE* mFile = nullptr;
    AtomicFile mOut;
    std::int64_t mUnsynced = 0; // bytes written since writeback was last started
    std::string mPath;
};

// The libsndfile format for an output extension (.wav float, .flac 24-bit, .ogg Vorbis,
// .aiff 24-bit), or 0 if the extension is not one Zerin writes.
int outputFormatFor(const std::string& path);

} // namespace zerin::session
