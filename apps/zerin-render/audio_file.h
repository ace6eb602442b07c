#pragma once

// Audio files through libsndfile: a streaming reader and a writer that only ever shows the
// finished file (it writes a temporary file in the target folder and renames it at the end).

#include <sndfile.h>

#include <cstdint>
#include <string>
#include <vector>

namespace zerin::render {

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
    SNDFILE* mFile = nullptr;
    AudioInfo mInfo;
};

class AudioWriter {
public:
    // Opens a temporary file beside `path` in the format its extension names. False with
    // `error` if the extension is unknown or the folder cannot be written.
    bool open(const std::string& path, const AudioInfo& info, std::string* error);
    ~AudioWriter(); // discards the temporary file unless `commit` succeeded
    bool write(const float* interleaved, std::int64_t frames, std::string* error);
    // Finishes the file and renames it into place.
    bool commit(std::string* error);

private:
    void discard();
    SNDFILE* mFile = nullptr;
    int mFd = -1;
    std::int64_t mUnsynced = 0; // bytes written since writeback was last started
    std::string mPath;
    std::string mTempPath;
};

// The libsndfile format for an output extension (.wav float, .flac 24-bit, .ogg Vorbis,
// .aiff 24-bit), or 0 if the extension is not one Zerin writes.
int outputFormatFor(const std::string& path);

// Writes `text` to `path` through a temporary file and a rename.
bool writeFileAtomically(const std::string& path, const std::string& text, std::string* error);

} // namespace zerin::render
