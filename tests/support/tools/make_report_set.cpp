// Writes pictures of everything a report tells into the directory it is
// given: every QR kind, ECI, FNC1, structured-append sets whole and in part,
// awkward bytes, several symbols of different kinds, a file of several
// pages, files that do not read, and pictures without a symbol. For
// comparing two builds' --json and --explain output:
//   make_report_set DIR && vantor --json --all --explain DIR/*
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "family_symbols.h"
#include "format_files.h"
#include "model1_symbols.h"
#include "qr_content.h"
#include "qr_symbols.h"

using namespace vantor::testing;

namespace {

bool failed = false;
std::string folder;

void save(const std::string &name, const Picture &picture) {
    if (picture.width == 0 || !write_bmp24(folder + "/" + name, picture)) {
        std::fprintf(stderr, "make_report_set: cannot write %s\n", name.c_str());
        failed = true;
    }
}

void save(const std::string &name, const std::optional<Symbol> &symbol, const RenderOptions &options = {}) {
    if (!symbol) {
        std::fprintf(stderr, "make_report_set: cannot encode %s\n", name.c_str());
        failed = true;
        return;
    }
    save(name, render(*symbol, options));
}

void save_bytes(const std::string &name, const Bytes &bytes) {
    if (bytes.empty() || !write_bytes(folder + "/" + name, bytes)) {
        std::fprintf(stderr, "make_report_set: cannot write %s\n", name.c_str());
        failed = true;
    }
}

std::optional<Symbol> rmqr(std::string_view text, int version, char level, bool gs1 = false, int eci = 0) {
    const auto s = make_rmqr_zint(text, version, level, gs1, eci);
    return s ? std::optional<Symbol>(as_symbol(*s)) : std::nullopt;
}

// A symbol whose stream starts with an FNC1 mode indicator (0101 first
// position, 1001 second with its application indicator), then one byte
// segment.
std::optional<Symbol> fnc1_symbol(int position, int application, std::string_view data) {
    BitWriter w;
    if (position == 1)
        w.put(0x5, 4);
    else
        w.put(0x9, 4).put(static_cast<unsigned>(application), 8);
    w.put(0x4, 4).put(static_cast<unsigned>(data.size()), 8).bytes(data).put(0, 4);
    return symbol_from_codewords(w.codewords(data_codewords(3, Level::M)), 3, Level::M, 2);
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_report_set DIR\n");
        return 64;
    }
    folder = argv[1];
    std::filesystem::create_directories(folder);

    save("model2.bmp", make_symbol("PLAIN MODEL 2", 2, Level::Q, Mode::alphanumeric));
    save("kanji.bmp", make_symbol("\x93\xfa\x96\x7b\x8c\xea", 1, Level::M, Mode::kanji));
    save("awkward-bytes.bmp",
         make_symbol(std::string("say \"hi\"\\ tab\t nul\0 bad \xff\xfe end", 30), 0, Level::L, Mode::byte));
    save("turned.bmp", make_symbol("TURNED 33 DEGREES", 3, Level::M, Mode::alphanumeric),
         RenderOptions{.module_px = 5.3, .rotation_deg = 33});
    save("mirrored.bmp", make_symbol("MIRRORED", 2, Level::H, Mode::alphanumeric), RenderOptions{.mirror = true});
    save("inverted.bmp", make_symbol("INVERTED", 2, Level::M, Mode::alphanumeric),
         RenderOptions{.dark = 255, .light = 0});
    const Segment latin[] = {{Mode::byte, "caf\xe9 cr\xe8me"}};
    save("eci.bmp", make_eci_symbol(3, latin, 0, Level::M));
    save("gs1.bmp", fnc1_symbol(1, 0, "0109501101530003"));
    save("fnc1-second.bmp", fnc1_symbol(2, 37, "AB-1234"));

    save("micro-m2.bmp", make_micro_zint("MQR 2", 2, Level::L), RenderOptions{.module_px = 6});
    save("micro-m4.bmp", make_micro_zint("MICRO QR M4 SYMBOL", 4, Level::M), RenderOptions{.module_px = 6});
    save("rmqr.bmp", rmqr("RMQR 12345", 5, 'M'), RenderOptions{.module_px = 6});
    save("rmqr-gs1.bmp", rmqr("[01]09501101530003", 10, 'M', true), RenderOptions{.module_px = 6});
    save("rmqr-eci.bmp", rmqr("\xe9t\xe9", 8, 'M', false, 3), RenderOptions{.module_px = 6});
    save("model1.bmp", make_model1("OLD LABEL 7", 7, Level::Q, Mode::alphanumeric, 3));
    save("model1-v2.bmp", make_model1("MODEL ONE", 2, Level::L, Mode::alphanumeric, 5));

    // A set of three whole, and the same set without its second symbol.
    const std::vector<Symbol> set = make_structured_append("ONE MESSAGE OVER THREE SYMBOLS OF A SET", 1, Level::L);
    if (set.size() < 2) {
        std::fprintf(stderr, "make_report_set: cannot encode the structured-append set\n");
        return 1;
    }
    const std::vector<Picture> shown = render_last_first(set, {});
    save("sa-whole.bmp", side_by_side(shown));
    const Picture without_one[] = {shown.front(), shown.back()};
    save("sa-part.bmp", side_by_side(without_one));

    // Different kinds side by side.
    const auto model2 = make_symbol("BESIDE", 1, Level::M, Mode::alphanumeric);
    const auto micro = make_micro_zint("NEXT", 2, Level::L);
    if (model2 && micro) {
        const Picture both[] = {render(*model2), render(*micro, RenderOptions{.module_px = 6})};
        save("two-kinds.bmp", side_by_side(both));
    }

    // A symbol on the second of three pages.
    save_bytes("pages.tif", tiff_bytes(render(*make_symbol("PAGE TWO", 1, Level::M, Mode::alphanumeric)),
                                       TiffOptions{.pages_before = 1, .pages_after = 1}));
    save("blank.bmp", render_noise(120, 90, "blank"));
    save("scene.bmp", render_noise(320, 240, "scene"));
    Bytes truncated = png_bytes(render(*make_symbol("CUT SHORT", 1, Level::M, Mode::alphanumeric)));
    truncated.resize(truncated.size() / 2);
    save_bytes("truncated.png", truncated);
    const std::string note = "not a picture\n";
    save_bytes("notes.txt", Bytes(note.begin(), note.end()));
    return failed ? 1 : 0;
}
