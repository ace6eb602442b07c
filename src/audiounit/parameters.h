#pragma once

// The parameter table: the one place that says which parameters Zerin has, their ranges,
// defaults, units and value names. The host tree, the command line's parameter list, the
// plug-in's Turtle and the editor's knobs are all made from it.

#include "platform/au/au_parameters.h"

#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace zerin {

// The table's leaves are the host layer's `ParameterSpec` (platform/au/au_parameters.h),
// so the tree's parameters are made from them as they stand.

struct NodeSpec;

struct ParameterGroupSpec {
    std::string identifier;
    std::string name;
    std::vector<NodeSpec> children;
};

struct NodeSpec {
    std::variant<ParameterSpec, ParameterGroupSpec> node;
};

struct ParameterTreeSpec {
    std::vector<NodeSpec> children;
};

// The table, built once (thread-safe) on first use.
const ParameterTreeSpec& parameterTreeSpec();
// Every parameter of the table in tree order, and look-ups.
const std::vector<const ParameterSpec*>& allParameterSpecs();
const ParameterSpec* parameterSpec(const std::string& identifier);
const ParameterSpec* parameterSpec(AUParameterAddress address);

// A new host tree for the table, every parameter set to its default.
std::shared_ptr<AUParameterTree> buildParameterTree(const ParameterTreeSpec& spec);

// Display text of a value in a unit ("+0.0 dB", "50%", "1.00 Hz", "On", "Freeze"); "-"
// without a value.
std::string displayText(AudioUnitParameterUnit unit,
                        const std::optional<std::vector<std::string>>& valueStrings,
                        const AUValue* value);

// The unit's name as the command line and the plug-in metadata show it ("dB", "%", "Hz").
std::string unitLabel(AudioUnitParameterUnit unit);

} // namespace zerin
