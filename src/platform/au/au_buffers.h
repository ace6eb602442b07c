#pragma once

// Formats, PCM buffers, busses and bus arrays of the audio-unit stand-in.

#include "platform/au/au_types.h"

#include <memory>
#include <optional>
#include <vector>

namespace zerin {

// The standard format: deinterleaved 32-bit float at a sample rate and channel count.
struct AVAudioFormat {
    double sampleRate = 44100.0;
    std::uint32_t channelCount = 2;
    friend bool operator==(const AVAudioFormat&, const AVAudioFormat&) = default;
};

// Deinterleaved float storage for `frameCapacity` frames of every channel of a format.
class AVAudioPCMBuffer {
public:
    AVAudioPCMBuffer(const AVAudioFormat& format, AUAudioFrameCount frameCapacity);
    const AVAudioFormat& format() const { return mFormat; }
    AUAudioFrameCount frameCapacity() const { return mCapacity; }
    // The buffer's own list always points at its storage. The mutable list is a separate copy
    // that a host's pull may repoint; the unit restores it from the own list before each pull.
    const AudioBufferList* audioBufferList() const { return &mList; }
    AudioBufferList* mutableAudioBufferList() { return &mMutableList; }
    float* channel(std::uint32_t c) { return mStorage.data() + std::size_t(c) * mCapacity; }

private:
    AVAudioFormat mFormat;
    AUAudioFrameCount mCapacity;
    std::vector<float> mStorage;
    AudioBufferList mList;
    AudioBufferList mMutableList;
};

class AUAudioUnitBus {
public:
    // Fails (null, with `error` set) for a format the stand-in cannot carry.
    static std::unique_ptr<AUAudioUnitBus> create(const AVAudioFormat& format, AUError* error);

    const AVAudioFormat& format() const { return mFormat; }
    // The host proposes a format; false (with `error`) if it has too many channels or an
    // unusable rate, leaving the bus unchanged.
    bool setFormat(const AVAudioFormat& format, AUError* error);
    std::uint32_t maximumChannelCount() const { return mMaximumChannelCount; }
    void setMaximumChannelCount(std::uint32_t count) { mMaximumChannelCount = count; }

private:
    explicit AUAudioUnitBus(const AVAudioFormat& format) : mFormat(format) {}
    AVAudioFormat mFormat;
    std::uint32_t mMaximumChannelCount = kMaxBusChannels;
};

enum class AUAudioUnitBusType { AUAudioUnitBusTypeInput = 1, AUAudioUnitBusTypeOutput = 2 };

// The busses of one direction; the unit owns the busses, the array refers to them.
class AUAudioUnitBusArray {
public:
    AUAudioUnitBusArray(AUAudioUnitBusType type, std::vector<AUAudioUnitBus*> busses)
        : mType(type), mBusses(std::move(busses)) {}
    AUAudioUnitBusType busType() const { return mType; }
    std::size_t count() const { return mBusses.size(); }
    AUAudioUnitBus& operator[](std::size_t i) const { return *mBusses[i]; }

private:
    AUAudioUnitBusType mType;
    std::vector<AUAudioUnitBus*> mBusses;
};

} // namespace zerin
