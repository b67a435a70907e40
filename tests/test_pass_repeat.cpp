// Repeated passes: a pass whose bitmap equals an earlier pass's reports that
// pass's readings again. The claim of equality is checked against the
// bitmaps themselves, and a run that repeats passes against one that
// searches every pass: the same readings, and the same state left behind.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "3_model2/classic/binarise.h"
#include "end_to_end_cases.h"
#include "3_model2/classic/pass_replay.h"

using namespace vantor;
namespace vt = vantor::testing;

namespace {

vt::Picture bilevel(vt::Picture p) {
    for (std::uint8_t &g : p.pixels)
        g = g < 128 ? 0 : 255;
    return p;
}

// Pictures on which passes repeat: two-level ones, with and without a
// symbol that can be read, and grey ones for contrast.
std::vector<vt::Picture> pictures() {
    std::vector<vt::Picture> out;
    std::mt19937 rng(16);
    for (int v : {1, 3, 7}) {
        const vt::Level level = vt::Level::M;
        auto s = e2e::make_case(v, level, e2e::Content::byte, 0.8, rng);
        const e2e::Layout layout = e2e::layout_for(v, level);
        // Beyond capacity: the format reads, the blocks do not correct.
        const e2e::Damage d = e2e::damage(*s, layout, layout.blocks() * (layout.capacity[0] + 2) * 4, rng);
        vt::RenderOptions o;
        o.module_px = 3;
        out.push_back(vt::render(d.symbol, o));
        o.rotation_deg = 17;
        out.push_back(bilevel(vt::render(d.symbol, o)));
        o.mirror = true;
        out.push_back(bilevel(vt::render(*s, o)));
    }
    out.push_back(vt::render_noise(120, 90, "stripes", 3));
    out.push_back(bilevel(vt::render_noise(150, 100, "noise", 4)));
    out.push_back(vt::render_noise(16, 12, "noise", 5)); // smaller than the local window
    return out;
}

struct Seen {
    ReadingOutcome outcome;
    int version, level, mask;
    bool unsupported;
    std::vector<float> eyes; // x, y, size of each candidate

    bool operator==(const Seen &o) const {
        const ReadingOutcome &a = outcome, &b = o.outcome;
        return a.pass == b.pass && a.try_index == b.try_index && a.stage == b.stage &&
               a.candidates == b.candidates && a.blocks.blocks == b.blocks.blocks &&
               a.blocks.clean == b.blocks.clean && a.blocks.corrected == b.blocks.corrected &&
               a.blocks.beyond == b.blocks.beyond && a.blocks.codewords_corrected == b.blocks.codewords_corrected &&
               a.blocks.last_fix == b.blocks.last_fix &&
               a.format_read == b.format_read && (a.text != nullptr) == (b.text != nullptr) &&
               version == o.version && level == o.level && mask == o.mask &&
               unsupported == o.unsupported && eyes == o.eyes;
    }
};

std::vector<Seen> run(const vt::Picture &p, bool repeat) {
    DecoderState s;
    std::vector<Seen> seen;
    run_passes(s, p.pixels.data(), p.width, p.height, 8, [&](const DecoderState &st, const ReadingOutcome &o) {
        Seen x{o, st.version, st.ecc_level, st.mask_pattern, st.data_unsupported_mode, {}};
        for (int i = 0; i < st.eye_count && i < st.eyes.count; ++i)
            x.eyes.insert(x.eyes.end(), {st.eyes.items[i].x, st.eyes.items[i].y, st.eyes.items[i].size});
        seen.push_back(x);
        return ReadingAction::go_on;
    }, repeat);
    // What later passes or the caller would find in the state.
    seen.push_back({{}, s.version, s.ecc_level, s.mask_pattern, s.data_unsupported_mode, {}});
    return seen;
}

} // namespace

TEST(PassRepeat, ClaimedRepeatsHaveEqualBitmaps) {
    int claimed = 0;
    for (const vt::Picture &p : pictures()) {
        DecoderState s;
        s.image_width = p.width;
        s.image_height = p.height;
        const std::size_t n = p.pixels.size();
        ASSERT_TRUE(s.work_bitmap.allocate(n));
        PassReplay replay(p.pixels.data(), 8);
        std::vector<std::vector<std::uint8_t>> bitmaps;
        for (int pass = 0; pass < 7; ++pass) {
            bool binarised = true;
            if (pass <= 2)
                threshold_global(s, pass, p.pixels.data(), 8);
            else
                binarised = threshold_local(s, pass - 3, p.pixels.data(), p.width, p.height) != 0;
            bitmaps.emplace_back(s.work_bitmap.get(), s.work_bitmap.get() + n);
            const int from = replay.repeated_pass(s, pass);
            if (from >= 0) {
                ++claimed;
                EXPECT_EQ(bitmaps[static_cast<std::size_t>(from)], bitmaps.back())
                    << p.width << "x" << p.height << " pass " << pass << " from " << from;
            }
            replay.begin(s, pass, binarised);
            replay.note(s, s, ReadingOutcome{pass, -1, ReadingStage::none, 0, {}, false, false, nullptr, nullptr, 0});
            replay.close(pass);
        }
    }
    EXPECT_GE(claimed, 20) << "two-level pictures repeat most of their passes";
}

TEST(PassRepeat, RepeatingGivesTheReadingsAndStateOfSearching) {
    for (const vt::Picture &p : pictures()) {
        const std::vector<Seen> searched = run(p, false);
        const std::vector<Seen> repeated = run(p, true);
        EXPECT_TRUE(searched == repeated) << p.width << "x" << p.height;
    }
}
