// The UI's link to the DSP, fed what a DSP or a broken host might hand it through the notify
// port: this version's notices, the patch:Set form, and messages whose parts claim more bytes
// than they hold, placed against a page that cannot be read.

#include "lv2/ui_link.h"
#include "lv2_host.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace zerin::test {
namespace {

struct Fixture : ::testing::Test {
    UridMapper mapper;
    lv2::Urids urids{};
    std::vector<std::vector<std::uint8_t>> sent; // what the link wrote to the control port
    lv2::UiLink link{&mapper.map,
                     [](LV2UI_Controller controller, std::uint32_t, std::uint32_t size,
                        std::uint32_t, const void* buffer) {
                         const auto* bytes = static_cast<const std::uint8_t*>(buffer);
                         static_cast<Fixture*>(controller)->sent.emplace_back(bytes, bytes + size);
                     },
                     this, 0};
    int externalChanges = 0;

    void SetUp() override {
        urids.map(&mapper.map);
        link.onExternalChange = [this] { ++externalChanges; };
    }

    // One message as a DSP writes it (or as `fill` forges it): the event's body only.
    std::vector<std::uint8_t> message(const std::function<void(LV2_Atom_Forge*)>& fill) {
        SequenceBuffer buffer(lv2::kNotifyBufferBytes);
        buffer.beginInput(&mapper.map);
        fill(&buffer.forge);
        buffer.endInput();
        const LV2_Atom_Event* event = lv2_atom_sequence_begin(&buffer.sequence()->body);
        const auto* body = reinterpret_cast<const std::uint8_t*>(&event->body);
        return {body, body + lv2_atom_pad_size(lv2_atom_total_size(&event->body))};
    }

    // A property message of `type` whose value is a float vector.
    std::vector<std::uint8_t> vectorMessage(LV2_URID type, LV2_URID property,
                                            const std::vector<float>& values) {
        return message([&](LV2_Atom_Forge* f) {
            LV2_Atom_Forge_Frame frame;
            lv2_atom_forge_frame_time(f, 0);
            lv2_atom_forge_object(f, &frame, 0, type);
            lv2_atom_forge_key(f, urids.patchProperty);
            lv2_atom_forge_urid(f, property);
            lv2_atom_forge_key(f, urids.patchValue);
            lv2_atom_forge_vector(f, sizeof(float), urids.atomFloat,
                                  static_cast<std::uint32_t>(values.size()), values.data());
            lv2_atom_forge_pop(f, &frame);
        });
    }

    // The value atom of a message forged whole by the test.
    static LV2_Atom* valueOf(std::vector<std::uint8_t>& bytes, LV2_URID key) {
        const LV2_Atom* value = nullptr;
        lv2_atom_object_get(reinterpret_cast<LV2_Atom_Object*>(bytes.data()), key, &value, 0);
        return const_cast<LV2_Atom*>(value);
    }

    bool receiveGuarded(const std::vector<std::uint8_t>& bytes) {
        GuardedBytes guarded(bytes);
        return link.receive(guarded.data(), bytes.size());
    }
};

TEST_F(Fixture, TakesTheDspsNoticesAndThePatchSetForm) {
    // This version's DSP says notices; the patch:Set form is what the DSP takes, and the UI
    // takes it too.
    for (const lv2::Direction direction : {lv2::Direction::toUi, lv2::Direction::toDsp}) {
        const float delay = direction == lv2::Direction::toUi ? 50.0f : 80.0f;
        const CurvePoint points[] = {{100.0f, delay}, {2000.0f, 700.0f}};
        const auto curve =
            message([&](LV2_Atom_Forge* f) { lv2::writeCurve(f, urids, direction, points, 2); });
        EXPECT_TRUE(receiveGuarded(curve));
        ASSERT_TRUE(link.knowsCurve());
        EXPECT_EQ(link.getSpectralCurve(), (CurvePairs{{100.0f, delay}, {2000.0f, 700.0f}}));
    }
    const std::vector<float> ratings(kNumBins, 0.25f);
    EXPECT_TRUE(receiveGuarded(vectorMessage(urids.notice, urids.classification, ratings)));
    EXPECT_EQ(link.getClassificationSnapshot(), ratings);

    // A name is cleaned on the way in, as the DSP cleans it.
    const auto name = message([&](LV2_Atom_Forge* f) {
        lv2::writePresetName(f, urids, lv2::Direction::toUi, "Wash\xFF tail");
    });
    EXPECT_TRUE(receiveGuarded(name));
    EXPECT_EQ(link.presetName(), "Wash tail");
}

TEST_F(Fixture, PartsThatClaimMoreThanTheirMessageHoldsAreNeverRead) {
    const std::vector<float> curve = {100, 50, 2000, 700};
    using Damage = std::function<void(std::vector<std::uint8_t>&)>;
    struct Case {
        const char* what;
        LV2_URID property;
        Damage damage;
    };
    const Damage longerValue = [&](auto& b) { valueOf(b, urids.patchValue)->size += 4096; };
    const std::vector<Case> cases = {
        {"a curve longer than its message", urids.curve, longerValue},
        {"ratings longer than their message", urids.classification, longerValue},
        {"a property key of a huge value", urids.curve,
         [&](auto& b) { valueOf(b, urids.patchProperty)->size = 0xFFFFFFF0u; }},
        {"an object longer than the port's buffer", urids.curve,
         [&](auto& b) { reinterpret_cast<LV2_Atom*>(b.data())->size += 64; }},
    };
    for (const Case& c : cases) {
        for (const LV2_URID type : {urids.notice, urids.patchSet}) {
            std::vector<std::uint8_t> bytes = vectorMessage(type, c.property, curve);
            c.damage(bytes);
            receiveGuarded(bytes);
            EXPECT_FALSE(link.knowsCurve()) << c.what;
            EXPECT_FALSE(link.getClassificationSnapshot()) << c.what;
        }
    }
    // A name whose string claims more than its message.
    auto name = message(
        [&](LV2_Atom_Forge* f) { lv2::writePresetName(f, urids, lv2::Direction::toUi, "Bloom"); });
    valueOf(name, urids.patchValue)->size += 4096;
    receiveGuarded(name);
    EXPECT_EQ(link.presetName(), "Init");
    EXPECT_EQ(externalChanges, 0);
}

} // namespace
} // namespace zerin::test
