// The freeze played through the plug-in: MIDI notes on its control port hold the input
// spectrum from the sample they come at, the last note off lets it go, and nothing a
// keyboard or a broken sender does leaves it stuck.

#include "lv2_fixture.h"

#include <gtest/gtest.h>

#include <cmath>

namespace zerin::test {
namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr int kBlock = 1024;

struct Midi {
    int block;
    int offset;
    Bytes bytes;
};

void forgeMidi(LV2_Atom_Forge* f, const lv2::Urids& urids, int offset, const Bytes& bytes) {
    lv2_atom_forge_frame_time(f, offset);
    lv2_atom_forge_atom(f, static_cast<std::uint32_t>(bytes.size()), urids.midiEvent);
    lv2_atom_forge_write(f, bytes.data(), static_cast<std::uint32_t>(bytes.size()));
}

double rms(const std::vector<float>& x, std::size_t from) {
    double sum = 0.0;
    for (std::size_t i = from; i < x.size(); ++i)
        sum += static_cast<double>(x[i]) * x[i];
    return std::sqrt(sum / static_cast<double>(x.size() - from));
}

struct FreezeFixture : Fixture {
    // Heard straight: every bin at 0 ms, no feedback, all wet, so what sounds once the input
    // has gone silent is what the freeze holds.
    std::unique_ptr<Instance> straight() {
        auto instance = std::make_unique<Instance>(stereo(), kRate, features);
        sendCurve(*instance, {1000.0f, 0.0f}, nullptr);
        instance->controls[parameter::feedback] = 0.0f;
        instance->controls[parameter::dryWet] = 100.0f;
        return instance;
    }

    // Noise for eight blocks, then silence to `blocks`; `events` go to their blocks and
    // `each` runs before every block (for port changes).
    std::vector<std::vector<float>> play(
        Instance& instance, const std::vector<Midi>& events, int blocks = 40,
        const std::function<void(int)>& each = [](int) {}) {
        auto input = noise(2, blocks * kBlock);
        for (auto& channel : input)
            std::fill(channel.begin() + 8 * kBlock, channel.end(), 0.0f);
        SequenceBuffer control(events.size() * 32 + 64);
        return render(instance, input, kBlock, [&](int block) {
            control.input(&mapper.map, [&](LV2_Atom_Forge* f) {
                for (const Midi& m : events)
                    if (m.block == block) forgeMidi(f, urids, m.offset, m.bytes);
            });
            instance.connectAtoms(&control, nullptr);
            each(block);
        });
    }

