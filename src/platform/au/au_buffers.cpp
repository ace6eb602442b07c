#include "platform/au/au_buffers.h"

#include <cmath>

namespace zerin {

std::string fourCharText(std::uint32_t code) {
    std::string s(4, ' ');
    for (int i = 0; i < 4; ++i)
        s[i] = static_cast<char>((code >> (24 - 8 * i)) & 0xFF);
    return s;
}

AVAudioPCMBuffer::AVAudioPCMBuffer(const AVAudioFormat& format, AUAudioFrameCount frameCapacity)
    : mFormat(format), mCapacity(frameCapacity),
      mStorage(std::size_t(format.channelCount) * frameCapacity, 0.0f) {
    mList.mNumberBuffers = format.channelCount;
    for (std::uint32_t c = 0; c < format.channelCount; ++c) {
        mList.mBuffers[c].mNumberChannels = 1;
        mList.mBuffers[c].mDataByteSize = frameCapacity * sizeof(float);
        mList.mBuffers[c].mData = channel(c);
    }
    mMutableList = mList;
}

namespace {

bool usable(const AVAudioFormat& format, std::uint32_t maxChannels, AUError* error) {
    if (format.channelCount == 0 || format.channelCount > maxChannels) {
        if (error)
            *error = {kOSStatusErrorDomain, kAudioUnitErr_FormatNotSupported,
                      "a bus carries 1 to " + std::to_string(maxChannels) + " channels, not " +
                          std::to_string(format.channelCount)};
        return false;
    }
    if (!(format.sampleRate > 0.0) || !std::isfinite(format.sampleRate)) {
        if (error)
            *error = {kOSStatusErrorDomain, kAudioUnitErr_FormatNotSupported,
                      "the sample rate must be a positive number"};
        return false;
    }
    return true;
}

} // namespace

std::unique_ptr<AUAudioUnitBus> AUAudioUnitBus::create(const AVAudioFormat& format,
                                                       AUError* error) {
    if (!usable(format, kMaxBusChannels, error)) return nullptr;
    return std::unique_ptr<AUAudioUnitBus>(new AUAudioUnitBus(format));
}

bool AUAudioUnitBus::setFormat(const AVAudioFormat& format, AUError* error) {
    if (!usable(format, mMaximumChannelCount, error)) return false;
    mFormat = format;
    return true;
}

} // namespace zerin
