// The message readers at the very edge of what they are handed. A host gives the DSP whatever
// its control port holds and the UI whatever the notify port held, so every size in a message
// is a claim, checked before a byte under it is read, at each level: the sequence, its events,
// the object, its properties and the value a reader takes. A slip in one of those checks reads
// a few bytes too far, not pages: each message here ends at the last byte before a page that
// cannot be read, and is read in a child process, so a reader that goes one byte too far kills
// the child and the case that made it fails by name while the others still run.

#include "lv2_host.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <functional>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace zerin::test {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Forging = std::function<void(LV2_Atom_Forge*)>;

// Bytes a size may claim past what holds it by a slip: one, a word, an atom's header, and an
// event's or a property's header.
constexpr std::uint32_t kOverclaims[] = {1, 4, 8, 16};

// How far past what holds it a case's size claims.
std::string claiming(std::uint32_t more, const char* holder) {
    return ", claiming " + std::to_string(more) + (more == 1 ? " byte" : " bytes") + " past " +
           holder;
}

// What `job` returns when run in a child process; nothing when the child does not finish, as
// when it reads into the guard page (or a sanitizer stops it there).
template <typename Result> std::optional<Result> inChild(const std::function<Result()>& job) {
    static_assert(std::is_trivially_copyable_v<Result>);
    int ends[2];
    if (pipe(ends) != 0) throw std::runtime_error("pipe failed");
    const pid_t child = fork();
    if (child < 0) throw std::runtime_error("fork failed");
    if (child == 0) {
        close(ends[0]);
        bool told = false;
        try {
            const Result result = job();
            told = write(ends[1], &result, sizeof result) == static_cast<ssize_t>(sizeof result);
        } catch (...) {
        }
        _exit(told ? 0 : 1); // never back into the test runner, nor through its exit handlers
    }
    close(ends[1]);
    Result result{};
    const ssize_t got = read(ends[0], &result, sizeof result);
    close(ends[0]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (got != static_cast<ssize_t>(sizeof result) || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0)
        return std::nullopt;
    return result;
}

// What a reader made of a message: whether it took it, how many values it read and the last.
struct Reading {
    bool taken = false;
    int count = 0;
    double last = 0.0;
    friend bool operator==(const Reading&, const Reading&) = default;
};

void PrintTo(const Reading& r, std::ostream* out) {
    *out << (r.taken ? "taken, " : "refused, ") << r.count << " read, the last " << r.last;
}

void expectReading(const std::optional<Reading>& got, const Reading& expected,
                   const std::string& what) {
    ASSERT_TRUE(got) << what << ": the reader died, reading into the guard page";
    EXPECT_EQ(*got, expected) << what;
}

// What `fill` forges, up to the end of the last atom it wrote.
Bytes forged(LV2_URID_Map* map, const Forging& fill) {
    Bytes bytes(4096);
    LV2_Atom_Forge forge;
    lv2_atom_forge_init(&forge, map);
    lv2_atom_forge_set_buffer(&forge, bytes.data(), bytes.size());
    fill(&forge);
    bytes.resize(forge.offset);
    return bytes;
}

LV2_Atom_Object* objectOf(Bytes& bytes) {
    return reinterpret_cast<LV2_Atom_Object*>(bytes.data());
}

// The value of `key` in an object the test forged whole.
LV2_Atom* valueOf(Bytes& bytes, LV2_URID key) {
    LV2_ATOM_OBJECT_FOREACH(objectOf(bytes), property) {
        if (property->key == key) return &property->value;
    }
    return nullptr;
}

LV2_Atom* lastValue(Bytes& bytes) {
    LV2_Atom* last = nullptr;
    LV2_ATOM_OBJECT_FOREACH(objectOf(bytes), property) {
        last = &property->value;
    }
    return last;
}

// Where `atom`'s body ends (or begins), counted from the first of `bytes`.
std::size_t endOf(const Bytes& bytes, const LV2_Atom* atom) {
    return static_cast<std::size_t>(reinterpret_cast<const std::uint8_t*>(atom + 1) + atom->size -
                                    bytes.data());
}
std::size_t bodyOf(const Bytes& bytes, const LV2_Atom* atom) {
    return static_cast<std::size_t>(reinterpret_cast<const std::uint8_t*>(atom + 1) - bytes.data());
}

// The object, and its bytes, cut to end where `last` (its last value) ends: the forge pads
// each atom to 8 bytes, and padding would leave slack between the value and the guard page.
void endWith(Bytes& bytes, const LV2_Atom* last) {
    const std::size_t end = endOf(bytes, last);
    objectOf(bytes)->atom.size = static_cast<std::uint32_t>(end - sizeof(LV2_Atom));
    bytes.resize(end);
}

// The same object with its last value cut to `size` bytes, the object ending with it.
Bytes cut(Bytes bytes, std::uint32_t size) {
    LV2_Atom* last = lastValue(bytes);
    last->size = size;
    endWith(bytes, last);
    return bytes;
}

// Value atoms as hosts and the DSP forge them.
Forging urid(LV2_URID id) {
    return [id](LV2_Atom_Forge* f) { lv2_atom_forge_urid(f, id); };
}
Forging real(double v) {
    return [v](LV2_Atom_Forge* f) { lv2_atom_forge_double(f, v); };
}
Forging whole(std::int64_t v) {
    return [v](LV2_Atom_Forge* f) { lv2_atom_forge_long(f, v); };
}
Forging truth(bool v) {
    return [v](LV2_Atom_Forge* f) { lv2_atom_forge_bool(f, v); };
}
Forging text(std::string v) {
    return [v](LV2_Atom_Forge* f) {
        lv2_atom_forge_string(f, v.data(), static_cast<std::uint32_t>(v.size()));
    };
}

struct GuardPage : ::testing::Test {
    UridMapper mapper;
    lv2::Urids urids{};

    void SetUp() override { urids.map(&mapper.map); }

    Forging floats(std::vector<float> values) const {
        return [values, type = urids.atomFloat](LV2_Atom_Forge* f) {
            static const float none = 0.0f; // the forge copies with memcpy, never from null
            lv2_atom_forge_vector(f, sizeof(float), type, static_cast<std::uint32_t>(values.size()),
                                  values.empty() ? &none : values.data());
        };
    }
    Forging chunk(Bytes values) const {
        return [values, type = urids.atomChunk](LV2_Atom_Forge* f) {
            const auto n = static_cast<std::uint32_t>(values.size());
            lv2_atom_forge_atom(f, n, type);
            lv2_atom_forge_raw(f, values.data(), n);
            lv2_atom_forge_pad(f, n);
        };
    }

    using Property = std::pair<LV2_URID, Forging>;
    // An object of `type` holding `properties` in order, ending where its last value ends.
    Bytes object(LV2_URID type, const std::vector<Property>& properties) {
        Bytes bytes = forged(&mapper.map, [&](LV2_Atom_Forge* f) {
            LV2_Atom_Forge_Frame frame;
            lv2_atom_forge_object(f, &frame, 0, type);
            for (const auto& [key, value] : properties) {
                lv2_atom_forge_key(f, key);
                value(f);
            }
            lv2_atom_forge_pop(f, &frame);
        });
        endWith(bytes, lastValue(bytes));
        return bytes;
    }
    // A message of `type` saying that `property` is `value`, with `more` properties after it.
    Bytes message(LV2_URID type, LV2_URID property, const Forging& value,
                  const std::vector<Property>& more = {}) {
        std::vector<Property> all = {{urids.patchProperty, urid(property)},
                                     {urids.patchValue, value}};
        all.insert(all.end(), more.begin(), more.end());
        return object(type, all);
    }
    Bytes curveSet() { return message(urids.patchSet, urids.curve, floats({100, 50, 2000, 700})); }
    // Ratings with the stamp the DSP gives them, its frame number last.
    Bytes stampedRatings() {
        return message(urids.notice, urids.classification, floats({0.5f}),
                       {{urids.paramSampleRate, real(48000.0)}, {urids.frameSequence, whole(7)}});
    }

    // The readers below, each as the DSP or the UI calls it on the value it takes.
    using Read = Reading (GuardPage::*)(const lv2::Message&) const;

    // What `read` makes of `bytes` as a message placed against the guard page.
    std::optional<Reading> readGuarded(const Bytes& bytes, Read read) const {
        EXPECT_EQ(bytes.size() % alignof(LV2_Atom_Object), 0u) << "placed off its alignment";
        GuardedBytes guarded(bytes);
        return inChild<Reading>([&] {
            lv2::Message message;
            if (!lv2::readMessage(guarded.data(), bytes.size(), urids, message)) return Reading{};
            return (this->*read)(message);
        });
    }

    Reading curve(const lv2::Message& m) const {
        CurvePoint points[kMaxCurvePoints];
        int count = 0;
        if (!lv2::readCurve(lv2::setValue(m, urids, urids.curve), urids, points, count)) return {};
        return {true, count, count > 0 ? points[count - 1].value : 0.0};
    }
    // A display frame of `kind`, its values read whole.
    Reading frame(const lv2::Message& m, DisplayFrameKind wanted) const {
        float values[16];
        int count = 0;
        DisplayFrameKind kind{};
        FrameStamp stamp;
        if (!lv2::readFrame(m, urids, kind, values, 16, count, stamp) || kind != wanted) return {};
        return {true, count, count > 0 ? values[count - 1] : 0.0};
    }
    Reading ratings(const lv2::Message& m) const {
        return frame(m, DisplayFrameKind::classification);
    }
    Reading levels(const lv2::Message& m) const { return frame(m, DisplayFrameKind::levels); }
    Reading name(const lv2::Message& m) const {
        char name[kMaxPresetNameBytes + 1];
        if (!lv2::readPresetName(lv2::noticeValue(m, urids, urids.presetName), urids, name))
            return {};
        const int count = static_cast<int>(std::strlen(name));
        return {true, count, count > 0 ? static_cast<double>(name[count - 1]) : 0.0};
    }
    Reading flag(const lv2::Message& m) const {
        bool flag = false;
        if (!lv2::readFlag(lv2::setValue(m, urids, urids.levels), urids, flag)) return {};
        return {true, 1, flag ? 1.0 : 0.0};
    }
    Reading hostTempo(const lv2::Message& m) const {
        double bpm = 0.0;
        if (!lv2::readTempo(m, urids, bpm)) return {};
        return {true, 1, bpm};
    }
    // The frame's number: a stamp without one is read whole, but no number has been taken.
    Reading frameNumber(const lv2::Message& m) const {
        float values[16];
        int count = 0;
        DisplayFrameKind kind{};
        FrameStamp stamp;
        if (!lv2::readFrame(m, urids, kind, values, 16, count, stamp) || stamp.sequence == 0)
            return {};
        return {true, 1, static_cast<double>(stamp.sequence)};
    }
    Reading property(const lv2::Message& m) const {
        if (m.property == 0) return {};
        return {true, 1, static_cast<double>(m.property)};
    }
};

// --- the sequence and its events ---

// What a walk handed out: how many events, and how far from the sequence's first byte the
// furthest of them reached.
struct Walk {
    int events = 0;
    std::size_t reach = 0;
    friend bool operator==(const Walk&, const Walk&) = default;
};
void PrintTo(const Walk& w, std::ostream* out) {
    *out << w.events << " events reaching byte " << w.reach;
}
// The walk for messages, and the one told each event's time (for notes).
struct Walks {
    Walk plain, timed;
};

std::optional<Walks> walkGuarded(const Bytes& bytes) {
    EXPECT_EQ(bytes.size() % alignof(LV2_Atom_Event), 0u) << "placed off its alignment";
    GuardedBytes guarded(bytes);
    const std::uint8_t* start = guarded.data();
    return inChild<Walks>([&] {
        const auto* sequence = reinterpret_cast<const LV2_Atom_Sequence*>(start);
        const auto hand = [start](Walk& walk, const LV2_Atom* body, std::size_t n) {
            ++walk.events;
            const auto* end = reinterpret_cast<const std::uint8_t*>(body) + n;
            walk.reach = std::max(walk.reach, static_cast<std::size_t>(end - start));
        };
        Walks walks;
        lv2::forEachEvent(sequence,
                          [&](const LV2_Atom* body, std::size_t n) { hand(walks.plain, body, n); });
        lv2::forEachEvent(sequence, [&](const LV2_Atom* body, std::size_t n, std::int64_t) {
            hand(walks.timed, body, n);
        });
        return walks;
    });
}

void expectWalk(const std::optional<Walks>& got, const Walk& expected, const std::string& what) {
    ASSERT_TRUE(got) << what << ": the walk died, reading into the guard page";
    EXPECT_EQ(got->plain, expected) << what;
    EXPECT_EQ(got->timed, expected) << what << " (told the times)";
}

struct Sequences : GuardPage {
    // A control sequence as a host fills it: a note (3 bytes, padded to 8) and a patch:Get,
    // the note first or last; 64 bytes in all.
    Bytes control(bool noteLast) {
        SequenceBuffer buffer(4096);
        buffer.input(&mapper.map, [&](LV2_Atom_Forge* f) {
            const auto note = [&] {
                const std::uint8_t on[3] = {0x90, 60, 100};
                lv2_atom_forge_frame_time(f, 0);
                lv2_atom_forge_atom(f, 3, urids.midiEvent);
                lv2_atom_forge_write(f, on, 3);
            };
            if (!noteLast) note();
            lv2::writePatchGet(f, urids);
            if (noteLast) note();
        });
        const std::size_t used = sizeof(LV2_Atom) + buffer.sequence()->atom.size;
        return {buffer.bytes.begin(), buffer.bytes.begin() + static_cast<std::ptrdiff_t>(used)};
    }
    static LV2_Atom_Sequence* sequenceOf(Bytes& bytes) {
        return reinterpret_cast<LV2_Atom_Sequence*>(bytes.data());
    }
    static std::vector<LV2_Atom_Event*> events(Bytes& bytes) {
        std::vector<LV2_Atom_Event*> all;
        LV2_ATOM_SEQUENCE_FOREACH(sequenceOf(bytes), event) {
            all.push_back(event);
        }
        return all;
    }
};

// A host's port buffer holds what its sequence says, and the walk is told no more. What it
// can refuse is a size that ends inside the header of an event that is not there: it reads a
// header only when the sequence holds the whole of one. (A sequence claiming a whole header
// past its buffer reads as one more event; no walk could tell.)
TEST_F(Sequences, AWalkReadsNoEventHeaderItsSequenceDoesNotHoldWhole) {
    const Bytes exact = control(false);
    ASSERT_EQ(exact.size(), 64u);
    expectWalk(walkGuarded(exact), {2, 64}, "a sequence claiming what it holds");
    for (const std::uint32_t more : {1u, 4u, 8u, 15u}) {
        Bytes bytes = exact;
        sequenceOf(bytes)->atom.size += more;
        expectWalk(walkGuarded(bytes), {2, 64}, "a sequence" + claiming(more, "its buffer"));
    }
    // A sequence that ends where its last event does, before that event's padding: the next
    // event would begin past the sequence's end, and past the guard page.
    Bytes unpadded = control(true);
    sequenceOf(unpadded)->atom.size -= 5;
    expectWalk(walkGuarded(unpadded), {2, 59}, "a sequence ending with an unpadded note");
}

TEST_F(Sequences, AnEventClaimingMoreThanItsSequenceHoldsEndsTheWalk) {
    const Bytes exact = control(false);
    expectWalk(walkGuarded(exact), {2, 64}, "events claiming what they hold");
    // What was handed out before the event that claims too much; the note's body ends at 35.
    const Walk before[] = {{0, 0}, {1, 35}};
    for (const int which : {0, 1}) {
        for (const std::uint32_t more : kOverclaims) {
            Bytes bytes = exact;
            LV2_Atom* body = &events(bytes)[static_cast<std::size_t>(which)]->body;
            body->size = static_cast<std::uint32_t>(bytes.size() - bodyOf(bytes, body)) + more;
            expectWalk(walkGuarded(bytes), before[which],
                       std::string(which == 0 ? "the first event" : "the last event") +
                           claiming(more, "its sequence"));
        }
    }
}

// --- the object ---

// The UI is handed a message and the bytes it came in, not a sequence; the object's size is
// what it must not believe beyond them.
TEST_F(GuardPage, AnObjectClaimingMoreThanItsBytesIsRefused) {
    const Bytes exact = curveSet();
    const Read read = &GuardPage::curve;
    expectReading(readGuarded(exact, read), {true, 2, 700.0}, "an object claiming what it holds");
    for (const std::uint32_t more : kOverclaims) {
        Bytes bytes = exact;
        objectOf(bytes)->atom.size += more;
        expectReading(readGuarded(bytes, read), {}, "an object" + claiming(more, "its buffer"));
    }
    for (const std::size_t given : {0u, 4u, 12u}) {
        const Bytes part(exact.begin(), exact.begin() + static_cast<std::ptrdiff_t>(given));
        expectReading(readGuarded(part, read), {},
                      std::to_string(given) + " bytes, fewer than an object's header");
    }
}

// --- the property ---

// Where a property's value ends when it is found (counted from the message's first byte), or
// that it is not found.
struct Found {
    bool found = false;
    std::size_t reach = 0;
    friend bool operator==(const Found&, const Found&) = default;
};
void PrintTo(const Found& f, std::ostream* out) {
    if (f.found)
        *out << "found, reaching byte " << f.reach;
    else
        *out << "not found";
}

struct Properties : GuardPage {
    std::optional<Found> findGuarded(const Bytes& bytes, LV2_URID key) {
        EXPECT_EQ(bytes.size() % alignof(LV2_Atom_Object), 0u) << "placed off its alignment";
        GuardedBytes guarded(bytes);
        const std::uint8_t* start = guarded.data();
        return inChild<Found>([&] {
            lv2::Message message;
            if (!lv2::readMessage(start, bytes.size(), urids, message)) return Found{};
            const LV2_Atom* value = lv2::messageProperty(message, key);
            if (value == nullptr) return Found{};
            const Found found{
                true, static_cast<std::size_t>(reinterpret_cast<const std::uint8_t*>(value + 1) +
                                               value->size - start)};
            // Read whole: its last byte, unless it reaches past the buffer (which then fails
            // the expectation instead of the child).
            volatile std::uint8_t last = 0;
            if (value->size > 0 && found.reach <= bytes.size())
                last = reinterpret_cast<const std::uint8_t*>(value + 1)[value->size - 1];
            (void)last;
            return found;
        });
    }
    void expectFound(const std::optional<Found>& got, const Found& expected,
                     const std::string& what) {
        ASSERT_TRUE(got) << what << ": the walk died, reading into the guard page";
        EXPECT_EQ(*got, expected) << what;
    }
};

TEST_F(Properties, APropertyClaimingMoreThanItsObjectHoldsIsNotFound) {
    struct Case {
        std::string what;
        Bytes bytes;
        LV2_URID key;
    };
    const std::vector<Case> cases = {
        {"patch:property, first of two", curveSet(), urids.patchProperty},
        {"patch:value, last of two", curveSet(), urids.patchValue},
        {"a tempo, alone in a time:Position",
         object(urids.timePosition, {{urids.timeBeatsPerMinute, real(93.5)}}),
         urids.timeBeatsPerMinute},
        {"a frame's rate, between its values and its number", stampedRatings(),
         urids.paramSampleRate},
        {"a frame's number, last of four", stampedRatings(), urids.frameSequence},
    };
    for (const Case& c : cases) {
        Bytes exact = c.bytes;
        const LV2_Atom* value = valueOf(exact, c.key);
        ASSERT_NE(value, nullptr) << c.what;
        expectFound(findGuarded(exact, c.key), {true, endOf(exact, value)}, c.what);
        for (const std::uint32_t more : kOverclaims) {
            Bytes bytes = exact;
            LV2_Atom* longer = valueOf(bytes, c.key);
            longer->size = static_cast<std::uint32_t>(bytes.size() - bodyOf(bytes, longer)) + more;
            expectFound(findGuarded(bytes, c.key), {}, c.what + claiming(more, "its object"));
        }
    }
}

// An object may end in bytes too few for another property's header: they are no property,
// and looking for one that is not there stops before them.
TEST_F(Properties, BytesTooFewForAPropertyHeaderAreNeverReadAsOne) {
    for (const std::uint32_t tail : {4u, 8u, 12u}) {
        Bytes bytes = curveSet();
        const std::size_t valueEnd = endOf(bytes, valueOf(bytes, urids.patchValue));
        objectOf(bytes)->atom.size += tail;
        bytes.resize(bytes.size() + tail, 0xEE);
        const std::string what = std::to_string(tail) + " bytes after the last property";
        expectFound(findGuarded(bytes, urids.patchValue), {true, valueEnd}, what);
        expectFound(findGuarded(bytes, urids.levels), {}, what + ", looking for another");
    }
}

// --- the value each reader takes ---

TEST_F(GuardPage, EveryValueIsReadToItsLastByteAndNoFurther) {
    struct Case {
        std::string what;
        Bytes bytes;
        Read read;
        Reading whole; // what is read when the value claims what it holds
    };
    const Bytes named = message(urids.notice, urids.presetName, text("Tape Haze"));
    const Bytes hostTempoMessage =
        object(urids.timePosition, {{urids.timeBeatsPerMinute, real(93.5)}});
    const Bytes asked = object(urids.patchGet, {{urids.patchProperty, urid(urids.curve)}});
    const auto curveOf = [this](std::vector<float> values) {
        return message(urids.patchSet, urids.curve, floats(std::move(values)));
    };
    const auto ratingsOf = [this](std::vector<float> values) {
        return message(urids.notice, urids.classification, floats(std::move(values)));
    };
    const std::vector<Case> cases = {
        {"a curve", curveOf({100, 50, 2000, 700}), &GuardPage::curve, {true, 2, 700.0}},
        {"a curve ending in half a pair",
         curveOf({100, 50, 2000}),
         &GuardPage::curve,
         {true, 1, 50.0}},
        {"a curve vector shorter than its header", cut(curveOf({}), 4), &GuardPage::curve, {}},
        {"ratings", ratingsOf({0.25f, 0.5f, 0.75f}), &GuardPage::ratings, {true, 3, 0.75}},
        {"a vector of no ratings", ratingsOf({}), &GuardPage::ratings, {true, 0, 0.0}},
        {"levels",
         message(urids.notice, urids.levels, chunk({0, 1, 2, 3, 4, 5, 6, 7})),
         &GuardPage::levels,
         {true, 8, -3.5}},
        {"a name without its terminator", cut(named, 8), &GuardPage::name, {true, 8, 'z'}},
        {"a name of no bytes", cut(named, 0), &GuardPage::name, {true, 0, 0.0}},
        {"a flag",
         message(urids.patchSet, urids.levels, truth(true)),
         &GuardPage::flag,
         {true, 1, 1.0}},
        {"a flag with no body",
         cut(message(urids.patchSet, urids.levels, truth(true)), 0),
         &GuardPage::flag,
         {}},
        {"a host's tempo", hostTempoMessage, &GuardPage::hostTempo, {true, 1, 93.5}},
        {"a host's tempo as a double of a float's bytes",
         cut(hostTempoMessage, 4),
         &GuardPage::hostTempo,
         {}},
        {"a frame's number", stampedRatings(), &GuardPage::frameNumber, {true, 1, 7.0}},
        {"a frame's number as a long of 4 bytes",
         cut(stampedRatings(), 4),
         &GuardPage::frameNumber,
         {}},
        {"the property a patch:Get asks for",
         asked,
         &GuardPage::property,
         {true, 1, static_cast<double>(urids.curve)}},
        {"the property a patch:Get asks for, as a URID of no bytes",
         cut(asked, 0),
         &GuardPage::property,
         {}},
    };
    for (const Case& c : cases) {
        expectReading(readGuarded(c.bytes, c.read), c.whole, c.what);
        for (const std::uint32_t more : kOverclaims) {
            Bytes bytes = c.bytes;
            lastValue(bytes)->size += more;
            expectReading(readGuarded(bytes, c.read), {}, c.what + claiming(more, "its object"));
        }
    }
}

// A state store hands the curve over as a body and its size, with no promise of alignment:
// the body may end in part of a float, or in half a pair.
TEST_F(GuardPage, ACurveBodyFromAStateIsReadToItsLastWholeFloat) {
    const auto readBody = [this](const Bytes& body) {
        GuardedBytes guarded(body);
        return inChild<Reading>([&] {
            CurvePoint points[kMaxCurvePoints];
            int count = 0;
            if (!lv2::readCurveBody(urids.atomVector, static_cast<std::uint32_t>(body.size()),
                                    guarded.data(), urids, points, count))
                return Reading{};
            return Reading{true, count, count > 0 ? points[count - 1].value : 0.0};
        });
    };
    const LV2_Atom_Vector_Body header{sizeof(float), urids.atomFloat};
    for (const std::vector<float>& values :
         {std::vector<float>{100, 50, 2000, 700}, {100, 50, 2000, 700, 9000}}) {
        for (const std::size_t partial : {0u, 1u, 2u, 3u}) {
            Bytes body(sizeof header + values.size() * sizeof(float) + partial, 0x7F);
            std::memcpy(body.data(), &header, sizeof header);
            std::memcpy(body.data() + sizeof header, values.data(), values.size() * sizeof(float));
            expectReading(readBody(body), {true, 2, 700.0},
                          std::to_string(values.size()) + " floats and " + std::to_string(partial) +
                              " bytes");
        }
    }
    for (std::size_t size = 0; size < sizeof header; ++size) {
        Bytes body(reinterpret_cast<const std::uint8_t*>(&header),
                   reinterpret_cast<const std::uint8_t*>(&header) + size);
        expectReading(readBody(body), {}, std::to_string(size) + " bytes of a vector's header");
    }
}

} // namespace
} // namespace zerin::test
