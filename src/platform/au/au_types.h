#pragma once

// The plain types of our stand-in for the host audio-unit framework: status codes, errors,
// component descriptions, time stamps, buffer lists, render events and the block types.

#include <cstdint>
#include <functional>
#include <string>

namespace zerin {

using AUAudioUnitStatus = std::int32_t; // an OS status: 0 is success
using AUAudioFrameCount = std::uint32_t;
using AUEventSampleTime = std::int64_t;
using AUParameterAddress = std::uint64_t;
using AUValue = float;
using AudioUnitRenderActionFlags = std::uint32_t;

inline constexpr AUAudioUnitStatus kAudioUnitErr_InvalidParameter = -10878;
inline constexpr AUAudioUnitStatus kAudioUnitErr_FailedInitialization = -10875;
inline constexpr AUAudioUnitStatus kAudioUnitErr_TooManyFramesToProcess = -10874;
inline constexpr AUAudioUnitStatus kAudioUnitErr_FormatNotSupported = -10868;
inline constexpr AUAudioUnitStatus kAudioUnitErr_NoConnection = -10876;

inline constexpr const char* kOSStatusErrorDomain = "NSOSStatusErrorDomain";

// An error object: a domain, a code in it and a message for people.
struct AUError {
    std::string domain = kOSStatusErrorDomain;
    std::int64_t code = 0;
    std::string message;
};

// Four-character codes, e.g. fourCharCode("aufx").
constexpr std::uint32_t fourCharCode(const char (&text)[5]) {
    return (static_cast<std::uint32_t>(static_cast<unsigned char>(text[0])) << 24) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(text[1])) << 16) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(text[2])) << 8) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(text[3]));
}
std::string fourCharText(std::uint32_t code);

struct AudioComponentDescription {
    std::uint32_t componentType = 0;
    std::uint32_t componentSubType = 0;
    std::uint32_t componentManufacturer = 0;
    std::uint32_t componentFlags = 0;
    std::uint32_t componentFlagsMask = 0;
    friend bool operator==(const AudioComponentDescription&,
                           const AudioComponentDescription&) = default;
};

struct AudioTimeStamp {
    double mSampleTime = 0.0;
    std::uint64_t mHostTime = 0;
    std::uint32_t mFlags = 0;
};

// One deinterleaved channel.
struct AudioBuffer {
    std::uint32_t mNumberChannels = 1;
    std::uint32_t mDataByteSize = 0;
    void* mData = nullptr;
};

// Busses carry at most eight channels, so a list holds eight buffers in place.
inline constexpr std::uint32_t kMaxBusChannels = 8;
struct AudioBufferList {
    std::uint32_t mNumberBuffers = 0;
    AudioBuffer mBuffers[kMaxBusChannels];
};

enum AURenderEventType : std::uint8_t {
    AURenderEventParameter = 1,
    AURenderEventParameterRamp = 2,
    AURenderEventMIDI = 8,
    AURenderEventMIDISysEx = 9,
};

// A render event, sorted by sample time in a singly linked list owned by the host.
struct AURenderEvent {
    const AURenderEvent* next = nullptr;
    AUEventSampleTime eventSampleTime = 0;
    AURenderEventType eventType = AURenderEventParameter;
    AUParameterAddress parameterAddress = 0;
    AUValue value = 0.0f;
    AUAudioFrameCount rampDurationSampleFrames = 0;
    // AURenderEventMIDI: one message, status byte first.
    std::uint16_t length = 0;
    std::uint8_t data[3] = {};
};

// The host's pull of the unit's input: fills `inputData` for `frameCount` frames of input bus
// `inputBusNumber`. It may point the buffers at its own memory.
using AURenderPullInputBlock = std::function<AUAudioUnitStatus(
    AudioUnitRenderActionFlags* actionFlags, const AudioTimeStamp* timestamp,
    AUAudioFrameCount frameCount, std::int64_t inputBusNumber, AudioBufferList* inputData)>;

// The unit's render entry. `pullInputBlock` null means the host has no input to give.
using AUInternalRenderBlock = std::function<AUAudioUnitStatus(
    AudioUnitRenderActionFlags* actionFlags, const AudioTimeStamp* timestamp,
    AUAudioFrameCount frameCount, std::int64_t outputBusNumber, AudioBufferList* outputData,
    const AURenderEvent* realtimeEventListHead, const AURenderPullInputBlock* pullInputBlock)>;

// The host's musical context; every output may be null (not asked for). True if answered.
using AUHostMusicalContextBlock = std::function<bool(
    double* currentTempo, double* timeSignatureNumerator, std::int64_t* timeSignatureDenominator,
    double* currentBeatPosition, std::int64_t* sampleOffsetToNextBeat,
    double* currentMeasureDownbeatPosition)>;

struct AUAudioUnitPreset {
    std::int64_t number = 0;
    std::string name;
};

} // namespace zerin
