// The decoder state's own services: the trace sink (stream or whole-line
// callback) and the debug image folder.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "1_base/bmp_write.h"
#include "qr_symbols.h"
#include "3_model2/classic/state.h"

using namespace vantor;
namespace fs = std::filesystem;

namespace {

void collect(const char *line, void *user) { static_cast<std::vector<std::string> *>(user)->push_back(line); }

} // namespace

TEST(Trace, CallbackGetsWholeLinesHoweverTheyAreWritten) {
    DecoderState s;
    EXPECT_FALSE(s.tracing());
    trace(s, "nothing %d\n", 1); // no sink: nothing happens

    std::vector<std::string> lines;
    s.trace_fn = collect;
    s.trace_user = &lines;
    EXPECT_TRUE(s.tracing());
    trace(s, "*");
    trace(s, "Cross %d (%f)\n", 3, 1.5);
    trace(s, "0x%02x ", 0xab);
    trace(s, "0x%02x ", 0x01);
    EXPECT_EQ(lines.size(), 1u) << "an unfinished line is held back";
    trace(s, "\n");
    trace(s, "two\nlines\n");
    // A line far longer than any fixed buffer.
    const std::string long_part(5000, 'x');
    trace(s, "%s|%s\n", long_part.c_str(), long_part.c_str());
    trace(s, "tail");
    trace_flush(s);
    trace_flush(s); // nothing left: no empty line
    const std::vector<std::string> want = {"*Cross 3 (1.500000)\n", "0xab 0x01 \n", "two\n", "lines\n",
                                           long_part + "|" + long_part + "\n", "tail\n"};
    EXPECT_EQ(lines, want);
}

TEST(Trace, StreamGetsTheTextAsWritten) {
    char *buf = nullptr;
    std::size_t len = 0;
    std::FILE *f = open_memstream(&buf, &len);
    ASSERT_NE(f, nullptr);
    DecoderState s;
    s.trace_file = f;
    trace(s, "a%d", 1);
    trace(s, "b\n");
    trace_flush(s); // a stream needs no flush of lines
    std::fclose(f);
    EXPECT_EQ(std::string(buf, len), "a1b\n");
    std::free(buf);
}

TEST(DebugImages, WrittenIntoTheStatesFolder) {
    vantor::testing::TempDir dir("debug-dir");
    const std::vector<std::uint8_t> pixels(8 * 4, 64);
    DecoderState s;
    s.debug_dir = dir.path();
    ASSERT_TRUE(write_debug_image(s, "sample1-0.bmp", pixels.data(), 8, 4));
    EXPECT_TRUE(fs::exists(fs::path(dir.path()) / "sample1-0.bmp"));
    s.debug_dir = (fs::path(dir.path()) / "missing").string();
    EXPECT_FALSE(write_debug_image(s, "sample1-0.bmp", pixels.data(), 8, 4)) << "a missing folder fails";
}
