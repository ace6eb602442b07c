#include "audiounit/render.h"

#include "dsp/kernel.h"

#include <algorithm>
#include <cmath>

namespace zerin {

bool BufferedInputBus::configure(const AVAudioFormat& defaultFormat, std::uint32_t maximumChannels,
                                 AUError* error) {
    maxFrames = 0;
    pcmBuffer.reset();
    bufferList = nullptr;
    mutableBufferList = nullptr;
    bus = AUAudioUnitBus::create(defaultFormat, error);
    if (!bus) return false;
    bus->setMaximumChannelCount(maximumChannels);
    return true;
}

void BufferedInputBus::allocate(AUAudioFrameCount frames) {
    maxFrames = frames;
    pcmBuffer = std::make_unique<AVAudioPCMBuffer>(bus->format(), frames);
    bufferList = pcmBuffer->audioBufferList();
    mutableBufferList = pcmBuffer->mutableAudioBufferList();
}

void BufferedInputBus::deallocate() {
    pcmBuffer.reset();
    bufferList = nullptr;
    mutableBufferList = nullptr;
}

void BufferedInputBus::prepareInputBufferList(AUAudioFrameCount frameCount) noexcept {
    const std::uint32_t bytes = std::min(frameCount, maxFrames) * sizeof(float);
    mutableBufferList->mNumberBuffers = bufferList->mNumberBuffers;
    for (std::uint32_t i = 0; i < bufferList->mNumberBuffers; ++i) {
        mutableBufferList->mBuffers[i].mNumberChannels = bufferList->mBuffers[i].mNumberChannels;
        mutableBufferList->mBuffers[i].mData = bufferList->mBuffers[i].mData;
        mutableBufferList->mBuffers[i].mDataByteSize = bytes;
    }
}

void AUProcessHelper::resize(std::size_t inputs, std::size_t outputs) {
    inputPointers.assign(inputs, nullptr);
    outputPointers.assign(outputs, nullptr);
}

void AUProcessHelper::processSlice(const AudioBufferList* input, AudioBufferList* output,
                                   std::size_t channels, AUAudioFrameCount offset,
                                   AUAudioFrameCount frames) noexcept {
    for (std::size_t i = 0; i < channels; ++i) {
        inputPointers[i] = static_cast<const float*>(input->mBuffers[i].mData) + offset;
        outputPointers[i] = static_cast<float*>(output->mBuffers[i].mData) + offset;
    }
    kernel->process(inputPointers.data(), static_cast<int>(channels), outputPointers.data(),
                    static_cast<int>(channels), static_cast<int>(frames));
}

void AUProcessHelper::renderWithEvents(const AudioBufferList* input, AudioBufferList* output,
                                       const AudioTimeStamp* timestamp,
                                       AUAudioFrameCount frameCount,
                                       const AURenderEvent* event) noexcept {
    if (frameCount == 0) return;
    // A host that hands over lists of other sizes than it allocated for gets the channels
    // both sides have rather than a crash.
    const std::size_t channels =
        std::min({std::size_t(input->mNumberBuffers), std::size_t(output->mNumberBuffers),
                  inputPointers.size(), outputPointers.size()});
    const double start = timestamp != nullptr ? timestamp->mSampleTime : 0.0;
    AUEventSampleTime now = std::isfinite(start) && std::fabs(start) < 9.0e18
                                ? static_cast<AUEventSampleTime>(start)
                                : 0;
    AUAudioFrameCount remaining = frameCount;
    while (remaining != 0) {
        if (event == nullptr) {
            processSlice(input, output, channels, frameCount - remaining, remaining);
            return;
        }
        const AUEventSampleTime ahead =
            std::max<AUEventSampleTime>(0, event->eventSampleTime - now);
        const auto slice = static_cast<AUAudioFrameCount>(
            std::min<AUEventSampleTime>(ahead, static_cast<AUEventSampleTime>(remaining)));
        if (slice != 0) {
            processSlice(input, output, channels, frameCount - remaining, slice);
            remaining -= slice;
            now += slice;
        }
        event = applyEventsAt(now, event);
    }
    // Every event left is at or after the end: all of them apply after the last sample, so
    // the value the next call starts from is the last one the host scheduled.
    while (event != nullptr)
        event = applyEventsAt(now, event);
}

const AURenderEvent* AUProcessHelper::applyEventsAt(AUEventSampleTime now,
                                                    const AURenderEvent* event) noexcept {
    do {
        if (event->eventType == AURenderEventParameter)
            kernel->setParameter(event->parameterAddress, event->value);
        else if (event->eventType == AURenderEventMIDI)
            kernel->takeMidi(event->data, std::min<std::size_t>(event->length, 3));
        event = event->next;
    } while (event != nullptr && event->eventSampleTime <= now);
    return event;
}

} // namespace zerin
