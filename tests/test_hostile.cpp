// Hostile input: JPEG files that ask the library for too much, floods of eye
// pattern candidates, degenerate symbol geometry, and readers that must close
// their file on every path. Each case checks that the work stays bounded (it
// completes, and fails cleanly where it must) and that the fast paths give
// exactly what the plain rules give.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include <vantor/image.h>
#include <vantor/vantor.h>

#include "3_model2/classic/alignment.h"
#include "3_model2/classic/eyepattern.h"
#include "3_model2/classic/hit_groups.h"
#include "reference/plain_forms.h"
#include "3_model2/classic/refine.h"
#include "3_model2/classic/runs.h"
#include "3_model2/classic/grid.h"
#include "hostile_images.h"
#include "qr_symbols.h"
#include "3_model2/classic/state.h"
#include "3_model2/classic/version.h"
#include "whole_state.h"

using namespace vantor;

namespace {
// The state the stages of these tests work on.
DecoderState state;
} // namespace
namespace qr = vantor::testing;

namespace {

constexpr float nan_f = std::numeric_limits<float>::quiet_NaN();
constexpr float inf_f = std::numeric_limits<float>::infinity();

// Reads bytes through a temporary file; leaves the image for release_image.
int read_bytes(const std::vector<std::uint8_t> &bytes, const char *name) {
    static const qr::TempDir dir("hostile");
    const std::string path = dir.path() + "/" + name;
    if (!qr::write_bytes(path, bytes))
        return -1;
    return read_image(path.c_str());
}

// --- JPEG bombs -----------------------------------------------------------------

TEST(HostileJpeg, MemoryBombsFailWithAnEmptyMessage) {
    // A few hundred bytes declaring 16384 x 16384 progressive pixels: the
    // coefficient buffer would take 512 MiB (grey) or 768 MiB (colour).
    for (const int components : {1, 3}) {
        const auto bytes = qr::jpeg_memory_bomb_bytes(16384, 16384, components);
        ASSERT_FALSE(bytes.empty());
        ASSERT_LT(bytes.size(), 2000u);
        std::strcpy(read_message, "stale");
        EXPECT_EQ(read_bytes(bytes, "bomb.jpg"), 0) << components << " components";
        EXPECT_STREQ(read_message, "");
        release_image();
    }
}

TEST(HostileJpeg, ThousandsOfScansFailWithAnEmptyMessage) {
    const auto symbol = qr::make_symbol("scans", 1, qr::Level::M, qr::Mode::byte);
    ASSERT_TRUE(symbol);
    const qr::Picture picture = qr::render(*symbol);
    const auto bytes = qr::progressive_jpeg_bytes(picture, 5000);
    ASSERT_FALSE(bytes.empty());
    EXPECT_EQ(read_bytes(bytes, "scans.jpg"), 0);
    EXPECT_STREQ(read_message, "");
    release_image();
}

TEST(HostileJpeg, ProgressiveFilesWithinTheLimitsRead) {
    const auto symbol = qr::make_symbol("Progressive", 2, qr::Level::M, qr::Mode::byte);
    ASSERT_TRUE(symbol);
    const qr::Picture picture = qr::render(*symbol);
    // The usual scans, and the first scan repeated fifty times more.
    for (const int extra : {0, 50}) {
        ASSERT_EQ(read_bytes(qr::progressive_jpeg_bytes(picture, extra), "progressive.jpg"), 1) << extra;
        EXPECT_EQ(gray_image.width, picture.width);
        const char *text = decode_image(gray_image.pixels, gray_image.width, gray_image.height,
                                        gray_image.depth, nullptr);
        ASSERT_NE(text, nullptr) << extra;
        EXPECT_STREQ(text, "Progressive");
        release_image();
    }
    // A photo-sized progressive picture stays well inside the memory limit.
    const qr::Picture photo = qr::photo_like(2400, 1800, 3);
    ASSERT_EQ(read_bytes(qr::progressive_jpeg_bytes(photo), "photo.jpg"), 1);
    EXPECT_EQ(gray_image.width, 2400);
    EXPECT_EQ(gray_image.height, 1800);
    release_image();
}

// --- Readers close their file exactly once -------------------------------------------

int open_descriptors() {
    int n = 0;
    for (int fd = 0; fd < 256; ++fd)
        if (fcntl(fd, F_GETFD) != -1)
            ++n;
    return n;
}

TEST(HostileFiles, EveryReaderClosesItsFileOnEveryPath) {
    // The seed corpus holds good and broken files of every format. A reader
    // that leaves its stream or descriptor open changes the count; one that
    // closes a descriptor it does not own (twice, or the wrong one) closes
    // the one the test holds open. A stream closed twice is a use after free
    // for the sanitizer build.
    const std::filesystem::path dir = std::filesystem::path(VANTOR_SOURCE_DIR) / "fuzz/corpus/fuzz_read_image";
    ASSERT_TRUE(std::filesystem::is_directory(dir));
    int files = 0, read_ok = 0;
    for (const auto &entry : std::filesystem::directory_iterator(dir)) {
        const int sentinel = open("/dev/null", O_RDONLY);
        ASSERT_GE(sentinel, 0);
        const int before = open_descriptors();
        const bool ok = read_image(entry.path().c_str()) != 0;
        read_ok += ok;
        release_image();
        EXPECT_EQ(open_descriptors(), before) << entry.path();
        // The reentrant route opens and closes the same way.
        vantor_image *image = vantor_image_read(entry.path().c_str(), nullptr);
        EXPECT_EQ(image != nullptr, ok) << entry.path();
        vantor_image_free(image);
        EXPECT_EQ(open_descriptors(), before) << entry.path();
        EXPECT_NE(fcntl(sentinel, F_GETFD), -1) << entry.path() << " closed a descriptor it did not own";
        close(sentinel);
        ++files;
    }
    EXPECT_GE(files, 55);
    EXPECT_GE(read_ok, 35); // the good files among them read
}

// --- Candidate floods ------------------------------------------------------------------

class HostileEyes : public ::testing::Test {
protected:
    void TearDown() override {
        free_eye_patterns(state);
        state.work_bitmap.reset();
        state.version = 0;
    }

