// The eye scan's two steps: the row matches of a scan of every row, merged
// for every row or every second, give exactly the candidates of a scan at
// that row step, on symbols and on noise alike, so one scan can serve
// both the quick look and the single-finder pass.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "qr_symbols.h"
#include "thorough/eye_scan.h"

namespace vt = vantor::testing;
namespace th = vantor::thorough;

namespace {

std::string describe(const std::vector<th::ScoredCandidate> &cs) {
    std::string out;
    for (const th::ScoredCandidate &c : cs)
        out += std::to_string(c.at.x) + "," + std::to_string(c.at.y) + "," + std::to_string(c.at.module) + "x" +
               std::to_string(c.hits) + " ";
    return out;
}

} // namespace

TEST(EyeScan, MergedMatchesOfEveryRowEqualAScanAtEitherStep) {
    vt::RenderOptions o;
    o.rotation_deg = 17;
    o.noise_sigma = 8;
    o.canvas_width = 420;
    o.canvas_height = 380;
    const auto symbol = vt::make_symbol("eye scan", 5, vt::Level::M, vt::Mode::byte);
    ASSERT_TRUE(symbol.has_value());
    const vt::Picture pictures[] = {vt::render(*symbol, o), vt::render_noise(640, 480, "noise", 31),
                                    vt::render_noise(800, 600, "noise", 4)};
    for (const vt::Picture &p : pictures) {
        for (bool inverted : {false, true}) {
            const th::Binary binary(th::GreyView{p.pixels.data(), p.width, p.height, p.width, inverted});
            const std::vector<th::RowMatch> every = th::row_matches(binary);
            // Each polarity of each picture has matches on odd and even rows,
            // so the merge's choice of rows is put to the test.
            std::size_t odd = 0;
            for (const th::RowMatch &m : every)
                odd += m.row % 2;
            EXPECT_GT(odd, 0u) << p.width << " inverted " << inverted << " matches " << every.size();
            EXPECT_LT(odd, every.size()) << p.width << " inverted " << inverted;
            for (int step : {1, 2})
                for (int limit : {32, 4096}) {
                    const auto merged = th::merge_matches(every, p.width, p.height, limit, step);
                    const auto scanned = th::scan_eyes(binary, limit, step);
                    EXPECT_EQ(describe(merged), describe(scanned))
                        << p.width << " inverted " << inverted << " step " << step << " limit " << limit;
                    EXPECT_FALSE(merged.empty());
                }
        }
    }
}
