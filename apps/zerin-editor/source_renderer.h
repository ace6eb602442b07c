#pragma once

// Feeds an AudioSource through the unit's render block as a host would, one block at a time,
// and drops what comes out: the editor only needs the unit to have heard it (its
// classification and its LFO run on). Used for snapshots and when no JACK server runs.

#include "audio_source.h"
#include "audiounit/zerin_audio_unit.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace zerin::editor {

inline constexpr std::uint32_t kSourceBlockFrames = 512;

// Sets the unit's busses to `channels` channels at `sampleRate`, its largest render call to
// `maxFrames`, and allocates its render resources. False with `error` if the unit refuses.
bool prepareUnit(ZerinExtensionAudioUnit& unit, double sampleRate, std::uint32_t channels,
                 std::uint32_t maxFrames, std::string* error);

class SourceRenderer {
public:
    // The unit must be prepared for the source's format with kSourceBlockFrames.
    SourceRenderer(ZerinExtensionAudioUnit& unit, AudioSource& source);
    SourceRenderer(const SourceRenderer&) = delete; // the pull block points at this object
    SourceRenderer& operator=(const SourceRenderer&) = delete;
    // One block; false if the unit refused to render it.
    bool renderBlock(bool loop);
    // Up to `seconds` of the source from where it stands, not looping.
    bool renderSeconds(double seconds);

private:
    AudioSource& mSource;
    AUInternalRenderBlock mRender;
    AURenderPullInputBlock mPull;
    std::vector<std::vector<float>> mInput, mOutput;
    std::int64_t mSampleTime = 0;
    bool mLoop = false;
};

// Renders the source in real time on a thread of its own, looping, until destroyed.
class SourceLoop {
public:
    SourceLoop(ZerinExtensionAudioUnit& unit, AudioSource& source);
    ~SourceLoop(); // stops the thread
    SourceLoop(const SourceLoop&) = delete;
    SourceLoop& operator=(const SourceLoop&) = delete;

private:
    void run();
    SourceRenderer mRenderer;
    double mBlockSeconds;
    std::atomic<bool> mStop{false};
    std::thread mThread;
};

} // namespace zerin::editor
