#include "audio_source.h"

#include <algorithm>

namespace zerin::editor {

std::unique_ptr<AudioSource> AudioSource::open(const std::optional<std::string>& path,
                                               std::string* error) {
    std::unique_ptr<AudioSource> source(new AudioSource);
    source->mPath = path;
    if (!source->restart(error)) return nullptr;
    if (path) {
        source->mInfo = source->mFile->info();
        if (source->mInfo.channels > 2) {
            *error = *path + ": has " + std::to_string(source->mInfo.channels) +
                     " channels; Zerin renders mono or stereo";
            return nullptr;
        }
        if (source->mInfo.frames <= 0) {
            *error = *path + ": holds no audio";
            return nullptr;
        }
    }
    return source;
}

// A reader has no way back to the start: a file is opened afresh, the demo made again.
bool AudioSource::restart(std::string* error) {
    if (!mPath) {
        mDemo = std::make_unique<session::DemoSignal>();
        return true;
    }
    auto file = std::make_unique<session::AudioReader>();
    if (!file->open(*mPath, error)) return false;
    mFile = std::move(file);
    return true;
}

std::int64_t AudioSource::readInterleaved(float* interleaved, std::int64_t frames) {
    return mDemo ? mDemo->read(interleaved, frames) : mFile->read(interleaved, frames);
}

std::int64_t AudioSource::read(float* const* channels, std::int64_t frames, bool loop) {
    const int count = mInfo.channels;
    mInterleaved.resize(static_cast<std::size_t>(frames) * count);
    std::int64_t done = 0;
    bool restarted = false;
    while (done < frames) {
        const std::int64_t got =
            std::max<std::int64_t>(0, readInterleaved(mInterleaved.data(), frames - done));
        for (int c = 0; c < count; ++c)
            for (std::int64_t i = 0; i < got; ++i)
                channels[c][done + i] = mInterleaved[i * count + c];
        done += got;
        if (got > 0) restarted = false;
        if (done == frames) break;
        // One restart per gap: a file that yields nothing even from its start (truncated
        // since it was opened) must not spin here.
        std::string ignored;
        if (!loop || restarted || !restart(&ignored)) break;
        restarted = true;
    }
    for (int c = 0; c < count; ++c)
        std::fill(channels[c] + done, channels[c] + frames, 0.0f);
    return done;
}

} // namespace zerin::editor
