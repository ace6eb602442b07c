#pragma once

// The unit as a JACK client: stereo in, stereo out and MIDI in (notes play the freeze),
// rendered in JACK's process callback at JACK's rate, with the tempo of JACK's transport when
// it rolls.

#include "audiounit/zerin_audio_unit.h"

#include <jack/jack.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

namespace zerin::editor {

class JackEngine {
public:
    // A client named "zerin" (or the name JACK gives it when that one is taken). Null when no
    // server runs (`error` then empty: not a failure, the editor carries on without one) or
    // when the server refused the client (`error` says why). Never starts a server.
    static std::unique_ptr<JackEngine> connect(std::string* error);
    ~JackEngine(); // leaves the graph and closes the client
    JackEngine(const JackEngine&) = delete;
    JackEngine& operator=(const JackEngine&) = delete;

    // Prepares the unit for JACK's rate and buffer size, registers in_l, in_r, out_l, out_r
    // and midi_in, and starts rendering. `wakeFd` is written to (one byte) if the server goes away.
    bool start(ZerinExtensionAudioUnit& unit, int wakeFd, std::string* error);

    std::string clientName() const;
    double sampleRate() const;
    std::uint32_t bufferSize() const;
    // The server shut down or threw the client out; audio has stopped.
    bool serverGone() const { return mGone.load(std::memory_order_acquire); }

private:
    explicit JackEngine(jack_client_t* client) : mClient(client) {}
    static int processCallback(jack_nframes_t frames, void* self);
    static void shutdownCallback(void* self);
    bool registerPorts(std::string* error);
    void readTransport();
    void process(jack_nframes_t frames);
    void readMidi(jack_nframes_t frames);
    const AURenderEvent* midiIn(jack_nframes_t frames);
    void renderSlice(float* const* outputs, jack_nframes_t offset, jack_nframes_t frames);

    jack_client_t* mClient;
    jack_port_t* mInputs[2] = {};
    jack_port_t* mOutputs[2] = {};
    jack_port_t* mMidiIn = nullptr;
    bool mActive = false;
    int mWakeFd = -1;
    std::atomic<bool> mGone{false};

    // Made before activation and only used on JACK's process thread afterwards.
    AUInternalRenderBlock mRender;
    AURenderPullInputBlock mPull;
    std::uint32_t mMaxFrames = 0;
    const float* mSliceInputs[2] = {};
    double mSampleTime = 0.0;
    bool mTempoKnown = false;
    double mTempo = 120.0;
    // This period's MIDI messages as render events, in time order; `mMidiNext` is the first
    // not yet handed to a slice.
    static constexpr int kMaxMidiEvents = 512;
    AURenderEvent mMidi[kMaxMidiEvents];
    int mMidiCount = 0;
    int mMidiNext = 0;
};

} // namespace zerin::editor
