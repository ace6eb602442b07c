#pragma once

// What the unit hears when no JACK server feeds it: an audio file or the built-in demo,
// read block by block as planar audio, from the start again at the end.

#include "session/audio_file.h"
#include "session/demo_signal.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zerin::editor {

class AudioSource {
public:
    // The file, or the demo when `path` is none. Null with `error` naming the file if it
    // cannot be read or has more than two channels.
    static std::unique_ptr<AudioSource> open(const std::optional<std::string>& path,
                                             std::string* error);

    const session::AudioInfo& info() const { return mInfo; }
    std::string name() const { return mPath ? *mPath : "the demo signal"; }
    std::int64_t length() const { return mInfo.frames; }

    // Fills `frames` frames of each channel; at the end of the material it starts over when
    // `loop` is set, else it fills with silence. Returns the frames of material read.
    std::int64_t read(float* const* channels, std::int64_t frames, bool loop);

private:
    AudioSource() = default;
    bool restart(std::string* error);
    std::int64_t readInterleaved(float* interleaved, std::int64_t frames);

    std::optional<std::string> mPath;
    session::AudioInfo mInfo{session::DemoSignal::kSampleRate, session::DemoSignal::kChannels,
                             session::DemoSignal::kFrames};
    std::unique_ptr<session::AudioReader> mFile;
    std::unique_ptr<session::DemoSignal> mDemo;
    std::vector<float> mInterleaved;
};

} // namespace zerin::editor
