#include "pdf_files.h"

#include <cstdio>
#include <stdexcept>

#include <zlib.h>

namespace vantor::testing {

namespace {

using Bytes = std::vector<std::uint8_t>;

std::string number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", value);
    return text;
}

Bytes deflate_bytes(const std::string &data) {
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    Bytes out(size);
    if (compress2(out.data(), &size, reinterpret_cast<const Bytef *>(data.data()), static_cast<uLong>(data.size()),
                  9) != Z_OK)
        throw std::runtime_error("deflate failed");
    out.resize(size);
    return out;
}

// Objects numbered from 1, written with their cross-reference table.
class PdfWriter {
public:
    int reserve() {
        objects_.emplace_back();
        return static_cast<int>(objects_.size());
    }
    void set(int id, std::string body) { objects_[static_cast<std::size_t>(id - 1)] = std::move(body); }
    int add(std::string body) {
        objects_.push_back(std::move(body));
        return static_cast<int>(objects_.size());
    }
    int add_stream(std::string dictionary, const Bytes &data) {
        std::string body = "<< " + dictionary + " /Length " + std::to_string(data.size()) + " >>\nstream\n";
        body.append(data.begin(), data.end());
        body += "\nendstream";
        return add(std::move(body));
    }
    Bytes finish(int root, const std::string &trailer_extra) const {
        std::string out = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n";
        std::vector<std::size_t> offsets;
        for (std::size_t i = 0; i < objects_.size(); ++i) {
            offsets.push_back(out.size());
            out += std::to_string(i + 1) + " 0 obj\n" + objects_[i] + "\nendobj\n";
        }
        const std::size_t xref = out.size();
        out += "xref\n0 " + std::to_string(objects_.size() + 1) + "\n0000000000 65535 f \n";
        for (std::size_t offset : offsets) {
            char line[24];
            std::snprintf(line, sizeof line, "%010zu 00000 n \n", offset);
            out += line;
        }
        out += "trailer\n<< /Size " + std::to_string(objects_.size() + 1) + " /Root " + std::to_string(root) +
               " 0 R " + trailer_extra + ">>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
        return Bytes(out.begin(), out.end());
    }

private:
    std::vector<std::string> objects_;
};

std::string vector_symbol_operators(const PdfVectorSymbol &s) {
    std::string ops = "0 g\n";
    const int rows = s.symbol.rows ? s.symbol.rows : s.symbol.size;
    for (int row = 0; row < rows; ++row)
        for (int col = 0; col < s.symbol.size; ++col)
            if (s.symbol.dark(col, row))
                ops += number(s.x + col * s.module_pt) + " " + number(s.y + (rows - 1 - row) * s.module_pt) + " " +
                       number(s.module_pt) + " " + number(s.module_pt) + " re\n";
    return ops + "f\n";
}

} // namespace

std::vector<std::uint8_t> pdf_bytes(const std::vector<PdfPage> &pages, const PdfOptions &options) {
    PdfWriter w;
    const int catalog = w.reserve();
    const int tree = w.reserve();
    std::string kids;
    for (const PdfPage &page : pages) {
        std::string content, xobjects;
        for (std::size_t i = 0; i < page.rasters.size(); ++i) {
            const PdfRaster &r = page.rasters[i];
            const Bytes pixels(r.picture.pixels.begin(), r.picture.pixels.end());
            const int image = w.add_stream("/Type /XObject /Subtype /Image /Width " + std::to_string(r.picture.width) +
                                               " /Height " + std::to_string(r.picture.height) +
                                               " /ColorSpace /DeviceGray /BitsPerComponent 8",
                                           pixels);
            const std::string name = "/Im" + std::to_string(i);
            xobjects += name + " " + std::to_string(image) + " 0 R ";
            content += "q " + number(r.picture.width * 72.0 / r.dpi) + " 0 0 " +
                       number(r.picture.height * 72.0 / r.dpi) + " " + number(r.x) + " " + number(r.y) + " cm " +
                       name + " Do Q\n";
        }
        for (const PdfVectorSymbol &s : page.symbols)
            content += vector_symbol_operators(s);
        content += page.extra_content;
        const int stream = options.deflate_content
                               ? w.add_stream("/Filter /FlateDecode", deflate_bytes(content))
                               : w.add_stream("", Bytes(content.begin(), content.end()));
        const int id = w.add("<< /Type /Page /Parent " + std::to_string(tree) + " 0 R /MediaBox [0 0 " +
                             number(page.width_pt) + " " + number(page.height_pt) + "] /Rotate " +
                             std::to_string(page.rotate) + " /Resources << /XObject << " + xobjects +
                             ">> >> /Contents " + std::to_string(stream) + " 0 R >>");
        kids += std::to_string(id) + " 0 R ";
    }
    w.set(catalog, "<< /Type /Catalog /Pages " + std::to_string(tree) + " 0 R >>");
    w.set(tree, "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages.size()) + " >>");
    std::string trailer;
    if (options.encrypted) {
        // Owner and user keys no empty password matches: the document stays locked.
        const std::string key(64, 'A');
        const int encrypt = w.add("<< /Filter /Standard /V 1 /R 2 /P -4 /O <" + key + "> /U <" + key + "> >>");
        trailer = "/Encrypt " + std::to_string(encrypt) + " 0 R /ID [<0123456789ABCDEF0123456789ABCDEF> "
                  "<0123456789ABCDEF0123456789ABCDEF>] ";
    }
    return w.finish(catalog, trailer);
}

std::vector<std::uint8_t> pdf_content_bomb_bytes(int inflated_mb) {
    // Deflated a megabyte at a time, so the blanks never sit in memory whole.
    z_stream z{};
    deflateInit(&z, 9);
    const std::string blanks(1 << 20, ' ');
    Bytes deflated;
    unsigned char out[1 << 16];
    for (int mb = 0; mb < inflated_mb; ++mb) {
        z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(blanks.data()));
        z.avail_in = static_cast<uInt>(blanks.size());
        const int flush = mb + 1 == inflated_mb ? Z_FINISH : Z_NO_FLUSH;
        do {
            z.next_out = out;
            z.avail_out = sizeof out;
            deflate(&z, flush);
            deflated.insert(deflated.end(), out, out + (sizeof out - z.avail_out));
        } while (z.avail_out == 0);
    }
    deflateEnd(&z);
    PdfWriter w;
    const int catalog = w.reserve();
    const int tree = w.reserve();
    const int stream = w.add_stream("/Filter /FlateDecode", deflated);
    const int page = w.add("<< /Type /Page /Parent " + std::to_string(tree) +
                           " 0 R /MediaBox [0 0 200 200] /Contents " + std::to_string(stream) + " 0 R >>");
    w.set(catalog, "<< /Type /Catalog /Pages " + std::to_string(tree) + " 0 R >>");
    w.set(tree, "<< /Type /Pages /Kids [" + std::to_string(page) + " 0 R] /Count 1 >>");
    return w.finish(catalog, "");
}

} // namespace vantor::testing
