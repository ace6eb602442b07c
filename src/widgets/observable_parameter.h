#pragma once

// The editor's mirror of the host parameter tree. Views read and write leaves on the main
// thread; each leaf pushes edits to its host parameter as one gesture (touch, value...,
// release) and takes in host changes without echoing them and without fighting a gesture in
// progress. The editor finds leaves by the parameter table's addresses, fixed when it is
// compiled; a host tree that lacks one costs the control it would drive, never the host.

#include "platform/au/au_parameters.h"
#include "platform/ui/main_queue.h"
#include "signals/observable.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>

namespace zerin {

class ObservableAUParameter;

class ObservableAUParameterNode {
public:
    virtual ~ObservableAUParameterNode() = default;
    virtual std::string description() const = 0;
};

class ObservableAUParameterGroup : public ObservableAUParameterNode {
public:
    // Mirrors `group` (a tree is a group); host changes are applied through `mainQueue`.
    ObservableAUParameterGroup(const AUParameterGroup& group,
                               const std::shared_ptr<AUParameterTree>& tree, MainQueue& mainQueue);
    std::string description() const override;

    // The leaf of the parameter at `address`, anywhere below this group; null when the host
    // tree has none there. A miss is told to `log` once per address.
    ObservableAUParameter* parameter(AUParameterAddress address) const;

    std::unordered_map<std::string, std::shared_ptr<ObservableAUParameterNode>> children;
    // Where the editor's problems go (the host's log in a plug-in host); nowhere when empty.
    std::function<void(const std::string&)> log;

private:
    std::unordered_map<AUParameterAddress, ObservableAUParameter*> byAddress;
    mutable std::unordered_set<AUParameterAddress> reported;
};

enum class EditingState { inactive, began, active, ended, hostUpdate };

class ObservableAUParameter : public ObservableAUParameterNode,
                              public std::enable_shared_from_this<ObservableAUParameter> {
public:
    // Use make(): the leaf registers an observer that must be able to tell it is gone.
    static std::shared_ptr<ObservableAUParameter>
    make(const std::shared_ptr<AUParameter>& parameter,
         const std::shared_ptr<AUParameterTree>& tree, MainQueue& mainQueue);
    ~ObservableAUParameter() override;
    std::string description() const override;

    // The editor's write: stores the value and sends it to the host with the gesture's event
    // type. Main thread.
    void setValue(float v);
    float value() const { return mValue.get(); }
    // Gesture start (true) and end (false). Main thread.
    void setEditing(bool editing);
    // A change from the host or automation. Main thread.
    void applyHostValue(AUParameterAddress address, float v);

    const Observable<float>& observableValue() const { return mValue; }
    EditingState editingState() const { return mEditingState.get(); }
    std::shared_ptr<AUParameter> parameter() const { return mParameter.lock(); }

    const float min;
    const float max;
    const std::string displayName;
    const float defaultValue; // the host value when the leaf was made
    const AudioUnitParameterUnit unit;

private:
    ObservableAUParameter(const std::shared_ptr<AUParameter>& parameter,
                          const std::shared_ptr<AUParameterTree>& tree);

    std::weak_ptr<AUParameter> mParameter;
    std::weak_ptr<AUParameterTree> mTree;
    std::optional<AUParameterObserverToken> mObserverToken;
    Observable<EditingState> mEditingState{EditingState::inactive};
    Observable<float> mValue;
};

} // namespace zerin
