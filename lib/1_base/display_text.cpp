#include "display_text.h"

#include <iconv.h>

#include <algorithm>

#include "bitstream.h"

namespace vantor {
namespace {

std::string latin1_to_utf8(std::string_view in) {
    std::string out;
    out.reserve(in.size() * 2);
    for (char ch : in) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c < 0x80)
            out += ch;
        else
            out += {static_cast<char>(0xC0 | (c >> 6)), static_cast<char>(0x80 | (c & 0x3F))};
    }
    return out;
}

// The iconv name of the character set an ECI designates; null for binary
// data and designators without a character set.
const char *eci_charset(int eci) {
    struct Entry {
        int eci;
        const char *name;
    };
    // The assignments of the ECI register that name a character set.
    static constexpr Entry table[] = {
        {0, "CP437"},       {1, "ISO-8859-1"},  {2, "CP437"},       {3, "ISO-8859-1"},   {4, "ISO-8859-2"},
        {5, "ISO-8859-3"},  {6, "ISO-8859-4"},  {7, "ISO-8859-5"},  {8, "ISO-8859-6"},   {9, "ISO-8859-7"},
        {10, "ISO-8859-8"}, {11, "ISO-8859-9"}, {12, "ISO-8859-10"}, {13, "ISO-8859-11"}, {15, "ISO-8859-13"},
        {16, "ISO-8859-14"}, {17, "ISO-8859-15"}, {18, "ISO-8859-16"}, {20, "SHIFT_JIS"}, {21, "CP1250"},
        {22, "CP1251"},     {23, "CP1252"},     {24, "CP1256"},     {25, "UTF-16BE"},    {26, "UTF-8"},
        {27, "US-ASCII"},   {28, "BIG5"},       {29, "GB18030"},    {30, "EUC-KR"},      {170, "US-ASCII"},
    };
    for (const Entry &e : table)
        if (e.eci == eci)
            return e.name;
    return nullptr;
}

} // namespace

bool append_utf8(const char *from, std::string_view bytes, std::string &out) {
    iconv_t cd = iconv_open("UTF-8", from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return false;
    // No character set here takes more than three UTF-8 bytes per byte.
    std::string buffer(bytes.size() * 4 + 16, '\0');
    char *src = const_cast<char *>(bytes.data());
    std::size_t src_left = bytes.size();
    char *dst = buffer.data();
    std::size_t dst_left = buffer.size();
    const std::size_t r = iconv(cd, &src, &src_left, &dst, &dst_left);
    iconv_close(cd);
    if (r == static_cast<std::size_t>(-1) || src_left != 0)
        return false;
    out.append(buffer.data(), buffer.size() - dst_left);
    return true;
}

std::string text_for_display(std::string_view bytes) {
    std::string out;
    // iconv refuses malformed UTF-8: stray continuations, overlong forms,
    // surrogates and code points past U+10FFFF.
    if (append_utf8("UTF-8", bytes, out))
        return std::string(bytes);
    if (append_utf8("CP932", bytes, out) || append_utf8("SHIFT_JIS", bytes, out))
        return out;
    return latin1_to_utf8(bytes);
}

std::string eci_text(const Content &content) {
    const bool gb2312 =
        std::any_of(content.runs.begin(), content.runs.end(), [](const EciRun &r) { return r.eci == gb2312_run; });
    if (content.facts.eci < 0 && !gb2312)
        return {};
    std::string out;
    for (std::size_t i = 0; i < content.runs.size(); ++i) {
        const std::size_t start = content.runs[i].start;
        const std::size_t end = i + 1 < content.runs.size() ? content.runs[i + 1].start : content.bytes.size();
        if (end <= start)
            continue;
        const std::string_view run(reinterpret_cast<const char *>(content.bytes.data() + start), end - start);
        if (content.runs[i].eci == gb2312_run) {
            if (!append_utf8("GB2312", run, out))
                return {};
            continue;
        }
        if (content.facts.eci < 0) {
            out += text_for_display(run);
            continue;
        }
        const char *charset = eci_charset(content.runs[i].eci);
        // Runs before any ECI, and binary data, are shown as Latin-1.
        if (!append_utf8(charset ? charset : "ISO-8859-1", run, out))
            return {};
    }
    return out;
}

} // namespace vantor
