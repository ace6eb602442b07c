#pragma once

// The parameter tree of the audio-unit stand-in: groups and parameters, the implementor
// callbacks that connect it to the unit, and observers that hear about every change.
//
// Threads: values may be set and read on any non-render thread; observers run on the
// thread that made the change.

#include "platform/au/au_types.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace zerin {

using AudioUnitParameterUnit = std::uint32_t;
using AudioUnitParameterOptions = std::uint32_t;
inline constexpr AudioUnitParameterUnit kAudioUnitParameterUnit_Generic = 0;
inline constexpr AudioUnitParameterUnit kAudioUnitParameterUnit_Indexed = 1;
inline constexpr AudioUnitParameterUnit kAudioUnitParameterUnit_Boolean = 2;
inline constexpr AudioUnitParameterUnit kAudioUnitParameterUnit_Percent = 3;
inline constexpr AudioUnitParameterUnit kAudioUnitParameterUnit_RelativeSemiTones = 5;
inline constexpr AudioUnitParameterUnit kAudioUnitParameterUnit_Hertz = 8;
inline constexpr AudioUnitParameterUnit kAudioUnitParameterUnit_MIDINoteNumber = 11;
inline constexpr AudioUnitParameterUnit kAudioUnitParameterUnit_Decibels = 13;
inline constexpr AudioUnitParameterUnit kAudioUnitParameterUnit_BPM = 22;
inline constexpr AudioUnitParameterUnit kAudioUnitParameterUnit_Milliseconds = 24;
inline constexpr AudioUnitParameterOptions kAudioUnitParameterFlag_IsWritable = 1u << 31;
inline constexpr AudioUnitParameterOptions kAudioUnitParameterFlag_IsReadable = 1u << 30;

enum class AUParameterAutomationEventType : std::uint32_t { value = 0, touch = 1, release = 2 };

using AUParameterObserverToken = std::uint64_t;
using AUParameterObserver = std::function<void(AUParameterAddress, AUValue)>;
// Hears the gesture too: touch, value, release (a host records automation from these).
using AUParameterAutomationObserver =
    std::function<void(AUParameterAddress, AUValue, AUParameterAutomationEventType)>;

class AUParameterTree;
class AUParameter;

// A node is a parameter or a group; the tree is the root group.
class AUParameterNode {
public:
    virtual ~AUParameterNode() = default;
    const std::string& identifier() const { return mIdentifier; }
    const std::string& displayName() const { return mDisplayName; }

protected:
    AUParameterNode(std::string identifier, std::string displayName)
        : mIdentifier(std::move(identifier)), mDisplayName(std::move(displayName)) {}

private:
    std::string mIdentifier;
    std::string mDisplayName;
};

class AUParameterGroup : public AUParameterNode {
public:
    AUParameterGroup(std::string identifier, std::string displayName,
                     std::vector<std::shared_ptr<AUParameterNode>> children)
        : AUParameterNode(std::move(identifier), std::move(displayName)),
          mChildren(std::move(children)) {}
    const std::vector<std::shared_ptr<AUParameterNode>>& children() const { return mChildren; }
    // Every parameter below this group, depth first, in child order.
    std::vector<AUParameter*> allParameters() const;

private:
    std::vector<std::shared_ptr<AUParameterNode>> mChildren;
};

// Everything that describes one parameter: what a parameter table lists and what a tree's
// parameter is made from.
struct ParameterSpec {
    std::string identifier;
    std::string name;
    AUParameterAddress address = 0;
    AUValue minValue = 0.0f;
    AUValue maxValue = 1.0f;
    AUValue defaultValue = 0.0f;
    AudioUnitParameterUnit units = kAudioUnitParameterUnit_Generic;
    std::optional<std::string> unitName;
    AudioUnitParameterOptions flags = 0;
    std::optional<std::vector<std::string>> valueStrings;
    std::optional<std::vector<AUParameterAddress>> dependentParameters;
};

class AUParameter : public AUParameterNode {
public:
    // Starts at its ParameterSpec's default value.
    explicit AUParameter(ParameterSpec spec);

    AUParameterAddress address() const { return mAddress; }
    AUValue minValue() const { return mMin; }
    AUValue maxValue() const { return mMax; }
    AudioUnitParameterUnit unit() const { return mUnit; }
    const std::optional<std::string>& unitName() const { return mUnitName; }
    AudioUnitParameterOptions flags() const { return mFlags; }
    const std::optional<std::vector<std::string>>& valueStrings() const { return mValueStrings; }
    const std::optional<std::vector<AUParameterAddress>>& dependentParameters() const {
        return mDependents;
    }

    // The current value: the implementor's, when the tree has a value provider.
    AUValue value() const;
    // Stores the value, tells the implementor, then every observer but the originator.
    void setValue(AUValue value, AUParameterObserverToken originator, std::uint64_t hostTime,
                  AUParameterAutomationEventType eventType);
    // The plain `parameter.value = v` of the framework: no originator, a value event.
    void setValue(AUValue value) { setValue(value, 0, 0, AUParameterAutomationEventType::value); }

private:
    friend class AUParameterTree;
    AUParameterAddress mAddress;
    AUValue mMin, mMax;
    AudioUnitParameterUnit mUnit;
    std::optional<std::string> mUnitName;
    AudioUnitParameterOptions mFlags;
    std::optional<std::vector<std::string>> mValueStrings;
    std::optional<std::vector<AUParameterAddress>> mDependents;
    std::atomic<AUValue> mValue{0.0f};
    AUParameterTree* mTree = nullptr;
};

class AUParameterTree : public AUParameterGroup {
public:
    static std::shared_ptr<AUParameterTree>
    createTreeWithChildren(std::vector<std::shared_ptr<AUParameterNode>> children);
    static std::shared_ptr<AUParameterGroup>
    createGroup(std::string identifier, std::string name,
                std::vector<std::shared_ptr<AUParameterNode>> children);
    static std::shared_ptr<AUParameter> createParameter(ParameterSpec spec);

    explicit AUParameterTree(std::vector<std::shared_ptr<AUParameterNode>> children);

    AUParameter* parameterWithAddress(AUParameterAddress address) const;
    AUParameter* parameterWithIdentifier(const std::string& identifier) const;
    const std::vector<AUParameter*>& parameters() const { return mParameters; }

    // Implementor callbacks, installed by the unit. Set them before the tree is shared with
    // other threads.
    std::function<void(AUParameter&, AUValue)> implementorValueObserver;
    std::function<AUValue(const AUParameter&)> implementorValueProvider;

    // Observers hear (address, value) for every change not made with their own token.
    AUParameterObserverToken tokenByAddingParameterObserver(AUParameterObserver observer);
    AUParameterObserverToken
    tokenByAddingParameterAutomationObserver(AUParameterAutomationObserver observer);
    void removeParameterObserver(AUParameterObserverToken token);

private:
    friend class AUParameter;
    void notify(const AUParameter& parameter, AUValue value, AUParameterObserverToken originator,
                AUParameterAutomationEventType type);

    std::vector<AUParameter*> mParameters;
    std::mutex mObserverMutex;
    std::vector<std::pair<AUParameterObserverToken, std::shared_ptr<AUParameterAutomationObserver>>>
        mObservers;
    AUParameterObserverToken mNextToken = 1;
};

} // namespace zerin
