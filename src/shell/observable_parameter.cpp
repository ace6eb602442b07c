#include "shell/observable_parameter.h"

#include <string>

namespace zerin {

ObservableAUParameterGroup::ObservableAUParameterGroup(const AUParameterGroup& group,
                                                       const std::shared_ptr<AUParameterTree>& tree,
                                                       MainQueue& mainQueue) {
    for (const auto& node : group.children()) {
        std::shared_ptr<ObservableAUParameterNode> mirrored;
        if (auto parameter = std::dynamic_pointer_cast<AUParameter>(node)) {
            auto leaf = ObservableAUParameter::make(parameter, tree, mainQueue);
            byAddress.emplace(parameter->address(), leaf.get());
            mirrored = std::move(leaf);
        } else if (auto subgroup = std::dynamic_pointer_cast<AUParameterGroup>(node)) {
            auto mirroredGroup =
                std::make_shared<ObservableAUParameterGroup>(*subgroup, tree, mainQueue);
            byAddress.insert(mirroredGroup->byAddress.begin(), mirroredGroup->byAddress.end());
            mirrored = std::move(mirroredGroup);
        } else {
            continue; // a node of some other kind drives no control
        }
        children[node->identifier()] = std::move(mirrored);
    }
}

ObservableAUParameter* ObservableAUParameterGroup::parameter(AUParameterAddress address) const {
    const auto found = byAddress.find(address);
    if (found != byAddress.end()) return found->second;
    if (reported.insert(address).second && log)
        log("the host has no parameter at address " + std::to_string(address) +
            "; its control is not shown");
    return nullptr;
}

std::string ObservableAUParameterGroup::description() const {
    return "ObservableAUParameterGroup";
}

ObservableAUParameter::ObservableAUParameter(const std::shared_ptr<AUParameter>& parameter,
                                             const std::shared_ptr<AUParameterTree>& tree)
    : ControlParameter(parameter->displayName(), parameter->minValue(), parameter->maxValue(),
                       parameter->value(), readoutUnit(parameter->unit())),
      mParameter(parameter), mTree(tree) {}

std::shared_ptr<ObservableAUParameter>
ObservableAUParameter::make(const std::shared_ptr<AUParameter>& parameter,
                            const std::shared_ptr<AUParameterTree>& tree, MainQueue& mainQueue) {
    std::shared_ptr<ObservableAUParameter> leaf(new ObservableAUParameter(parameter, tree));
    const AUParameterAddress address = parameter->address();
    const std::weak_ptr<ObservableAUParameter> weak = leaf;
    // Runs on whatever thread changed the value: it only hands the change to the main
    // queue. Changes to other parameters are not this leaf's business.
    leaf->mObserverToken = tree->tokenByAddingParameterObserver(
        [weak, address, &mainQueue](AUParameterAddress changed, AUValue value) {
            if (changed != address) return;
            mainQueue.post([weak, changed, value] {
                if (const auto self = weak.lock()) self->applyHostValue(changed, value);
            });
        });
    return leaf;
}

ObservableAUParameter::~ObservableAUParameter() {
    // An editor opened and closed many times must not leave observers behind on the host.
    if (const auto tree = mTree.lock(); tree && mObserverToken)
        tree->removeParameterObserver(*mObserverToken);
}

std::string ObservableAUParameter::description() const {
    return "ObservableAUParameter(" + displayName + ")";
}

void ObservableAUParameter::applyHostValue(AUParameterAddress address, float v) {
    const auto parameter = mParameter.lock();
    if (!parameter || parameter->address() != address) return;
    takeUnitValue(v);
}

void ObservableAUParameter::send(float value, GestureStep step) {
    AUParameterAutomationEventType type = AUParameterAutomationEventType::value;
    if (step == GestureStep::touch) type = AUParameterAutomationEventType::touch;
    if (step == GestureStep::release) type = AUParameterAutomationEventType::release;
    // The leaf's own token: its observer must not hear its own edit as the host's.
    if (const auto parameter = mParameter.lock())
        parameter->setValue(value, mObserverToken.value_or(0), 0, type);
}

} // namespace zerin
