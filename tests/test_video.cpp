// Video files and live streams through the command-line reader: each
// distinct symbol once, at the frame it first showed whole; a symbol back
// after a second away is new; two at once; --every-frame; a generator
// writing into a named pipe at its own pace with --once; and cut, unknown,
// oversized and empty input; and the libraries loaded for videos alone.
#include <gtest/gtest.h>

#ifdef VANTOR_WITH_VIDEO

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <thread>
#include <vector>

#include "command_run.h"
#include "json_value.h"
#include "qr_symbols.h"
#include "video_files.h"

namespace vt = vantor::testing;

namespace {

const std::string cli = VANTOR_CLI;
constexpr int width = 640, height = 360, fps = 25;

vt::Picture symbol_picture(const std::string &text, double rotation = 0) {
    auto s = vt::make_symbol(text, 2, vt::Level::M, vt::Mode::byte);
    EXPECT_TRUE(s.has_value());
    vt::RenderOptions r;
    r.module_px = 5;
    r.quiet_zone = 2;
    r.rotation_deg = rotation;
    r.light = 230;
    return vt::render(*s, r);
}

vt::Picture blank() { return {width, height, std::vector<std::uint8_t>(width * height, 230)}; }

// Frame i of the test clip: A moves in at frame 10 and turns from frame
// 60; one empty frame at 75; A gone from 100 to 139 (1.6 s), back at 140;
// B beside it from 160.
vt::Picture clip_frame(int i) {
    vt::Picture f = blank();
    const bool a = (i >= 10 && i < 100 && i != 75) || (i >= 140 && i < 200);
    if (a)
        vt::paste(f, symbol_picture("symbol A", i >= 60 && i < 100 ? (i - 60) * 3.0 : 0), 20 + (i % 100) * 2, 60);
    if (i >= 160 && i < 200)
        vt::paste(f, symbol_picture("symbol B"), 440, 150);
    return f;
}

class Video : public ::testing::Test {
protected:
    void SetUp() override {
        if (!vt::have_ffmpeg())
            GTEST_SKIP() << "ffmpeg is needed to make the test videos";
    }
    std::string dir = vt::temp_dir("video");

