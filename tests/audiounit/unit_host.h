#pragma once

// A host in miniature: makes and allocates the unit, and renders with a pull serving input.

#include "audiounit/parameters.h"
#include "audiounit/zerin_audio_unit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace zerin::test {

using Channels = std::vector<std::vector<float>>;

inline std::shared_ptr<ZerinExtensionAudioUnit> makeUnit() {
    AUError error;
    auto unit = ZerinExtensionAudioUnit::create(zerinComponentDescription(), 0, &error);
    EXPECT_TRUE(unit) << error.message;
    unit->setupParameterTree(buildParameterTree(parameterTreeSpec()));
    return unit;
}

inline AUParameter& param(ZerinExtensionAudioUnit& unit, const std::string& identifier) {
    return *unit.parameterTree()->parameterWithIdentifier(identifier);
}

inline bool setFormats(ZerinExtensionAudioUnit& unit, double rate, std::uint32_t inChannels,
                       std::uint32_t outChannels) {
    AUError error;
    return (*unit.inputBusses())[0].setFormat({rate, inChannels}, &error) &&
           (*unit.outputBusses())[0].setFormat({rate, outChannels}, &error);
}

// Noise in [-0.5, 0.5], the same in every run.
inline Channels noise(int channels, std::size_t frames, unsigned seed) {
    std::minstd_rand random(seed);
    Channels out(channels, std::vector<float>(frames));
    for (auto& channel : out)
        for (float& v : channel)
            v = static_cast<float>(random()) / static_cast<float>(random.max()) - 0.5f;
    return out;
}

// A pull block from its working part; every pull must ask for input bus 0.
template <typename Body> AURenderPullInputBlock pullOf(Body body) {
    return [body](AudioUnitRenderActionFlags*, const AudioTimeStamp*, AUAudioFrameCount frames,
                  std::int64_t bus, AudioBufferList* list) -> AUAudioUnitStatus {
        EXPECT_EQ(bus, 0);
        return body(frames, list);
    };
}

inline AudioBufferList listOf(Channels& buffers) {
    AudioBufferList list;
    list.mNumberBuffers = static_cast<std::uint32_t>(buffers.size());
    for (std::size_t c = 0; c < buffers.size(); ++c)
        list.mBuffers[c] = {1, static_cast<std::uint32_t>(buffers[c].size() * sizeof(float)),
                            buffers[c].data()};
    return list;
}

struct Host {
    std::shared_ptr<ZerinExtensionAudioUnit> unit = makeUnit();
    AUInternalRenderBlock block;
    int channels = 0;
    double sampleTime = 0.0;
    bool inPlace = false;

    // Settings as (identifier, value) go through the tree before allocation.
    explicit Host(double rate = 44100.0, int channelCount = 2,
                  const std::vector<std::pair<std::string, float>>& settings = {}) {
        for (const auto& [id, value] : settings)
            param(*unit, id).setValue(value);
        allocate(rate, channelCount);
    }

    void allocate(double rate, int channelCount) {
        unit->deallocateRenderResources();
        EXPECT_TRUE(setFormats(*unit, rate, channelCount, channelCount));
        AUError error;
        EXPECT_TRUE(unit->allocateRenderResources(&error)) << error.message;
        block = unit->internalRenderBlock();
        channels = channelCount;
        sampleTime = 0.0;
    }

    // One render call at the running sample time, advanced on success.
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

    // `frames` frames of `input` from the running sample time on, appended to `out`. In place,
    // the pull points the input at the host's own memory and the output list is left null.
    AUAudioUnitStatus call(const Channels& input, AUAudioFrameCount frames, Channels& out,
                           const AURenderEvent* events = nullptr) {
        const auto offset = static_cast<long>(sampleTime);
        Channels part(channels, std::vector<float>(frames)), hostInput = part;
        AudioBufferList list = listOf(part);
        for (int c = 0; c < channels && inPlace; ++c)
            list.mBuffers[c].mData = nullptr;
        const auto pull = pullOf([&](AUAudioFrameCount n, AudioBufferList* in) {
            for (std::uint32_t c = 0; c < in->mNumberBuffers; ++c) {
                EXPECT_GE(in->mBuffers[c].mDataByteSize, n * sizeof(float));
                if (inPlace) in->mBuffers[c].mData = hostInput[c].data();
                std::copy_n(input[c].begin() + offset, n,
                            static_cast<float*>(in->mBuffers[c].mData));
            }
            return AUAudioUnitStatus{0};
        });
        const AUAudioUnitStatus status = render(list, frames, &pull, events);
        out.resize(channels);
        for (int c = 0; c < channels && status == 0; ++c) {
            const auto* rendered = static_cast<const float*>(list.mBuffers[c].mData);
            EXPECT_TRUE(!inPlace || rendered == hostInput[c].data());
            out[c].insert(out[c].end(), rendered, rendered + frames);
        }
        return status;
    }

    // The rest of `input`, in calls of `blockFrames`.
    Channels run(const Channels& input, AUAudioFrameCount blockFrames = 512) {
        Channels out;
        for (auto done = static_cast<std::size_t>(sampleTime); done < input[0].size();
             done = static_cast<std::size_t>(sampleTime))
            if (call(input, std::min<std::size_t>(blockFrames, input[0].size() - done), out) != 0) {
                ADD_FAILURE() << "render refused at " << done;
                break;
            }
        return out;
    }
};

} // namespace zerin::test
