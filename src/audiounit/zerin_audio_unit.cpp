#include "audiounit/zerin_audio_unit.h"

#include "audiounit/parameters.h"
#include "dsp/factory_curves.h"

namespace zerin {

namespace {

constexpr double kDefaultRate = 44100.0;
constexpr std::uint32_t kDefaultChannels = 2;

} // namespace

AudioComponentDescription zerinComponentDescription() {
    return {fourCharCode("aufx"), fourCharCode("Zrin"), fourCharCode("Vesk"), 0, 0};
}

ZerinExtensionAudioUnit::ZerinExtensionAudioUnit(const AudioComponentDescription& description)
    : AUAudioUnit(description) {}

ZerinExtensionAudioUnit::~ZerinExtensionAudioUnit() {
    mKernel.deallocate();
}

std::shared_ptr<ZerinExtensionAudioUnit>
ZerinExtensionAudioUnit::create(const AudioComponentDescription& description,
                                std::uint32_t /*options*/, AUError* error) {
    std::shared_ptr<ZerinExtensionAudioUnit> unit(new ZerinExtensionAudioUnit(description));
    if (!unit->construct(error)) return nullptr;
    return unit;
}

bool ZerinExtensionAudioUnit::construct(AUError* error) {
    const AVAudioFormat format{kDefaultRate, kDefaultChannels};
    mOutputBus = AUAudioUnitBus::create(format, error);
    if (!mOutputBus) return false;
    mOutputBus->setMaximumChannelCount(kMaxBusChannels);
    if (!mInputBus.configure(format, kMaxBusChannels, error)) return false;
    mInputBusses =
        std::make_unique<AUAudioUnitBusArray>(AUAudioUnitBusType::AUAudioUnitBusTypeInput,
                                              std::vector<AUAudioUnitBus*>{mInputBus.bus.get()});
    mOutputBusses =
        std::make_unique<AUAudioUnitBusArray>(AUAudioUnitBusType::AUAudioUnitBusTypeOutput,
                                              std::vector<AUAudioUnitBus*>{mOutputBus.get()});
    mProcessHelper.emplace();
    mProcessHelper->kernel = &mKernel;
    mProcessHelper->inputBus = &mInputBus;
    return true;
}

double ZerinExtensionAudioUnit::latency() const {
    return static_cast<double>(mKernel.latencySamples()) / mKernel.sampleRate();
}

AUAudioFrameCount ZerinExtensionAudioUnit::maximumFramesToRender() const {
    return mMaxFramesToRender.load(std::memory_order_relaxed);
}

void ZerinExtensionAudioUnit::setMaximumFramesToRender(AUAudioFrameCount frames) {
    mMaxFramesToRender.store(frames, std::memory_order_relaxed);
}

bool ZerinExtensionAudioUnit::shouldBypassEffect() const {
    return mKernel.bypassed();
}

void ZerinExtensionAudioUnit::setShouldBypassEffect(bool bypass) {
    mKernel.setBypassed(bypass);
}

bool ZerinExtensionAudioUnit::allocateRenderResources(AUError* error) {
    if (!AUAudioUnit::allocateRenderResources(error)) return false;
    const AVAudioFormat in = mInputBus.bus->format();
    const AVAudioFormat out = mOutputBus->format();
    // Mono to mono or stereo to stereo, as the capabilities say: the kernel processes two
    // channels at most and would leave any further output unwritten.
    if (in.channelCount != out.channelCount || out.channelCount > kMaxChannels) {
        setRenderResourcesAllocated(false);
        if (error)
            *error = {kOSStatusErrorDomain, kAudioUnitErr_FailedInitialization,
                      "input has " + std::to_string(in.channelCount) + " channels, output " +
                          std::to_string(out.channelCount) +
                          ": Zerin renders mono to mono or stereo to stereo"};
        return false;
    }
    mInputBus.allocate(maximumFramesToRender());
    bool initialized;
    {
        // initialize may install the default curve through the producer side.
        std::lock_guard<std::mutex> lock(mCurveMutex);
        initialized = mKernel.initialize(static_cast<int>(out.channelCount), out.sampleRate);
    }
    if (!initialized) {
        mInputBus.deallocate();
        setRenderResourcesAllocated(false);
        if (error)
            *error = {kOSStatusErrorDomain, kAudioUnitErr_FailedInitialization,
                      "out of memory, or no FFT plan for the spectral kernel"};
        return false;
    }
    if (mProcessHelper) mProcessHelper->resize(in.channelCount, out.channelCount);
    return true;
}

void ZerinExtensionAudioUnit::deallocateRenderResources() {
    mInputBus.deallocate();
    mKernel.reset();
    AUAudioUnit::deallocateRenderResources();
}

void ZerinExtensionAudioUnit::reset() {
    mKernel.reset();
    AUAudioUnit::reset();
}

AUInternalRenderBlock ZerinExtensionAudioUnit::internalRenderBlock() {
    AUProcessHelper* helper = &*mProcessHelper;
    BufferedInputBus* input = &mInputBus;
    ZerinExtensionDSPKernel* dsp = &mKernel;
    const std::atomic<AUAudioFrameCount>* maxFrames = &mMaxFramesToRender;
    const AUHostMusicalContextBlock musicalContext = musicalContextBlock();

    return [helper, input, dsp, maxFrames,
            musicalContext](AudioUnitRenderActionFlags*, const AudioTimeStamp* timestamp,
                            AUAudioFrameCount frameCount, std::int64_t, AudioBufferList* outputData,
                            const AURenderEvent* events,
                            const AURenderPullInputBlock* pullInputBlock) -> AUAudioUnitStatus {
        if (musicalContext) {
            double tempo = 120.0;
            if (musicalContext(&tempo, nullptr, nullptr, nullptr, nullptr, nullptr))
                dsp->setHostTempo(tempo);
        }
        // The pull buffer holds maxFrames: a call beyond it (the host raised the maximum
        // without reallocating) is refused like any call beyond the maximum.
        if (frameCount > maxFrames->load(std::memory_order_relaxed) ||
            frameCount > input->maxFrames)
            return kAudioUnitErr_TooManyFramesToProcess;
        if (pullInputBlock == nullptr || !*pullInputBlock || input->mutableBufferList == nullptr)
            return kAudioUnitErr_NoConnection;

        input->prepareInputBufferList(frameCount);
        AudioUnitRenderActionFlags pullFlags = 0;
        const AUAudioUnitStatus status =
            (*pullInputBlock)(&pullFlags, timestamp, frameCount, 0, input->mutableBufferList);
        if (status != 0) return status;
        AudioBufferList* in = input->mutableBufferList;
        for (std::uint32_t i = 0; i < in->mNumberBuffers; ++i)
            if (in->mBuffers[i].mData == nullptr) return kAudioUnitErr_NoConnection;

        if (outputData->mNumberBuffers > 0 && outputData->mBuffers[0].mData == nullptr) {
            for (std::uint32_t i = 0; i < outputData->mNumberBuffers && i < in->mNumberBuffers; ++i)
                outputData->mBuffers[i].mData = in->mBuffers[i].mData;
        }
        for (std::uint32_t i = 0; i < outputData->mNumberBuffers; ++i)
            if (outputData->mBuffers[i].mData == nullptr) return kAudioUnitErr_NoConnection;

        helper->renderWithEvents(in, outputData, timestamp, frameCount, events);
        return 0;
    };
}

void ZerinExtensionAudioUnit::setupParameterTree(std::shared_ptr<AUParameterTree> tree) {
    setParameterTree(std::move(tree));
    for (AUParameter* p : parameterTree()->parameters())
        mKernel.setParameter(p->address(), p->value());
    installParameterCallbacks();
}

void ZerinExtensionAudioUnit::installParameterCallbacks() {
    const std::shared_ptr<AUParameterTree> tree = parameterTree();
    if (!tree) return;
    const std::weak_ptr<ZerinExtensionAudioUnit> weak = weak_from_this();
    tree->implementorValueObserver = [weak](AUParameter& parameter, AUValue value) {
        if (const auto unit = weak.lock()) unit->mKernel.setParameter(parameter.address(), value);
    };
    // Once the unit is gone there is no kernel to ask: the table's default is the value a
    // fresh unit would report.
    tree->implementorValueProvider = [weak](const AUParameter& parameter) -> AUValue {
        if (const auto unit = weak.lock()) return unit->mKernel.getParameter(parameter.address());
        const ParameterSpec* spec = parameterSpec(parameter.address());
        return spec != nullptr ? spec->defaultValue : 0.0f;
    };
}

std::vector<AUAudioUnitPreset> ZerinExtensionAudioUnit::factoryPresets() const {
    std::vector<AUAudioUnitPreset> presets;
    for (std::size_t i = 0; i < std::size(kFactoryCurves); ++i)
        presets.push_back({static_cast<std::int64_t>(i), std::string(kFactoryCurves[i].name)});
    return presets;
}

void ZerinExtensionAudioUnit::setCurrentPreset(std::optional<AUAudioUnitPreset> preset) {
    AUAudioUnit::setCurrentPreset(std::move(preset));
    const auto current = currentPreset();
    if (current && current->number >= 0 &&
        current->number < static_cast<std::int64_t>(std::size(kFactoryCurves))) {
        const FactoryCurve& factory = kFactoryCurves[current->number];
        setCurveSet(factoryCurveSet(factory));
        setPresetName(std::string(factory.name));
    }
    mExternalChanges.fetch_add(1, std::memory_order_acq_rel);
}

void ZerinExtensionAudioUnit::setCurveSet(const CurveSet& set) {
    std::lock_guard<std::mutex> lock(mCurveMutex);
    mKernel.setCurveSet(set);
}

CurveSet ZerinExtensionAudioUnit::curveSet() const {
    std::lock_guard<std::mutex> lock(mCurveMutex);
    return mKernel.latestCurveSet();
}

void ZerinExtensionAudioUnit::setCurve(CurveSlot slot, CurveKind kind, const CurvePoints& points) {
    // The kernel keeps what it can hold and drops the rest.
    std::lock_guard<std::mutex> lock(mCurveMutex);
    mKernel.setCurve(slot, kind, points.data(), static_cast<int>(points.size()));
}

CurvePoints ZerinExtensionAudioUnit::curve(CurveSlot slot, CurveKind kind) const {
    const CurveData held = curveSet().at(slot, kind);
    return {held.points, held.points + held.count};
}

std::optional<DisplayFrame> ZerinExtensionAudioUnit::takeFrame(DisplayFrameKind kind) {
    DisplayFrame frame;
    frame.kind = kind;
    frame.values.resize(rowsOf(kind) * kMaxNumBins);
    // The kernel lets one thread at a time take each kind.
    std::lock_guard<std::mutex> lock(mSnapshotMutex);
    if (!mKernel.takeFrame(kind, frame.values.data(), frame.stamp)) return std::nullopt;
    frame.fftSize = frame.stamp.fftSize;
    frame.values.resize(rowsOf(kind) * static_cast<std::size_t>(frame.fftSize / 2 + 1));
    return frame;
}

} // namespace zerin