    // Whether the output still sounds in the last eight blocks, long after the input stopped.
    bool holds(
        const std::vector<Midi>& events,
        const std::function<void(Instance&, int)>& each = [](Instance&, int) {}) {
        auto instance = straight();
        const auto out = play(*instance, events, 40, [&](int block) { each(*instance, block); });
        const double level = rms(out[0], 32 * kBlock);
        EXPECT_TRUE(level > 0.01 || level < 1e-5) << "neither held nor silent: " << level;
        return level > 0.01;
    }
};

const Bytes kOn60 = {0x90, 60, 100};
const Bytes kOff60 = {0x80, 60, 0};
const Bytes kOn64 = {0x93, 64, 90}; // another channel counts as well
const Bytes kOff64 = {0x83, 64, 64};

// A note-on 600 frames into a block captures exactly where the freeze port turning on at that
// sample (the block cut there) captures, not at the block's start.
TEST_F(FreezeFixture, ANoteHoldsFromItsOwnSampleInTheBlockAndItsOffLetsGo) {
    auto byNote = straight();
    const auto played = play(*byNote, {{6, 600, kOn60}, {20, 5, kOff60}});

    auto input = noise(2, 40 * kBlock);
    for (auto& channel : input)
        std::fill(channel.begin() + 8 * kBlock, channel.end(), 0.0f);
    auto byPort = [&](int onAt, int offAt) {
        auto instance = straight();
        std::vector<std::vector<float>> out(2, std::vector<float>(input[0].size()));
        for (int start = 0; start < static_cast<int>(input[0].size());) {
            const int end = start < onAt ? onAt : (start < offAt ? offAt : 40 * kBlock);
            const float* in[2] = {input[0].data() + start, input[1].data() + start};
            float* o[2] = {out[0].data() + start, out[1].data() + start};
            instance->controls[parameter::freeze] = start >= onAt && start < offAt ? 1.0f : 0.0f;
            instance->connectAudio(in, o);
            instance->run(static_cast<std::uint32_t>(end - start));
            start = end;
        }
        return out;
    };
    EXPECT_EQ(played, byPort(6 * kBlock + 600, 20 * kBlock + 5));
    EXPECT_NE(played, byPort(6 * kBlock, 20 * kBlock + 5)); // the capture frame tells them apart
    EXPECT_GT(rms(played[0], 12 * kBlock), 0.01);           // held while the input was silent
    EXPECT_LT(rms(played[1], 30 * kBlock), 1e-5);           // and gone after the off
}

TEST_F(FreezeFixture, NotesCountAsAKeyboardPlaysThemAndNothingSticks) {
    EXPECT_TRUE(holds({{4, 0, kOn60}, {4, 9, kOn64}, {9, 0, kOff60}})) << "one note still down";
    EXPECT_FALSE(holds({{4, 0, kOn60}, {4, 9, kOn64}, {9, 0, kOff60}, {10, 0, kOff64}}));
    EXPECT_FALSE(holds({{4, 0, kOn60}, {9, 0, {0x90, 60, 0}}})) << "velocity 0 is an off";
    EXPECT_FALSE(holds({{4, 0, kOn60}, {9, 0, {0x80, 60, 200}}})) << "an off, however broken";
    EXPECT_FALSE(holds({{4, 0, kOn60}, {4, 5, kOn64}, {9, 0, {0xB0, 123, 0}}})) << "all off";
    // With one note chosen, only that one holds.
    auto only60 = [](Instance& instance, int) { instance.controls[parameter::freezeNote] = 60; };
    EXPECT_FALSE(holds({{4, 0, kOn64}}, only60));
    EXPECT_TRUE(holds({{4, 0, kOn64}, {4, 1, kOn60}, {9, 0, kOff64}}, only60));
    // A note whose off never comes is let go by the freeze parameter turning off.
    EXPECT_TRUE(holds({{4, 0, kOn60}}));
    EXPECT_FALSE(holds({{4, 0, kOn60}}, [](Instance& instance, int block) {
        instance.controls[parameter::freeze] = block == 10 ? 1.0f : 0.0f;
    }));
}

// 10,000 events in one block, mostly what no keyboard sends: notes past 127, data without a
// status, SysEx, clock, a message cut short. They cost no note and stick none.
TEST_F(FreezeFixture, AFloodOfAbsurdMidiInOneBlockNeitherCrashesNorSticksANote) {
    std::vector<Midi> flood;
    const Bytes junk[] = {{0x90, 200, 100}, {0x3C, 0x40, 0x10}, {0xF8},
                          {0x90, 61},       {0x80, 60, 200},    {0xF0, 1, 2, 3, 4, 5, 6, 7, 0xF7},
                          {0x90, 61, 128}};
    for (int i = 0; i < 10000; ++i) {
        const int offset = i * kBlock / 10000;
        if (i % 100 == 0)
            flood.push_back({4, offset, i % 200 == 0 ? kOn60 : kOff60});
        else
            flood.push_back({4, offset, junk[i % 7]});
    }
    EXPECT_FALSE(holds(flood)); // the last note event is an off
    flood.push_back({4, kBlock - 1, kOn64});
    EXPECT_TRUE(holds(flood));
}

} // namespace
} // namespace zerin::test
