// The compiled half of the Python package: decodes pixel buffers and image
// files through the reentrant API with the interpreter lock released, and
// hands back plain Python values (tuples, dicts) that vantor/__init__.py
// wraps in its own types and errors, with the report writer's --json rows
// and --explain lines; runs the command-line reader for python -m vantor.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <vantor/vantor.hpp>

#include "decode_rows.h"
#include "explain.h"
#ifdef VANTOR_WITH_VIDEO
#include "frame_scan.h"
#include "video_source.h"
#endif

namespace py = pybind11;

// The command-line reader's main() (cli/main.cpp, renamed by the build).
int vantor_cli_main(int argc, char **argv);

namespace {

struct DecodeSettings {
    bool thorough = true;
    bool all_symbols = false;
    bool trace = false;
    std::string debug_dir;
    unsigned kinds = VANTOR_KINDS_ALL;
    vantor_effort effort = VANTOR_EFFORT_DEFAULT;
};

// Options for one call; the trace, when asked for, is collected into `trace`.
vantor::Options make_options(const DecodeSettings &s, std::string &trace) {
    vantor::Options options;
    options.thorough(s.thorough).all_symbols(s.all_symbols).kinds(s.kinds).effort(s.effort);
    if (!s.debug_dir.empty())
        options.debug_dir(s.debug_dir);
    if (s.trace)
        options.trace([&trace](std::string_view line) { trace.append(line); });
    return options;
}

py::dict symbol_dict(const vantor::Symbol &s) {
    py::dict d;
    d["bytes"] = py::bytes(s.bytes);
    d["text"] = py::str(s.text);
    d["format"] = std::string(vantor_kind_name(s.kind));
    d["version_name"] = s.version_name;
    d["version"] = s.version;
    d["level"] = std::string(1, s.level);
    d["mask"] = s.mask;
    py::tuple corners(4);
    for (std::size_t k = 0; k < 4; ++k)
        corners[k] = py::make_tuple(s.corners[k].x, s.corners[k].y);
    d["corners"] = corners;
    d["corrected"] = s.corrected;
    d["pass_"] = s.pass;
    d["reading"] = s.reading;
    d["mirrored"] = s.mirrored;
    d["inverted"] = s.inverted;
    d["eci"] = s.eci >= 0 ? py::object(py::int_(s.eci)) : py::object(py::none());
    d["structured_append"] = s.sa_index >= 0 ? py::object(py::make_tuple(s.sa_index, s.sa_count, s.sa_parity))
                                             : py::object(py::none());
    d["fnc1"] = s.fnc1;
    d["fnc1_application"] = s.fnc1 == 2 ? py::object(py::int_(s.fnc1_application)) : py::object(py::none());
    return d;
}

py::dict reading_dict(const vantor_reading &r) {
    py::dict d;
    d["pass_"] = r.pass;
    d["reading"] = r.reading;
    d["stage"] = static_cast<int>(r.stage);
    d["candidates"] = r.candidates;
    d["version"] = r.version > 0 ? py::object(py::int_(r.version)) : py::object(py::none());
    d["level"] = r.level ? py::object(py::str(std::string(1, r.level))) : py::object(py::none());
    d["mask"] = r.mask >= 0 ? py::object(py::int_(r.mask)) : py::object(py::none());
    d["blocks"] = r.blocks;
    d["blocks_clean"] = r.blocks_clean;
    d["blocks_corrected"] = r.blocks_corrected;
    d["blocks_beyond"] = r.blocks_beyond;
    return d;
}

// A decode's report as the command line's --json --explain gives it: the
// explanation, and the rows (without file and page) as one JSON array.
struct Report {
    std::vector<std::string> explanation;
    std::string rows;
};

Report make_report(const vantor::Results &r, const DecodeSettings &s, int width, int height, int depth,
                   const std::string &warnings) {
    namespace report = vantor::report;
    Report out;
    out.explanation = report::explain(r, s.thorough, s.effort, std::max(width, height) > VANTOR_CLASSIC_MAX_SIDE,
                                      s.kinds, depth == 1);
    out.rows = report::json_array(
        report::decode_rows(report::JsonObject(), r, {report::split_lines(warnings), out.explanation}));
    return out;
}

// (symbols, reason, stage, readings, trace or None, joined bytes or None,
// explanation, rows as JSON)
py::tuple results_tuple(const vantor::Results &r, const DecodeSettings &s, const std::string &trace,
                        const Report &report) {
    py::list symbols;
    for (const vantor::Symbol &sym : r.symbols)
        symbols.append(symbol_dict(sym));
    py::list readings;
    for (const vantor_reading &reading : r.readings)
        readings.append(reading_dict(reading));
    py::list explanation;
    for (const std::string &line : report.explanation)
        explanation.append(py::str(line));
    return py::make_tuple(symbols, static_cast<int>(r.reason), static_cast<int>(r.stage), readings,
                          s.trace ? py::object(py::str(trace)) : py::object(py::none()),
                          r.joined ? py::object(py::bytes(*r.joined)) : py::object(py::none()),
                          explanation, report.rows);
}

// A buffer's element type is one unsigned byte: "B", perhaps after a
// byte-order mark (ctypes exports "<B").
bool is_uint8(const py::buffer_info &info) {
    std::string_view f = info.format;
    if (!f.empty() && std::string_view("@=<>!").find(f.front()) != std::string_view::npos)
        f.remove_prefix(1);
    return info.itemsize == 1 && f == "B";
}

int checked_dim(py::ssize_t n, const char *what) {
    if (n <= 0)
        throw py::value_error(std::string("vantor: the image is empty (") + what + " is 0)");
    if (n > INT_MAX)
        throw py::value_error(std::string("vantor: the image's ") + what + " is too large");
    return static_cast<int>(n);
}

// Grey level of a pixel of `channels` bytes (grey, grey+alpha, RGB, RGBA),
// `step` bytes apart: the mean of R, G and B (truncated, as the file
// readers compute it), then composited over white by its alpha.
unsigned char grey_of(const unsigned char *p, py::ssize_t step, py::ssize_t channels) {
    unsigned value;
    if (channels <= 2)
        value = p[0];
    else
        value = (static_cast<unsigned>(p[0]) + p[step] + p[2 * step]) / 3;
    if (channels == 2 || channels == 4) {
        const unsigned alpha = p[(channels - 1) * step];
        value = (value * alpha + 255 * (255 - alpha) + 127) / 255;
    }
    return static_cast<unsigned char>(value);
}

// The pixels a decode reads: the caller's buffer itself when its rows are
// contiguous bytes, else a packed grey copy.
struct Pixels {
    const unsigned char *data = nullptr;
    int width = 0;
    int height = 0;
    int stride = 0;
    std::vector<unsigned char> copy;
};

// Checks the buffer's type and shape (the interpreter lock is held).
void check_layout(const py::buffer_info &info) {
    if (!is_uint8(info))
        throw py::type_error("vantor: pixels must be unsigned 8-bit (uint8); the buffer holds format '" +
                             info.format + "'");
    if (info.ndim != 2 && info.ndim != 3)
        throw py::value_error("vantor: an image is a 2-D (height, width) or 3-D (height, width, channels) "
                              "buffer; this one has " +
                              std::to_string(info.ndim) + " dimension(s)");
    checked_dim(info.shape[0], "height");
    checked_dim(info.shape[1], "width");
    if (info.ndim == 3 && (info.shape[2] < 1 || info.shape[2] > 4))
        throw py::value_error("vantor: a 3-D image has 1 (grey), 2 (grey, alpha), 3 (RGB) or 4 (RGBA) "
                              "channels; this one has " +
                              std::to_string(info.shape[2]));
}

// Points at or packs the pixels (no interpreter lock needed: plain memory).
void prepare(const py::buffer_info &info, Pixels &out) {
    const auto *base = static_cast<const unsigned char *>(info.ptr);
    const py::ssize_t row_step = info.strides[0];
    const py::ssize_t col_step = info.strides[1];
    out.height = static_cast<int>(info.shape[0]);
    out.width = static_cast<int>(info.shape[1]);
    const bool grey = info.ndim == 2 || info.shape[2] == 1;
    if (grey && col_step == 1 && row_step >= out.width && row_step <= INT_MAX) {
        out.data = base;
        out.stride = static_cast<int>(row_step);
        return;
    }
    const py::ssize_t channels = info.ndim == 3 ? info.shape[2] : 1;
    const py::ssize_t channel_step = info.ndim == 3 ? info.strides[2] : 0;
    out.copy.resize(static_cast<std::size_t>(out.width) * static_cast<std::size_t>(out.height));
    unsigned char *dst = out.copy.data();
    for (py::ssize_t y = 0; y < out.height; ++y) {
        const unsigned char *row = base + y * row_step;
        for (py::ssize_t x = 0; x < out.width; ++x)
            *dst++ = grey_of(row + x * col_step, channel_step, channels);
    }
    out.data = out.copy.data();
    out.stride = out.width;
}

py::tuple decode_buffer(const py::buffer &buffer, int depth, const DecodeSettings &settings) {
    if (depth != 1 && depth != 8)
        throw py::value_error("vantor: depth is 1 (two-level pixels, 0 or 255) or 8");
    py::buffer_info info = buffer.request();
    check_layout(info);
    vantor::Results results;
    std::string trace;
    Report report;
    {
        py::gil_scoped_release unlocked;
        Pixels px;
        prepare(info, px);
        const std::size_t span = static_cast<std::size_t>(px.stride) * static_cast<std::size_t>(px.height - 1) +
                                 static_cast<std::size_t>(px.width);
        results = vantor::decode({px.data, span}, px.width, px.height, px.stride, depth,
                                 make_options(settings, trace));
        report = make_report(results, settings, px.width, px.height, depth, "");
    }
    return results_tuple(results, settings, trace, report);
}

// An image file read without the interpreter lock; on failure the status
// and the reader's message instead.
struct FileRead {
    std::optional<vantor::Image> image;
    int status = VANTOR_READ_OK;
    std::string message;
};

FileRead read_file(const std::string &path, int page) {
    FileRead r;
    try {
        r.image.emplace(vantor::Image::read(path, page));
    } catch (const vantor::ReadError &e) {
        r.status = e.status();
        r.message = e.reader_message();
    }
    return r;
}

// The pages of a document or image file, or the frames of a video, one
// step a call, each read and decoded without the interpreter lock.
class Scanner {
public:
    Scanner(std::string path, DecodeSettings settings, bool every_frame)
        : path_(std::move(path)), settings_(std::move(settings)), every_frame_(every_frame) {}

