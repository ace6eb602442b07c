#pragma once

// The editor's mirror of the host parameter tree. Views read and write leaves on the main
// thread; each leaf pushes edits to its host parameter as one gesture (touch, value...,
// release) and takes in host changes without echoing them and without fighting a gesture in
// progress. The editor finds leaves by the parameter table's addresses, fixed when it is
// compiled; a host tree that lacks one costs the control it would drive, never the host.

#include "platform/au/au_parameters.h"
#include "platform/ui/main_queue.h"
#include "shell/editor_parameters.h"
#include "widgets/control_parameter.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>

namespace zerin {

class ObservableAUParameterNode {
public:
    virtual ~ObservableAUParameterNode() = default;
    virtual std::string description() const = 0;
};

class ObservableAUParameter : public ObservableAUParameterNode, public ControlParameter {
public:
    // Use make(): the leaf registers an observer that must be able to tell it is gone.
    static std::shared_ptr<ObservableAUParameter>
    make(const std::shared_ptr<AUParameter>& parameter,
         const std::shared_ptr<AUParameterTree>& tree, MainQueue& mainQueue);
    ~ObservableAUParameter() override;
    std::string description() const override;

    // A change from the host or automation. Main thread.
    void applyHostValue(AUParameterAddress address, float v);

    std::shared_ptr<AUParameter> parameter() const { return mParameter.lock(); }

private:
    // Starts at the host's value when it is made, which is also the knob's double-click value.
    ObservableAUParameter(const std::shared_ptr<AUParameter>& parameter,
                          const std::shared_ptr<AUParameterTree>& tree);
    // The gesture's step becomes the host's automation event type.
    void send(float value, GestureStep step) override;

    std::weak_ptr<AUParameter> mParameter;
    std::weak_ptr<AUParameterTree> mTree;
    std::optional<AUParameterObserverToken> mObserverToken;
};

class ObservableAUParameterGroup : public ObservableAUParameterNode, public EditorParameters {
public:
    // Mirrors `group` (a tree is a group); host changes are applied through `mainQueue`.
    ObservableAUParameterGroup(const AUParameterGroup& group,
                               const std::shared_ptr<AUParameterTree>& tree, MainQueue& mainQueue);
    std::string description() const override;

    // The leaf of the parameter at `address`, anywhere below this group; null when the host
    // tree has none there. A miss is told to `log` once per address.
    ObservableAUParameter* parameter(AUParameterAddress address) const override;

    std::unordered_map<std::string, std::shared_ptr<ObservableAUParameterNode>> children;
    // Where the editor's problems go (the host's log in a plug-in host); nowhere when empty.
    std::function<void(const std::string&)> log;

private:
    std::unordered_map<AUParameterAddress, ObservableAUParameter*> byAddress;
    mutable std::unordered_set<AUParameterAddress> reported;
};

} // namespace zerin
