// The UI's link to the DSP, fed what a DSP or a broken host might hand it through the notify
// port: this version's notices, the patch:Set form, and messages whose parts claim more bytes
// than they hold, placed against a page that cannot be read; then wired to the real DSP
// library, its messages carried both ways as a host carries them.

#include "lv2/ui_link.h"
#include "lv2_host.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
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
        // As the editor does once it shows: it draws the bands.
        link.setFrameWanted(DisplayFrameKind::classification, true);
        sent.clear();
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

    // A property message of `type` whose value is a float vector; `more` forges further
    // properties after the value.
    using Forging = std::function<void(LV2_Atom_Forge*)>;
    std::vector<std::uint8_t> vectorMessage(LV2_URID type, LV2_URID property,
                                            const std::vector<float>& values,
                                            const Forging& more = {}) {
        return message(
            [&](LV2_Atom_Forge* f) { forgeFloatVector(f, urids, type, property, values, more); });
    }

    // A classification notice with a stamp forged by the test: its rate and number.
    std::vector<std::uint8_t> stampedNotice(const std::vector<float>& ratings, const Forging& rate,
                                            const Forging& number) {
        return vectorMessage(urids.notice, urids.classification, ratings, [&](LV2_Atom_Forge* f) {
            lv2_atom_forge_key(f, urids.paramSampleRate);
            rate(f);
            lv2_atom_forge_key(f, urids.frameSequence);
            number(f);
        });
    }

    // A classification notice as this version's DSP writes it.
    std::vector<std::uint8_t> frameNotice(const std::vector<float>& ratings,
                                          const FrameStamp& stamp) {
        return message([&](LV2_Atom_Forge* f) {
            lv2::writeFrame(f, urids, DisplayFrameKind::classification, ratings.data(),
                            static_cast<int>(ratings.size()), stamp);
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
        EXPECT_EQ(link.getCurve(CurveSlot::a, CurveKind::delay),
                  (CurvePoints{{100.0f, delay}, {2000.0f, 700.0f}}));
    }
    // A name is cleaned on the way in, as the DSP cleans it.
    const auto name = message([&](LV2_Atom_Forge* f) {
        lv2::writePresetName(f, urids, lv2::Direction::toUi, "Wash\xFF tail");
    });
    EXPECT_TRUE(receiveGuarded(name));
    EXPECT_EQ(link.presetName(), "Wash tail");
}

TEST_F(Fixture, PartsThatClaimMoreThanTheirMessageHoldsAreNeverRead) {
    const std::vector<float> curve = {100, 50, 2000, 700};
    const std::vector<float> ratings(kNumBins, 0.5f);
    link.setHostSampleRate(48000.0); // ratings whole but for the damage would be taken
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
            std::vector<std::uint8_t> bytes =
                vectorMessage(type, c.property, c.property == urids.curve ? curve : ratings);
            c.damage(bytes);
            receiveGuarded(bytes);
            EXPECT_TRUE(link.getCurve(CurveSlot::a, CurveKind::delay).empty()) << c.what;
            EXPECT_FALSE(link.takeFrame(DisplayFrameKind::classification)) << c.what;
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

TEST_F(Fixture, ValuesOfTheWrongKindOrWithoutAUsablePointChangeNothing) {
    const std::vector<float> usable = {100, 50, 2000, 700};
    const std::vector<std::int32_t> integers = {100, 50, 2000, 700};
    auto intVector = [&](LV2_URID property) {
        return message([&](LV2_Atom_Forge* f) {
            LV2_Atom_Forge_Frame frame;
            lv2_atom_forge_frame_time(f, 0);
            lv2_atom_forge_object(f, &frame, 0, urids.notice);
            lv2_atom_forge_key(f, urids.patchProperty);
            lv2_atom_forge_urid(f, property);
            lv2_atom_forge_key(f, urids.patchValue);
            lv2_atom_forge_vector(f, sizeof(std::int32_t), urids.atomInt,
                                  static_cast<std::uint32_t>(integers.size()), integers.data());
            lv2_atom_forge_pop(f, &frame);
        });
    };
    receiveGuarded(intVector(urids.curve));
    receiveGuarded(intVector(urids.classification));
    receiveGuarded(intVector(urids.presetName));
    // A name where the curve belongs, and a curve where the name belongs.
    auto nameAsCurve = message(
        [&](LV2_Atom_Forge* f) { lv2::writePresetName(f, urids, lv2::Direction::toUi, "Bloom"); });
    reinterpret_cast<LV2_Atom_URID*>(valueOf(nameAsCurve, urids.patchProperty))->body = urids.curve;
    receiveGuarded(nameAsCurve);
    receiveGuarded(vectorMessage(urids.notice, urids.presetName, usable));
    // A curve none of whose points can be drawn: the DSP keeps the curve it has, so the editor
    // must too.
    const float nan = std::nanf("");
    receiveGuarded(vectorMessage(urids.notice, urids.curve, {nan, 10.0f, 0.0f, 7.0f, -5.0f, 1.0f}));
    receiveGuarded(vectorMessage(urids.patchSet, urids.curve, {}));
    // A request is for the DSP to answer, not a change.
    EXPECT_FALSE(receiveGuarded(message([&](LV2_Atom_Forge* f) { lv2::writePatchGet(f, urids); })));

    EXPECT_TRUE(link.getCurve(CurveSlot::a, CurveKind::delay).empty());
    EXPECT_FALSE(link.knowsUnitState());
    EXPECT_FALSE(link.takeFrame(DisplayFrameKind::classification));
    EXPECT_EQ(link.presetName(), "Init");
    EXPECT_EQ(externalChanges, 0);
}

// Number atoms for the stamp of a forged frame.
Fixture::Forging real(double v) {
    return [v](LV2_Atom_Forge* f) { lv2_atom_forge_double(f, v); };
}
Fixture::Forging whole(std::int64_t v) {
    return [v](LV2_Atom_Forge* f) { lv2_atom_forge_long(f, v); };
}

TEST_F(Fixture, AFrameBringsTheRateAndNumberTheDspGaveItAndAMalformedOneIsRefused) {
    std::vector<float> ratings(kNumBins);
    for (std::size_t k = 0; k < ratings.size(); ++k)
        ratings[k] = static_cast<float>(k) / 1024.0f;
    // Each frame size's ratings, placed by the size their count tells.
    for (const auto& [rate, size] : {std::pair{44100.0, 512}, {48000.0, 8192}, {96000.0, 2048}}) {
        const std::vector<float> sized(static_cast<std::size_t>(size / 2 + 1), 0.25f);
        EXPECT_TRUE(receiveGuarded(frameNotice(sized, {rate, 40})));
        const std::optional<DisplayFrame> frame = link.takeFrame(DisplayFrameKind::classification);
        ASSERT_TRUE(frame) << rate;
        EXPECT_EQ(frame->values, sized);
        EXPECT_EQ(frame->fftSize, size);
        EXPECT_EQ(frame->stamp.sampleRate, rate);
        EXPECT_EQ(frame->stamp.sequence, 40u);
        EXPECT_FALSE(link.takeFrame(DisplayFrameKind::classification)) << "handed out once";
    }
    EXPECT_TRUE(receiveGuarded(frameNotice(ratings, {48000.0, 41})));
    ASSERT_TRUE(link.takeFrame(DisplayFrameKind::classification));
    // Forged by the test, a whole frame is taken.
    receiveGuarded(stampedNotice(ratings, real(88200.0), whole(2)));
    const std::optional<DisplayFrame> forged = link.takeFrame(DisplayFrameKind::classification);
    ASSERT_TRUE(forged);
    EXPECT_EQ(forged->stamp.sampleRate, 88200.0);
    EXPECT_EQ(forged->stamp.sequence, 2u);

    link.setHostSampleRate(48000.0); // no stand-in for a rate that is there but unusable
    struct Case {
        const char* what;
        std::size_t count;
        Forging rate, number;
    };
    std::vector<Case> cases = {
        {"a rate that is not a number", kNumBins, real(std::nan("")), whole(1)},
        {"a rate of 0 Hz", kNumBins, real(0.0), whole(1)},
        {"a negative rate", kNumBins, real(-48000.0), whole(1)},
        {"an infinite rate", kNumBins, real(INFINITY), whole(1)},
        {"a rate no float holds", kNumBins, real(1e300), whole(1)},
        {"a rate given as text", kNumBins,
         [](LV2_Atom_Forge* f) { lv2_atom_forge_string(f, "48000", 5); }, whole(1)},
        {"a frame number of 0", kNumBins, real(48000.0), whole(0)},
        {"a negative frame number", kNumBins, real(48000.0), whole(-5)},
        {"a frame number given as a float", kNumBins, real(48000.0),
         [](LV2_Atom_Forge* f) { lv2_atom_forge_float(f, 3.0f); }},
        {"a rating short", kNumBins - 1, real(48000.0), whole(1)},
        {"a rating too many", kNumBins + 1, real(48000.0), whole(1)},
        {"a rating short of the largest frame", kMaxNumBins - 1, real(48000.0), whole(1)},
    };
    // The largest frame whole is taken (above); as far past it as a slip would read is not.
    for (const std::size_t past : {1u, 4u, 8u, 16u})
        cases.push_back(
            {"ratings past the largest frame", kMaxNumBins + past, real(48000.0), whole(1)});
    for (const Case& c : cases) {
        const std::vector<float> values(c.count, 0.5f);
        EXPECT_TRUE(receiveGuarded(stampedNotice(values, c.rate, c.number))) << c.what;
        EXPECT_FALSE(link.takeFrame(DisplayFrameKind::classification)) << c.what;
    }
}

// A DSP from before the ratings came with their rate may still run in a host that loaded a
// newer editor after an update. Its ratings are drawn at the rate the host gave the editor;
// guessed at, they would mark bins the curve does not act on (at 96 kHz an octave off).
TEST_F(Fixture, RatingsThatComeWithoutARateArePlacedAtTheHostsRateOrNotDrawn) {
    const std::vector<float> ratings(kNumBins, 0.25f);
    const auto unstamped = vectorMessage(urids.notice, urids.classification, ratings);
    EXPECT_TRUE(receiveGuarded(unstamped));
    EXPECT_FALSE(link.takeFrame(DisplayFrameKind::classification));

    link.setHostSampleRate(96000.0);
    receiveGuarded(frameNotice(ratings, {96000.0, 7}));
    ASSERT_TRUE(link.takeFrame(DisplayFrameKind::classification));
    for (const std::uint64_t expected : {8u, 9u}) {
        receiveGuarded(unstamped);
        const std::optional<DisplayFrame> frame = link.takeFrame(DisplayFrameKind::classification);
        ASSERT_TRUE(frame);
        EXPECT_EQ(frame->values, ratings);
        EXPECT_EQ(frame->stamp.sampleRate, 96000.0);
        EXPECT_EQ(frame->stamp.sequence, expected) << "numbered on from the last";
    }
}

// An editor on the real DSP library: what its link writes goes in on the control port, what
// the DSP writes to the notify port comes back to it, one cycle at a time.
struct Editor {
    std::vector<std::vector<std::uint8_t>> outbox;
    int externalChanges = 0;
    lv2::UiLink link;

    explicit Editor(UridMapper& mapper)
        : link(
              &mapper.map,
              [](LV2UI_Controller controller, std::uint32_t, std::uint32_t size, std::uint32_t,
                 const void* buffer) {
                  const auto* bytes = static_cast<const std::uint8_t*>(buffer);
                  static_cast<Editor*>(controller)->outbox.emplace_back(bytes, bytes + size);
              },
              this, 0) {
        link.onExternalChange = [this] { ++externalChanges; };
    }
    Editor(const Editor&) = delete;
    Editor& operator=(const Editor&) = delete;
};

struct WithTheDsp : ::testing::Test {
    static constexpr double kRate = 48000.0;
    static constexpr std::uint32_t kBlock = 512;
    DspLibrary library;
    UridMapper mapper;
    const LV2_Feature* features[2] = {&mapper.feature, nullptr};
    lv2::Urids urids{};
    std::vector<float> noise = std::vector<float>(kBlock);

    void SetUp() override {
        urids.map(&mapper.map);
        std::mt19937 random(7);
        std::uniform_real_distribution<float> u(-0.5f, 0.5f);
        for (float& x : noise)
            x = u(random);
    }

    std::unique_ptr<Instance> instance() {
        return std::make_unique<Instance>(library.descriptor(lv2::kStereoUri), kRate, features);
    }

    // One block of noise: `from`'s messages in, and every notice out handed to `to` and to
    // `heard` (the raw notify events, for the test to read itself).
    void cycle(Instance& dsp, Editor* from, Editor* to,
               std::vector<std::vector<std::uint8_t>>* heard = nullptr) {
        std::vector<std::vector<std::uint8_t>> none;
        dsp.exchange(&mapper.map, from != nullptr ? from->outbox : none, noise,
                     [&](const LV2_Atom* atom, std::size_t bytes) {
                         if (to != nullptr) to->link.receive(atom, bytes);
                         if (heard != nullptr) {
                             const auto* p = reinterpret_cast<const std::uint8_t*>(atom);
                             heard->emplace_back(p, p + bytes);
                         }
                     });
    }
};

TEST_F(WithTheDsp, ACurveAndANameOneEditorSendsAreWhatTheNextEditorHears) {
    auto dsp = instance();
    Editor first(mapper);
    const CurvePoints drawn = {
        {80.0f, 20.0f}, {440.0f, 950.0f}, {3000.0f, 120.5f}, {12000.0f, 0.0f}};
    first.link.setCurve(CurveSlot::a, CurveKind::delay, drawn);
    first.link.setPresetName("Glass Steps");
    const EditorView view{CurveSlot::b, CurveKind::delay, 40.0f, 640.0f};
    first.link.setEditorView(view);
    cycle(*dsp, &first, nullptr);

    Editor next(mapper);
    next.link.requestState();
    cycle(*dsp, &next, &next);
    ASSERT_TRUE(next.link.knowsUnitState());
    EXPECT_EQ(next.link.getCurve(CurveSlot::a, CurveKind::delay), drawn);
    EXPECT_EQ(next.link.presetName(), "Glass Steps");
    EXPECT_EQ(next.link.editorView(), view);
    EXPECT_GE(next.externalChanges, 1);
}

// An editor knows what the DSP holds only once every curve of the set and the name have come:
// until then it would show (and could send back) curves that are not the session's. It asks
// again while no answer comes, less and less often, and stops once one has.
TEST_F(WithTheDsp, AnEditorKnowsTheUnitOnceTheWholeSetAndNameCameAndAsksAgainUntilThen) {
    auto dsp = instance();
    Editor editor(mapper);
    const auto requests = [&] {
        int count = 0;
        for (const auto& body : editor.outbox) {
            lv2::Message message;
            count += lv2::readMessage(body.data(), body.size(), urids, message) &&
                     message.type == urids.patchGet;
        }
        return count;
    };
    editor.link.requestState();
    std::vector<int> askedAt;
    for (int poll = 1; poll <= 200; ++poll) {
        const int before = requests();
        editor.link.poll();
        if (requests() > before) askedAt.push_back(poll);
    }
    EXPECT_EQ(askedAt, (std::vector<int>{10, 30, 70, 134, 198}));
    EXPECT_FALSE(editor.link.knowsUnitState());

    std::vector<std::vector<std::uint8_t>> heard;
    cycle(*dsp, &editor, nullptr, &heard);
    std::size_t told = 0;
    for (const auto& bytes : heard) {
        EXPECT_FALSE(editor.link.knowsUnitState()) << told << " of " << heard.size();
        editor.link.receive(bytes.data(), bytes.size());
        ++told;
        if (editor.link.knowsUnitState()) break;
    }
    ASSERT_TRUE(editor.link.knowsUnitState());
    EXPECT_GE(told, 5u); // four curves and the name
    editor.outbox.clear();
    for (int poll = 0; poll < 200; ++poll)
        editor.link.poll();
    EXPECT_EQ(requests(), 0);
}

TEST_F(WithTheDsp, TheClassificationReachesAListeningEditorAsTheDspSentItUntilItSaysGoodbye) {
    auto dsp = instance();
    dsp->controls[parameter::sourceSensitivity] = 50.0f; // the ratings are made only then
    Editor editor(mapper);
    editor.link.setFrameWanted(DisplayFrameKind::classification, true);
    editor.link.requestState();
    std::optional<DisplayFrame> received;
    std::vector<float> sent;
    // Ten a second at most: two seconds of audio is ample for the first.
    for (int block = 0; block < 2 * 48000 / static_cast<int>(kBlock) && !received; ++block) {
        std::vector<std::vector<std::uint8_t>> heard;
        cycle(*dsp, &editor, &editor, &heard);
        for (const auto& bytes : heard) {
            lv2::Message message;
            if (!lv2::readMessage(bytes.data(), bytes.size(), urids, message)) continue;
            std::vector<float> values(kNumBins, -1.0f);
            DisplayFrameKind kind{};
            int count = 0;
            FrameStamp stamp;
            if (lv2::readFrame(message, urids, kind, values.data(), kNumBins, count, stamp) &&
                kind == DisplayFrameKind::classification)
                sent.assign(values.begin(), values.begin() + count);
        }
        received = editor.link.takeFrame(DisplayFrameKind::classification);
    }
    ASSERT_TRUE(received);
    EXPECT_EQ(received->values.size(), static_cast<std::size_t>(kNumBins));
    EXPECT_EQ(received->values, sent);
    EXPECT_EQ(received->stamp.sampleRate, kRate);
    EXPECT_FALSE(editor.link.takeFrame(DisplayFrameKind::classification)); // handed out once
    // The next one has a larger number.
    std::optional<DisplayFrame> next;
    for (int block = 0; block < 48000 / static_cast<int>(kBlock) && !next; ++block) {
        cycle(*dsp, &editor, &editor);
        next = editor.link.takeFrame(DisplayFrameKind::classification);
    }
    ASSERT_TRUE(next);
    EXPECT_GT(next->stamp.sequence, received->stamp.sequence);

    editor.link.sayGoodbye();
    cycle(*dsp, &editor, &editor);
    (void)editor.link.takeFrame(
        DisplayFrameKind::classification); // one may have left before the goodbye
    for (int block = 0; block < 48000 / static_cast<int>(kBlock); ++block)
        cycle(*dsp, &editor, &editor);
    EXPECT_FALSE(editor.link.takeFrame(DisplayFrameKind::classification));
}

// Ten ratings a second whatever block size (up to the period) the host runs: a period's
// remainder carries over, so blocks that are not a whole part of it do not slow the bands.
TEST_F(WithTheDsp, RatingsGoOutTenTimesASecondWhateverTheBlockSize) {
    for (const std::size_t block : {1000u, 3000u, 4096u}) {
        auto dsp = instance();
        dsp->controls[parameter::sourceSensitivity] = 50.0f;
        Editor editor(mapper);
        editor.link.setFrameWanted(DisplayFrameKind::classification, true);
        editor.link.requestState();
        const std::vector<float> input(block, 0.25f);
        int sent = 0;
        for (std::size_t done = 0; done < 10 * static_cast<std::size_t>(kRate); done += block)
            dsp->exchange(&mapper.map, editor.outbox, input,
                          [&](const LV2_Atom* atom, std::size_t bytes) {
                              lv2::Message message;
                              sent += lv2::readMessage(atom, bytes, urids, message) &&
                                      message.property == urids.classification;
                          });
        EXPECT_NEAR(sent, 100, 1) << block;
    }
}

TEST_F(WithTheDsp, ARestoreIsToldToAListeningEditorWithoutItAsking) {
    auto saved = instance();
    Editor author(mapper);
    const CurvePoints drawn = {{200.0f, 300.0f}, {5000.0f, 40.0f}};
    author.link.setCurve(CurveSlot::a, CurveKind::delay, drawn);
    author.link.setPresetName("Tape Haze");
    author.link.setEditorView({CurveSlot::b, CurveKind::feedback});
    cycle(*saved, &author, nullptr);
    StateMap state;
    ASSERT_EQ(saved->stateInterface()->save(saved->handle, storeInto, &state, 0, nullptr),
              LV2_STATE_SUCCESS);

    auto dsp = instance();
    Editor editor(mapper);
    editor.link.requestState();
    cycle(*dsp, &editor, &editor);
    ASSERT_TRUE(editor.link.knowsUnitState());
    ASSERT_NE(editor.link.getCurve(CurveSlot::a, CurveKind::delay), drawn);
    const int changesBefore = editor.externalChanges;

    ASSERT_EQ(dsp->stateInterface()->restore(dsp->handle, retrieveFrom, &state, 0, nullptr),
              LV2_STATE_SUCCESS);
    cycle(*dsp, &editor, &editor);
    EXPECT_EQ(editor.link.getCurve(CurveSlot::a, CurveKind::delay), drawn);
    EXPECT_EQ(editor.link.presetName(), "Tape Haze");
    EXPECT_EQ(editor.link.editorView(), (EditorView{CurveSlot::b, CurveKind::feedback}));
    EXPECT_GT(editor.externalChanges, changesBefore);
}

// What the DSP reports goes to its output ports every cycle, where hosts show it and the
// editor follows it: the tempo its synced delays and LFO follow (its own until a host's
// transport says one), and whether notes hold the freeze (from a note's on to its off).
TEST_F(WithTheDsp, TheDspReportsTheTempoAndTheNotesHoldOnItsOutputPorts) {
    auto dsp = instance();
    Editor host(mapper);
    const auto reported = [&](parameter::Address a) { return dsp->controls[a]; };
    cycle(*dsp, &host, nullptr);
    EXPECT_EQ(reported(parameter::tempo), 120.0f);
    EXPECT_EQ(reported(parameter::noteHold), 0.0f);

    // What a host's transport sends: a time:Position with its tempo.
    std::uint8_t buffer[256];
    LV2_Atom_Forge forge;
    lv2_atom_forge_init(&forge, &mapper.map);
    lv2_atom_forge_set_buffer(&forge, buffer, sizeof buffer);
    LV2_Atom_Forge_Frame frame;
    lv2_atom_forge_object(&forge, &frame, 0, urids.timePosition);
    lv2_atom_forge_key(&forge, urids.timeBeatsPerMinute);
    lv2_atom_forge_float(&forge, 93.0f);
    lv2_atom_forge_pop(&forge, &frame);
    const auto* atom = reinterpret_cast<const LV2_Atom*>(buffer);
    host.outbox.emplace_back(buffer, buffer + sizeof(LV2_Atom) + atom->size);
    cycle(*dsp, &host, nullptr);
    EXPECT_EQ(reported(parameter::tempo), 93.0f);

    const auto play = [&](std::uint8_t status, std::uint8_t note) {
        std::vector<std::uint8_t> event(sizeof(LV2_Atom) + 3);
        const LV2_Atom header{3, urids.midiEvent};
        std::memcpy(event.data(), &header, sizeof header);
        event[sizeof header] = status;
        event[sizeof header + 1] = note;
        event[sizeof header + 2] = 100;
        host.outbox.push_back(std::move(event));
        cycle(*dsp, &host, nullptr);
    };
    play(0x90, 60);
    EXPECT_EQ(reported(parameter::noteHold), 1.0f);
    play(0x80, 60);
    EXPECT_EQ(reported(parameter::noteHold), 0.0f);
    // A host writing to an output port changes nothing the DSP does.
    dsp->controls[parameter::tempo] = 40.0f;
    cycle(*dsp, &host, nullptr);
    EXPECT_EQ(reported(parameter::tempo), 93.0f);
}

// The analyser's levels go only to an editor that asks for them, a byte each: half a decibel
// apart, 0 dBFS at most, and the lowest byte for anything below -127 dB.
TEST_F(WithTheDsp, TheAnalysersLevelsReachAnEditorThatWantsThemAndStopWhenItDoesNot) {
    auto dsp = instance();
    Editor editor(mapper);
    editor.link.requestState();
    // The last frame the editor was given in that time.
    auto levelsWithin = [&](double seconds) {
        std::optional<DisplayFrame> last;
        for (int block = 0; block < seconds * kRate / kBlock; ++block) {
            cycle(*dsp, &editor, &editor);
            if (auto taken = editor.link.takeFrame(DisplayFrameKind::levels))
                last = std::move(taken);
        }
        return last;
    };
    EXPECT_FALSE(levelsWithin(0.5)); // not asked for
    editor.link.setFrameWanted(DisplayFrameKind::levels, true);
    const std::optional<DisplayFrame> levels = levelsWithin(0.5);
    ASSERT_TRUE(levels);
    EXPECT_EQ(levels->kind, DisplayFrameKind::levels);
    ASSERT_EQ(levels->values.size(), static_cast<std::size_t>(4 * kNumBins));
    EXPECT_EQ(levels->stamp.sampleRate, kRate);
    // One block of noise over and over: its lines, every fourth bin, stand well above the
    // floor and below 0 dBFS; the peaks at or above the levels.
    for (int k = 4; k < kNumBins; k += 4) {
        EXPECT_GT(levels->values[k], -80.0f) << k;
        EXPECT_LE(levels->values[k], 0.0f) << k;
        EXPECT_GE(levels->values[2 * kNumBins + k], levels->values[k]) << k;
    }
    editor.link.setFrameWanted(DisplayFrameKind::levels, false);
    EXPECT_FALSE(levelsWithin(0.5));

    // The bytes themselves.
    const float sent[] = {3.0f, 0.0f, -0.2f, -0.3f, -60.74f, -127.1f, -127.6f, -INFINITY, NAN};
    const float read[] = {0.0f,    0.0f,      0.0f,      -0.5f,    -60.5f,
                          -127.0f, -INFINITY, -INFINITY, -INFINITY};
    SequenceBuffer buffer;
    buffer.input(&mapper.map, [&](LV2_Atom_Forge* f) {
        ASSERT_TRUE(lv2::writeFrame(f, urids, DisplayFrameKind::levels, sent, 9, {kRate, 5}));
    });
    int messages = 0;
    lv2::forEachEvent(buffer.sequence(), [&](const LV2_Atom* atom, std::size_t bytes) {
        lv2::Message message;
        ASSERT_TRUE(lv2::readMessage(atom, bytes, urids, message));
        float back[10];
        int count = 0;
        DisplayFrameKind kind{};
        FrameStamp stamp;
        ASSERT_TRUE(lv2::readFrame(message, urids, kind, back, 10, count, stamp));
        EXPECT_EQ(kind, DisplayFrameKind::levels);
        EXPECT_EQ(stamp, (FrameStamp{kRate, 5}));
        EXPECT_EQ(std::vector<float>(back, back + count), std::vector<float>(read, read + 9));
        ++messages;
    });
    EXPECT_EQ(messages, 1);
}

} // namespace
} // namespace zerin::test