    // (status, message, page, frame, seconds, warnings, results): the next
    // page, or frame with symbols to report; None at the end. A failure
    // ends the scan after it is returned.
    py::object next() {
        if (done_)
            return py::none();
        std::optional<vantor::Results> results;
        FileRead file;
        std::string trace, warnings;
        Report report;
        int width = 0, height = 0, depth = 8; // a video frame is grey
        long frame = -1;
        double seconds = 0;
        {
            py::gil_scoped_release unlocked;
            if (!video_) {
                file = read_file(path_, page_);
#ifdef VANTOR_WITH_VIDEO
                if (page_ == 0 && file.status == VANTOR_READ_UNKNOWN_FORMAT)
                    open_video(file);
#endif
            }
            if (file.image) {
                pages_ = file.image->page_count();
                width = file.image->width();
                height = file.image->height();
                depth = file.image->depth();
                warnings = file.image->warnings();
                results = vantor::decode(*file.image, make_options(settings_, trace));
            }
#ifdef VANTOR_WITH_VIDEO
            if (video_ && file.status == VANTOR_READ_OK)
                next_hit(file, results, frame, seconds, warnings, width, height);
#endif
            if (results)
                report = make_report(*results, settings_, width, height, depth, warnings);
        }
        const int page = page_++;
        if (file.status != VANTOR_READ_OK) {
            done_ = true;
            return py::make_tuple(file.status, file.message, page, -1, 0.0, "", py::none());
        }
        if (!results) {
            done_ = true;
            return py::none();
        }
        if (!video_ && page_ >= pages_)
            done_ = true;
        return py::make_tuple(file.status, file.message, video_ ? -1 : page, frame, seconds, warnings,
                              results_tuple(*results, settings_, trace, report));
    }

private:
#ifdef VANTOR_WITH_VIDEO
    void open_video(FileRead &file) {
        try {
            video_ = vantor::stream::VideoSource::open_file(path_);
            if (video_) {
                file.status = VANTOR_READ_OK;
                scanner_.emplace(settings_.kinds, every_frame_);
            }
        } catch (const vantor::stream::VideoError &e) {
            fail(file, e);
        }
    }

