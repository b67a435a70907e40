// The effort setting: exhaustive runs and reports every reading; default
// reads what exhaustive reads and reports only the readings that ran; fast
// never runs the thorough search.
#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

#include <vantor/vantor.hpp>

#include "qr_symbols.h"
#include "slant_cases.h"

namespace vt = vantor::testing;

namespace {

vantor::Results decode_at(const vt::Picture &p, vantor_effort effort, bool all = false) {
    vantor::Options o;
    o.effort(effort).all_symbols(all);
    return vantor::decode(p.pixels, p.width, p.height, p.width, 8, o);
}

std::vector<std::string> bytes_of(const vantor::Results &r) {
    std::vector<std::string> out;
    for (const vantor::Symbol &s : r.symbols)
        out.push_back(s.bytes);
    return out;
}

bool same_reading(const vantor_reading &a, const vantor_reading &b) {
    return a.pass == b.pass && a.reading == b.reading && a.stage == b.stage && a.candidates == b.candidates &&
           a.version == b.version && a.level == b.level && a.mask == b.mask && a.blocks == b.blocks &&
           a.blocks_clean == b.blocks_clean && a.blocks_corrected == b.blocks_corrected &&
           a.blocks_beyond == b.blocks_beyond;
}

// A small varied set: what the first pass reads, what needs later passes or
// the search (turned, mirrored, inverted, blurred, small modules, keystone,
// low contrast, uneven light), and damage within capacity.
std::vector<vt::Picture> varied_pictures() {
    std::vector<vt::Picture> out;
    auto add = [&](const std::string &text, int version, vt::RenderOptions o) {
        auto s = vt::make_symbol(text, version, vt::Level::M, vt::Mode::byte);
        EXPECT_TRUE(s.has_value()) << text;
        if (s)
            out.push_back(vt::render(*s, o));
    };
    vt::RenderOptions o;
    add("upright", 2, o);
    o.rotation_deg = 33;
    o.module_px = 2.5;
    add("turned, small modules", 7, o);
    o = {};
    o.mirror = true;
    add("mirrored", 3, o);
    o = {};
    o.dark = 240;
    o.light = 20;
    add("inverted", 4, o);
    o = {};
    o.blur_sigma = 2.2;
    o.module_px = 5;
    add("blurred by half a module", 3, o);
    // Stronger blur, and blur on small modules: the eye patterns' rings
    // close in the plain binarisations, and only the sharpened look or the
    // later passes see them.
    o.blur_sigma = 3.2;
    add("blurred by two thirds of a module", 5, o);
    o.blur_sigma = 1.7;
    o.module_px = 3;
    add("small modules blurred", 4, o);
    o = {};
    o.perspective = 0.0012;
    o.rotation_deg = 12;
    add("keystone", 10, o);
    o = {};
    o.dark = 110;
    o.light = 150;
    o.noise_sigma = 6;
    add("low contrast with noise", 5, o);
    o = {};
    o.light_gradient = 0.7;
    o.canvas_width = 420;
    o.canvas_height = 380;
    o.module_px = 3.5;
    add("uneven light on a larger canvas", 6, o);
    // A module-wide scratch through the middle of the symbol.
    auto s = vt::make_symbol("scratched across", 4, vt::Level::H, vt::Mode::byte);
    if (s) {
        for (int c = 0; c < s->size; ++c)
            s->modules[static_cast<std::size_t>(s->size / 2) * s->size + c] = 0;
        out.push_back(vt::render(*s));
    }
    // The quick look escalates only on eye patterns that stand out from the
    // grey around them, and on a pair only when a third is found where they
    // predict it: a faint symbol in strong sensor noise, and one whose
    // lower-left eye pattern has lost its centre, both turned.
    o = {};
    o.dark = 100;
    o.light = 140;
    o.noise_sigma = 14;
    o.rotation_deg = 21;
    o.canvas_width = 300;
    o.canvas_height = 260;
    add("faint in strong noise", 3, o);
    s = vt::make_symbol("one eye spoilt", 4, vt::Level::H, vt::Mode::byte);
    if (s) {
        for (int r = s->size - 5; r < s->size - 2; ++r)
            for (int c = 2; c < 5; ++c)
                s->modules[static_cast<std::size_t>(r) * s->size + c] = 0;
        o = {};
        o.rotation_deg = 17;
        out.push_back(vt::render(*s, o));
    }
    // The sharpened look runs only when a plain look saw a candidate of
    // modules 2.5 pixels or wider: blur on modules just above that.
    o = {};
    o.module_px = 2.7;
    o.blur_sigma = 1.3;
    o.rotation_deg = 8;
    add("narrow modules blurred", 2, o);
    // The quick look scans every second row: the smallest modules read,
    // turned and a little soft, in a larger picture.
    o = {};
    o.module_px = 1.6;
    o.rotation_deg = 14;
    o.blur_sigma = 0.5;
    o.noise_sigma = 4;
    o.canvas_width = 640;
    o.canvas_height = 480;
    add("smallest modules in a larger picture", 3, o);
    return out;
}

} // namespace

