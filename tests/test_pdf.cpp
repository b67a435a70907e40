// PDF documents through the command-line reader and the image interface:
// vector and raster symbols on several pages, turned pages, --dpi, the page
// limit, and damaged, encrypted and inflating documents.
#include <gtest/gtest.h>

#ifdef VANTOR_WITH_PDF

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "command_run.h"
#include "json_value.h"
#include <optional>
#include "pdf_files.h"
#include "qr_symbols.h"
#include <vantor/vantor.hpp>

namespace fs = std::filesystem;
namespace vt = vantor::testing;

namespace {

const std::string cli = VANTOR_CLI;

vt::CommandRun run(const std::string &args) { return vt::run_command(cli + " " + args); }

vt::Symbol symbol(const std::string &text, int version = 0) {
    auto s = vt::make_symbol(text, version, vt::Level::M, vt::Mode::byte);
    EXPECT_TRUE(s.has_value()) << text;
    return s ? *s : vt::Symbol{};
}

vt::PdfPage vector_page(const std::string &text, double module_pt = 2.0, int rotate = 0) {
    vt::PdfPage page;
    page.rotate = rotate;
    page.symbols.push_back({symbol(text), 100, 400, module_pt});
    return page;
}

class Pdf : public ::testing::Test {
protected:
    std::string dir = vt::temp_dir("pdf");
    std::string write(const std::string &name, const std::vector<std::uint8_t> &bytes) {
        const std::string path = dir + "/" + name;
        EXPECT_TRUE(vt::write_bytes(path, bytes));
        return path;
    }
};

TEST_F(Pdf, EveryPageWithAllTheFirstSymbolWithout) {
    const std::string path =
        write("three.pdf", vt::pdf_bytes({vt::PdfPage{}, vector_page("second page"), vector_page("third page")}));
    vt::CommandRun all = run("--all " + path);
    EXPECT_EQ(all.status, 1) << all.err; // page 1 holds no symbol
    EXPECT_EQ(all.out, path + " (page 2): second page\n" + path + " (page 3): third page\n");
    EXPECT_NE(all.err.find(path + " (page 1)"), std::string::npos) << all.err;

    // Without --all: the first symbol of the first page that has one, its
    // page named as a multi-page TIFF file's is.
    vt::CommandRun first = run(path);
    EXPECT_EQ(first.status, 0) << first.err;
    EXPECT_EQ(first.out, path + " (page 2): second page\n");
    vt::CommandRun two = run(path + " " + path);
    EXPECT_EQ(two.out, path + " (page 2): second page\n" + path + " (page 2): second page\n");

    std::vector<int> pages;
    for (const vt::Json &row : vt::json_lines(run("--json --all " + path).out)) {
        ASSERT_TRUE(row.get("page") && row.get("decoded"));
        pages.push_back(static_cast<int>(row.get("page")->n));
        EXPECT_EQ(row.get("decoded")->b, pages.back() != 1);
    }
    EXPECT_EQ(pages, (std::vector<int>{1, 2, 3}));

    const std::string blank = write("blank.pdf", vt::pdf_bytes({vt::PdfPage{}, vt::PdfPage{}}));
    EXPECT_EQ(run(blank).status, 1);
}

TEST_F(Pdf, RasterScansAndTurnedPagesRead) {
    for (double dpi : {150.0, 300.0, 600.0}) {
        vt::RenderOptions render;
        render.module_px = dpi / 75; // a third of a millimetre a module
        render.rotation_deg = dpi == 300 ? 20 : 0;
        render.blur_sigma = 0.6;
        vt::PdfPage page;
        page.rasters.push_back({vt::render(symbol("scan at " + std::to_string(int(dpi)), 4), render), 150, 300, dpi});
        const std::string path = write("scan.pdf", vt::pdf_bytes({page}));
        vt::CommandRun r = run(path);
        EXPECT_EQ(r.out, "scan at " + std::to_string(int(dpi)) + "\n") << dpi << r.err;
    }
    std::vector<vt::PdfPage> turned;
    for (int rotate : {90, 180, 270})
        turned.push_back(vector_page("turned " + std::to_string(rotate), 2.0, rotate));
    const std::string path = write("turned.pdf", vt::pdf_bytes(turned, {.deflate_content = true}));
    EXPECT_EQ(run("--all " + path).out,
              path + " (page 1): turned 90\n" + path + " (page 2): turned 180\n" + path + " (page 3): turned 270\n");

    // A turned page renders turned: its sides swap.
    vantor::Image image = vantor::Image::read(path, 0, 72);
    EXPECT_EQ(image.width(), 842);
    EXPECT_EQ(image.height(), 595);
    EXPECT_EQ(image.page_count(), 3);
    EXPECT_EQ(image.format(), "PDF");
}

TEST_F(Pdf, DpiSetsTheRenderAndThePixelLimitHolds) {
    const std::string path = write("small.pdf", vt::pdf_bytes({vector_page("module of half a point", 0.5)}));
    EXPECT_EQ(vantor::Image::read(path, 0, 144).width(), 1190);
    // Half-point modules: 2 pixels at the default, under a pixel at 72 dpi.
    EXPECT_EQ(run(path).out, "module of half a point\n");
    EXPECT_EQ(run("--dpi 72 " + path).status, 1);
    EXPECT_EQ(run("--dpi 5 " + path).status, 64);
    EXPECT_EQ(run("--dpi=abc " + path).status, 64);

    // A4 at 4800 dpi is 39685 x 56134 pixels: refused before rendering.
    vt::CommandRun big = run("--dpi 4800 " + path);
    EXPECT_EQ(big.status, 2);
    EXPECT_NE(big.err.find(path + ": damaged, truncated or too large: page 1 at 4800 dpi would be"),
              std::string::npos)
        << big.err;
    vt::PdfPage huge;
    huge.width_pt = huge.height_pt = 1e9;
    vt::CommandRun absurd = run(write("huge.pdf", vt::pdf_bytes({huge})));
    EXPECT_EQ(absurd.status, 2);
    EXPECT_NE(absurd.err.find("more than Vantor reads"), std::string::npos) << absurd.err;

    EXPECT_THROW(vantor::Image::read(path, 1), vantor::ReadError);
    try {
        vantor::Image::read(path, 1);
    } catch (const vantor::ReadError &e) {
        EXPECT_EQ(e.status(), VANTOR_READ_INVALID_ARGUMENT);
        EXPECT_NE(e.reader_message().find("has no page 2: it holds 1"), std::string::npos);
    }
}

TEST_F(Pdf, DamagedEncryptedAndInflatingDocumentsFailCleanly) {
    const std::vector<std::uint8_t> whole = vt::pdf_bytes({vector_page("cut"), vector_page("cut two")});
    // Cut anywhere: a clear refusal (status 2) or, where Poppler rebuilds
    // what is left, a read; never a crash.
    for (std::size_t length : {5ul, 20ul, 200ul, whole.size() / 2, whole.size() - 40, whole.size() - 5}) {
        const std::string path = write("cut.pdf", {whole.begin(), whole.begin() + long(length)});
        vt::CommandRun r = run("--all " + path);
        EXPECT_TRUE(r.status == 0 || r.status == 1 || r.status == 2) << length << r.err;
        if (r.status == 2) {
            EXPECT_NE(r.err.find("vantor: " + path), std::string::npos) << r.err;
        }
    }
    std::vector<std::uint8_t> garbage = {'%', 'P', 'D', 'F', '-', '1', '.', '4', '\n'};
    garbage.insert(garbage.end(), 3000, 0x80);
    vt::CommandRun g = run(write("garbage.pdf", garbage));
    EXPECT_EQ(g.status, 2);
    EXPECT_NE(g.err.find("garbage.pdf: damaged, truncated or too large: damaged or truncated PDF document"),
              std::string::npos)
        << g.err;

    const std::string locked = write("locked.pdf", vt::pdf_bytes({vector_page("secret")}, {.encrypted = true}));
    vt::CommandRun e = run("--json " + locked);
    EXPECT_EQ(e.status, 2);
    const std::optional<vt::Json> row = vt::parse(e.out.substr(0, e.out.find('\n')));
    ASSERT_TRUE(row && row->get("cause") && row->get("message")) << e.out;
    EXPECT_EQ(row->get("cause")->s, "damaged");
    EXPECT_NE(row->get("message")->s.find("encrypted with a password"), std::string::npos) << e.out;

    // 400 MB of blanks behind 400 kB: streamed, read in bounded memory.
    const auto start = std::chrono::steady_clock::now();
    vt::CommandRun bomb = run(write("bomb.pdf", vt::pdf_content_bomb_bytes(400)));
    EXPECT_EQ(bomb.status, 1) << bomb.err;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(120));
}

TEST_F(Pdf, FoldersReadDocumentsAndTheClassicRouteRefusesThem) {
    const std::string folder = dir + "/folder";
    fs::create_directories(folder);
    vt::write_bytes(folder + "/a.pdf", vt::pdf_bytes({vector_page("in a folder")}));
    vt::write_bytes(folder + "/notes.txt", std::vector<std::uint8_t>{'h', 'i', '\n'});
    vt::CommandRun r = run(folder);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, folder + "/a.pdf: in a folder\n");
    vt::CommandRun classic = run("--compat " + folder + "/a.pdf");
    EXPECT_EQ(classic.status, 2);
    EXPECT_EQ(classic.out, "");
}

} // namespace

#endif
