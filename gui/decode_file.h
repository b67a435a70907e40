// The dialog's one read-decode-show flow and its start-up command line,
// free of any window system: the dialog lends the flow three operations, so
// the same code runs in tests without a window.
#pragma once

#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include <vantor/image.h>
#include <vantor/vantor.hpp>

namespace vantor {

// What the flow needs of the dialog. Texts are UTF-8.
class DecodeView {
public:
    virtual void SetNameText(const std::string &text) = 0;
    virtual void SetResultText(const std::string &text) = 0;
    // A message box: OK only, warning icon, the program's name as caption.
    virtual void ShowMessage(const std::string &text) = 0;

protected:
    ~DecodeView() = default;
};

// Shown after every failed read, behind the reader's own text.
inline constexpr char unsupported_format_message[] =
    "このファイル形式には対応していません\n対応形式 JPEG, GIF, BMP(24bit,1bit)";
// Shown when the picture was read but held no readable symbol.
inline constexpr char no_symbol_message[] = "QRコードがみつかりません";

// The file's name as the name box shows it: what follows the last backslash
// or slash. A separator in the last position is not taken, so "dir/" stays
// whole rather than becoming empty.
inline std::string_view name_from_path(std::string_view path) {
    std::size_t start = 0;
    for (std::size_t i = 0; i + 1 < path.size(); ++i) {
        if (path[i] == '\\' || path[i] == '/')
            start = i + 1;
    }
    return path.substr(start);
}

// The command line of the start-up file: the first argument after the
// program's name ("" when there is none). The shell has already split the
// words, so a path with spaces arrives whole in one argument; later
// arguments are not part of it (main warns about them).
inline std::string command_line_from_arguments(int argc, const char *const *argv) {
    return argc > 1 ? std::string(argv[1]) : std::string();
}

// The start-up path in a command line, none for an empty line. A line that
// begins with a double quote loses it and its own last character, taken to
// be the closing quote. The line is used whole: long paths stay readable.
inline std::optional<std::string> start_file_from_command_line(std::string_view line) {
    if (line.empty())
        return std::nullopt;
    if (line.front() == '"') {
        line.remove_prefix(1);
        if (!line.empty())
            line.remove_suffix(1);
    }
    return std::string(line);
}

// Why the file at path cannot be read, as the reentrant readers tell it
// (they name every format they read); the classic text when they give none.
inline std::string read_failure_text(const char *path, const char *classic_text) {
    vantor_read_error error{};
    vantor_image_free(vantor_image_read(path, &error));
    return error.status != VANTOR_READ_OK && error.message[0] ? std::string(error.message)
                                                               : std::string(classic_text);
}

// Reads the image at path, decodes it and shows the outcome: the name and
// the text, or the reader's message and the format message, or the
// no-symbol message. The result box is left alone before the read: a drop
// empties it, and at start-up it is empty. The image is released before any
// message box is shown, so the modal loop of a message box never finds an
// image still held. Only when the classic decode gives no text does the
// reentrant decoder run, with its thorough search.
// A PDF document's pages read in order up to the first with a symbol: its
// first symbol's text. Nothing when the file is no document or no page
// has a symbol; `document` tells which.
inline std::optional<std::string> DecodeDocument(const char *path, bool &document) {
    document = false;
    char lead[4] = {};
    if (std::FILE *file = std::fopen(path, "rb")) {
        const std::size_t got = std::fread(lead, 1, sizeof lead, file);
        std::fclose(file);
        if (got != sizeof lead || std::string_view(lead, 4) != "%PDF")
            return std::nullopt;
    } else {
        return std::nullopt;
    }
    try {
        Image first = Image::read(path, 0);
        if (first.format() != "PDF")
            return std::nullopt;
        document = true;
        for (int page = 0; page < first.page_count(); ++page) {
            const Results found = page == 0 ? decode(first) : decode(Image::read(path, page));
            if (found)
                return found.symbols[0].text;
        }
    } catch (const ReadError &) {
    } catch (const std::bad_alloc &) {
    }
    return std::nullopt;
}

inline void DecodeFile(const char *path, DecodeView &view) {
    view.SetNameText(std::string());
    // The classic reader refuses PDF documents: their pages are read here.
    bool document = false;
    if (std::optional<std::string> text = DecodeDocument(path, document)) {
        view.SetNameText(std::string(name_from_path(path)));
        view.SetResultText(*text);
        return;
    }
    if (document) {
        view.SetNameText(std::string(name_from_path(path)));
        view.ShowMessage(no_symbol_message);
        return;
    }
    if (!read_image(path)) {
        const std::string reason = read_failure_text(path, read_message);
        release_image();
        view.ShowMessage(reason);
        view.ShowMessage(unsupported_format_message);
        return;
    }
    view.SetNameText(std::string(name_from_path(path)));
    const char *text = decode_image(gray_image.pixels, gray_image.width, gray_image.height,
                                    gray_image.depth, nullptr);
    // The text lives in the decoder until its next call; convert it now.
    std::optional<std::string> shown = text ? std::optional<std::string>(display_text(text)) : std::nullopt;
    // Where the classic readings find nothing, the thorough search may.
    if (!shown) {
        const std::size_t size = static_cast<std::size_t>(gray_image.width) * gray_image.height;
        const Results found = decode(std::span<const std::uint8_t>(gray_image.pixels, size), gray_image.width,
                                     gray_image.height, gray_image.width, gray_image.depth);
        if (found)
            shown = found.symbols[0].text;
    }
    release_image();
    if (!shown) {
        view.ShowMessage(no_symbol_message);
        return;
    }
    view.SetResultText(*shown);
}

} // namespace vantor
