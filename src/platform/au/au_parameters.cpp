#include "platform/au/au_parameters.h"

#include <cstdio>

namespace zerin {

namespace {

void collect(const AUParameterGroup& group, std::vector<AUParameter*>& out) {
    for (const auto& child : group.children()) {
        if (auto* p = dynamic_cast<AUParameter*>(child.get()))
            out.push_back(p);
        else if (auto* g = dynamic_cast<AUParameterGroup*>(child.get()))
            collect(*g, out);
    }
}

} // namespace

std::vector<AUParameter*> AUParameterGroup::allParameters() const {
    std::vector<AUParameter*> out;
    collect(*this, out);
    return out;
}

AUParameter::AUParameter(ParameterSpec spec)
    : AUParameterNode(std::move(spec.identifier), std::move(spec.name)), mAddress(spec.address),
      mMin(spec.minValue), mMax(spec.maxValue), mUnit(spec.units),
      mUnitName(std::move(spec.unitName)), mFlags(spec.flags),
      mValueStrings(std::move(spec.valueStrings)), mDependents(std::move(spec.dependentParameters)),
      mValue(spec.defaultValue) {}

AUValue AUParameter::value() const {
    if (mTree != nullptr && mTree->implementorValueProvider)
        return mTree->implementorValueProvider(*this);
    return mValue.load(std::memory_order_relaxed);
}

void AUParameter::setValue(AUValue value, AUParameterObserverToken originator,
                           std::uint64_t /*hostTime*/, AUParameterAutomationEventType type) {
    mValue.store(value, std::memory_order_relaxed);
    if (mTree == nullptr) return;
    if (mTree->implementorValueObserver) mTree->implementorValueObserver(*this, value);
    mTree->notify(*this, value, originator, type);
}

std::shared_ptr<AUParameterTree>
AUParameterTree::createTreeWithChildren(std::vector<std::shared_ptr<AUParameterNode>> children) {
    return std::make_shared<AUParameterTree>(std::move(children));
}

std::shared_ptr<AUParameterGroup>
AUParameterTree::createGroup(std::string identifier, std::string name,
                             std::vector<std::shared_ptr<AUParameterNode>> children) {
    return std::make_shared<AUParameterGroup>(std::move(identifier), std::move(name),
                                              std::move(children));
}

std::shared_ptr<AUParameter> AUParameterTree::createParameter(ParameterSpec spec) {
    return std::make_shared<AUParameter>(std::move(spec));
}

AUParameterTree::AUParameterTree(std::vector<std::shared_ptr<AUParameterNode>> children)
    : AUParameterGroup("", "", std::move(children)), mParameters(allParameters()) {
    for (AUParameter* p : mParameters)
        p->mTree = this;
}

AUParameter* AUParameterTree::parameterWithAddress(AUParameterAddress address) const {
    for (AUParameter* p : mParameters)
        if (p->address() == address) return p;
    return nullptr;
}

AUParameter* AUParameterTree::parameterWithIdentifier(const std::string& identifier) const {
    for (AUParameter* p : mParameters)
        if (p->identifier() == identifier) return p;
    return nullptr;
}

AUParameterObserverToken AUParameterTree::tokenByAddingParameterObserver(AUParameterObserver o) {
    return tokenByAddingParameterAutomationObserver(
        [o = std::move(o)](AUParameterAddress address, AUValue value,
                           AUParameterAutomationEventType) { o(address, value); });
}

AUParameterObserverToken
AUParameterTree::tokenByAddingParameterAutomationObserver(AUParameterAutomationObserver o) {
    std::lock_guard<std::mutex> lock(mObserverMutex);
    const AUParameterObserverToken token = mNextToken++;
    mObservers.emplace_back(token, std::make_shared<AUParameterAutomationObserver>(std::move(o)));
    return token;
}

void AUParameterTree::removeParameterObserver(AUParameterObserverToken token) {
    std::lock_guard<std::mutex> lock(mObserverMutex);
    std::erase_if(mObservers, [token](const auto& entry) { return entry.first == token; });
}

void AUParameterTree::notify(const AUParameter& parameter, AUValue value,
                             AUParameterObserverToken originator,
                             AUParameterAutomationEventType type) {
    // Call outside the lock, so an observer may add or remove observers.
    std::vector<std::shared_ptr<AUParameterAutomationObserver>> targets;
    {
        std::lock_guard<std::mutex> lock(mObserverMutex);
        for (const auto& [token, observer] : mObservers)
            if (token != originator) targets.push_back(observer);
    }
    for (const auto& observer : targets)
        (*observer)(parameter.address(), value, type);
}

} // namespace zerin
