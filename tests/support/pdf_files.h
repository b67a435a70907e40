// PDF documents for the tests, written here: pages with symbols drawn as
// rectangles from a symbol's matrix, or placed as grey raster scans, and the
// damaged and hostile forms the reader must refuse.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "qr_symbols.h"

namespace vantor::testing {

// A symbol drawn module by module as filled rectangles.
struct PdfVectorSymbol {
    Symbol symbol;
    double x = 72, y = 72;   // bottom-left corner of the symbol, in points
    double module_pt = 3.0;  // a module's side, in points
};

// A grey picture placed on the page at `dpi`.
struct PdfRaster {
    Picture picture;
    double x = 36, y = 36; // bottom-left corner, in points
    double dpi = 300;
};

struct PdfPage {
    double width_pt = 595, height_pt = 842; // A4
    int rotate = 0;                          // /Rotate: 0, 90, 180 or 270
    std::vector<PdfVectorSymbol> symbols;
    std::vector<PdfRaster> rasters;
    std::string extra_content; // appended to the page's drawing operators
};

struct PdfOptions {
    bool encrypted = false;         // an /Encrypt dictionary whose password is not empty
    bool deflate_content = false;   // content streams /FlateDecode
};

std::vector<std::uint8_t> pdf_bytes(const std::vector<PdfPage> &pages, const PdfOptions &options = {});

// A one-page document whose content stream inflates from a few hundred
// kilobytes to `inflated_mb` megabytes of blanks.
std::vector<std::uint8_t> pdf_content_bomb_bytes(int inflated_mb);

} // namespace vantor::testing
