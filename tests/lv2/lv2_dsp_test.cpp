// The DSP library through its descriptor, as hosts drive it: audio, messages, tempo, state.

#include "lv2_fixture.h"

#include "platform/json/preset_name.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>
#include <string>

namespace zerin::test {
namespace {

// Hosts switch lv2:enabled mid-stream (ecasound does): the port is the kernel's bypass, whose
// fade the kernel's tests hold; the output is the input as late as the latency, which stays.
TEST_F(Fixture, TheEnabledPortBypassesToTheInputAsLateAsTheLatencyAndBack) {
    constexpr int kBlock = 256, kOff = 80 * kBlock, kOn = 200 * kBlock, kEnd = 288 * kBlock;
    constexpr int kFade = 240; // 5 ms at 48 kHz
    const auto input = noise(2, kEnd);
    Instance instance(stereo(), kRate, features), reference(stereo(), kRate, features);
    const auto output = render(instance, input, kBlock, [&](int block) {
        EXPECT_TRUE(block == 0 || instance.latency == lv2::kLatencySamples) << block;
        instance.enabled = block * kBlock >= kOff && block * kBlock < kOn ? 0.0f : 1.0f;
    });
    const auto processed = render(reference, input, kBlock);
    for (int c = 0; c < 2; ++c)
        for (int n = kOff + kFade; n < kEnd; ++n)
            ASSERT_EQ(output[c][n], n < kOn            ? input[c][n - lv2::kLatencySamples]
                                    : n >= kOn + kFade ? processed[c][n]
                                                       : output[c][n])
                << c << " " << n;
}

// The latency port reports the frame size running, from the first block of a session at any
// size, and follows a change while audio runs: the dry path keeps to it before and after, and
// the plug-in sounds the same whether the host runs one sample or 4096 at a time.
TEST_F(Fixture, TheLatencyPortFollowsTheFrameSizeAndADryMixKeepsToIt) {
    constexpr int kChange = 4096 * 6, kEnd = 4096 * 16;
    const auto input = noise(2, kEnd);
    for (int index = 0; index < kFFTSizeCount; ++index) {
        const int size = kFFTSizes[index];
        SCOPED_TRACE(size);
        const int next = kFFTSizes[(index + 2) % kFFTSizeCount];
        // The controls a host would hold at `block` of `frames` each.
        const auto controlsAt = [index](Instance& instance, int frames) {
            return [&instance, frames, index](int block) {
                instance.controls[parameter::dryWet] = 0.0f;
                instance.controls[parameter::fftSize] = static_cast<float>(
                    block * frames < kChange ? index : (index + 2) % kFFTSizeCount);
            };
        };
        Instance whole(stereo(), kRate, features), single(stereo(), kRate, features);
        std::vector<float> reported;
        const auto output = render(whole, input, 4096, [&](int block) {
            controlsAt(whole, 4096)(block);
            if (block > 0) reported.push_back(whole.latency);
        });
        EXPECT_EQ(reported.front(), static_cast<float>(size - 1));
        EXPECT_EQ(reported.back(), static_cast<float>(next - 1));
        for (int c = 0; c < 2; ++c) {
            for (int n = size; n < kChange; ++n)
                ASSERT_EQ(output[c][n], input[c][n - size + 1]) << c << " " << n;
            for (int n = kChange + 2 * std::max(size, next); n < kEnd; ++n)
                ASSERT_EQ(output[c][n], input[c][n - next + 1]) << c << " " << n;
            for (float x : output[c])
                ASSERT_TRUE(std::isfinite(x));
        }
        EXPECT_EQ(render(single, input, 1, controlsAt(single, 1)), output);
    }
}

TEST_F(Fixture, WithoutUridMapItIsPlainAudio) {
    const auto input = noise(2, 12000);
    Instance mapped(stereo(), kRate, features);
    const LV2_Feature* none[] = {nullptr};
    Instance bare(stereo(), kRate, none);
    SequenceBuffer control(64); // what lv2apply gives: an empty, zero-sized atom
    control.sequence()->atom.size = 0;
    bare.connectAtoms(&control, &control);
    EXPECT_EQ(render(bare, input, 1), render(mapped, input, 512));

    StateMap state;
    EXPECT_NE(bare.save(state), LV2_STATE_SUCCESS);
    EXPECT_TRUE(state.empty());

    Instance mono(library.descriptor(lv2::kMonoUri), kRate, none);
    const auto out = render(mono, noise(1, 4096), 100);
    for (float x : out[0])
        ASSERT_TRUE(std::isfinite(x));
}

TEST_F(Fixture, ControlsAreClampedAndNonFiniteValuesIgnored) {
    const auto input = noise(2, 8192);
    Instance clamped(stereo(), kRate, features);
    clamped.controls[parameter::dryWet] = 100.0f;
    clamped.controls[parameter::inputGain] = -24.0f;
    const auto expected = render(clamped, input, 256);

    Instance wild(stereo(), kRate, features);
    wild.controls[parameter::dryWet] = 1e9f;
    wild.controls[parameter::inputGain] = -1e30f;
    wild.controls[parameter::feedback] = std::nanf(""); // keeps the default
    EXPECT_EQ(render(wild, input, 256), expected);
}

// The host's tempo drives tempo sync (120 BPM without a transport); absurd tempos, as floats or
// doubles, are ignored (a broken transport's 3e38 BPM once silenced the delay for good).
TEST_F(Fixture, TheHostTempoDrivesTempoSyncAndAnAbsurdOneIsIgnored) {
    struct Tempo {
        int block;
        double bpm;
        bool asDouble;
    };
    constexpr int kBlock = 512;
    const auto input = noise(2, 188 * kBlock);
    auto renderWith = [&](const std::vector<Tempo>& tempos) {
        Instance instance(stereo(), kRate, features);
        instance.controls[parameter::tempoSync] = 1.0f;
        instance.controls[parameter::lfoDepth] = 100.0f;
        SequenceBuffer control;
        return render(instance, input, kBlock, [&](int block) {
            control.input(&mapper.map, [&](LV2_Atom_Forge* f) {
                for (const Tempo& t : tempos)
                    if (t.block == block) forgeTempo(f, urids, t.bpm, t.asDouble);
            });
            instance.connectAtoms(&control, nullptr);
        });
    };
    const auto steady = renderWith({{0, 90.0, false}});
    const auto untimed = renderWith({});
    EXPECT_NE(untimed, steady);
    EXPECT_EQ(untimed, renderWith({{0, 120.0, false}}));
    EXPECT_EQ(renderWith({{0, 90.0, false},
                          {20, 3e38, false},
                          {40, 1e300, true},
                          {60, HUGE_VAL, true},
                          {80, 1e6, false},
                          {100, 90.0, false}}),
              steady);
    EXPECT_NE(renderWith({{0, 90.0, false}, {60, 140.0, false}}), steady); // usable: it counts
}

// An opening editor asks once: the curve and the name, then ratings at most ten times a
// second, all as notices (a host reads a patch:Set as a change of a declared property).
TEST_F(Fixture, AListeningUiHearsTheCurveOnceAndTheClassificationAtMostTenTimesASecond) {
    Instance instance(stereo(), kRate, features);
    instance.controls[parameter::sourceSensitivity] = 50.0f; // the ratings are made only then
    const auto input = noise(2, 512);
    int messages = 0, patchSets = 0;
    for (int block = 0; block < 2 * 48000 / 512; ++block) {
        SequenceBuffer notify, control;
        notify.offerOutput();
        writeGet(control, block == 0);
        instance.connectAtoms(&control, &notify);
        render(instance, input, 512);
        const Reply reply = readReplies(notify);
        messages += reply.classifications;
        patchSets += reply.patchSets;
        EXPECT_EQ(reply.curve.size(), block == 0 ? 5u : 0u) << block; // the default curve
        EXPECT_EQ(reply.name, block == 0 ? "Init" : "") << block;
        // The notify buffer always holds a valid sequence, however little there is to say.
        EXPECT_EQ(notify.sequence()->atom.type, urids.atomSequence);
    }
    EXPECT_EQ(patchSets, 0);
    EXPECT_GE(messages, 15);
    EXPECT_LE(messages, 20);
}

TEST_F(Fixture, StateRestoredIntoASecondInstanceGivesTheSameOutput) {
    Instance first(stereo(), kRate, features);
    sendCurve(first, {60, 900, 400, 0, 5000, 1200}, "Bloom");
    StateMap state;
    ASSERT_EQ(first.save(state), LV2_STATE_SUCCESS);
    EXPECT_EQ(state.at(urids.curve).type, urids.atomVector);
    EXPECT_TRUE(state.at(urids.curve).flags & LV2_STATE_IS_PORTABLE);

    // A host without a UI hears nothing of a restore; the second instance sounds as the first.
    Instance second(stereo(), kRate, features);
    EXPECT_EQ(second.restore(state), LV2_STATE_SUCCESS);
    SequenceBuffer notify;
    notify.offerOutput();
    second.connectAtoms(nullptr, &notify);
    second.run(0);
    second.connectAtoms(nullptr, nullptr);
    EXPECT_TRUE(readReplies(notify).name.empty());

    const auto input = noise(2, 48000);
    EXPECT_EQ(render(second, input, 333), render(first, input, 512));
}

// Points in any order, or just one, by message or by state: heard as the kernel sorts them.
TEST_F(Fixture, ACurveIsHeardInFrequencyOrderAndOnePointIsHeardByMessageOrByState) {
    const auto input = noise(2, 24000);
    auto heard = [&](const std::vector<float>& pairs, bool byState) {
        Instance instance(stereo(), kRate, features);
        StateMap state = curveState(pairs);
        if (byState)
            instance.restore(state);
        else
            sendCurve(instance, pairs, nullptr);
        return render(instance, input, 512);
    };
    EXPECT_EQ(heard({400, 0, 5000, 1200, 60, 900}, true),
              heard({60, 900, 400, 0, 5000, 1200}, false));
    const auto byDefault = heard({}, false);
    for (const bool byState : {false, true})
        EXPECT_NE(heard({1000, 300}, byState), byDefault) << byState;
}

TEST_F(Fixture, HostileStateChangesNothingUnsafe) {
    Instance instance(stereo(), kRate, features);
    auto restore = [&](StateMap state) { return instance.restore(state); };
    // Wrong types: the curve stays, the name reads as "Init".
    StateMap wrong;
    const std::int32_t seven = 7;
    storeInto(&wrong, urids.curve, &seven, sizeof seven, urids.atomInt, 0);
    storeInto(&wrong, urids.presetName, &seven, sizeof seven, urids.atomInt, 0);
    EXPECT_EQ(restore(wrong), LV2_STATE_SUCCESS);
    Reply reply = ask(instance);
    EXPECT_EQ(reply.curve.size(), 5u);
    EXPECT_EQ(reply.name, "Init");

    // A vector of doubles, a truncated header, a vector of NaN only: the curve stays.
    for (std::uint32_t childType : {urids.atomDouble, urids.atomFloat}) {
        StateMap odd = curveState(std::vector<float>(64, std::nanf("")), childType);
        EXPECT_EQ(restore(odd), LV2_STATE_SUCCESS);
        odd[urids.curve].bytes.resize(3);
        EXPECT_EQ(restore(odd), LV2_STATE_SUCCESS);
        EXPECT_EQ(ask(instance).curve.size(), 5u);
    }

    // A million points, unaligned, and a name of 10 kB: 32 points, the longest name kept.
    std::vector<float> million(2'000'000, 100.0f);
    for (int i = 0; i < 2'000'000; i += 2)
        million[i] = 20.0f + static_cast<float>(i);
    StateMap huge = curveState(million, 0, 1);
    const std::string longName(10'000, 'x');
    storeInto(&huge, urids.presetName, longName.c_str(), longName.size(), urids.atomString, 0);
    EXPECT_EQ(restore(huge), LV2_STATE_SUCCESS);
    reply = ask(instance);
    EXPECT_EQ(reply.curve.size(), static_cast<std::size_t>(kMaxCurvePoints));
    EXPECT_EQ(reply.name.size(), kMaxPresetNameBytes);

    // The audio that follows is still finite.
    for (const auto& channel : render(instance, noise(2, 8192), 512))
        for (float x : channel)
            ASSERT_TRUE(std::isfinite(x));
}

// Walks a notify buffer offered `capacity` bytes by the atom layout alone: everything fits what
// holds it, and every property message has its property and value.
::testing::AssertionResult wholeMessages(SequenceBuffer& notify, std::uint32_t capacity,
                                         const lv2::Urids& urids) {
    auto fail = [](const char* what, std::uint64_t at) {
        return ::testing::AssertionFailure() << what << " at " << at;
    };
    const LV2_Atom_Sequence* sequence = notify.sequence();
    const std::uint32_t size = sequence->atom.size;
    if (sequence->atom.type != urids.atomSequence || size > capacity) return fail("no sequence", 0);
    if (size > 0 && size < sizeof(LV2_Atom_Sequence_Body)) return fail("a cut body", size);
    const auto* base = reinterpret_cast<const std::uint8_t*>(&sequence->body);
    for (std::uint64_t offset = sizeof(LV2_Atom_Sequence_Body); offset < size;) {
        if (size - offset < sizeof(LV2_Atom_Event)) return fail("a cut event header", offset);
        const auto* event = reinterpret_cast<const LV2_Atom_Event*>(base + offset);
        const std::uint64_t bodyEnd = offset + sizeof(LV2_Atom_Event) + event->body.size;
        if (bodyEnd > size) return fail("an event past the sequence", offset);
        if (event->body.type != urids.atomObject || event->body.size < sizeof(LV2_Atom_Object_Body))
            return fail("an event that is no object", offset);
        bool hasProperty = false, hasValue = false;
        for (std::uint64_t at = offset + sizeof(LV2_Atom_Event) + sizeof(LV2_Atom_Object_Body);
             at < bodyEnd;) {
            const auto* property = reinterpret_cast<const LV2_Atom_Property_Body*>(base + at);
            if (bodyEnd - at < sizeof(LV2_Atom_Property_Body) ||
                at + sizeof(LV2_Atom_Property_Body) + property->value.size > bodyEnd)
                return fail("a property past its message", at);
            hasProperty = hasProperty || property->key == urids.patchProperty;
            hasValue = hasValue || property->key == urids.patchValue;
            at += sizeof(LV2_Atom_Property_Body) + lv2_atom_pad_size(property->value.size);
        }
        const LV2_URID type = reinterpret_cast<const LV2_Atom_Object*>(&event->body)->body.otype;
        if ((type == urids.patchSet || type == urids.notice) && !(hasProperty && hasValue))
            return fail("a message with no value", offset);
        offset += sizeof(LV2_Atom_Event) + lv2_atom_pad_size(event->body.size);
    }
    return ::testing::AssertionSuccess();
}

TEST_F(Fixture, NotifyHoldsWholeMessagesOnlyWhateverRoomTheHostGives) {
    const auto input = noise(2, 512);
    // The name (88 bytes with the sequence's header) fits in 120 bytes, the default curve
    // (128) in 1000, the ratings (4188) only in the size the plug-in asks for.
    for (const std::uint32_t capacity :
         {0u, 7u, 8u, 17u, 64u, 120u, 1000u, lv2::kNotifyBufferBytes}) {
        Instance instance(stereo(), kRate, features);
        instance.controls[parameter::sourceSensitivity] = 50.0f;
        Reply heard;
        for (int block = 0; block < 40; ++block) {
            SequenceBuffer control;
            writeGet(control, block == 0);
            // Exactly as large as offered, so that a write past it is a heap overflow.
            SequenceBuffer notify(capacity + sizeof(LV2_Atom));
            notify.offerOutput();
            instance.connectAtoms(&control, &notify);
            render(instance, input, 512);
            const auto whole = wholeMessages(notify, capacity, urids);
            EXPECT_TRUE(whole) << capacity << " bytes, block " << block;
            if (!whole) break;
            const Reply reply = readReplies(notify);
            if (!reply.curve.empty()) heard.curve = reply.curve;
            if (!reply.name.empty()) heard.name = reply.name;
            heard.classifications += reply.classifications;
        }
        EXPECT_EQ(heard.name, capacity >= 120 ? "Init" : "") << capacity;
        EXPECT_EQ(heard.curve.size(), capacity >= 1000 ? 5u : 0u) << capacity;
        EXPECT_EQ(heard.classifications > 0, capacity >= lv2::kNotifyBufferBytes) << capacity;
    }
}

// The bytes of a control sequence forged by `fill`.
std::vector<std::uint8_t> forgedSequence(LV2_URID_Map* map,
                                         const std::function<void(LV2_Atom_Forge*)>& fill) {
    SequenceBuffer control(4096);
    control.input(map, fill);
    const std::size_t used = sizeof(LV2_Atom) + control.sequence()->atom.size;
    return {control.bytes.begin(), control.bytes.begin() + static_cast<std::ptrdiff_t>(used)};
}

LV2_Atom_Event* firstEvent(std::vector<std::uint8_t>& bytes) {
    auto* sequence = reinterpret_cast<LV2_Atom_Sequence*>(bytes.data());
    return lv2_atom_sequence_begin(&sequence->body);
}

// The value atom of the first event's object (an object the test itself forged whole).
LV2_Atom* firstValue(std::vector<std::uint8_t>& bytes, LV2_URID key) {
    auto* object = reinterpret_cast<LV2_Atom_Object*>(&firstEvent(bytes)->body);
    const LV2_Atom* value = nullptr;
    lv2_atom_object_get(object, key, &value, 0);
    return const_cast<LV2_Atom*>(value);
}

TEST_F(Fixture, MessagesThatClaimMoreThanTheyHoldAreNeverReadPastTheirEnd) {
    const std::vector<float> curve = {100, 50, 2000, 700};
    auto curveSet = [&](LV2_Atom_Forge* f) { forgeCurveSet(f, urids, curve); };
    auto tempo = [&](LV2_Atom_Forge* f) { forgeTempo(f, urids, 90.0, true); };
    struct Case {
        const char* what;
        std::function<void(LV2_Atom_Forge*)> fill;
        std::function<void(std::vector<std::uint8_t>&)> damage;
    };
    const std::vector<Case> cases = {
        {"a curve vector longer than its message", curveSet,
         [&](auto& b) { firstValue(b, urids.patchValue)->size += 4096; }},
        {"a curve vector shorter than its header", curveSet,
         [&](auto& b) { firstValue(b, urids.patchValue)->size = 4; }},
        {"an object longer than its sequence", curveSet,
         [&](auto& b) { firstEvent(b)->body.size += 4096; }},
        {"a property key of a huge value", curveSet,
         [&](auto& b) { firstValue(b, urids.patchProperty)->size = 0xFFFFFFF0u; }},
        {"a tempo longer than its message", tempo,
         [&](auto& b) { firstValue(b, urids.timeBeatsPerMinute)->size += 4096; }},
    };
    for (const Case& c : cases) {
        Instance instance(stereo(), kRate, features);
        std::vector<std::uint8_t> bytes = forgedSequence(&mapper.map, c.fill);
        c.damage(bytes);
        GuardedBytes guarded(bytes);
        instance.descriptor->connect_port(
            instance.handle, static_cast<std::uint32_t>(instance.ports.control), guarded.data());
        runSilence(instance);
        instance.connectAtoms(nullptr, nullptr);
        EXPECT_EQ(ask(instance).curve.size(), 5u) << c.what; // the default curve stays
    }
}

// Pairs without a usable frequency are skipped; a curve of none is refused, and the one
// playing stays, as heard, as saved and as told to the UI.
TEST_F(Fixture, ACurveWithNoUsablePointIsRefusedAndTheOneHeardStaysAsSaved) {
    const float nan = std::nanf("");
    const std::vector<float> kept = {60, 900, nan, 10, 400, 0, 0, 7, 5000, 1200};
    Instance reference(stereo(), kRate, features);
    sendCurve(reference, kept, "Bloom");
    const auto input = noise(2, 24000);
    const auto expected = render(reference, input, 512);

    Instance instance(stereo(), kRate, features);
    sendCurve(instance, kept, "Bloom");
    ask(instance); // a UI is listening: it hears what still plays
    for (const std::vector<float>& unusable :
         {std::vector<float>{}, {nan, 100, 1000, nan}, {0, 100, -50, 300}, {440}}) {
        SequenceBuffer control, notify;
        control.input(&mapper.map, [&](LV2_Atom_Forge* f) { forgeCurveSet(f, urids, unusable); });
        runOnce(instance, control, &notify);
        EXPECT_EQ(readReplies(notify).curve.size(), 3u) << unusable.size() << " floats";
    }
    StateMap state;
    ASSERT_EQ(instance.save(state), LV2_STATE_SUCCESS);
    EXPECT_EQ(state.at(urids.curve).bytes.size(), sizeof(LV2_Atom_Vector_Body) + 6 * sizeof(float));
    EXPECT_EQ(render(instance, input, 512), expected);

    // A state whose curve has no usable point keeps the curve that plays and its name.
    StateMap damaged = curveState({});
    storeInto(&damaged, urids.presetName, "Other", 6, urids.atomString, 0);
    EXPECT_EQ(instance.restore(damaged), LV2_STATE_SUCCESS);
    const Reply after = ask(instance);
    ASSERT_EQ(after.curve.size(), 3u);
    EXPECT_TRUE(after.curve[1].freq == 400.0f && after.curve[1].value == 0.0f);
    EXPECT_EQ(after.name, "Bloom");
}

// Where the editor stood: taken from the UI, told back when asked, saved and restored with the
// session; a session from before it was kept, or a damaged one, opens where a fresh editor
// opens.
TEST_F(Fixture, TheEditorViewTravelsWithTheSessionAndBackToTheUi) {
    const EditorView edited{CurveSlot::b, CurveKind::feedback, 55.0f, 1760.0f};
    Instance instance(stereo(), kRate, features);
    sendCurve(instance, {100, 50, 2000, 700}, "Bloom");
    EXPECT_EQ(ask(instance).view, EditorView{});
    SequenceBuffer control;
    control.input(&mapper.map, [&](LV2_Atom_Forge* f) {
        lv2::writeEditorView(f, urids, lv2::Direction::toDsp, edited);
    });
    runOnce(instance, control);
    EXPECT_EQ(ask(instance).view, edited);
    StateMap state;
    ASSERT_EQ(instance.save(state), LV2_STATE_SUCCESS);

    Instance restored(stereo(), kRate, features);
    EXPECT_EQ(restored.restore(state), LV2_STATE_SUCCESS);
    EXPECT_EQ(ask(restored).view, edited);
    StateMap older = state;
    older.erase(urids.editorView);
    EXPECT_EQ(restored.restore(older), LV2_STATE_SUCCESS);
    EXPECT_EQ(ask(restored).view, EditorView{});
    StateMap damaged = state;
    const float nan = std::nanf("");
    storeInto(&damaged, urids.editorView, &nan, sizeof nan, urids.atomFloat, 0);
    EXPECT_EQ(restored.restore(damaged), LV2_STATE_SUCCESS);
    EXPECT_EQ(ask(restored).view, EditorView{});
}

TEST_F(Fixture, PresetNamesAreCleanedWhereTheyComeInAndBoundedAsTheUnitBoundsThem) {
    const std::string stray = "Wash\xFF\xC0\xAF tail \xE2\x82";
    const std::string clean = "Wash tail ";
    // 255 bytes and a two-byte character: it would end past the bound and goes whole.
    const std::string longName = std::string(255, 'a') + "\xC3\xA9" + std::string(40, 'b');
    for (const std::string& name : {stray, longName}) {
        const std::string expected = boundedPresetName(name);
        Instance instance(stereo(), kRate, features);
        sendCurve(instance, {100, 50, 2000, 700}, name.c_str());
        EXPECT_EQ(ask(instance).name, expected);
        StateMap state;
        ASSERT_EQ(instance.save(state), LV2_STATE_SUCCESS);
        const auto& saved = state.at(urids.presetName).bytes;
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(saved.data())), expected);

        // The same name from a state, unterminated.
        Instance restored(stereo(), kRate, features);
        StateMap given = state;
        given[urids.presetName].bytes.assign(name.begin(), name.end());
        EXPECT_EQ(restored.restore(given), LV2_STATE_SUCCESS);
        EXPECT_EQ(ask(restored).name, expected);
    }
    EXPECT_EQ(boundedPresetName(stray), clean);
    EXPECT_EQ(boundedPresetName(longName), std::string(255, 'a'));
}

} // namespace
} // namespace zerin::test
