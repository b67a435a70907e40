// The dialog's read-decode-show flow and start-up command line, run against
// a recording view instead of a window.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "../gui/decode_file.h"
#include "qr_symbols.h"

using namespace vantor;
namespace vt = vantor::testing;

namespace {

// Every call of the three operations, in order, as "name:", "text:" or
// "message:" followed by the text.
class RecordingView : public DecodeView {
public:
    void SetNameText(const std::string &text) override { calls.push_back("name:" + text); }
    void SetResultText(const std::string &text) override { calls.push_back("text:" + text); }
    void ShowMessage(const std::string &text) override {
        // The image is already released when a message box would run its
        // own message loop.
        EXPECT_EQ(gray_image.pixels, nullptr);
        calls.push_back("message:" + text);
    }
    std::vector<std::string> calls;
};

const std::string unsupported = std::string("message:") + unsupported_format_message;

class DecodeFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = vt::temp_dir("decode_file");
        ASSERT_FALSE(dir.empty());
    }
    void TearDown() override {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }

    std::vector<std::string> run(const std::string &path) {
        RecordingView view;
        DecodeFile(path.c_str(), view);
        EXPECT_EQ(gray_image.pixels, nullptr) << "the image is released on every path";
        return view.calls;
    }

    std::string dir;
};