TEST(Effort, NamesAndBadValues) {
    vantor_effort e = VANTOR_EFFORT_DEFAULT;
    for (vantor_effort k : {VANTOR_EFFORT_DEFAULT, VANTOR_EFFORT_FAST, VANTOR_EFFORT_EXHAUSTIVE}) {
        ASSERT_EQ(vantor_effort_from_name(vantor_effort_name(k), &e), 1);
        EXPECT_EQ(e, k);
    }
    EXPECT_EQ(vantor_effort_from_name("Fast", &e), 0);
    EXPECT_EQ(vantor_effort_from_name("", &e), 0);
    EXPECT_EQ(vantor_effort_from_name(nullptr, &e), 0);
    EXPECT_EQ(e, VANTOR_EFFORT_EXHAUSTIVE); // left as it was
    EXPECT_STREQ(vantor_effort_name(static_cast<vantor_effort>(9)), "unknown");

    vantor_options *o = vantor_options_new();
    EXPECT_EQ(vantor_options_set_effort(o, static_cast<vantor_effort>(-1)), 0);
    EXPECT_EQ(vantor_options_set_effort(nullptr, VANTOR_EFFORT_FAST), 0);
    EXPECT_EQ(vantor_options_set_effort(o, VANTOR_EFFORT_FAST), 1);
    vantor_options_free(o);
    EXPECT_THROW(vantor::Options().effort(static_cast<vantor_effort>(7)), std::invalid_argument);
}

TEST(Effort, DefaultReadsEverySymbolExhaustiveReads) {
    int exhaustive_read = 0, escalated = 0;
    for (const vt::Picture &p : varied_pictures()) {
        const vantor::Results full = decode_at(p, VANTOR_EFFORT_EXHAUSTIVE);
        const vantor::Results quick = decode_at(p, VANTOR_EFFORT_DEFAULT);
        exhaustive_read += !full.symbols.empty();
        EXPECT_EQ(bytes_of(quick), bytes_of(full)) << p.width << "x" << p.height;
        // Whatever went beyond the first pass is the exhaustive call itself,
        // readings and all.
        if (quick.readings.size() != full.readings.size() || quick.searched != full.searched)
            continue;
        ++escalated;
        for (std::size_t i = 0; i < full.readings.size(); ++i)
            EXPECT_TRUE(same_reading(quick.readings[i], full.readings[i])) << i;
        EXPECT_EQ(quick.reason, full.reason);
        EXPECT_EQ(quick.stage, full.stage);
    }
    // The set is not one the first pass reads alone.
    EXPECT_GE(exhaustive_read, 8);
    EXPECT_GE(escalated, 4);
}

// Slanted symbols where the default effort's search over the first pass's
// candidates reads what a search over every pass's candidates may miss: the
// exhaustive effort must read each of them too.
TEST(Effort, ExhaustiveReadsWhatDefaultReadsAtASlant) {
    int default_read = 0, compared = 0;
    for (std::uint32_t seed : {2u, 4u}) {
        for (const vt::SlantCase &c : vt::slant_cases(1, 10, 100, seed)) {
            if (c.squeeze >= vt::slant_squeeze_bands[1])
                continue; // the hardest band holds the cases that differ
            const auto symbol = vt::make_symbol(c.text, c.version, vt::Level::M, vt::Mode::byte);
            ASSERT_TRUE(symbol.has_value()) << c.text;
            const vt::Picture p = vt::render(*symbol, c.render);
            ++compared;
            const vantor::Results quick = decode_at(p, VANTOR_EFFORT_DEFAULT);
            if (quick.symbols.empty())
                continue;
            ++default_read;
            EXPECT_EQ(bytes_of(decode_at(p, VANTOR_EFFORT_EXHAUSTIVE)), bytes_of(quick)) << c.text;
        }
    }
    EXPECT_GE(default_read, compared / 3);
}