    // The picture binarised at `threshold` (dark below it) as the work bitmap.
    static void bitmap(const qr::Picture &p, int threshold) {
        state.image_width = p.width;
        state.image_height = p.height;
        ASSERT_TRUE(state.work_bitmap.allocate(p.pixels.size()));
        for (std::size_t i = 0; i < p.pixels.size(); ++i)
            state.work_bitmap[i] = p.pixels[i] < threshold ? 64 : 0;
    }

    // Run tables, window scans and grouping: the candidates before refinement.
    static void candidates() {
        memchunk_init(state.row_hits);
        memchunk_init(state.col_hits);
        memchunk_init(state.eyes);
        ASSERT_TRUE(build_row_runs(state, state));
        ASSERT_TRUE(scan_runs(state.row_runs.get(), state.image_width, state.image_height, state.row_hits, state));
        ASSERT_TRUE(build_col_runs(state, state));
        ASSERT_TRUE(scan_runs(state.col_runs.get(), state.image_height, state.image_width, state.col_hits, state));
        cross_hits(state, state);
    }

    static std::vector<EyePattern> eyes() {
        return {state.eyes.items, state.eyes.items + state.eye_count};
    }
    static void set_eyes(const std::vector<EyePattern> &records) {
        memchunk_clear(state.eyes);
        for (const EyePattern &e : records)
            ASSERT_TRUE(memchunk_append(state.eyes, e));
        state.eye_count = static_cast<int>(records.size());
    }
};

TEST_F(HostileEyes, RefinementSweepMatchesThePlainWalk) {
    // Pictures whose dark regions are small, long, wide or joined: noise at
    // densities around the point where dark pixels join into one region
    // that spans the picture, look-alike fields, stripes and symbols.
    std::vector<qr::Picture> pictures;
    for (std::uint32_t seed = 1; seed <= 3; ++seed)
        pictures.push_back(qr::render_noise(160 + 40 * seed, 120 + 30 * seed, "noise", seed));
    pictures.push_back(qr::render_noise(150, 100, "stripes", 4));
    pictures.push_back(qr::eye_field(200, 160, 2, 2));
    pictures.push_back(qr::eye_field(220, 180, 1, 1, 3, 9));
    pictures.push_back(qr::photo_like(240, 180, 8));
    const auto symbol = qr::make_symbol("sweep", 3, qr::Level::L, qr::Mode::byte);
    ASSERT_TRUE(symbol);
    qr::RenderOptions tilted;
    tilted.rotation_deg = 17;
    tilted.noise_sigma = 30;
    pictures.push_back(qr::render(*symbol, tilted));

    int compared = 0;
    float largest = 0;
    for (const qr::Picture &p : pictures) {
        ASSERT_FALSE(p.pixels.empty());
        for (const int threshold : {60, 100, 128, 150, 170, 200}) {
            bitmap(p, threshold);
            candidates();
            const std::vector<EyePattern> grouped = eyes();
            reference::refine_eyes(state);
            const std::vector<EyePattern> plain = eyes();
            set_eyes(grouped);
            refine_eyes(state, state);
            const std::vector<EyePattern> swept = eyes();
            ASSERT_EQ(swept.size(), plain.size()) << p.width << "x" << p.height << " at " << threshold;
            for (std::size_t i = 0; i < plain.size(); ++i) {
                ASSERT_EQ(std::memcmp(&swept[i], &plain[i], sizeof(EyePattern)), 0)
                    << "record " << i << " of " << p.width << "x" << p.height << " at " << threshold;
                largest = std::max(largest, plain[i].size);
            }
            compared += static_cast<int>(plain.size());
            free_eye_patterns(state);
        }
    }
    EXPECT_GT(compared, 2000);
    // Some walks crossed most of a picture: the case the sweep is for.
    EXPECT_GT(largest, 300.0f);
}

TEST_F(HostileEyes, HundredsOfLookAlikesAreFilteredScoredAndPicked) {
    // About 900 equal look-alikes: each has many similar partners, and all
    // are scored; then a field of five sizes at random, whose picks
    // have consistent hits.
    bitmap(qr::eye_field(540, 540, 2, 2), 128);
    find_eye_patterns(state, state.eye_pick, state); // the first three picked lie on one line: no orientation
    EXPECT_GT(state.eye_count, 800);
    int scored = 0;
    for (int i = 0; i < state.eye_count; ++i)
        scored += state.eyes.items[i].score > 0;
    EXPECT_EQ(scored, state.eye_count);
    free_eye_patterns(state);

    bitmap(qr::eye_field(540, 540, 1, 2, 4, 3), 128);
    find_eye_patterns(state, state.eye_pick, state);
    EXPECT_GT(state.eye_count, 100);
    for (int i = 0; i < 3; ++i)
        EXPECT_GT(state.eyes.items[state.eye_pick[i]].score, 0);
}

TEST_F(HostileEyes, FloodedPicturesDecodeToNothing) {
    // Whole decodes of pictures made only of look-alikes, noise and stripes:
    // every pass, both tries; no symbol, so no text.
    const qr::Picture pictures[] = {qr::eye_field(400, 300, 2, 2), qr::eye_field(400, 300, 1, 1, 2, 4),
                                    qr::render_noise(400, 300, "noise", 6),
                                    qr::render_noise(400, 300, "stripes", 7)};
    for (const qr::Picture &p : pictures)
        EXPECT_EQ(decode_image(p.pixels.data(), p.width, p.height, 8, nullptr), nullptr);
}

// --- Degenerate geometry --------------------------------------------------------------

// Three picked eye patterns with the given centres and sizes over a blank
// 200 x 200 bitmap, as the selection leaves them.
void picked(std::initializer_list<std::array<float, 3>> centres) {
    state.image_width = 200;
    state.image_height = 200;
    ASSERT_TRUE(state.work_bitmap.allocate_zeroed(200 * 200));
    memchunk_init(state.eyes);
    for (const auto &[x, y, size] : centres)
        ASSERT_TRUE(memchunk_append(state.eyes, EyePattern{size, size, y, x, 1, 1, 0, 0, size}));
    state.eye_count = static_cast<int>(centres.size());
    for (int i = 0; i < 3; ++i)
        state.eye_pick[i] = i;
}

TEST_F(HostileEyes, DegenerateEyeGeometryFailsCleanly) {
    // Coincident, collinear, tiny, huge, infinite and not-a-number centres
    // and sizes through version determination, the grid and its alignment
    // searches. Nothing may index the bitmap with a position that is not a
    // number or out of range (the sanitizer build checks every conversion).
    const std::vector<std::vector<std::array<float, 3>>> cases = {
        {{50, 50, 21}, {50, 50, 21}, {50, 50, 21}},          // coincident
        {{20, 20, 14}, {100, 100, 14}, {180, 180, 14}},      // collinear
        {{20, 20, 0}, {180, 20, 0}, {20, 180, 0}},           // zero size
        {{20, 20, 1e-30f}, {180, 20, 1e-30f}, {20, 180, 1e-30f}},
        {{20, 20, 3e38f}, {180, 20, 3e38f}, {20, 180, 3e38f}},
        {{20, 20, 14}, {1e30f, 20, 14}, {20, -1e30f, 14}},   // far away
        {{20, 20, 14}, {inf_f, 20, 14}, {20, inf_f, 14}},
        {{nan_f, 20, 14}, {180, nan_f, 14}, {20, 180, nan_f}},
    };
    for (const auto &c : cases) {
        picked({c[0], c[1], c[2]});
        for (int j = 0; j < 2; ++j) {
            const int version = whole_state::determine_version(state, j);
            EXPECT_LE(version, 40);
            if (version < 1)
                continue;
            state.version = version;
            if (whole_state::grid_build(state))
                grid_sample(state, state);
            grid_free(state);
        }
        free_eye_patterns(state);
        state.work_bitmap.reset();
    }
}

TEST_F(HostileEyes, DegenerateStepVectorsFailCleanly) {
    // Valid eye patterns, but step vectors that are huge, infinite, zero or
    // not a number, at the smallest and largest versions: every alignment
    // window and module position must be refused, never converted.
    const Vec2f units[] = {{nan_f, 0},   {0, nan_f}, {inf_f, inf_f}, {-inf_f, 1},
                           {1e30f, 1e30f}, {-1e30f, 5}, {0, 0},       {3e38f, -3e38f}};
    for (const Vec2f u : units) {
        for (const int version : {1, 2, 7, 40}) {
            picked({{30, 30, 14}, {170, 30, 14}, {30, 170, 14}});
            // Dark pixels everywhere, so that any sample a bad position
            // reaches would be read.
            std::memset(state.work_bitmap.get(), 64, 200 * 200);
            ASSERT_TRUE(build_row_runs(state, state));
            ASSERT_TRUE(build_col_runs(state, state));
            memchunk_init(state.row_hits);
            memchunk_init(state.col_hits);
            state.version = version;
            state.units.x = u;
            state.units.y = {u.y, u.x};
            EXPECT_EQ(whole_state::read_version_info(state, VersionBlock::along), -1);
            AlignmentProbe probe{0, 0, 22, 22};
            whole_state::find_alignment(state, probe);
            // Zero steps put every module on the corner eye's centre pixel,
            // which is a position; every other vector here leaves the image.
            const bool zero = u.x == 0 && u.y == 0;
            if (whole_state::grid_build(state) && !zero) {
                EXPECT_FALSE(grid_sample(state, state)) << version;
            }
            grid_free(state);
            EXPECT_EQ(grid_module_value(state, state, 0, 0), -1);
            free_eye_patterns(state);
            state.work_bitmap.reset();
        }
    }
}

} // namespace