TEST_F(DecodeFileTest, FailedReadsShowTheReaderTextThenTheFormatTextAndNoName) {
    const std::string wave = dir + "/sound.png";
    const std::uint8_t wave_bytes[] = {'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'A', 'V', 'E'};
    ASSERT_TRUE(vt::write_bytes(wave, wave_bytes));
    EXPECT_EQ(run(wave), (std::vector<std::string>{
                             "name:", "message:file " + wave + " is not an image format Vantor reads (" VANTOR_IMAGE_FORMATS ").\n", unsupported}));

    // A PNG cut short after its signature: the PNG reader's text.
    const std::string png = dir + "/picture.png";
    const std::uint8_t png_bytes[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13};
    ASSERT_TRUE(vt::write_bytes(png, png_bytes));
    EXPECT_EQ(run(png), (std::vector<std::string>{
                            "name:", "message:file " + png + ": damaged PNG image (Read Error).\n", unsupported}));

    const std::string missing = dir + "/missing 100%s.bmp";
    EXPECT_EQ(run(missing), (std::vector<std::string>{
                                "name:", "message:file " + missing + " open error.\n", unsupported}));

    // A BMP of 7 bits per pixel, which the classic reader refuses without a
    // text: the dialog shows the reentrant reader's text.
    const std::string bmp8 = dir + "/seven.bmp";
    std::vector<std::uint8_t> bytes = vt::bmp24_bytes(vt::render_noise(8, 8, "blank"));
    ASSERT_GT(bytes.size(), 30u);
    bytes[28] = 7;
    ASSERT_TRUE(vt::write_bytes(bmp8, bytes));
    EXPECT_EQ(run(bmp8), (std::vector<std::string>{"name:",
                                                   "message:file " + bmp8 +
                                                       ": damaged or truncated BMP image, or a kind Vantor does "
                                                       "not read.\n",
                                                   unsupported}));

    const std::string tiny = dir + "/tiny.bmp";
    const std::uint8_t tiny_bytes[] = {'B', 'M'};
    ASSERT_TRUE(vt::write_bytes(tiny, tiny_bytes));
    EXPECT_EQ(run(tiny),
              (std::vector<std::string>{"name:", "message:file " + tiny + ": cut short after 2 bytes.\n", unsupported}));
}

TEST_F(DecodeFileTest, PictureWithoutSymbolShowsItsNameThenTheNoSymbolText) {
    const std::string path = dir + "/blank.bmp";
    ASSERT_TRUE(vt::write_bmp24(path, vt::render_noise(120, 90, "blank")));
    EXPECT_EQ(run(path), (std::vector<std::string>{"name:", "name:blank.bmp",
                                                   std::string("message:") + no_symbol_message}));
}

TEST_F(DecodeFileTest, SymbolShowsItsNameAndTextInEveryFormat) {
    const auto symbol = vt::make_symbol("HELLO VANTOR", 0, vt::Level::M, vt::Mode::alphanumeric);
    ASSERT_TRUE(symbol);
    const vt::Picture picture = vt::render(*symbol, {.module_px = 4.0});
    ASSERT_TRUE(vt::write_bmp24(dir + "/code.bmp", picture));
    ASSERT_TRUE(vt::write_bmp1(dir + "/code1.bmp", picture));
    ASSERT_TRUE(vt::write_jpeg(dir + "/code.jpg", picture, 95));
    ASSERT_TRUE(vt::write_gif(dir + "/code.gif", picture));
    for (const char *name : {"code.bmp", "code1.bmp", "code.jpg", "code.gif"}) {
        EXPECT_EQ(run(dir + "/" + name), (std::vector<std::string>{
                                             "name:", std::string("name:") + name,
                                             "text:HELLO VANTOR"}))
            << name;
    }
}

TEST_F(DecodeFileTest, KanjiTextIsShownAsKanji) {
    // 漢字 in Shift JIS, shown as UTF-8.
    const auto symbol = vt::make_symbol("\x8a\xbf\x8e\x9a", 0, vt::Level::M, vt::Mode::kanji);
    ASSERT_TRUE(symbol);
    const std::string path = dir + "/kanji.bmp";
    ASSERT_TRUE(vt::write_bmp24(path, vt::render(*symbol, {.module_px = 4.0})));
    EXPECT_EQ(run(path), (std::vector<std::string>{"name:", "name:kanji.bmp", "text:漢字"}));
}

TEST(DecodeFileName, IsWhatFollowsTheLastSeparator) {
    EXPECT_EQ(name_from_path("C:\\scans\\code.jpg"), "code.jpg");
    EXPECT_EQ(name_from_path("/tmp/x/code.jpg"), "code.jpg");
    EXPECT_EQ(name_from_path("/tmp\\mixed/a\\b.gif"), "b.gif");
    EXPECT_EQ(name_from_path("code.jpg"), "code.jpg");
    EXPECT_EQ(name_from_path(""), "");
    // A separator in the last place is not taken; the one before it is.
    EXPECT_EQ(name_from_path("C:\\scans\\"), "scans\\");
    EXPECT_EQ(name_from_path("/tmp/x/"), "x/");
    EXPECT_EQ(name_from_path("/"), "/");
    // Multi-byte names are kept whole.
    EXPECT_EQ(name_from_path("/写真/コード.jpg"), "コード.jpg");
}

TEST(DecodeFileCommandLine, TheFirstArgumentIsTheLine) {
    const char *none[] = {"vantor-gui"};
    EXPECT_EQ(command_line_from_arguments(1, none), "");
    const char *spaced[] = {"vantor-gui", "/scans/a b.jpg"};
    EXPECT_EQ(command_line_from_arguments(2, spaced), "/scans/a b.jpg");
    const char *several[] = {"vantor-gui", "/scans/a.jpg", "b.jpg"};
    EXPECT_EQ(command_line_from_arguments(3, several), "/scans/a.jpg");
}

TEST(DecodeFileCommandLine, QuotesAroundThePathAreRemoved) {
    EXPECT_FALSE(start_file_from_command_line(""));
    EXPECT_EQ(start_file_from_command_line("/scans/a b.jpg"), "/scans/a b.jpg");
    EXPECT_EQ(start_file_from_command_line("\"/scans/a b.jpg\""), "/scans/a b.jpg");
    // An opening quote takes the line's last character with it, whatever
    // that is.
    EXPECT_EQ(start_file_from_command_line("\"/scans/a b.jpg\" more"), "/scans/a b.jpg\" mor");
    EXPECT_EQ(start_file_from_command_line("\""), "");
    EXPECT_EQ(start_file_from_command_line("\"\""), "");
    // A quote elsewhere is part of the path.
    EXPECT_EQ(start_file_from_command_line("a\"b\""), "a\"b\"");
}

TEST(DecodeFileCommandLine, LongLinesAreKeptWhole) {
    const std::string path = "/" + std::string(300, 'd') + "/code.jpg";
    EXPECT_EQ(start_file_from_command_line(path), path);
    EXPECT_EQ(start_file_from_command_line("\"" + path + "\""), path);
}

TEST_F(DecodeFileTest, QuotedPathWithTrailingTextFailsToOpen) {
    const std::string path = dir + "/code.bmp";
    ASSERT_TRUE(vt::write_bmp24(path, vt::render_noise(20, 20, "blank")));
    const auto start = start_file_from_command_line("\"" + path + "\" extra");
    ASSERT_TRUE(start);
    EXPECT_EQ(run(*start), (std::vector<std::string>{
                               "name:", "message:file " + path + "\" extr open error.\n",
                               unsupported}));
}

} // namespace
