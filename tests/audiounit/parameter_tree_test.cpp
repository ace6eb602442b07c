// The host tree made from the parameter table, the three callbacks that tie it to the
// kernel, the display texts, and what the tree does once its unit is gone.

#include "unit_host.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstring>

namespace zerin::test {
namespace {

TEST(ParameterTree, ListsTheTableInTreeOrderWithItsGroups) {
    const auto unit = makeUnit();
    const AUParameterTree& tree = *unit->parameterTree();
    // Hosts list (and many save automation) in this order; the addresses are what they key on.
    const std::vector<std::pair<std::string, AUParameterAddress>> expected = {
        {"inputGain", 0},         {"outputGain", 1}, {"dryWet", 2},   {"feedback", 3},
        {"sourceSensitivity", 9}, {"lfoRate", 4},    {"lfoDepth", 5}, {"tempoSync", 6},
        {"scatterSpeed", 7},      {"mode", 8}};
    ASSERT_EQ(tree.parameters().size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(tree.parameters()[i]->identifier(), expected[i].first);
        EXPECT_EQ(tree.parameters()[i]->address(), expected[i].second);
    }
    std::vector<std::string> groups;
    for (const auto& child : tree.children()) {
        const auto* group = dynamic_cast<const AUParameterGroup*>(child.get());
        ASSERT_NE(group, nullptr);
        groups.push_back(group->identifier() + "/" + group->displayName());
    }
    EXPECT_EQ(groups, (std::vector<std::string>{"io/I/O", "mix/Mix", "modulation/Modulation",
                                                "scatter/Scatter"}));

    // Each host parameter carries its table entry unchanged.
    for (const AUParameter* p : tree.parameters()) {
        const ParameterSpec& entry = *parameterSpec(p->identifier());
        EXPECT_EQ(p->displayName(), entry.name);
        EXPECT_EQ(p->minValue(), entry.minValue);
        EXPECT_EQ(p->maxValue(), entry.maxValue);
        EXPECT_EQ(p->unit(), entry.units);
        EXPECT_EQ(p->flags(), 0xC0000000u) << p->identifier();
        EXPECT_FALSE(p->unitName());
        EXPECT_FALSE(p->dependentParameters());
        EXPECT_EQ(p->valueStrings().has_value(), p->identifier() == "mode");
    }
    EXPECT_EQ(*param(*unit, "mode").valueStrings(),
              (std::vector<std::string>{"Delay", "Freeze", "Scatter"}));
    EXPECT_EQ(std::bit_cast<std::uint32_t>(param(*unit, "lfoRate").minValue()), 0x3C23D70Au);
    EXPECT_EQ(param(*unit, "dryWet").displayName(), "Mix");
    EXPECT_EQ(param(*unit, "sourceSensitivity").displayName(), "Source");
}

TEST(ParameterTree, DefaultsReadBackInTheKernelsStoredForm) {
    const auto unit = makeUnit();
    for (const AUParameter* p : unit->parameterTree()->parameters()) {
        const ParameterSpec& entry = *parameterSpec(p->identifier());
        // Percentages are kept as fractions: 32-bit division then multiplication.
        const float stored = entry.units == kAudioUnitParameterUnit_Percent
                                 ? (entry.defaultValue / 100.0f) * 100.0f
                                 : entry.defaultValue;
        EXPECT_EQ(p->value(), stored) << p->identifier();
        EXPECT_EQ(unit->dspKernel().getParameter(p->address()), stored) << p->identifier();
    }
    EXPECT_EQ(param(*unit, "feedback").value(), 30.000002f);
    EXPECT_NE(param(*unit, "feedback").value(), 30.0f);
}

TEST(ParameterTree, ObserverStoresIntoTheKernelAndProviderReadsItBack) {
    const auto unit = makeUnit();
    param(*unit, "inputGain").setValue(-7.5f);
    EXPECT_EQ(unit->dspKernel().getParameter(addressOf("inputGain")), -7.5f);
    param(*unit, "tempoSync").setValue(0.7f);
    EXPECT_EQ(param(*unit, "tempoSync").value(), 1.0f);
    // A value the kernel changed behind the tree's back is what the tree reports.
    unit->dspKernel().setParameter(addressOf("mode"), 2.0f);
    EXPECT_EQ(param(*unit, "mode").value(), 2.0f);
}

TEST(ParameterTree, ObserversHearEveryChangeButTheirOwn) {
    const auto unit = makeUnit();
    AUParameterTree& tree = *unit->parameterTree();
    std::vector<std::pair<AUParameterAddress, AUValue>> heard;
    const auto token = tree.tokenByAddingParameterObserver(
        [&heard](AUParameterAddress a, AUValue v) { heard.emplace_back(a, v); });
    param(*unit, "dryWet").setValue(80.0f);
    param(*unit, "dryWet").setValue(20.0f, token, 0, AUParameterAutomationEventType::touch);
    EXPECT_EQ(heard, (decltype(heard){{2, 80.0f}}));
    EXPECT_EQ(param(*unit, "dryWet").value(), 20.0f);
    tree.removeParameterObserver(token);
    param(*unit, "dryWet").setValue(30.0f);
    EXPECT_EQ(heard.size(), 1u);
}

std::string text(ZerinExtensionAudioUnit& unit, const char* id, float value) {
    return param(unit, id).stringFromValue(&value);
}

TEST(ParameterTree, DisplayTexts) {
    const auto unit = makeUnit();
    ZerinExtensionAudioUnit& u = *unit;
    EXPECT_EQ(text(u, "inputGain", 0.0f), "+0.0 dB");
    EXPECT_EQ(text(u, "inputGain", -0.0f), "+0.0 dB");
    EXPECT_EQ(text(u, "inputGain", -24.0f), "-24.0 dB");
    EXPECT_EQ(text(u, "outputGain", 12.0f), "+12.0 dB");
    EXPECT_EQ(text(u, "outputGain", -6.5f), "-6.5 dB");
    EXPECT_EQ(text(u, "dryWet", 50.0f), "50%");
    EXPECT_EQ(text(u, "lfoRate", 20.0f), "20.00 Hz");
    EXPECT_EQ(text(u, "lfoRate", 1.0f), "1.00 Hz");
    EXPECT_EQ(text(u, "lfoRate", 1500.0f), "1.50 kHz");
    EXPECT_EQ(text(u, "tempoSync", 0.49f), "Off");
    EXPECT_EQ(text(u, "tempoSync", 0.5f), "On");
    EXPECT_EQ(text(u, "mode", 0.0f), "Delay");
    EXPECT_EQ(text(u, "mode", 1.9f), "Freeze");
    EXPECT_EQ(text(u, "mode", 2.0f), "Scatter");
    EXPECT_EQ(text(u, "mode", 3.0f), "3");
    EXPECT_EQ(param(u, "mode").stringFromValue(nullptr), "-");
    EXPECT_EQ(displayText(kAudioUnitParameterUnit_Indexed, std::nullopt, nullptr), "-");
    const float v = 1.0f;
    EXPECT_EQ(displayText(kAudioUnitParameterUnit_Indexed, std::nullopt, &v), "1");
    EXPECT_EQ(displayText(kAudioUnitParameterUnit_Generic, std::nullopt, &v), "1.00");
}

TEST(ParameterTree, OutlivingItsUnitIsHarmless) {
    auto unit = makeUnit();
    const std::shared_ptr<AUParameterTree> tree = unit->parameterTree();
    param(*unit, "dryWet").setValue(90.0f);
    unit.reset();
    AUParameter& mix = *tree->parameterWithIdentifier("dryWet");
    mix.setValue(10.0f);
    EXPECT_EQ(mix.value(), 50.0f);
    EXPECT_EQ(tree->parameterWithIdentifier("lfoRate")->value(), 1.0f);
    const float v = 25.0f;
    EXPECT_EQ(mix.stringFromValue(&v), "25%");
}

} // namespace
} // namespace zerin::test
