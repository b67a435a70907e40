// BMP files of every layout the reader knows, and Netpbm files, written
// byte by byte.
#include "format_files.h"

#include <string>

namespace vantor::testing {

namespace {

void put16(Bytes &out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void put32(Bytes &out, std::uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

// The colour table index of a grey: 1 bit thresholded, 4 bits quantised to
// 16 levels, 8 bits the grey itself, with run-length coding reversed so
// that white is entry 0, the entry that skipped pixels take.
unsigned table_index(std::uint8_t v, const BmpOptions &o) {
    unsigned index = o.bits == 1 ? (v >= 128) == o.zero_is_black : o.bits == 4 ? (v + 8) / 17 : v;
    if (o.compression == 1 || o.compression == 2)
        index = (1u << o.bits) - 1 - index;
    return index;
}

std::uint8_t table_grey(unsigned index, const BmpOptions &o) {
    if (o.compression == 1 || o.compression == 2)
        index = (1u << o.bits) - 1 - index;
    if (o.bits == 1)
        return (index == 1) == o.zero_is_black ? 255 : 0;
    return static_cast<std::uint8_t>(o.bits == 4 ? index * 17 : index);
}

// A pixel value of a 16- or 32-bit layout: each channel's mask filled with
// the grey at the mask's width.
std::uint32_t direct_pixel(std::uint8_t v, const std::array<std::uint32_t, 3> &masks) {
    std::uint32_t pixel = 0;
    for (std::uint32_t mask : masks) {
        int shift = 0;
        while (!(mask >> shift & 1))
            ++shift;
        const std::uint32_t max = mask >> shift;
        pixel |= static_cast<std::uint32_t>((std::uint64_t{v} * max + 127) / 255) << shift;
    }
    return pixel;
}

// One row run-length coded: runs of equal indices, literal stretches of
// three or more, and white (entry 0) stretches skipped with a jump or, at
// the end of the row, with the end-of-row code.
void rle_row(Bytes &out, const std::vector<unsigned> &row, bool four) {
    const std::size_t n = row.size();
    std::size_t x = 0;
    while (x < n) {
        std::size_t white = 0;
        while (x + white < n && row[x + white] == 0)
            ++white;
        if (x + white == n)
            break; // the rest is skipped by the end of the row
        if (white >= 8) {
            const std::size_t dx = std::min<std::size_t>(white, 255);
            out.insert(out.end(), {0, 2, static_cast<std::uint8_t>(dx), 0});
            x += dx;
            continue;
        }
        std::size_t run = 1;
        while (x + run < n && run < 255 && row[x + run] == row[x])
            ++run;
        if (run >= 2) {
            const unsigned v = row[x];
            out.push_back(static_cast<std::uint8_t>(run));
            out.push_back(static_cast<std::uint8_t>(four ? v << 4 | v : v));
            x += run;
            continue;
        }
        std::size_t literal = 1;
        while (x + literal < n && literal < 255 && (x + literal + 1 >= n || row[x + literal] != row[x + literal + 1]))
            ++literal;
        if (literal < 3) {
            const unsigned v = row[x];
            out.push_back(1);
            out.push_back(static_cast<std::uint8_t>(four ? v << 4 : v));
            ++x;
            continue;
        }
        out.push_back(0);
        out.push_back(static_cast<std::uint8_t>(literal));
        std::size_t bytes = 0;
        for (std::size_t k = 0; k < literal; k += four ? 2 : 1, ++bytes) {
            const unsigned hi = row[x + k];
            const unsigned lo = four && k + 1 < literal ? row[x + k + 1] : 0;
            out.push_back(static_cast<std::uint8_t>(four ? hi << 4 | lo : hi));
        }
        if (bytes % 2)
            out.push_back(0);
        x += literal;
    }
    out.insert(out.end(), {0, 0});
}

} // namespace

Bytes bmp_bytes(const Picture &p, const BmpOptions &o) {
    if (p.width < 1 || p.height < 1)
        return {};
    const bool core = o.header_size == 12;
    const bool table = o.bits <= 8;
    const int entries = table ? 1 << o.bits : 0;
    const int colour_bytes = core ? 3 : 4;
    const bool masks_behind = o.compression == 3 && o.header_size == 40;
    std::array<std::uint32_t, 3> masks = o.masks;
    if (o.compression != 3)
        masks = o.bits == 16 ? std::array<std::uint32_t, 3>{0x7C00, 0x03E0, 0x001F}
                             : std::array<std::uint32_t, 3>{0xFF0000, 0x00FF00, 0x0000FF};

    // Pixel data first, to know its size.
    Bytes data;
    const bool rle = o.compression == 1 || o.compression == 2;
    const std::size_t row_bytes = (static_cast<std::size_t>(p.width) * o.bits + 31) / 32 * 4;
    for (int i = 0; i < p.height; ++i) {
        const int y = o.top_down ? i : p.height - 1 - i;
        if (rle) {
            std::vector<unsigned> row;
            for (int x = 0; x < p.width; ++x)
                row.push_back(table_index(p.at(x, y), o));
            rle_row(data, row, o.compression == 2);
            continue;
        }
        Bytes row(row_bytes, 0);
        for (int x = 0; x < p.width; ++x) {
            const std::uint8_t v = p.at(x, y);
            if (table) {
                const int bit = x * o.bits;
                row[bit / 8] |= static_cast<std::uint8_t>(table_index(v, o) << (8 - o.bits - bit % 8));
            } else if (o.bits == 24) {
                row[3 * x] = row[3 * x + 1] = row[3 * x + 2] = v;
            } else {
                const std::uint32_t pixel = direct_pixel(v, masks);
                for (int k = 0; k < o.bits / 8; ++k)
                    row[x * (o.bits / 8) + k] = static_cast<std::uint8_t>(pixel >> (8 * k));
            }
        }
        data.insert(data.end(), row.begin(), row.end());
    }
    if (rle)
        data.insert(data.end(), {0, 1});

    const std::uint32_t offset =
        14 + o.header_size + (masks_behind ? 12 : 0) + static_cast<std::uint32_t>(entries * colour_bytes);
    Bytes out{'B', 'M'};
    put32(out, offset + static_cast<std::uint32_t>(data.size()));
    put32(out, 0);
    put32(out, offset);
    put32(out, static_cast<std::uint32_t>(o.header_size));
    const std::int32_t height = o.top_down ? -p.height : p.height;
    if (core) {
        put16(out, static_cast<std::uint32_t>(p.width));
        put16(out, static_cast<std::uint32_t>(p.height));
        put16(out, 1);
        put16(out, static_cast<std::uint32_t>(o.bits));
    } else {
        // The fields of the 40-byte header, then the masks and the rest of
        // the longer headers (colour space, end points, gamma, intent,
        // profile: zero), as far as the header size reaches.
        Bytes fields;
        put32(fields, static_cast<std::uint32_t>(p.width));
        put32(fields, static_cast<std::uint32_t>(height));
        put16(fields, 1);
        put16(fields, static_cast<std::uint32_t>(o.bits));
        put32(fields, static_cast<std::uint32_t>(o.compression));
        put32(fields, static_cast<std::uint32_t>(data.size()));
        put32(fields, 2835);
        put32(fields, 2835);
        put32(fields, table ? static_cast<std::uint32_t>(entries) : 0);
        put32(fields, 0);
        for (std::uint32_t m : masks)
            put32(fields, o.compression == 3 ? m : 0);
        fields.resize(static_cast<std::size_t>(o.header_size - 4), 0);
        out.insert(out.end(), fields.begin(), fields.end());
    }
    if (masks_behind)
        for (std::uint32_t m : masks)
            put32(out, m);
    for (int i = 0; i < entries; ++i) {
        const std::uint8_t g = table_grey(static_cast<unsigned>(i), o);
        out.insert(out.end(), {g, g, g});
        if (!core)
            out.push_back(0);
    }
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

Bytes pnm_bytes(const Picture &p, int kind, int max_value) {
    if (p.width < 1 || p.height < 1 || kind < 1 || kind > 6 || max_value < 1 || max_value > 65535)
        return {};
    const bool bitmap = kind == 1 || kind == 4;
    const bool raw = kind >= 4;
    const int channels = kind == 3 || kind == 6 ? 3 : 1;
    std::string header = "P" + std::to_string(kind) + "\n# a test picture\n" + std::to_string(p.width) + " #width\n" +
                         std::to_string(p.height) + "\n";
    if (!bitmap)
        header += "# greys\n" + std::to_string(max_value) + "\n";
    Bytes out(header.begin(), header.end());
    std::string text;
    for (int y = 0; y < p.height; ++y) {
        Bytes packed((static_cast<std::size_t>(p.width) + 7) / 8, 0);
        for (int x = 0; x < p.width; ++x) {
            const std::uint8_t v = p.at(x, y);
            if (bitmap) {
                const unsigned black = v < 128;
                if (raw)
                    packed[x / 8] |= static_cast<std::uint8_t>(black << (7 - x % 8));
                else
                    text += black ? '1' : '0'; // plain PBM needs no separators
                continue;
            }
            const unsigned sample = (v * static_cast<unsigned>(max_value) + 127) / 255;
            for (int c = 0; c < channels; ++c) {
                if (!raw)
                    text += std::to_string(sample) + (x % 8 == 7 ? "\n" : " ");
                else if (max_value > 255)
                    out.insert(out.end(), {static_cast<std::uint8_t>(sample >> 8), static_cast<std::uint8_t>(sample)});
                else
                    out.push_back(static_cast<std::uint8_t>(sample));
            }
        }
        if (bitmap && raw)
            out.insert(out.end(), packed.begin(), packed.end());
        if (!raw)
            text += '\n';
    }
    out.insert(out.end(), text.begin(), text.end());
    return out;
}

} // namespace vantor::testing