    std::string write_clip(int frames) {
        const std::string path = dir + "/clip.y4m";
        std::ofstream out(path, std::ios::binary);
        out << vt::y4m_header(width, height, fps);
        for (int i = 0; i < frames; ++i)
            out << vt::y4m_frame(clip_frame(i));
        return path;
    }
};

TEST_F(Video, EachSymbolOnceAtItsFirstFrame) {
    const std::string y4m = write_clip(200);
    const std::string mp4 = dir + "/clip.mp4";
    ASSERT_TRUE(vt::encode_video(y4m, "-c:v libx264 -pix_fmt yuv420p", mp4));
    for (const std::string &file : {y4m, mp4}) {
        vt::CommandRun r = vt::run_command(cli + " --json " + file);
        EXPECT_EQ(r.status, 0) << r.err;
        std::vector<std::pair<std::string, int>> hits;
        for (const vt::Json &row : vt::json_lines(r.out)) {
            ASSERT_TRUE(row.get("text") && row.get("frame") && row.get("time")) << r.out;
            hits.emplace_back(row.get("text")->s, static_cast<int>(row.get("frame")->n));
            EXPECT_NEAR(row.get("time")->n, row.get("frame")->n / fps, 0.0005);
        }
        const std::vector<std::pair<std::string, int>> expected = {
            {"symbol A", 10}, {"symbol A", 140}, {"symbol B", 160}};
        ASSERT_EQ(hits.size(), expected.size()) << file << "\n" << r.out;
        for (std::size_t k = 0; k < hits.size(); ++k) {
            EXPECT_EQ(hits[k].first, expected[k].first) << file;
            EXPECT_LE(hits[k].second - expected[k].second, 2) << file << " " << hits[k].first;
            EXPECT_GE(hits[k].second, expected[k].second) << file;
        }
    }
    vt::CommandRun plain = vt::run_command(cli + " " + y4m);
    EXPECT_EQ(plain.out.substr(0, plain.out.find('\n')), y4m + " @ 0:00.400: symbol A");

    // Every frame: A in 89 + 60 frames, B in 40; the fast look may miss a
    // turned frame or two, never report more.
    vt::CommandRun every = vt::run_command(cli + " --every-frame " + y4m);
    const auto lines = std::count(every.out.begin(), every.out.end(), '\n');
    EXPECT_LE(lines, 89 + 60 + 40) << every.err;
    EXPECT_GE(lines, 89 + 60 + 40 - 4) << every.err;

    const std::string empty = dir + "/empty.y4m";
    std::ofstream(empty, std::ios::binary) << vt::y4m_header(width, height, fps) << vt::y4m_frame(blank());
    vt::CommandRun none = vt::run_command(cli + " " + empty);
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(none.out, "");
}

// FFmpeg's libraries load only when a file turns out to be a video: a run
// over images does not pay for loading them.
TEST_F(Video, LibrariesLoadOnlyForAVideo) {
    const std::string y4m = write_clip(20);
    const std::string bmp = dir + "/still.bmp";
    ASSERT_TRUE(vt::write_bmp24(bmp, clip_frame(12)));
    auto loaded = [](const vt::CommandRun &run) { return run.err.find("libavformat.so") != std::string::npos; };
    vt::CommandRun image = vt::run_command("LD_DEBUG=files " + cli + " " + bmp);
    EXPECT_EQ(image.status, 0) << image.err;
    EXPECT_NE(image.out.find("symbol A"), std::string::npos);
    EXPECT_FALSE(loaded(image));
    vt::CommandRun video = vt::run_command("LD_DEBUG=files " + cli + " " + y4m);
    EXPECT_EQ(video.status, 0);
    EXPECT_NE(video.out.find("symbol A"), std::string::npos);
    EXPECT_TRUE(loaded(video));
}

TEST_F(Video, CutUnknownAndOversizedVideosFailCleanly) {
    const std::string y4m = write_clip(40);
    const std::string mp4 = dir + "/clip.mp4";
    ASSERT_TRUE(vt::encode_video(y4m, "-c:v libx264 -pix_fmt yuv420p", mp4));
    std::ifstream in(mp4, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // The index sits at the end: cut anywhere, nothing plays.
    const std::string cut = dir + "/cut.mp4";
    std::ofstream(cut, std::ios::binary) << bytes.substr(0, bytes.size() / 2);
    vt::CommandRun c = vt::run_command(cli + " " + cut);
    EXPECT_EQ(c.status, 2);
    EXPECT_NE(c.err.find("vantor: " + cut + ": damaged or cut video"), std::string::npos) << c.err;

    // A Y4M stream cut inside a frame still gives the frames before it.
    std::ifstream y(y4m, std::ios::binary);
    std::string raw((std::istreambuf_iterator<char>(y)), std::istreambuf_iterator<char>());
    const std::string cut_y4m = dir + "/cut.y4m";
    std::ofstream(cut_y4m, std::ios::binary) << raw.substr(0, raw.size() - 1000);
    vt::CommandRun cy = vt::run_command(cli + " " + cut_y4m);
    EXPECT_EQ(cy.status, 0) << cy.err;
    EXPECT_NE(cy.out.find("symbol A"), std::string::npos);

    // The stream's codec renamed to one no decoder knows.
    for (std::size_t at; (at = bytes.find("avc1")) != std::string::npos;)
        bytes.replace(at, 4, "zzzz");
    const std::string unknown = dir + "/unknown.mp4";
    std::ofstream(unknown, std::ios::binary) << bytes;
    vt::CommandRun u = vt::run_command(cli + " --json " + unknown);
    EXPECT_EQ(u.status, 2);
    EXPECT_NE(u.out.find("unknown video codec"), std::string::npos) << u.out;

    const std::string huge = dir + "/huge.y4m";
    std::ofstream(huge, std::ios::binary) << "YUV4MPEG2 W60000 H60000 F25:1 C420jpeg\nFRAME\n" << std::string(5000, 'x');
    vt::CommandRun h = vt::run_command(cli + " " + huge);
    EXPECT_EQ(h.status, 2);
    EXPECT_NE(h.err.find("vantor: " + huge + ": "), std::string::npos) << h.err;
}

TEST_F(Video, LiveStreamFromAGeneratorEndsAtTheFirstSymbolWithOnce) {
    const std::string fifo = dir + "/live";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    signal(SIGPIPE, SIG_IGN);
    // The generator writes blank frames at its own pace, then the symbol,
    // and would go on for ten seconds; the reader leaves after the symbol.
    std::thread generator([&] {
        const int fd = open(fifo.c_str(), O_WRONLY);
        if (fd < 0)
            return;
        auto put = [&](const std::string &s) { return write(fd, s.data(), s.size()) == ssize_t(s.size()); };
        bool open_pipe = put(vt::y4m_header(width, height, fps));
        for (int i = 0; open_pipe && i < 250; ++i) {
            vt::Picture f = blank();
            if (i >= 12)
                vt::paste(f, symbol_picture("live symbol"), 100 + i, 80);
            open_pipe = put(vt::y4m_frame(f));
            std::this_thread::sleep_for(std::chrono::milliseconds(40));
        }
        close(fd);
    });
    const auto start = std::chrono::steady_clock::now();
    vt::CommandRun r = vt::run_command(cli + " --live --once " + fifo);
    const auto took = std::chrono::steady_clock::now() - start;
    generator.join();
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "live symbol\n");
    EXPECT_LT(took, std::chrono::seconds(8)); // left long before the generator's end

    vt::CommandRun empty = vt::run_command(": | " + cli + " --live -");
    EXPECT_EQ(empty.status, 2);
    EXPECT_EQ(empty.err, "vantor: -: empty stream: it ended before its first frame\n");
    vt::CommandRun text = vt::run_command("echo hello | " + cli + " --live --json -");
    EXPECT_EQ(text.status, 2);
    EXPECT_NE(text.out.find("not a video stream"), std::string::npos) << text.out;

    vt::CommandRun camera = vt::run_command(cli + " --camera /dev/no-such-camera");
    EXPECT_EQ(camera.status, 2);
    EXPECT_EQ(camera.err, "vantor: /dev/no-such-camera: no such camera device\n");
    EXPECT_EQ(vt::run_command(cli + " --once " + fifo).status, 64);
    EXPECT_EQ(vt::run_command(cli + " --camera /dev/video0 other.png").status, 64);
}

} // namespace

#endif
