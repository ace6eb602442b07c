#include "jack_engine.h"

#include "source_renderer.h"

#include <jack/midiport.h>
#include <jack/transport.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace zerin::editor {

namespace {

constexpr const char* kInputNames[2] = {"in_l", "in_r"};
constexpr const char* kOutputNames[2] = {"out_l", "out_r"};

// While looking for a server JACK's complaints about a missing socket would read like a
// failure; the editor says in its own words what it does instead.
void quiet(const char*) {}
void reportJackError(const char* message) {
    std::fprintf(stderr, "zerin-editor: JACK: %s\n", message);
}

} // namespace

std::unique_ptr<JackEngine> JackEngine::connect(std::string* error) {
    jack_set_error_function(quiet);
    jack_set_info_function(quiet);
    jack_status_t status{};
    jack_client_t* client = jack_client_open("zerin", JackNoStartServer, &status);
    jack_set_error_function(reportJackError);
    if (client != nullptr) return std::unique_ptr<JackEngine>(new JackEngine(client));
    if ((status & JackServerFailed) != 0 && (status & (JackVersionError | JackInitFailure)) == 0)
        error->clear(); // no server to talk to
    else
        *error = "the JACK server refused the client (status " + std::to_string(status) + ")";
    return nullptr;
}

JackEngine::~JackEngine() {
    if (mActive && !serverGone()) jack_deactivate(mClient);
    jack_client_close(mClient);
}

std::string JackEngine::clientName() const {
    return jack_get_client_name(mClient);
}

double JackEngine::sampleRate() const {
    return jack_get_sample_rate(mClient);
}

std::uint32_t JackEngine::bufferSize() const {
    return jack_get_buffer_size(mClient);
}

bool JackEngine::registerPorts(std::string* error) {
    for (int c = 0; c < 2; ++c) {
        mInputs[c] = jack_port_register(mClient, kInputNames[c], JACK_DEFAULT_AUDIO_TYPE,
                                        JackPortIsInput, 0);
        mOutputs[c] = jack_port_register(mClient, kOutputNames[c], JACK_DEFAULT_AUDIO_TYPE,
                                         JackPortIsOutput, 0);
        if (mInputs[c] == nullptr || mOutputs[c] == nullptr) {
            *error = "JACK refused to register the ports";
            return false;
        }
    }
    mMidiIn = jack_port_register(mClient, "midi_in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    if (mMidiIn == nullptr) {
        *error = "JACK refused to register the ports";
        return false;
    }
    return true;
}

// Everything the process callback touches is made here, before activation: the render
// thread then neither allocates nor locks.
bool JackEngine::start(ZerinExtensionAudioUnit& unit, int wakeFd, std::string* error) {
    mWakeFd = wakeFd;
    mMaxFrames = std::max<std::uint32_t>(1, bufferSize());
    unit.setMusicalContextBlock(
        [this](double* tempo, double*, std::int64_t*, double*, std::int64_t*, double*) {
            if (!mTempoKnown) return false;
            if (tempo != nullptr) *tempo = mTempo;
            return true;
        });
    if (!prepareUnit(unit, sampleRate(), 2, mMaxFrames, error)) return false;
    mRender = unit.internalRenderBlock();
    mPull = [this](AudioUnitRenderActionFlags*, const AudioTimeStamp*, AUAudioFrameCount frames,
                   std::int64_t, AudioBufferList* list) -> AUAudioUnitStatus {
        for (std::uint32_t c = 0; c < list->mNumberBuffers && c < 2; ++c)
            std::memcpy(list->mBuffers[c].mData, mSliceInputs[c], frames * sizeof(float));
        return 0;
    };
    if (!registerPorts(error)) return false;
    jack_set_process_callback(mClient, processCallback, this);
    jack_on_shutdown(mClient, shutdownCallback, this);
    if (jack_activate(mClient) != 0) {
        *error = "JACK refused to activate the client";
        return false;
    }
    mActive = true;
    return true;
}

int JackEngine::processCallback(jack_nframes_t frames, void* self) {
    static_cast<JackEngine*>(self)->process(frames);
    return 0;
}

// Runs as if it were a signal handler: a flag and a byte down the wake-up pipe.
void JackEngine::shutdownCallback(void* self) {
    auto* engine = static_cast<JackEngine*>(self);
    engine->mGone.store(true, std::memory_order_release);
    const char byte = 'j';
    [[maybe_unused]] const ssize_t written = write(engine->mWakeFd, &byte, 1);
}

