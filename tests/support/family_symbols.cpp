// Micro QR symbols from libqrencode and zint, rMQR symbols from zint, as
// module matrices.
#include "family_symbols.h"

#include <qrencode.h>
#include <zint.h>

#include <memory>
#include <string>

namespace vantor::testing {
namespace {

QRecLevel qrencode_level(Level level) {
    switch (level) {
    case Level::L: return QR_ECLEVEL_L;
    case Level::M: return QR_ECLEVEL_M;
    case Level::Q: return QR_ECLEVEL_Q;
    default: return QR_ECLEVEL_H;
    }
}

} // namespace

std::string random_text(std::mt19937 &rng, std::string_view alphabet, int n) {
    std::string s;
    for (int i = 0; i < n; ++i)
        s += alphabet[rng() % alphabet.size()];
    return s;
}

std::string random_kanji(std::mt19937 &rng, int n) {
    std::string s;
    for (int i = 0; i < n; ++i) {
        const bool high = rng() % 2;
        const int lead = high ? 0xE0 + static_cast<int>(rng() % 0x0B) : 0x89 + static_cast<int>(rng() % 0x17);
        int trail = 0x40 + static_cast<int>(rng() % 0xBC);
        if (trail == 0x7F)
            ++trail;
        s += static_cast<char>(lead);
        s += static_cast<char>(trail);
    }
    return s;
}

std::optional<Symbol> make_micro_qrencode(std::string_view text, int version, Level level, Mode mode) {
    const std::string s(text);
    std::unique_ptr<QRcode, decltype(&QRcode_free)> code(
        QRcode_encodeStringMQR(s.c_str(), version, qrencode_level(level), mode == Mode::kanji ? QR_MODE_KANJI : QR_MODE_8,
                               1),
        &QRcode_free);
    if (!code || code->version != version || code->width != 2 * version + 9)
        return std::nullopt;
    Symbol out;
    out.version = version;
    out.size = code->width;
    out.level = level;
    out.mask = -1;
    out.text = s;
    out.modules.resize(static_cast<std::size_t>(out.size) * static_cast<std::size_t>(out.size));
    for (std::size_t i = 0; i < out.modules.size(); ++i)
        out.modules[i] = code->data[i] & 1;
    return out;
}

std::optional<Symbol> make_micro_zint(std::string_view text, int version, Level level) {
    std::unique_ptr<zint_symbol, decltype(&ZBarcode_Delete)> sym(ZBarcode_Create(), &ZBarcode_Delete);
    if (!sym)
        return std::nullopt;
    sym->symbology = BARCODE_MICROQR;
    sym->input_mode = DATA_MODE;
    sym->option_1 = static_cast<int>(level) + 1;
    sym->option_2 = version;
    if (ZBarcode_Encode(sym.get(), reinterpret_cast<const unsigned char *>(text.data()),
                        static_cast<int>(text.size())) >= ZINT_ERROR)
        return std::nullopt;
    const int n = 2 * version + 9;
    if (sym->rows != n || sym->width != n)
        return std::nullopt;
    Symbol out;
    out.version = version;
    out.size = n;
    out.level = level;
    out.mask = -1;
    out.text = std::string(text);
    out.modules.resize(static_cast<std::size_t>(n) * static_cast<std::size_t>(n));
    for (int r = 0; r < n; ++r)
        for (int c = 0; c < n; ++c)
            out.modules[static_cast<std::size_t>(r) * n + c] = (sym->encoded_data[r][c >> 3] >> (c & 7)) & 1;
    return out;
}

std::optional<RmqrSymbol> make_rmqr_zint(std::string_view text, int version, char level, bool gs1, int eci) {
    std::unique_ptr<zint_symbol, decltype(&ZBarcode_Delete)> sym(ZBarcode_Create(), &ZBarcode_Delete);
    if (!sym || version < 1 || version > 32 || (level != 'M' && level != 'H'))
        return std::nullopt;
    sym->symbology = BARCODE_RMQR;
    sym->input_mode = gs1 ? GS1_MODE : DATA_MODE;
    sym->option_1 = level == 'H' ? 4 : 2;
    sym->option_2 = version;
    sym->eci = eci;
    if (ZBarcode_Encode(sym.get(), reinterpret_cast<const unsigned char *>(text.data()),
                        static_cast<int>(text.size())) >= ZINT_ERROR)
        return std::nullopt;
    RmqrSymbol out;
    out.version = version;
    out.level = level;
    out.text = std::string(text);
    out.matrix.width = sym->width;
    out.matrix.height = sym->rows;
    out.matrix.modules.resize(static_cast<std::size_t>(sym->width) * static_cast<std::size_t>(sym->rows));
    for (int r = 0; r < sym->rows; ++r)
        for (int c = 0; c < sym->width; ++c)
            out.matrix.modules[static_cast<std::size_t>(r) * static_cast<std::size_t>(sym->width) +
                               static_cast<std::size_t>(c)] = (sym->encoded_data[r][c >> 3] >> (c & 7)) & 1;
    return out;
}

Symbol as_symbol(const RmqrSymbol &symbol) {
    Symbol out;
    out.version = symbol.version;
    out.size = symbol.matrix.width;
    out.rows = symbol.matrix.height;
    out.level = symbol.level == 'H' ? Level::H : Level::M;
    out.mask = 0;
    out.modules = symbol.matrix.modules;
    out.text = symbol.text;
    return out;
}

} // namespace vantor::testing
