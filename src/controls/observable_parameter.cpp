#include "controls/observable_parameter.h"

#include <cstdio>
#include <cstdlib>

namespace zerin {

namespace {

[[noreturn]] void fatal(const std::string& message) {
    std::fprintf(stderr, "Fatal error: %s\n", message.c_str());
    std::abort();
}

} // namespace

ObservableAUParameterNode& ObservableAUParameterNode::child(const std::string& identifier) {
    auto* group = dynamic_cast<ObservableAUParameterGroup*>(this);
    if (group == nullptr)
        fatal("Calling subscript is only supported on ObservableAUParameterGroups, you called it "
              "on " +
              description());
    if (group->children.empty()) fatal("This group has no children");
    const auto found = group->children.find(identifier);
    if (found != group->children.end()) return *found->second;

    std::string names;
    for (const auto& [name, node] : group->children)
        names += (names.empty() ? "" : "\n") + name;
    std::printf("Parameter Group %s doesn't have a child node named %s, did you mean one of: \n "
                "%s\n",
                description().c_str(), identifier.c_str(), names.c_str());
    std::fflush(stdout);
    std::abort();
}

ObservableAUParameter& ObservableAUParameterNode::childParameter(const std::string& identifier) {
    auto* leaf = dynamic_cast<ObservableAUParameter*>(&child(identifier));
    if (leaf == nullptr)
        fatal("Parameter node named " + identifier + " cannot be converted to the requested type");
    return *leaf;
}

ObservableAUParameterGroup::ObservableAUParameterGroup(const AUParameterGroup& group,
                                                       const std::shared_ptr<AUParameterTree>& tree,
                                                       MainQueue& mainQueue) {
    for (const auto& node : group.children()) {
        std::shared_ptr<ObservableAUParameterNode> mirrored;
        if (auto parameter = std::dynamic_pointer_cast<AUParameter>(node))
            mirrored = ObservableAUParameter::make(parameter, tree, mainQueue);
        else if (auto subgroup = std::dynamic_pointer_cast<AUParameterGroup>(node))
            mirrored = std::make_shared<ObservableAUParameterGroup>(*subgroup, tree, mainQueue);
        else
            fatal("Unexpected AUParameterNode subclass");
        children[node->identifier()] = std::move(mirrored);
    }
}

std::string ObservableAUParameterGroup::description() const {
    return "ObservableAUParameterGroup";
}

ObservableAUParameter::ObservableAUParameter(const std::shared_ptr<AUParameter>& parameter,
                                             const std::shared_ptr<AUParameterTree>& tree)
    : min(parameter->minValue()), max(parameter->maxValue()), displayName(parameter->displayName()),
      defaultValue(parameter->value()), unit(parameter->unit()), mParameter(parameter), mTree(tree),
      mValue(parameter->value()) {}

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
    if (mEditingState.peek() != EditingState::inactive) return; // the gesture wins
    mEditingState.set(EditingState::hostUpdate);
    setValue(v);
    mEditingState.set(EditingState::inactive);
}

void ObservableAUParameter::setValue(float v) {
    mValue.set(v);
    AUParameterAutomationEventType type = AUParameterAutomationEventType::value;
    switch (mEditingState.peek()) {
        case EditingState::hostUpdate:
            return;
        case EditingState::ended:
            type = AUParameterAutomationEventType::release;
            mEditingState.set(EditingState::inactive);
            break;
        case EditingState::began:
            type = AUParameterAutomationEventType::touch;
            mEditingState.set(EditingState::active);
            break;
        default:
            break;
    }
    if (const auto parameter = mParameter.lock())
        parameter->setValue(mValue.peek(), mObserverToken.value_or(0), 0, type);
}

void ObservableAUParameter::setEditing(bool editing) {
    if (editing) {
        if (mEditingState.peek() != EditingState::began) mEditingState.set(EditingState::began);
        return;
    }
    if (mEditingState.peek() != EditingState::ended) mEditingState.set(EditingState::ended);
    setValue(mValue.peek());
}

} // namespace zerin