TEST(Effort, DefaultStopsEarlyOnAPictureWithoutASymbolAndSaysSo) {
    // Smooth shading: nothing like an eye pattern anywhere.
    vt::Picture p{320, 240, std::vector<std::uint8_t>(320 * 240)};
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x)
            p.pixels[static_cast<std::size_t>(y) * p.width + x] = static_cast<std::uint8_t>(60 + (x + y) / 4);

    const vantor::Results full = decode_at(p, VANTOR_EFFORT_EXHAUSTIVE);
    ASSERT_FALSE(full.readings.empty());
    EXPECT_EQ(full.readings.back().pass, 6);
    EXPECT_TRUE(full.searched);

    const vantor::Results quick = decode_at(p, VANTOR_EFFORT_DEFAULT);
    EXPECT_TRUE(quick.symbols.empty());
    EXPECT_FALSE(quick.searched);
    // Only the first pass ran, and the reason is the one its readings give.
    ASSERT_FALSE(quick.readings.empty());
    for (const vantor_reading &r : quick.readings)
        EXPECT_EQ(r.pass, 0);
    EXPECT_TRUE(same_reading(quick.readings.front(), full.readings.front()));
    EXPECT_EQ(quick.reason, VANTOR_NO_EYE_PATTERNS);
    EXPECT_EQ(quick.stage, VANTOR_STAGE_NONE);

    // A trace asks for every pass's lines: the call is exhaustive.
    vantor::Options traced;
    std::string lines;
    traced.trace([&lines](std::string_view line) { lines.append(line); });
    const vantor::Results t = vantor::decode(p.pixels, p.width, p.height, p.width, 8, traced);
    EXPECT_EQ(t.readings.size(), full.readings.size());
    EXPECT_FALSE(lines.empty());
}

// The fast effort makes the default's first steps and no more: the search
// after the first pass (which reads a mirror image, that no pass reads),
// then, where that reads nothing, passes up to the first local one only.
TEST(Effort, FastMakesTheDefaultsFirstSearchAndStopsAfterThePassesItAllows) {
    auto s = vt::make_symbol("fast frame", 3, vt::Level::M, vt::Mode::byte);
    ASSERT_TRUE(s);
    const vantor::Results upright = decode_at(vt::render(*s), VANTOR_EFFORT_FAST);
    ASSERT_EQ(bytes_of(upright), std::vector<std::string>{"fast frame"});

    vt::RenderOptions mirrored;
    mirrored.mirror = true;
    const vt::Picture p = vt::render(*s, mirrored);
    const vantor::Results fast = decode_at(p, VANTOR_EFFORT_FAST);
    EXPECT_EQ(bytes_of(fast), bytes_of(decode_at(p, VANTOR_EFFORT_DEFAULT)));
    EXPECT_EQ(bytes_of(fast), std::vector<std::string>{"fast frame"});
    EXPECT_TRUE(fast.searched);
    for (const vantor_reading &r : fast.readings)
        EXPECT_EQ(r.pass, 0);

    // Eyes, timing patterns and format intact, the data wiped: the search
    // reads nothing, and the fast effort stops after pass 3 where the
    // default goes through pass 6.
    vt::Picture wiped = vt::render(*s);
    const int module = 4, quiet = 4;
    for (int y = (quiet + 9) * module; y < (quiet + 21) * module; ++y)
        for (int x = (quiet + 9) * module; x < (quiet + 21) * module; ++x)
            wiped.pixels[static_cast<std::size_t>(y) * wiped.width + x] = 255;
    auto last_pass = [](const vantor::Results &r) {
        int last = -1;
        for (const vantor_reading &reading : r.readings)
            last = std::max(last, reading.pass);
        return last;
    };
    const vantor::Results fast_wiped = decode_at(wiped, VANTOR_EFFORT_FAST);
    const vantor::Results default_wiped = decode_at(wiped, VANTOR_EFFORT_DEFAULT);
    EXPECT_TRUE(fast_wiped.symbols.empty() && default_wiped.symbols.empty());
    EXPECT_TRUE(fast_wiped.searched);
    EXPECT_EQ(last_pass(fast_wiped), 3);
    EXPECT_EQ(last_pass(default_wiped), 6);
}

