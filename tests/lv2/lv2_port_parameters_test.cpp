// The editor's controls over the plug-in's control ports, as a host drives them: edits become
// port writes framed by ui:touch (or bare writes for a host without it), and the values the
// host hands the UI move the controls without being written back or fighting an edit.

#include "audiounit/parameters.h"
#include "lv2/port_parameters.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace zerin::test {
namespace {

// What the host heard, in order: "write 6 60", "touch 6 on", "touch 6 off".
struct HostRecord {
    std::vector<std::string> heard;
    LV2UI_Touch touch{this, [](LV2UI_Feature_Handle handle, std::uint32_t port, bool grabbed) {
                          static_cast<HostRecord*>(handle)->heard.push_back(
                              "touch " + std::to_string(port) + (grabbed ? " on" : " off"));
                      }};

    static void write(LV2UI_Controller controller, std::uint32_t port, std::uint32_t size,
                      std::uint32_t protocol, const void* buffer) {
        ASSERT_EQ(size, sizeof(float));
        ASSERT_EQ(protocol, 0u);
        const float value = *static_cast<const float*>(buffer);
        static_cast<HostRecord*>(controller)
            ->heard.push_back("write " + std::to_string(port) + " " +
                              std::to_string(static_cast<int>(value)));
    }
};

constexpr std::uint32_t kDryWetPort = 4 + 2;  // stereo: four audio ports, then address 2
constexpr std::uint32_t kFreezePort = 18 + 5; // a later parameter, after the host's ports

TEST(PortParameters, AnEditIsOneGestureOfPortWritesFramedByTouchWhereTheHostOffersIt) {
    HostRecord host;
    lv2::PortParameters ports(lv2::kStereoPorts, HostRecord::write, &host, &host.touch);
    ControlParameter& mix = *ports.parameter(parameter::dryWet);
    mix.setEditing(true);
    mix.setValue(60.0f);
    mix.setValue(70.0f);
    mix.setEditing(false);
    ControlParameter& freeze = *ports.parameter(parameter::freeze);
    freeze.setEditing(true);
    freeze.setValue(1.0f);
    freeze.setEditing(false);
    EXPECT_EQ(host.heard, (std::vector<std::string>{"touch 6 on", "write 6 60", "write 6 70",
                                                    "write 6 70", "touch 6 off", "touch 23 on",
                                                    "write 23 1", "write 23 1", "touch 23 off"}));

    HostRecord bare; // no ui:touch: the writes alone
    lv2::PortParameters untouched(lv2::kMonoPorts, HostRecord::write, &bare, nullptr);
    ControlParameter& monoMix = *untouched.parameter(parameter::dryWet);
    monoMix.setEditing(true);
    monoMix.setValue(60.0f);
    monoMix.setEditing(false);
    EXPECT_EQ(bare.heard, (std::vector<std::string>{"write 4 60", "write 4 60"}));
}

TEST(PortParameters, HostValuesMoveTheControlUnlessTheUserIsEditingAndAreNeverWrittenBack) {
    HostRecord host;
    lv2::PortParameters ports(lv2::kStereoPorts, HostRecord::write, &host, &host.touch);
    ControlParameter& mix = *ports.parameter(parameter::dryWet);
    EXPECT_TRUE(ports.takePortValue(kDryWetPort, 10.0f));
    EXPECT_TRUE(ports.takePortValue(kDryWetPort, std::nanf(""))); // not a number: kept out
    EXPECT_EQ(mix.value(), 10.0f);
    EXPECT_TRUE(ports.takePortValue(kFreezePort, 1.0f));
    EXPECT_EQ(ports.parameter(parameter::freeze)->value(), 1.0f);
    EXPECT_TRUE(host.heard.empty());

    mix.setEditing(true);
    mix.setValue(60.0f);
    ports.takePortValue(kDryWetPort, 20.0f); // automation mid-drag: the drag wins
    EXPECT_EQ(mix.value(), 60.0f);
    mix.setEditing(false);
    EXPECT_EQ(host.heard.back(), "touch 6 off");
    EXPECT_EQ(mix.editingState(), EditingState::inactive);

    // The ports that are no parameter's: the host's switches and the message ports.
    for (const int port : {lv2::kStereoPorts.enabled, lv2::kStereoPorts.latency,
                           lv2::kStereoPorts.notify, lv2::kStereoPorts.audioIn})
        EXPECT_FALSE(ports.takePortValue(static_cast<std::uint32_t>(port), 1.0f)) << port;
}

TEST(PortParameters, EveryParameterOfTheTableIsAControlWithItsRangeNameAndDefault) {
    HostRecord host;
    lv2::PortParameters ports(lv2::kStereoPorts, HostRecord::write, &host, nullptr);
    for (const ParameterSpec* spec : allParameterSpecs()) {
        SCOPED_TRACE(spec->identifier);
        const ControlParameter* control = ports.parameter(spec->address);
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(control->displayName, spec->name);
        EXPECT_EQ(control->min, spec->minValue);
        EXPECT_EQ(control->max, spec->maxValue);
        EXPECT_EQ(control->defaultValue, spec->defaultValue);
        EXPECT_EQ(control->value(), spec->defaultValue);
    }
    EXPECT_EQ(ports.parameter(parameter::kCount), nullptr);
    EXPECT_EQ(ports.parameter(parameter::inputGain)->unit, ReadoutUnit::decibels);
}

} // namespace
} // namespace zerin::test
