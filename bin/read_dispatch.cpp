// Input dispatch: opens the file, tells why it cannot be read when it
// cannot, recognises the format by its leading bytes and hands the open
// stream to that format's reader. Also the classic read_image, which reads
// into the process-wide image.
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <sys/stat.h>

#include "1_base/c_file.h"
#include "readers.h"
#include <vantor/image.h>

GrayImage gray_image = {0, 0, nullptr, 8};
char read_message[1024] = "";

namespace vantor {

namespace {

enum class Format { unknown, bmp, gif, jpeg, png, tiff, webp, pnm, pdf };

// Leading bytes of each format, tested in this order; the first match decides.
struct Signature {
    const char *bytes;
    std::size_t length;
    Format format;
};
constexpr Signature signatures[] = {
    {"BM", 2, Format::bmp},       {"GIF8", 4, Format::gif},     {"\xFF\xD8", 2, Format::jpeg},
    {"\x89PNG", 4, Format::png},  {"II*\0", 4, Format::tiff},   {"MM\0*", 4, Format::tiff},
    {"II+\0", 4, Format::tiff},   {"MM\0+", 4, Format::tiff},   {"RIFF", 4, Format::webp},
    {"P1", 2, Format::pnm},       {"P2", 2, Format::pnm},       {"P3", 2, Format::pnm},
    {"P4", 2, Format::pnm},       {"P5", 2, Format::pnm},       {"P6", 2, Format::pnm},
    {"%PDF", 4, Format::pdf},
};

// The format of a file by its first four bytes; `more` reads the next 8
// bytes for the RIFF container, whose form type tells WebP from the rest.
template <class ReadMore>
Format recognise(const unsigned char lead[4], ReadMore more) {
    for (const Signature &s : signatures) {
        if (std::memcmp(lead, s.bytes, s.length) != 0)
            continue;
        if (s.format == Format::webp) {
            unsigned char next[8];
            return more(next) && std::memcmp(next + 4, "WEBP", 4) == 0 ? Format::webp : Format::unknown;
        }
        // A PNM magic number is followed by white space or a comment.
        if (s.format == Format::pnm && !(lead[2] == '#' || (lead[2] != 0 && std::strchr(" \t\r\n\v\f", lead[2]))))
            return Format::unknown;
        return s.format;
    }
    return Format::unknown;
}

// Whether a file of fewer than four bytes begins like a format read here:
// then it is cut short, else it is of no known format.
bool starts_a_signature(const unsigned char *lead, std::size_t n) {
    for (const Signature &s : signatures)
        if (std::memcmp(lead, s.bytes, std::min(n, s.length)) == 0)
            return true;
    return false;
}

const char *format_name(Format format) {
    switch (format) {
    case Format::bmp: return "BMP";
    case Format::gif: return "GIF";
    case Format::jpeg: return "JPEG";
    case Format::png: return "PNG";
    case Format::tiff: return "TIFF";
    case Format::webp: return "WebP";
    case Format::pnm: return "PNM";
    case Format::pdf: return "PDF";
    case Format::unknown: break;
    }
    return "unknown";
}

vantor_read_status open_failure(int error) {
    switch (error) {
    case ENOENT:
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
        return VANTOR_READ_NO_SUCH_FILE;
    case EACCES:
    case EPERM:
        return VANTOR_READ_PERMISSION_DENIED;
    case EISDIR:
        return VANTOR_READ_IS_DIRECTORY;
    case ENOMEM:
        return VANTOR_READ_OUT_OF_MEMORY;
    default:
        return VANTOR_READ_DAMAGED;
    }
}

} // namespace

vantor_read_status read_image_file(const char *path, ReadTarget &target) {
    target.message[0] = '\0';
    if (!path) { // what the C library made of it before: no file, "(null)"
        set_message(target, "file (null) open error.\n");
        return VANTOR_READ_INVALID_ARGUMENT;
    }
    target.path = path;
    CFile file(std::fopen(path, "rb"));
    if (!file) {
        const vantor_read_status status = open_failure(errno);
        set_message(target, "file %s open error.\n", path);
        return status;
    }
    // A directory opens for reading but gives no bytes.
    struct stat info;
    if (fstat(fileno(file.get()), &info) == 0 && S_ISDIR(info.st_mode))
        return VANTOR_READ_IS_DIRECTORY;
    unsigned char lead[4];
    const std::size_t got = std::fread(lead, 1, 4, file.get());
    if (got < 4) {
        if (got == 0)
            return std::ferror(file.get()) ? VANTOR_READ_DAMAGED : VANTOR_READ_EMPTY_FILE;
        if (!starts_a_signature(lead, got))
            return VANTOR_READ_UNKNOWN_FORMAT;
        if (!target.library_messages_to_stderr)
            set_message(target, "file %s: cut short after %zu bytes.\n", path, got);
        return VANTOR_READ_DAMAGED;
    }
    Format format =
        recognise(lead, [&](unsigned char *next) { return std::fread(next, 1, 8, file.get()) == 8; });
    // The classic route refuses PDF documents as it always did.
    if (format == Format::pdf && target.library_messages_to_stderr)
        format = Format::unknown;
#ifndef VANTOR_WITH_PDF
    if (format == Format::pdf) {
        set_message(target, "file %s is a PDF document, and this build of Vantor reads none (built without "
                    "Poppler).\n", path);
        return VANTOR_READ_UNKNOWN_FORMAT;
    }
#endif
    if (format == Format::unknown) {
        // The classic route keeps its classic text; every other names the
        // formats that are read.
        if (target.library_messages_to_stderr)
            set_message(target, "file %s is not BMP,JPEG.\n", path);
        else
            set_message(target, "file %s is not an image format Vantor reads (%s).\n", path, VANTOR_IMAGE_FORMATS);
        return VANTOR_READ_UNKNOWN_FORMAT;
    }
    // Pages are named counted from 1, as every front end numbers them.
    if (target.page != 0 && format != Format::tiff && format != Format::pdf) {
        set_message(target, "file %s has no page %d: it holds one image.\n", path, target.page + 1);
        return VANTOR_READ_INVALID_ARGUMENT;
    }
    target.format = format_name(format);
    // The BMP reader starts behind the signature, the GIF reader rewinds the
    // file itself; every other reader starts at the beginning.
    const long start = format == Format::bmp ? 2 : 0;
    if (format != Format::gif && std::fseek(file.get(), start, SEEK_SET) != 0)
        return VANTOR_READ_DAMAGED;
    // The BMP reader sets the depth from the header; the others read greys
    // unless they find a two-level source.
    if (format != Format::bmp)
        target.image.depth = 8;
    int ok = 0;
    switch (format) {
    case Format::bmp: ok = read_bmp(file.release(), target); break;
    case Format::gif: ok = read_gif(file.release(), target); break;
    case Format::jpeg: ok = read_jpeg(file.release(), target); break;
    case Format::png: ok = read_png(file.release(), target); break;
    case Format::tiff: ok = read_tiff(file.release(), target); break;
    case Format::webp: ok = read_webp(file.release(), target); break;
    case Format::pnm: ok = read_pnm(file.release(), target); break;
#ifdef VANTOR_WITH_PDF
    case Format::pdf: ok = read_pdf(file.release(), target); break;
#else
    case Format::pdf: break;
#endif
    case Format::unknown: break;
    }
    if (ok)
        return VANTOR_READ_OK;
    // The classic readers of BMP leave the failure text empty; elsewhere a
    // failure always says what failed.
    if (!target.library_messages_to_stderr && target.message[0] == '\0')
        set_message(target, "file %s: damaged or truncated %s image, or a kind Vantor does not read.\n", path,
                    format_name(format));
    return target.failure;
}

} // namespace vantor

using namespace vantor;

extern "C" int read_image(const char *path) {
    read_message[0] = '\0';
    // A caller that did not release the previous image would otherwise lose it.
    release_image();
    ReadTarget target;
    target.image = gray_image; // a failed read leaves the fields it did not reach
    target.library_messages_to_stderr = true;
    const vantor_read_status status = read_image_file(path, target);
    gray_image = target.image;
    std::memcpy(read_message, target.message, sizeof read_message);
    return status == VANTOR_READ_OK;
}

extern "C" void release_image(void) {
    std::free(gray_image.pixels);
    gray_image.pixels = nullptr;
}