// The tempo the unit's musical context reports: the transport's, while it rolls and a
// timebase master publishes bars and beats; otherwise the unit keeps the tempo it had.
void JackEngine::readTransport() {
    jack_position_t position;
    const jack_transport_state_t state = jack_transport_query(mClient, &position);
    mTempoKnown = state == JackTransportRolling && (position.valid & JackPositionBBT) != 0 &&
                  position.beats_per_minute > 0.0;
    if (mTempoKnown) mTempo = position.beats_per_minute;
}

// The period's notes and controllers (three-byte messages; the unit ignores the rest) as
// render events. Past the room for them, the last one becomes "all notes off": a flood may
// cost notes, but never leaves one held.
void JackEngine::readMidi(jack_nframes_t frames) {
    mMidiCount = 0;
    mMidiNext = 0;
    void* buffer = jack_port_get_buffer(mMidiIn, frames);
    const std::uint32_t count = jack_midi_get_event_count(buffer);
    for (std::uint32_t i = 0; i < count; ++i) {
        jack_midi_event_t message;
        if (jack_midi_event_get(&message, buffer, i) != 0 || message.size != 3) continue;
        if (mMidiCount == kMaxMidiEvents) {
            const std::uint8_t allNotesOff[3] = {0xB0, 123, 0};
            std::memcpy(mMidi[kMaxMidiEvents - 1].data, allNotesOff, 3);
            return;
        }
        AURenderEvent& event = mMidi[mMidiCount++];
        event = AURenderEvent{};
        event.eventType = AURenderEventMIDI;
        event.eventSampleTime = static_cast<AUEventSampleTime>(mSampleTime) + message.time;
        event.length = 3;
        std::memcpy(event.data, message.buffer, 3);
    }
}

// The events of the next `frames` samples, linked into a list that ends with them.
const AURenderEvent* JackEngine::midiIn(jack_nframes_t frames) {
    const auto end = static_cast<AUEventSampleTime>(mSampleTime) + frames;
    const int first = mMidiNext;
    while (mMidiNext < mMidiCount && mMidi[mMidiNext].eventSampleTime < end) {
        mMidi[mMidiNext].next = nullptr;
        if (mMidiNext > first) mMidi[mMidiNext - 1].next = &mMidi[mMidiNext];
        ++mMidiNext;
    }
    return mMidiNext > first ? &mMidi[first] : nullptr;
}

void JackEngine::renderSlice(float* const* outputs, jack_nframes_t offset, jack_nframes_t frames) {
    AudioBufferList out;
    out.mNumberBuffers = 2;
    for (int c = 0; c < 2; ++c)
        out.mBuffers[c] = {1, static_cast<std::uint32_t>(frames * sizeof(float)),
                           outputs[c] + offset};
    AudioTimeStamp timestamp;
    timestamp.mSampleTime = mSampleTime;
    AudioUnitRenderActionFlags flags = 0;
    if (mRender(&flags, &timestamp, frames, 0, &out, midiIn(frames), &mPull) != 0)
        for (int c = 0; c < 2; ++c)
            std::fill(outputs[c] + offset, outputs[c] + offset + frames, 0.0f);
    mSampleTime += frames;
}

// JACK may grow its buffer while the client runs; the unit was prepared for the size at
// activation, so a larger period is rendered in slices of that size instead of reallocating
// here, on the real-time thread.
void JackEngine::process(jack_nframes_t frames) {
    readTransport();
    readMidi(frames);
    const float* inputs[2];
    float* outputs[2];
    for (int c = 0; c < 2; ++c) {
        inputs[c] = static_cast<const float*>(jack_port_get_buffer(mInputs[c], frames));
        outputs[c] = static_cast<float*>(jack_port_get_buffer(mOutputs[c], frames));
    }
    for (jack_nframes_t done = 0; done < frames;) {
        const jack_nframes_t slice = std::min<jack_nframes_t>(mMaxFrames, frames - done);
        for (int c = 0; c < 2; ++c)
            mSliceInputs[c] = inputs[c] + done;
        renderSlice(outputs, done, slice);
        done += slice;
    }
}

} // namespace zerin::editor
