// Symbols with ECI, FNC1 and structured append, from libqrencode.
#include "qr_content.h"

#include <qrencode.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

// Stages of the encoder that its library exports but does not declare.
extern "C" {
void QRspec_getEccSpec(int version, QRecLevel level, int layout[5]);
unsigned char *QRspec_newFrame(int version);
int RSECC_encode(size_t data_length, size_t ecc_length, const unsigned char *data, unsigned char *ecc);
unsigned char *Mask_makeMask(int width, unsigned char *frame, int mask, QRecLevel level);
}

namespace vantor::testing {
namespace {

QRecLevel qr_level(Level level) {
    constexpr QRecLevel levels[] = {QR_ECLEVEL_L, QR_ECLEVEL_M, QR_ECLEVEL_Q, QR_ECLEVEL_H};
    return levels[static_cast<int>(level)];
}

QRencodeMode qr_mode(Mode mode) {
    constexpr QRencodeMode modes[] = {QR_MODE_NUM, QR_MODE_AN, QR_MODE_8, QR_MODE_KANJI};
    return modes[static_cast<int>(mode)];
}

// The encoder's matrix as a Symbol; the mask is not read back (-1).
Symbol from_code(const QRcode &code, Level level, std::string text) {
    Symbol s;
    s.version = code.version;
    s.size = code.width;
    s.level = level;
    s.mask = -1;
    s.text = std::move(text);
    const auto count = static_cast<std::size_t>(code.width) * static_cast<std::size_t>(code.width);
    s.modules.resize(count);
    for (std::size_t i = 0; i < count; ++i)
        s.modules[i] = code.data[i] & 1;
    return s;
}

using InputPtr = std::unique_ptr<QRinput, decltype(&QRinput_free)>;

bool append(QRinput *input, std::span<const Segment> segments, std::string &text) {
    for (const Segment &s : segments) {
        if (QRinput_append(input, qr_mode(s.mode), static_cast<int>(s.data.size()),
                           reinterpret_cast<const unsigned char *>(s.data.data())) != 0)
            return false;
        text += s.data;
    }
    return true;
}

} // namespace

std::optional<Symbol> make_eci_symbol(int eci, std::span<const Segment> segments, int version, Level level) {
    InputPtr input(QRinput_new2(version, qr_level(level)), QRinput_free);
    if (!input || eci < 0 || QRinput_appendECIheader(input.get(), static_cast<unsigned>(eci)) != 0)
        return std::nullopt;
    std::string text;
    if (!append(input.get(), segments, text))
        return std::nullopt;
    std::unique_ptr<QRcode, decltype(&QRcode_free)> code(QRcode_encodeInput(input.get()), QRcode_free);
    if (!code || (version != 0 && code->version != version))
        return std::nullopt;
    return from_code(*code, level, text);
}

BitWriter &BitWriter::put(unsigned value, int width) {
    for (int i = width - 1; i >= 0; --i)
        bits_.push_back(static_cast<unsigned char>((value >> i) & 1u));
    return *this;
}

BitWriter &BitWriter::bytes(std::string_view s) {
    for (unsigned char c : s)
        put(c, 8);
    return *this;
}

std::vector<std::uint8_t> BitWriter::codewords(std::size_t count) const {
    std::vector<std::uint8_t> out((bits_.size() + 7) / 8, 0);
    for (std::size_t i = 0; i < bits_.size(); ++i)
        out[i / 8] = static_cast<std::uint8_t>(out[i / 8] | bits_[i] << (7 - i % 8));
    for (bool second = false; out.size() < count; second = !second)
        out.push_back(second ? 0x11 : 0xEC);
    return out;
}

int data_codewords(int version, Level level) {
    if (version < 1 || version > 40)
        return 0;
    int layout[5];
    QRspec_getEccSpec(version, qr_level(level), layout);
    return layout[0] * layout[1] + layout[3] * layout[4];
}

std::optional<Symbol> symbol_from_codewords(std::span<const std::uint8_t> data, int version, Level level, int mask) {
    if (version < 1 || version > 40 || mask < 0 || mask > 7)
        return std::nullopt;
    int layout[5];
    QRspec_getEccSpec(version, qr_level(level), layout);
    const int blocks = layout[0] + layout[3], ecc = layout[2];
    std::vector<std::uint8_t> all(data.begin(), data.end());
    for (bool second = false; static_cast<int>(all.size()) < data_codewords(version, level); second = !second)
        all.push_back(second ? 0x11 : 0xEC);
    if (static_cast<int>(all.size()) != data_codewords(version, level))
        return std::nullopt;
    // Blocks, their check codewords, and the interleaved stream.
    std::vector<std::vector<std::uint8_t>> block_data, block_ecc;
    std::size_t at = 0;
    for (int b = 0; b < blocks; ++b) {
        const std::size_t n = static_cast<std::size_t>(b < layout[0] ? layout[1] : layout[4]);
        block_data.emplace_back(all.begin() + static_cast<std::ptrdiff_t>(at), all.begin() + static_cast<std::ptrdiff_t>(at + n));
        at += n;
        block_ecc.emplace_back(static_cast<std::size_t>(ecc));
        if (RSECC_encode(n, static_cast<std::size_t>(ecc), block_data.back().data(), block_ecc.back().data()) != 0)
            return std::nullopt;
    }
    std::vector<std::uint8_t> stream;
    for (std::size_t j = 0; j < static_cast<std::size_t>(std::max(layout[1], layout[4])); ++j)
        for (const auto &d : block_data)
            if (j < d.size())
                stream.push_back(d[j]);
    for (std::size_t j = 0; j < static_cast<std::size_t>(ecc); ++j)
        for (const auto &e : block_ecc)
            stream.push_back(e[j]);
    // The frame marks function modules with bit 7; the data modules are
    // filled in the zigzag from the lower right, two columns at a time.
    const std::unique_ptr<unsigned char, decltype(&std::free)> frame(QRspec_newFrame(version), std::free);
    if (!frame)
        return std::nullopt;
    const int n = 4 * version + 17;
    std::size_t bit = 0;
    bool up = true;
    for (int right = n - 1; right >= 1; right -= 2) {
        if (right == 6)
            right = 5;
        for (int i = 0; i < n; ++i) {
            const int row = up ? n - 1 - i : i;
            for (int col = right; col >= right - 1; --col) {
                unsigned char &m = frame.get()[static_cast<std::size_t>(row) * n + col];
                if (m & 0x80)
                    continue;
                const bool dark = bit < stream.size() * 8 && ((stream[bit / 8] >> (7 - bit % 8)) & 1);
                m = static_cast<unsigned char>(0x02 | dark);
                ++bit;
            }
        }
        up = !up;
    }
    return masked_frame(frame.get(), n, version, level, mask);
}

std::optional<Symbol> masked_frame(unsigned char *frame, int n, int version, Level level, int mask) {
    const std::unique_ptr<unsigned char, decltype(&std::free)> masked(Mask_makeMask(n, frame, mask, qr_level(level)),
                                                                      std::free);
    if (!masked)
        return std::nullopt;
    Symbol s;
    s.version = version;
    s.size = n;
    s.level = level;
    s.mask = mask;
    s.modules.resize(static_cast<std::size_t>(n) * n);
    for (std::size_t i = 0; i < s.modules.size(); ++i)
        s.modules[i] = masked.get()[i] & 1;
    return s;
}

std::vector<Symbol> make_structured_append(std::string_view text, int version, Level level) {
    std::vector<Symbol> out;
    InputPtr input(QRinput_new2(version, qr_level(level)), QRinput_free);
    if (!input || QRinput_append(input.get(), QR_MODE_8, static_cast<int>(text.size()),
                                 reinterpret_cast<const unsigned char *>(text.data())) != 0)
        return out;
    std::unique_ptr<QRinput_Struct, decltype(&QRinput_Struct_free)> parts(QRinput_splitQRinputToStruct(input.get()),
                                                                         QRinput_Struct_free);
    if (!parts)
        return out;
    std::unique_ptr<QRcode_List, decltype(&QRcode_List_free)> codes(QRcode_encodeInputStructured(parts.get()),
                                                                   QRcode_List_free);
    // Each part holds the next stretch of the text; the encoder splits it by
    // capacity, so a part's text is found by decoding, not here.
    for (QRcode_List *c = codes.get(); c; c = c->next) {
        if (!c->code)
            return {};
        out.push_back(from_code(*c->code, level, {}));
    }
    return out;
}

std::vector<Picture> render_last_first(std::span<const Symbol> symbols, const RenderOptions &options) {
    std::vector<Picture> out;
    for (auto it = symbols.rbegin(); it != symbols.rend(); ++it)
        out.push_back(render(*it, options));
    return out;
}

Picture side_by_side(std::span<const Picture> pictures) {
    Picture p;
    for (const Picture &q : pictures) {
        p.width += q.width;
        p.height = std::max(p.height, q.height);
    }
    p.pixels.assign(static_cast<std::size_t>(p.width) * static_cast<std::size_t>(p.height), 255);
    int left = 0;
    for (const Picture &q : pictures) {
        for (int y = 0; y < q.height; ++y)
            std::copy_n(q.pixels.begin() + static_cast<std::ptrdiff_t>(y) * q.width, q.width,
                        p.pixels.begin() + static_cast<std::ptrdiff_t>(y) * p.width + left);
        left += q.width;
    }
    return p;
}

} // namespace vantor::testing
