#pragma once

// A host in miniature for the unit suites: it makes the unit the way the factory does, sets
// the bus formats, allocates, fetches the render block and calls it with a pull block that
// serves prepared input, exactly the sequence a real host goes through.

#include "audiounit/parameters.h"
#include "audiounit/zerin_audio_unit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace zerin::test {

using Signal = std::vector<float>;
using Channels = std::vector<Signal>;

inline std::shared_ptr<ZerinExtensionAudioUnit> makeUnit() {
    AUError error;
    auto unit = ZerinExtensionAudioUnit::create(zerinComponentDescription(), 0, &error);
    EXPECT_TRUE(unit) << error.message;
    unit->setupParameterTree(buildParameterTree(parameterTreeSpec()));
    return unit;
}

inline AUParameter& param(ZerinExtensionAudioUnit& unit, const std::string& identifier) {
    AUParameter* p = unit.parameterTree()->parameterWithIdentifier(identifier);
    EXPECT_NE(p, nullptr) << identifier;
    return *p;
}

inline AUParameterAddress addressOf(const std::string& identifier) {
    return parameterSpec(identifier)->address;
}

inline void setFormats(ZerinExtensionAudioUnit& unit, double rate, std::uint32_t inChannels,
                       std::uint32_t outChannels) {
    AUError error;
    ASSERT_TRUE((*unit.inputBusses())[0].setFormat({rate, inChannels}, &error)) << error.message;
    ASSERT_TRUE((*unit.outputBusses())[0].setFormat({rate, outChannels}, &error)) << error.message;
}

// Uniform noise in [-amp, amp), the same on every platform.
inline Signal noise(std::size_t n, std::uint32_t seed, float amp = 0.5f) {
    Signal s(n);
    std::uint32_t x = seed * 2654435761u + 1u;
    for (float& v : s) {
        x = x * 1664525u + 1013904223u;
        v = amp * (static_cast<float>(x >> 8) / 8388608.0f - 1.0f);
    }
    return s;
}

inline Channels noiseChannels(int channels, std::size_t n, std::uint32_t seed) {
    Channels c;
    for (int i = 0; i < channels; ++i)
        c.push_back(noise(n, seed + 17u * static_cast<std::uint32_t>(i)));
    return c;
}

// A pull block from its working part; every pull must ask for input bus 0.
using PullBody = std::function<AUAudioUnitStatus(AUAudioFrameCount, AudioBufferList*)>;
inline AURenderPullInputBlock pullOf(PullBody body) {
    return [body = std::move(body)](AudioUnitRenderActionFlags*, const AudioTimeStamp*,
                                    AUAudioFrameCount frames, std::int64_t bus,
                                    AudioBufferList* list) {
        EXPECT_EQ(bus, 0);
        return body(frames, list);
    };
}

// A pull that copies `input` from `offset` into the unit's own buffers.
inline AURenderPullInputBlock copyingPull(const Channels& input, std::size_t offset) {
    return pullOf([&input, offset](AUAudioFrameCount frames, AudioBufferList* list) {
        for (std::uint32_t c = 0; c < list->mNumberBuffers; ++c) {
            EXPECT_GE(list->mBuffers[c].mDataByteSize, frames * sizeof(float));
            std::copy_n(input[c].begin() + static_cast<long>(offset), frames,
                        static_cast<float*>(list->mBuffers[c].mData));
        }
        return AUAudioUnitStatus{0};
    });
}

inline AudioBufferList listOf(Channels& buffers, std::size_t count) {
    AudioBufferList list;
    list.mNumberBuffers = static_cast<std::uint32_t>(count);
    for (std::size_t c = 0; c < count; ++c)
        list.mBuffers[c] = {1, static_cast<std::uint32_t>(buffers[c].size() * sizeof(float)),
                            buffers[c].data()};
    return list;
}

struct Host {
    std::shared_ptr<ZerinExtensionAudioUnit> unit;
    AUInternalRenderBlock block;
    int channels;
    double sampleTime = 0.0;

    // Settings as (identifier, value) go through the tree before allocation.
    explicit Host(double rate = 44100.0, int channelCount = 2,
                  std::vector<std::pair<std::string, float>> settings = {},
                  AUAudioFrameCount maxFrames = 1024)
        : unit(makeUnit()), channels(channelCount) {
        for (const auto& [id, value] : settings)
            param(*unit, id).setValue(value);
        setFormats(*unit, rate, channelCount, channelCount);
        unit->setMaximumFramesToRender(maxFrames);
        AUError error;
        EXPECT_TRUE(unit->allocateRenderResources(&error)) << error.message;
        block = unit->internalRenderBlock();
    }

    // One render call at the host's running sample time, advanced on success.
    AUAudioUnitStatus render(AudioBufferList& output, AUAudioFrameCount frames,
                             const AURenderPullInputBlock* pull,
                             const AURenderEvent* events = nullptr) {
        AudioTimeStamp stamp;
        stamp.mSampleTime = sampleTime;
        AudioUnitRenderActionFlags flags = 0;
        const AUAudioUnitStatus status = block(&flags, &stamp, frames, 0, &output, events, pull);
        if (status == 0) sampleTime += frames;
        return status;
    }

    // `frames` frames of `input` from `offset` into `output`.
    AUAudioUnitStatus call(const Channels& input, std::size_t offset, AUAudioFrameCount frames,
                           Channels& output, const AURenderEvent* events = nullptr) {
        output.assign(channels, Signal(frames, 0.0f));
        AudioBufferList list = listOf(output, output.size());
        const AURenderPullInputBlock pull = copyingPull(input, offset);
        return render(list, frames, &pull, events);
    }

    // The whole of `input`, in calls of `blockFrames`.
    Channels run(const Channels& input, AUAudioFrameCount blockFrames = 512) {
        Channels out(channels);
        Channels part;
        for (std::size_t done = 0; done < input[0].size(); done += blockFrames) {
            const auto frames = static_cast<AUAudioFrameCount>(
                std::min<std::size_t>(blockFrames, input[0].size() - done));
            EXPECT_EQ(call(input, done, frames, part), 0);
            for (int c = 0; c < channels; ++c)
                out[c].insert(out[c].end(), part[c].begin(), part[c].end());
        }
        return out;
    }
};

} // namespace zerin::test