// The fast effort decides whether to go on as the default does and then
// goes on for less: on pictures without a symbol it never runs a pass the
// default does not run (dense noise shows eye pattern shapes whose rings do
// not stand out).
TEST(Effort, FastGoesOnOnlyWhereDefaultGoesOn) {
    auto placeholder = vt::make_symbol("placeholder", 3, vt::Level::M, vt::Mode::byte);
    ASSERT_TRUE(placeholder);
    std::vector<vt::Picture> pictures{vt::render_noise(1280, 960, "noise", 7), vt::render_noise(640, 480, "noise", 9),
                                      vt::render_noise(800, 600, "scene", 4)};
    auto last_pass = [](const vantor::Results &r) {
        int last = -1;
        for (const vantor_reading &reading : r.readings)
            last = std::max(last, reading.pass);
        return last;
    };
    for (std::size_t i = 0; i < pictures.size(); ++i) {
        const vantor::Results fast = decode_at(pictures[i], VANTOR_EFFORT_FAST);
        const vantor::Results normal = decode_at(pictures[i], VANTOR_EFFORT_DEFAULT);
        EXPECT_TRUE(fast.symbols.empty() && normal.symbols.empty()) << i;
        EXPECT_LE(last_pass(fast), last_pass(normal)) << i;
        EXPECT_FALSE(fast.searched) << i;
    }
}

TEST(Effort, EverySymbolAtDefaultIsEverySymbolAtExhaustive) {
    auto a = vt::make_symbol("left one", 2, vt::Level::M, vt::Mode::byte);
    auto b = vt::make_symbol("right one", 3, vt::Level::M, vt::Mode::byte);
    ASSERT_TRUE(a && b);
    const vt::Picture pa = vt::render(*a), pb = vt::render(*b);
    vt::Picture p{pa.width + pb.width, std::max(pa.height, pb.height), {}};
    p.pixels.assign(static_cast<std::size_t>(p.width) * p.height, 255);
    for (int y = 0; y < pa.height; ++y)
        std::copy_n(pa.pixels.begin() + y * pa.width, pa.width, p.pixels.begin() + y * p.width);
    for (int y = 0; y < pb.height; ++y)
        std::copy_n(pb.pixels.begin() + y * pb.width, pb.width, p.pixels.begin() + y * p.width + pa.width);
    const vantor::Results full = decode_at(p, VANTOR_EFFORT_EXHAUSTIVE, true);
    EXPECT_EQ(full.symbols.size(), 2u);
    EXPECT_EQ(bytes_of(decode_at(p, VANTOR_EFFORT_DEFAULT, true)), bytes_of(full));
}

// Texture strewn with look-alike eye patterns: nested squares whose rings
// stand out as an eye's do, but between which no timing pattern runs. The
// default effort stops after its first pass on most such scenes (without
// asking for timing patterns it went on to every pass and the search on
// nearly all), and still goes on where a symbol lies among them that only
// the search reads (a mirror image), upright or turned with small modules.
TEST(Effort, DefaultStopsAmongLookAlikesAndStillReadsASymbolThere) {
    constexpr std::uint32_t scenes = 8;
    int searched = 0;
    for (std::uint32_t seed = 0; seed < scenes; ++seed) {
        const vantor::Results r = decode_at(vt::render_lookalikes(1024, 768, seed), VANTOR_EFFORT_DEFAULT);
        EXPECT_TRUE(r.symbols.empty()) << seed;
        searched += r.searched;
    }
    EXPECT_LE(searched, static_cast<int>(scenes / 4));

    auto s = vt::make_symbol("among look-alikes", 3, vt::Level::M, vt::Mode::byte);
    ASSERT_TRUE(s);
    struct Placed {
        double module_px, rotation_deg;
        int x, y;
        std::uint32_t scene;
    };
    for (const Placed &at : {Placed{4, 0, 400, 300, 1}, Placed{3, 25, 120, 90, 2}, Placed{5, 200, 700, 420, 5}}) {
        vt::RenderOptions o;
        o.mirror = true;
        o.module_px = at.module_px;
        o.rotation_deg = at.rotation_deg;
        const vt::Picture symbol = vt::render(*s, o);
        vt::Picture scene = vt::render_lookalikes(1024, 768, at.scene);
        ASSERT_LE(at.x + symbol.width, scene.width);
        ASSERT_LE(at.y + symbol.height, scene.height);
        for (int y = 0; y < symbol.height; ++y)
            std::copy_n(symbol.pixels.begin() + static_cast<std::ptrdiff_t>(y) * symbol.width, symbol.width,
                        scene.pixels.begin() + static_cast<std::ptrdiff_t>(at.y + y) * scene.width + at.x);
        EXPECT_EQ(bytes_of(decode_at(scene, VANTOR_EFFORT_DEFAULT)), std::vector<std::string>{"among look-alikes"})
            << at.module_px << " px, " << at.rotation_deg << " degrees";
    }
}
