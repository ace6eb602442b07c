#pragma once

// The render plumbing of the unit: the input bus with its pull buffer, and the helper that
// turns one host render call into kernel calls split at parameter events.

#include "platform/au/au_buffers.h"

#include <memory>
#include <vector>

namespace zerin {

struct ZerinExtensionDSPKernel;

struct BufferedInputBus {
    std::unique_ptr<AUAudioUnitBus> bus;
    AUAudioFrameCount maxFrames = 0;
    std::unique_ptr<AVAudioPCMBuffer> pcmBuffer;
    const AudioBufferList* bufferList = nullptr;
    AudioBufferList* mutableBufferList = nullptr;

    bool configure(const AVAudioFormat& defaultFormat, std::uint32_t maximumChannels,
                   AUError* error);
    void allocate(AUAudioFrameCount frames);
    void deallocate();
    // Points the mutable list at the pull buffer again, sized for `frameCount` frames: a
    // previous pull may have pointed it elsewhere. Render thread.
    void prepareInputBufferList(AUAudioFrameCount frameCount) noexcept;
};

struct AUProcessHelper {
    ZerinExtensionDSPKernel* kernel = nullptr;
    std::vector<const float*> inputPointers;
    std::vector<float*> outputPointers;
    BufferedInputBus* inputBus = nullptr;

    // Sized once, at allocation: the render thread only overwrites entries.
    void resize(std::size_t inputs, std::size_t outputs);

    // Renders `frameCount` frames, applying each parameter event at its sample. Render thread.
    void renderWithEvents(const AudioBufferList* input, AudioBufferList* output,
                          const AudioTimeStamp* timestamp, AUAudioFrameCount frameCount,
                          const AURenderEvent* events) noexcept;
    const AURenderEvent* applyEventsAt(AUEventSampleTime now, const AURenderEvent* event) noexcept;

private:
    void processSlice(const AudioBufferList* input, AudioBufferList* output, std::size_t channels,
                      AUAudioFrameCount offset, AUAudioFrameCount frames) noexcept;
};

} // namespace zerin
