#include "source_renderer.h"

#include <chrono>
#include <cmath>

namespace zerin::editor {

bool prepareUnit(ZerinExtensionAudioUnit& unit, double sampleRate, std::uint32_t channels,
                 std::uint32_t maxFrames, std::string* error) {
    AUError auError;
    const AVAudioFormat format{sampleRate, channels};
    if (!(*unit.inputBusses())[0].setFormat(format, &auError) ||
        !(*unit.outputBusses())[0].setFormat(format, &auError)) {
        *error = "the audio unit refuses the format: " + auError.message;
        return false;
    }
    unit.setMaximumFramesToRender(maxFrames);
    if (!unit.allocateRenderResources(&auError)) {
        *error = "cannot allocate render resources: " + auError.message;
        return false;
    }
    return true;
}

SourceRenderer::SourceRenderer(ZerinExtensionAudioUnit& unit, AudioSource& source)
    : mSource(source), mRender(unit.internalRenderBlock()),
      mInput(source.info().channels, std::vector<float>(kSourceBlockFrames)),
      mOutput(source.info().channels, std::vector<float>(kSourceBlockFrames)) {
    mPull = [this](AudioUnitRenderActionFlags*, const AudioTimeStamp*, AUAudioFrameCount frames,
                   std::int64_t, AudioBufferList* list) -> AUAudioUnitStatus {
        float* destinations[kMaxBusChannels];
        for (std::size_t c = 0; c < mInput.size(); ++c)
            destinations[c] = static_cast<float*>(list->mBuffers[c].mData);
        mSource.read(destinations, frames, mLoop);
        return 0;
    };
}

bool SourceRenderer::renderBlock(bool loop) {
    mLoop = loop;
    AudioBufferList out;
    out.mNumberBuffers = static_cast<std::uint32_t>(mOutput.size());
    for (std::size_t c = 0; c < mOutput.size(); ++c)
        out.mBuffers[c] = {1, kSourceBlockFrames * sizeof(float), mOutput[c].data()};
    AudioTimeStamp timestamp;
    timestamp.mSampleTime = static_cast<double>(mSampleTime);
    AudioUnitRenderActionFlags flags = 0;
    const AUAudioUnitStatus status =
        mRender(&flags, &timestamp, kSourceBlockFrames, 0, &out, nullptr, &mPull);
    mSampleTime += kSourceBlockFrames;
    return status == 0;
}

bool SourceRenderer::renderSeconds(double seconds) {
    const double frames =
        std::min(seconds * mSource.info().sampleRate, static_cast<double>(mSource.length()));
    const auto blocks = static_cast<std::int64_t>(std::ceil(frames / kSourceBlockFrames));
    for (std::int64_t i = 0; i < blocks; ++i)
        if (!renderBlock(false)) return false;
    return true;
}

SourceLoop::SourceLoop(ZerinExtensionAudioUnit& unit, AudioSource& source)
    : mRenderer(unit, source), mBlockSeconds(kSourceBlockFrames / source.info().sampleRate),
      mThread([this] { run(); }) {}

SourceLoop::~SourceLoop() {
    mStop = true;
    mThread.join();
}

// Paced by deadlines rather than by sleeping a block's length after each one, so the time
// spent rendering does not add up into drift; a loop that fell far behind (a suspended
// laptop) starts counting afresh instead of racing to catch up.
void SourceLoop::run() {
    using Clock = std::chrono::steady_clock;
    const auto block =
        std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(mBlockSeconds));
    auto deadline = Clock::now();
    while (!mStop.load(std::memory_order_relaxed)) {
        mRenderer.renderBlock(true);
        deadline += block;
        const auto now = Clock::now();
        if (now - deadline > std::chrono::seconds(1)) deadline = now;
        std::this_thread::sleep_until(deadline);
    }
}

} // namespace zerin::editor
