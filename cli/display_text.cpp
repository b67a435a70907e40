#include "display_text.h"

#include <iconv.h>

#include <cerrno>
#include <vector>

namespace vantor {

std::size_t utf8_sequence_length(std::string_view s, std::size_t i) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x80)
        return 1;
    std::size_t extra;
    char32_t cp;
    if ((c & 0xE0) == 0xC0) {
        extra = 1;
        cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
        extra = 2;
        cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
        extra = 3;
        cp = c & 0x07;
    } else {
        return 0;
    }
    if (s.size() - i <= extra)
        return 0;
    for (std::size_t k = 1; k <= extra; ++k) {
        const unsigned char cc = static_cast<unsigned char>(s[i + k]);
        if ((cc & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (cc & 0x3F);
    }
    static constexpr char32_t least[4] = {0, 0x80, 0x800, 0x10000};
    if (cp < least[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return extra + 1;
}

namespace {

bool is_valid_utf8(std::string_view s) {
    for (std::size_t i = 0, n; i < s.size(); i += n)
        if ((n = utf8_sequence_length(s, i)) == 0)
            return false;
    return true;
}

bool convert(const char *from, std::string_view in, std::string &out) {
    iconv_t cd = iconv_open("UTF-8", from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return false;
    std::vector<char> buffer(in.size() * 4 + 16);
    char *src = const_cast<char *>(in.data());
    std::size_t src_left = in.size();
    char *dst = buffer.data();
    std::size_t dst_left = buffer.size();
    std::size_t r = iconv(cd, &src, &src_left, &dst, &dst_left);
    iconv_close(cd);
    if (r == static_cast<std::size_t>(-1) || src_left != 0)
        return false;
    out.assign(buffer.data(), buffer.size() - dst_left);
    return true;
}

std::string latin1_to_utf8(std::string_view in) {
    std::string out;
    out.reserve(in.size() * 2);
    for (char ch : in) {
        unsigned char c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

} // namespace

std::string text_for_display(std::string_view bytes) {
    if (is_valid_utf8(bytes))
        return std::string(bytes);
    std::string out;
    if (convert("CP932", bytes, out) || convert("SHIFT_JIS", bytes, out))
        return out;
    return latin1_to_utf8(bytes);
}

} // namespace vantor
