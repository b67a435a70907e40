// Test symbols of the other QR kinds, written by independent encoders:
// Micro QR by libqrencode and by zint, rMQR by zint.
#pragma once

#include <optional>
#include <random>
#include <string>
#include <string_view>

#include "qr_symbols.h"
#include "1_base/module_matrix.h"

namespace vantor::testing {

// Alphabets of the character modes, and random contents from them.
inline const std::string digit_chars = "0123456789";
inline const std::string alnum_chars = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ $%*+-./:";
std::string random_text(std::mt19937 &rng, std::string_view alphabet, int n);
// n Shift JIS kanji pairs from both ranges.
std::string random_kanji(std::mt19937 &rng, int n);

// A Micro QR symbol M1..M4 (version 1..4) from libqrencode. Byte and
// numeric/alphanumeric text is split into modes by the encoder; Mode::kanji
// takes Shift JIS pairs. `mask` is -1: libqrencode does not report it. Empty
// when the text does not fit or the level does not exist for the version.
std::optional<Symbol> make_micro_qrencode(std::string_view text, int version, Level level, Mode mode);

// The same from zint, the bytes taken as they are; zint picks its own modes
// and may raise the level where the data leaves room.
std::optional<Symbol> make_micro_zint(std::string_view text, int version, Level level);

// An rMQR symbol and the bytes it carries.
struct RmqrSymbol {
    int version = 0; // size number + 1: 1..32 for R7x43 .. R17x139
    char level = 'M';
    ModuleMatrix matrix;
    std::string text;
};

// An rMQR symbol of that size and level ('M' or 'H') from zint, the bytes
// taken as they are in the modes zint picks; `gs1` writes the text as GS1
// data (FNC1 in first position); `eci` above 0 declares that ECI for the
// bytes. Empty when the text does not fit.
std::optional<RmqrSymbol> make_rmqr_zint(std::string_view text, int version, char level, bool gs1 = false,
                                         int eci = 0);

// The rMQR symbol as a rectangular Symbol, for rendering.
Symbol as_symbol(const RmqrSymbol &symbol);

} // namespace vantor::testing