    void fail(FileRead &file, const vantor::stream::VideoError &e) const {
        file.status = e.status();
        file.message = "file " + path_ + ": " + e.what();
    }

    // The next frame with symbols to report; results stay empty at the end.
    void next_hit(FileRead &file, std::optional<vantor::Results> &results, long &frame, double &seconds,
                  std::string &warnings, int &width, int &height) {
        try {
            while (video_->next(frame_))
                if (std::optional<vantor::stream::FrameHit> hit = scanner_->scan(frame_)) {
                    frame = hit->frame;
                    seconds = hit->seconds;
                    width = frame_.width;
                    height = frame_.height;
                    for (const std::string &line : video_->take_warnings())
                        warnings += line + "\n";
                    results = std::move(hit->results);
                    return;
                }
        } catch (const vantor::stream::VideoError &e) {
            fail(file, e);
        } catch (const std::bad_alloc &) {
            file.status = VANTOR_READ_OUT_OF_MEMORY;
        }
    }

    std::optional<vantor::stream::VideoSource> video_;
    std::optional<vantor::stream::FrameScanner> scanner_;
    vantor::stream::VideoFrame frame_;
#else
    const bool video_ = false;
#endif
    std::string path_;
    DecodeSettings settings_;
    bool every_frame_;
    int page_ = 0;
    int pages_ = 1;
    bool done_ = false;
};

// (status, message, warnings, page count, results or None)
py::tuple decode_file(const std::string &path, int page, const DecodeSettings &settings) {
    FileRead file;
    std::optional<vantor::Results> results;
    std::string trace;
    Report report;
    {
        py::gil_scoped_release unlocked;
        file = read_file(path, page);
        if (file.image) {
            results = vantor::decode(*file.image, make_options(settings, trace));
            report = make_report(*results, settings, file.image->width(), file.image->height(), file.image->depth(),
                                 file.image->warnings());
        }
    }
    if (!file.image)
        return py::make_tuple(file.status, file.message, "", 0, py::none());
    return py::make_tuple(file.status, file.message, file.image->warnings(), file.image->page_count(),
                          results_tuple(*results, settings, trace, report));
}

// (status, message, array or None, depth, page count, warnings). The array
// owns the reader's pixels: no copy is made.
py::tuple read_pixels(const std::string &path, int page) {
    FileRead file;
    {
        py::gil_scoped_release unlocked;
        file = read_file(path, page);
    }
    if (!file.image)
        return py::make_tuple(file.status, file.message, py::none(), 0, 0, "");
    const int depth = file.image->depth();
    const int pages = file.image->page_count();
    const std::string warnings = file.image->warnings();
    const py::ssize_t width = file.image->width();
    const py::ssize_t height = file.image->height();
    // The image moves onto the heap, owned by the capsule the array keeps.
    auto *owned = new vantor::Image(std::move(*file.image));
    py::capsule owner(owned, [](void *p) { delete static_cast<vantor::Image *>(p); });
    auto *pixels = const_cast<std::uint8_t *>(owned->pixels().data());
    py::array_t<std::uint8_t> array({height, width}, {width, py::ssize_t{1}}, pixels, owner);
    return py::make_tuple(static_cast<int>(VANTOR_READ_OK), "", array, depth, pages, warnings);
}

// Runs the command-line reader on the arguments (without the program name);
// it writes to the process's standard output and error and returns the exit
// status.
int run_command_line(const py::list &arguments) {
    std::vector<std::string> args{"vantor"};
    for (py::handle a : arguments)
        args.push_back(a.cast<std::string>()); // str or bytes
    std::vector<char *> argv;
    for (std::string &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    py::gil_scoped_release unlocked;
    return vantor_cli_main(static_cast<int>(args.size()), argv.data());
}

template <typename Enum>
py::dict names(std::initializer_list<std::pair<const char *, Enum>> items) {
    py::dict d;
    for (const auto &[name, value] : items)
        d[name] = static_cast<int>(value);
    return d;
}

} // namespace

PYBIND11_MODULE(_vantor, m) {
    m.doc() = "Vantor's compiled decoder module; use the vantor package instead.";

    py::class_<DecodeSettings>(m, "DecodeSettings")
        .def(py::init([](bool thorough, bool all_symbols, bool trace, std::string debug_dir, unsigned kinds,
                         const std::string &effort) {
                 if ((kinds & VANTOR_KINDS_ALL) == 0 || (kinds & ~VANTOR_KINDS_ALL) != 0)
                     throw py::value_error("vantor: no known QR kind in formats");
                 DecodeSettings s{thorough, all_symbols, trace, std::move(debug_dir), kinds};
                 if (!vantor_effort_from_name(effort.c_str(), &s.effort))
                     throw py::value_error("vantor: effort must be 'fast', 'default' or 'exhaustive', not '" +
                                           effort + "'");
                 return s;
             }),
             py::kw_only(), py::arg("thorough") = true, py::arg("all_symbols") = false, py::arg("trace") = false,
             py::arg("debug_dir") = "", py::arg("kinds") = VANTOR_KINDS_ALL, py::arg("effort") = "default");

    py::class_<Scanner>(m, "Scanner")
        .def(py::init<std::string, DecodeSettings, bool>(), py::arg("path"), py::arg("settings"),
             py::arg("every_frame"))
        .def("next", &Scanner::next,
             "The next page or frame with symbols: (status, message, page, frame, seconds, warnings, "
             "results), or None at the end.");
    m.def("decode_buffer", &decode_buffer, py::arg("buffer"), py::arg("depth"), py::arg("settings"),
          "Decodes a 2-D or 3-D uint8 buffer; (symbols, reason, stage, readings, trace).");
    m.def("decode_file", &decode_file, py::arg("path"), py::arg("page"), py::arg("settings"),
          "Reads and decodes an image file; (status, message, warnings, pages, results or None).");
    m.def("run_command_line", &run_command_line, py::arg("arguments"),
          "Runs the vantor command-line reader; returns its exit status.");
    m.def("read", &read_pixels, py::arg("path"), py::arg("page"),
          "Reads an image file; (status, message, array or None, depth, pages, warnings).");
    m.def(
        "display_text",
        [](const py::bytes &data) {
            const std::string bytes = data;
            return vantor::display_text(bytes);
        },
        py::arg("data"), "Symbol bytes made readable as UTF-8 text.");
    m.def("reason_text", [](int r) { return vantor_reason_text(static_cast<vantor_reason>(r)); });
    m.def("stage_text", [](int s) { return vantor_stage_text(static_cast<vantor_stage>(s)); });
    m.def("unreadable_row", [](int status, const std::string &message) {
        const vantor::report::RowNotes notes{{}, {vantor::report::unread_explanation}};
        return vantor::report::unreadable_row({}, static_cast<vantor_read_status>(status), message, notes).str();
    });
    m.def("read_status_text", [](int s) { return vantor_read_status_text(static_cast<vantor_read_status>(s)); });

    m.attr("DECODER_VERSION") = vantor_version();
    m.attr("PROGRAM_VERSION") = VANTOR_PROGRAM_VERSION;
    m.attr("REASONS") = names<vantor_reason>({{"OK", VANTOR_OK},
                                              {"NO_EYE_PATTERNS", VANTOR_NO_EYE_PATTERNS},
                                              {"EYES_NOT_A_SYMBOL", VANTOR_EYES_NOT_A_SYMBOL},
                                              {"VERSION_UNREADABLE", VANTOR_VERSION_UNREADABLE},
                                              {"GRID_FAILED", VANTOR_GRID_FAILED},
                                              {"FORMAT_UNREADABLE", VANTOR_FORMAT_UNREADABLE},
                                              {"TOO_MANY_ERRORS", VANTOR_TOO_MANY_ERRORS},
                                              {"UNSUPPORTED_CONTENT", VANTOR_UNSUPPORTED_CONTENT},
                                              {"BAD_DATA", VANTOR_BAD_DATA},
                                              {"INVALID_ARGUMENT", VANTOR_INVALID_ARGUMENT},
                                              {"OUT_OF_MEMORY", VANTOR_OUT_OF_MEMORY},
                                              {"NO_SYMBOL", VANTOR_NO_SYMBOL}});
    m.attr("STAGES") = names<vantor_stage>({{"NONE", VANTOR_STAGE_NONE},
                                            {"EYES", VANTOR_STAGE_EYES},
                                            {"ARRANGED", VANTOR_STAGE_ARRANGED},
                                            {"VERSION", VANTOR_STAGE_VERSION},
                                            {"GRID", VANTOR_STAGE_GRID},
                                            {"FORMAT", VANTOR_STAGE_FORMAT},
                                            {"CODEWORDS", VANTOR_STAGE_CODEWORDS},
                                            {"TEXT", VANTOR_STAGE_TEXT}});
    m.attr("READ_STATUSES") = names<vantor_read_status>({{"OK", VANTOR_READ_OK},
                                                         {"NO_SUCH_FILE", VANTOR_READ_NO_SUCH_FILE},
                                                         {"PERMISSION_DENIED", VANTOR_READ_PERMISSION_DENIED},
                                                         {"IS_DIRECTORY", VANTOR_READ_IS_DIRECTORY},
                                                         {"EMPTY_FILE", VANTOR_READ_EMPTY_FILE},
                                                         {"UNKNOWN_FORMAT", VANTOR_READ_UNKNOWN_FORMAT},
                                                         {"DAMAGED", VANTOR_READ_DAMAGED},
                                                         {"OUT_OF_MEMORY", VANTOR_READ_OUT_OF_MEMORY},
                                                         {"INVALID_ARGUMENT", VANTOR_READ_INVALID_ARGUMENT}});
}
