#include "display_text.h"

#include <iconv.h>

#include <cerrno>
#include <vector>

namespace vantor {

namespace {

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
    std::string out;
    // iconv refuses malformed UTF-8: stray continuations, overlong forms,
    // surrogates and code points past U+10FFFF.
    if (convert("UTF-8", bytes, out))
        return std::string(bytes);
    if (convert("CP932", bytes, out) || convert("SHIFT_JIS", bytes, out))
        return out;
    return latin1_to_utf8(bytes);
}

} // namespace vantor
