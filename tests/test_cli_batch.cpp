// The command-line reader on the reentrant API: each read failure named with
// its cause (plain and --json), reader warnings kept off standard error under
// --json, folders, -j, -0, the progress line on a terminal, --compat against
// the classic decoder, the new default against --compat, and --json corners
// against the renderer's geometry.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <string>
#include <vector>

#include "command_run.h"
#include "format_files.h"
#include "json_object.h"
#include "json_value.h"
#include "qr_content.h"
#include "qr_symbols.h"
#include "3_model2/classic/state.h"
#include "6_api/classic_entry.h"
#include "3_model2/classic/decode_entry.h"
#include <vantor/image.h>
#include <vantor/vantor.h>

namespace fs = std::filesystem;
namespace vt = vantor::testing;

namespace {

const std::string cli = VANTOR_CLI;

vt::CommandRun run(const std::string &args) { return vt::run_command(cli + " " + args); }

vt::Symbol symbol(const std::string &text, int version = 0, vt::Level level = vt::Level::M) {
    auto s = vt::make_symbol(text, version, level, vt::Mode::byte);
    EXPECT_TRUE(s.has_value()) << text;
    return s ? *s : vt::Symbol{};
}

void write_text(const std::string &path, const std::string &text) {
    std::ofstream(path, std::ios::binary) << text;
}

// Pictures of several formats, symbols and damage, and files that are no
// picture at all: the mix a batch meets.
std::vector<std::string> mixed_files(const std::string &dir) {
    std::vector<std::string> files;
    auto add = [&](const std::string &name) {
        files.push_back(dir + "/" + name);
        return files.back();
    };
    vt::RenderOptions turned;
    turned.rotation_deg = 17;
    turned.module_px = 5;
    vt::RenderOptions blurred;
    blurred.blur_sigma = 1.2;
    blurred.noise_sigma = 8;
    EXPECT_TRUE(vt::write_bmp24(add("a_v2.bmp"), vt::render(symbol("first of the batch", 2))));
    EXPECT_TRUE(vt::write_bmp1(add("b_v5.bmp"), vt::render(symbol("one bit per pixel", 5, vt::Level::Q))));
    EXPECT_TRUE(vt::write_jpeg(add("c_turned.jpg"), vt::render(symbol("turned a little", 3), turned)));
    EXPECT_TRUE(vt::write_gif(add("d_blurred.gif"), vt::render(symbol("blurred and noisy", 4), blurred)));
    EXPECT_TRUE(vt::write_bmp24(add("e_blank.bmp"), vt::render_noise(90, 70, "noise")));
    // Damaged within capacity: corrected below capacity.
    vt::Symbol damaged = symbol("a few modules flipped", 3, vt::Level::H);
    for (int k = 0; k < 6; ++k)
        damaged.modules[static_cast<std::size_t>((10 + k) * damaged.size + 12 + (k % 3))] ^= 1;
    EXPECT_TRUE(vt::write_bmp24(add("f_damaged.bmp"), vt::render(damaged)));
    EXPECT_TRUE(vt::write_bmp24(add("g_v1.bmp"), vt::render(symbol("after it", 1))));
    EXPECT_TRUE(vt::write_jpeg(add("h_v7.jpg"), vt::render(symbol(std::string(90, 'x') + " version seven", 7))));
    EXPECT_TRUE(vt::write_bytes(add("i_v4.png"), vt::png_bytes(vt::render(symbol("portable network", 4), turned))));
    EXPECT_TRUE(vt::write_bytes(add("j_v3.tif"), vt::tiff_bytes(vt::render(symbol("tagged image", 3)))));
    EXPECT_TRUE(vt::write_bytes(add("k_v2.webp"), vt::webp_bytes(vt::render(symbol("lossy web picture", 2)), false)));
    EXPECT_TRUE(vt::write_bytes(add("l_v1.pgm"), vt::pnm_bytes(vt::render(symbol("grey map", 1)), 5)));
    return files;
}

// Runs the reader with standard error on a new pseudo-terminal and standard
// output thrown away; returns what the terminal received.
std::string run_on_terminal(const std::vector<std::string> &args, int &status) {
    std::vector<char *> argv{const_cast<char *>(cli.c_str())};
    for (const std::string &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    int terminal = -1;
    const pid_t child = forkpty(&terminal, nullptr, nullptr, nullptr);
    if (child == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        execv(argv[0], argv.data());
        _exit(127);
    }
    std::string seen;
    status = -1;
    if (child < 0)
        return seen;
    char buf[4096];
    // The read fails (EIO) once the child has closed its side.
    for (ssize_t n; (n = read(terminal, buf, sizeof buf)) > 0;)
        seen.append(buf, static_cast<std::size_t>(n));
    int raw = 0;
    waitpid(child, &raw, 0);
    close(terminal);
    status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return seen;
}

std::string joined(const std::vector<std::string> &files) {
    std::string s;
    for (const std::string &f : files)
        s += " '" + f + "'";
    return s;
}

} // namespace

TEST(CliErrors, EachCauseIsNamedPlainAndInJson) {
    vt::TempDir dir("cli-errors");
    const std::string d = dir.path();
    write_text(d + "/empty.bmp", "");
    write_text(d + "/notes.txt", "not a picture\n");
    // A PGM file whose pixels stop early, a BMP whose rows stop halfway and
    // a JPEG cut inside its header: each reader says what failed.
    write_text(d + "/cut.pgm", "P5\n64 64\n255\n" + std::string(100, '\xff'));
    std::vector<std::uint8_t> bmp = vt::bmp24_bytes(vt::render(symbol("cut short", 2)));
    bmp.resize(bmp.size() / 2);
    ASSERT_TRUE(vt::write_bytes(d + "/cut.bmp", bmp));
    std::vector<std::uint8_t> jpeg = vt::jpeg_bytes(vt::render(symbol("cut short", 2)));
    jpeg.resize(40);
    ASSERT_TRUE(vt::write_bytes(d + "/cut.jpg", jpeg));

    struct Case {
        std::string file;
        std::string token;
        std::string cause;       // what follows "vantor: FILE: "
        std::string reader_text; // the reader's own message after the cause, without the file's name
        bool text_starts = false; // the reader_text only starts the message (a library's words follow)
    };
    const std::string damaged = "damaged, truncated or too large: ";
    std::vector<Case> cases = {
        {d + "/missing.bmp", "no_such_file", "no such file", ""},
        {d + "/empty.bmp", "empty_file", "empty file", ""},
        {d + "/notes.txt", "unknown_format",
         "not an image format Vantor reads (BMP, JPEG, GIF, PNG, TIFF, WebP, PBM/PGM/PPM)", ""},
        {d + "/cut.pgm", "damaged", damaged, "damaged PNM image (file cut short)."},
        {d + "/cut.bmp", "damaged", damaged,
         "damaged or truncated BMP image, or a kind Vantor does not read."},
        {d + "/cut.jpg", "damaged", damaged, "damaged JPEG image (", true},
        {d + "/empty_folder", "is_directory", "is a directory with no files in it", ""},
    };
    fs::create_directories(d + "/empty_folder/inner");
    if (geteuid() != 0) {
        // Root reads any file: permission cannot be denied to it.
        write_text(d + "/locked.bmp", "BM");
        chmod((d + "/locked.bmp").c_str(), 0);
        cases.push_back({d + "/locked.bmp", "permission_denied", "permission denied", ""});
        fs::create_directories(d + "/locked_folder");
        chmod((d + "/locked_folder").c_str(), 0);
        cases.push_back({d + "/locked_folder", "permission_denied", "permission denied", ""});
    }
    for (const Case &c : cases) {
        const vt::CommandRun plain = run("'" + c.file + "'");
        EXPECT_EQ(plain.status, 2) << c.file;
        EXPECT_EQ(plain.out, "");
        const std::string prefix = "vantor: " + c.file + ": ";
        ASSERT_EQ(plain.err.rfind(prefix + c.cause, 0), 0u) << plain.err;
        ASSERT_EQ(plain.err.back(), '\n');
        const std::string cause = plain.err.substr(prefix.size(), plain.err.size() - prefix.size() - 1);
        const std::string &reader_text = c.reader_text;
        if (c.text_starts)
            EXPECT_EQ(cause.substr(0, c.cause.size() + reader_text.size()), c.cause + reader_text);
        else
            EXPECT_EQ(cause, c.cause + reader_text);

        const vt::CommandRun json = run("--json '" + c.file + "'");
        EXPECT_EQ(json.status, 2);
        EXPECT_EQ(json.err, "") << c.file;
        const auto rows = vt::json_lines(json.out);
        ASSERT_EQ(rows.size(), 1u) << json.out;
        EXPECT_EQ(rows[0].get("file")->s, c.file);
        EXPECT_FALSE(rows[0].get("decoded")->b);
        EXPECT_EQ(rows[0].get("error")->s, "unreadable");
        EXPECT_EQ(rows[0].get("cause")->s, c.token);
        EXPECT_EQ(rows[0].get("message")->s, cause);
    }
    if (geteuid() != 0)
        chmod((d + "/locked_folder").c_str(), 0700);

    // A folder whose files are none of them images: nothing was read.
    fs::create_directories(d + "/texts");
    write_text(d + "/texts/a.txt", "one");
    write_text(d + "/texts/b.txt", "two");
    const vt::CommandRun plain = run("'" + d + "/texts'");
    EXPECT_EQ(plain.status, 2);
    EXPECT_EQ(plain.err, "vantor: no image among the files found (2 skipped)\n");
    const vt::CommandRun json = run("--json '" + d + "/texts'");
    EXPECT_EQ(json.status, 2);
    EXPECT_EQ(json.err, "");
    EXPECT_EQ(vt::json_lines(json.out).size(), 2u) << json.out;
}

TEST(CliErrors, TruncatedJpegWarnsInTheRowAndKeepsStandardErrorEmpty) {
    vt::TempDir dir("cli-truncated");
    std::vector<std::uint8_t> jpeg = vt::jpeg_bytes(vt::render(symbol("truncated photo", 2)));
    jpeg.resize(jpeg.size() * 3 / 4);
    const std::string file = dir.path() + "/cut.jpg";
    ASSERT_TRUE(vt::write_bytes(file, jpeg));

    const vt::CommandRun json = run("--json " + file);
    EXPECT_EQ(json.err, "");
    const auto rows = vt::json_lines(json.out);
    ASSERT_EQ(rows.size(), 1u) << json.out;
    const vt::Json *warnings = rows[0].get("warnings");
    ASSERT_TRUE(warnings && warnings->kind == vt::Json::array && !warnings->items.empty()) << json.out;
    EXPECT_NE(warnings->items[0].s.find("Premature end of JPEG file"), std::string::npos) << json.out;

    // Without --json the warning goes to standard error, naming the file.
    const vt::CommandRun plain = run(file);
    const std::size_t warning = plain.err.find("vantor: " + file + ": warning: ");
    ASSERT_NE(warning, std::string::npos) << plain.err;
    EXPECT_NE(plain.err.find("Premature end of JPEG file", warning), std::string::npos) << plain.err;
}

TEST(CliBatch, FoldersAreReadRecursivelyInSortedOrder) {
    vt::TempDir dir("cli-folder");
    const std::string d = dir.path() + "/photos";
    fs::create_directories(d + "/sub/deeper");
    ASSERT_TRUE(vt::write_bmp24(d + "/b.bmp", vt::render(symbol("b"))));
    ASSERT_TRUE(vt::write_bmp24(d + "/Z.bmp", vt::render(symbol("Z"))));
    ASSERT_TRUE(vt::write_gif(d + "/sub/deeper/c.gif", vt::render(symbol("c"))));
    ASSERT_TRUE(vt::write_jpeg(d + "/sub/a.jpg", vt::render(symbol("sub a"))));
    write_text(d + "/notes.txt", "no picture");
    write_text(d + "/sub/empty.bmp", "");
    fs::create_symlink(d + "/sub", d + "/sub/loop");
    ASSERT_TRUE(vt::write_bmp24(dir.path() + "/after.bmp", vt::render(symbol("after"))));

    const vt::CommandRun r = run("--json -j 2 " + d + "/ " + dir.path() + "/after.bmp");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const auto rows = vt::json_lines(r.out);
    const std::vector<std::string> order = {"Z.bmp", "b.bmp", "notes.txt", "sub/a.jpg", "sub/deeper/c.gif",
                                            "sub/empty.bmp"};
    ASSERT_EQ(rows.size(), order.size() + 1) << r.out;
    for (std::size_t i = 0; i < order.size(); ++i)
        EXPECT_EQ(rows[i].get("file")->s, d + "/" + order[i]);
    EXPECT_EQ(rows.back().get("file")->s, dir.path() + "/after.bmp");
    // Files of no image format are listed as skipped, the rest decoded.
    for (const vt::Json &row : rows) {
        const bool skipped = row.get("file")->s.ends_with(".txt") || row.get("file")->s.ends_with("empty.bmp");
        EXPECT_EQ(row.get("skipped") != nullptr, skipped) << row.get("file")->s;
        EXPECT_EQ(row.get("decoded")->b, !skipped) << row.get("file")->s;
    }
    EXPECT_EQ(rows[3].get("text")->s, "sub a");

    // Plain output names each file; of the skipped ones only a file whose
    // name says it is a picture is named, on standard error.
    const vt::CommandRun plain = run(d);
    EXPECT_EQ(plain.status, 0);
    EXPECT_EQ(plain.out, d + "/Z.bmp: Z\n" + d + "/b.bmp: b\n" + d + "/sub/a.jpg: sub a\n" + d +
                             "/sub/deeper/c.gif: c\n");
    EXPECT_EQ(plain.err, "vantor: " + d + "/sub/empty.bmp: skipped: empty file\n");
}

TEST(CliEdges, FormatsAnyCaseHintFullDiskAndNoFile) {
    vt::TempDir dir("cli-edges");
    const std::string qr = dir.path() + "/qr.bmp", noise = dir.path() + "/noise.bmp", white = dir.path() + "/white.bmp";
    ASSERT_TRUE(vt::write_bmp24(qr, vt::render(symbol("any case"))));
    ASSERT_TRUE(vt::write_bmp24(noise, vt::render_noise(400, 300, "noise")));
    ASSERT_TRUE(vt::write_bmp24(white, vt::render_noise(200, 200, "blank")));

    // Kind names in any case, blanks around them allowed; empty items are not.
    for (const char *formats : {"QR", "'qr, MicroQR'", "' Qr ,rmqr'", "--formats=QR,Model1"}) {
        const std::string arg = std::string(formats).starts_with("--") ? formats : std::string("--formats ") + formats;
        const vt::CommandRun r = run(arg + " " + qr);
        EXPECT_EQ(r.status, 0) << formats << ": " << r.err;
        EXPECT_EQ(r.out, "any case\n") << formats;
    }
    EXPECT_EQ(run("--formats MicroQR " + qr).status, 1);
    for (const char *bad : {"'qr,,microqr'", "'qr, '", "QRX"})
        EXPECT_EQ(run(std::string("--formats ") + bad + " " + qr).status, 64) << bad;

    // Shapes like eye patterns that gave no symbol at the default effort:
    // one line at the end of the run points to the exhaustive effort; not
    // beside --json or --raw, nor where no shape was seen or every pass ran.
    const std::string hint = "vantor: shapes like eye patterns were seen but gave no symbol; --effort exhaustive "
                             "looks harder\n";
    const vt::CommandRun seen = run(noise + " " + noise + " " + white);
    EXPECT_EQ(seen.status, 1);
    EXPECT_EQ(seen.err, noise + ": no QR Code found\n" + noise + ": no QR Code found\n" + white +
                            ": no QR Code found\n" + hint);
    for (const std::string &args : {"--json " + noise, "--raw " + noise, "--effort exhaustive " + noise,
                                    "--effort fast " + noise, white})
        EXPECT_EQ(run(args).err.find("--effort exhaustive looks harder"), std::string::npos) << args;

    // A full disk: the run fails and says why.
    const vt::CommandRun full = run(qr + " > /dev/full");
    EXPECT_EQ(full.status, 2);
    EXPECT_EQ(full.err, "vantor: standard output: No space left on device\n");

    // No file: the one line and where the options are told.
    const vt::CommandRun none = run("");
    EXPECT_EQ(none.status, 64);
    EXPECT_EQ(none.err, "vantor: no file given\nTry 'vantor --help' for the options.\n");
}

TEST(CliBatch, ParallelOutputIsByteIdenticalToOneThread) {
    vt::TempDir dir("cli-parallel");
    std::vector<std::string> files = mixed_files(dir.path());
    // Twice over, with an unreadable file and a missing one among them, so
    // that slow and fast files and both streams interleave.
    write_text(dir.path() + "/i_notes.txt", "text");
    files.push_back(dir.path() + "/i_notes.txt");
    files.push_back(dir.path() + "/missing.bmp");
    const std::string args = joined(files) + joined(files);
    for (const std::string mode : {"", "--json", "--all --json", "--raw -0", "--explain"}) {
        const vt::CommandRun one = run(mode + " -j 1" + args);
        const vt::CommandRun four = run(mode + " -j 4" + args);
        EXPECT_EQ(one.status, 2) << mode;
        EXPECT_EQ(four.status, one.status) << mode;
        EXPECT_EQ(four.out, one.out) << mode;
        EXPECT_EQ(four.err, one.err) << mode;
        EXPECT_FALSE(one.out.empty()) << mode;
    }
}

TEST(CliBatch, RawRecordsOfSeveralFilesNeedTheNulSeparator) {
    vt::TempDir dir("cli-raw");
    const std::string a = dir.path() + "/a.bmp", b = dir.path() + "/b.bmp";
    const std::string with_zero("zero\0inside", 11);
    ASSERT_TRUE(vt::write_bmp24(a, vt::render(symbol(with_zero))));
    ASSERT_TRUE(vt::write_bmp24(b, vt::render(symbol("second"))));

    // One file: the exact bytes and nothing else.
    const vt::CommandRun one = run("--raw " + a);
    EXPECT_EQ(one.status, 0);
    EXPECT_EQ(one.out, with_zero);
    // Several files, or a folder, without -0: a usage error.
    EXPECT_EQ(run("--raw " + a + " " + b).status, 64);
    EXPECT_EQ(run("--raw " + dir.path()).status, 64);
    // -0: each file's bytes and one zero byte; a file without text gives an
    // empty record, so records stay in step with the files.
    const vt::CommandRun records = run("--raw -0 " + a + " " + dir.path() + "/missing.bmp " + b);
    EXPECT_EQ(records.status, 2);
    EXPECT_EQ(records.out, with_zero + '\0' + '\0' + "second" + '\0');
    // --compat runs the classic bytes together, as the classic reader did.
    const vt::CommandRun classic = run("--compat --raw " + a + " " + b);
    EXPECT_EQ(classic.out, "zerosecond");
}

TEST(CliBatch, ProgressLineOnlyOnATerminal) {
    vt::TempDir dir("cli-progress");
    const std::string one = dir.path() + "/one.bmp";
    vt::RenderOptions o;
    o.canvas_width = 700;
    o.canvas_height = 700;
    o.noise_sigma = 30;
    ASSERT_TRUE(vt::write_bmp24(one, vt::render(symbol("progress", 2), o)));
    const std::string folder = dir.path() + "/batch";
    fs::create_directories(folder);
    int copies = 0;
    auto add_copies = [&](int n) {
        for (; n > 0; --n, ++copies)
            fs::create_hard_link(one, folder + "/" + std::to_string(10000 + copies) + ".bmp");
    };
    // Files of no image format, first in the folder: skipped, and left out
    // of the count the progress line gives.
    for (int k = 0; k < 4; ++k)
        write_text(folder + "/0000" + std::to_string(k) + ".txt", "not a picture\n");
    // A batch that runs for more than three seconds, whatever the machine's
    // speed and load: twice the files until it does.
    add_copies(8);
    std::string tty;
    int status = -1;
    for (int attempt = 0;; ++attempt) {
        const auto start = std::chrono::steady_clock::now();
        tty = run_on_terminal({"-j", "1", folder}, status);
        if (std::chrono::steady_clock::now() - start > std::chrono::seconds(3) || attempt == 13)
            break;
        add_copies(copies);
    }
    EXPECT_EQ(status, 0);
    const std::size_t line = tty.find("\rvantor: ");
    ASSERT_NE(line, std::string::npos) << "no progress line in: " << tty.substr(0, 300);
    EXPECT_NE(tty.find(" files/s, "), std::string::npos);
    EXPECT_NE(tty.find("/" + std::to_string(copies) + " files"), std::string::npos);
    EXPECT_EQ(tty.find("/" + std::to_string(copies + 4) + " files"), std::string::npos);
    EXPECT_NE(tty.find(" s left"), std::string::npos);
    // The line is cleared at the end: blanks, then a carriage return last.
    ASSERT_GE(tty.size(), 2u);
    EXPECT_EQ(tty.back(), '\r');
    EXPECT_EQ(tty.find_first_not_of(' ', tty.rfind('\r', tty.size() - 2) + 1), tty.size() - 1);

    // --json on a terminal: standard error stays empty, no progress line.
    const std::string json_tty = run_on_terminal({"--json", "-j", "1", folder}, status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(json_tty.find("\rvantor: "), std::string::npos) << json_tty.substr(0, 300);

    // Not a terminal: no progress.
    const vt::CommandRun piped = run("-j 1 " + folder);
    EXPECT_EQ(piped.status, 0);
    EXPECT_EQ(piped.err, "");
    // A short batch on a terminal shows none either (unless the machine is
    // so loaded that one file takes two seconds).
    const auto start = std::chrono::steady_clock::now();
    const std::string quick = run_on_terminal({one}, status);
    EXPECT_EQ(status, 0);
    if (std::chrono::steady_clock::now() - start < std::chrono::milliseconds(1500)) {
        EXPECT_EQ(quick, "");
    }
}

TEST(CliCompat, RawGivesTheClassicDecoderBytesFileByFile) {
    vt::TempDir dir("cli-compat");
    std::vector<std::string> files = mixed_files(dir.path());
    write_text(dir.path() + "/x_notes.txt", "text");
    files.push_back(dir.path() + "/x_notes.txt");
    files.push_back(dir.path() + "/missing.bmp");
    // Each file once more, in another order: the classic decoder's carried
    // flag now meets them in another state.
    const std::vector<std::string> once = files;
    files.insert(files.end(), once.rbegin(), once.rend());

    // What the classic entry points give in one process that starts fresh,
    // the flag carried from file to file.
    vantor::ClassicEntry &classic = vantor::classic_entry();
    const int saved = classic.rs_below_capacity;
    classic.rs_below_capacity = 0;
    std::string expected, expected_records;
    int expected_status = 0;
    for (const std::string &f : files) {
        const bool readable = read_image(f.c_str()) != 0;
        const char *text = readable ? decode_image(gray_image.pixels, gray_image.width, gray_image.height,
                                                   gray_image.depth, nullptr)
                                    : nullptr;
        release_image();
        if (text)
            expected += text;
        expected_records += std::string(text ? text : "") + '\0';
        expected_status = !readable ? 2 : !text && expected_status == 0 ? 1 : expected_status;
    }
    classic.rs_below_capacity = saved;

    const vt::CommandRun r = run("--compat --raw" + joined(files));
    EXPECT_EQ(r.status, expected_status);
    EXPECT_EQ(r.out, expected);
    const vt::CommandRun records = run("--compat --raw -0" + joined(files));
    EXPECT_EQ(records.out, expected_records);
    // Parallel jobs do not apply: the classic state needs the files in order.
    EXPECT_EQ(run("--compat --raw -j 4" + joined(files)).out, expected);
}

TEST(CliDefault, ReadsEveryFileCompatReadsWithTheSameBytes) {
    vt::TempDir dir("cli-default");
    std::vector<std::string> files = mixed_files(dir.path());
    int k = 0;
    for (int version : {1, 2, 4, 6, 9, 13}) {
        for (vt::Level level : {vt::Level::L, vt::Level::H}) {
            vt::RenderOptions o;
            o.module_px = 3 + (k % 3);
            o.rotation_deg = 11.0 * k;
            o.blur_sigma = (k % 4) * 0.4;
            const vt::Symbol s = symbol("v" + std::to_string(version) + "#" + std::to_string(k), version, level);
            const std::string name = dir.path() + "/gen" + std::to_string(k);
            const vt::Picture p = vt::render(s, o);
            if (k % 3 == 0)
                ASSERT_TRUE(vt::write_jpeg(files.emplace_back(name + ".jpg"), p));
            else if (k % 3 == 1)
                ASSERT_TRUE(vt::write_gif(files.emplace_back(name + ".gif"), p));
            else
                ASSERT_TRUE(vt::write_bmp1(files.emplace_back(name + ".bmp"), p));
            ++k;
        }
    }
    const auto classic = vt::json_lines(run("--compat --json" + joined(files)).out);
    const auto current = vt::json_lines(run("--json" + joined(files)).out);
    ASSERT_EQ(classic.size(), files.size());
    ASSERT_EQ(current.size(), files.size());
    int read_by_both = 0;
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (!classic[i].get("decoded")->b)
            continue;
        ASSERT_TRUE(current[i].get("decoded")->b) << files[i];
        EXPECT_EQ(current[i].get("bytes_hex")->s, classic[i].get("bytes_hex")->s) << files[i];
        ++read_by_both;
    }
    // The set means something only when most of it reads.
    EXPECT_GE(read_by_both, static_cast<int>(files.size()) - 4);
}

TEST(CliJson, SymbolFieldsAndCornersOnTheRenderedSymbol) {
    vt::TempDir dir("cli-corners");
    struct Case {
        double module_px;
        int quiet_zone;
        double rotation_deg;
    };
    const Case cases[] = {{4, 4, 0}, {3, 6, 0}, {5, 4, 90}, {4.5, 5, 30}, {6, 4, 200}, {3.5, 8, -12}};
    int i = 0;
    for (const Case &c : cases) {
        const vt::Symbol s = symbol("corner case " + std::to_string(i), 3 + i % 3, vt::Level::Q);
        vt::RenderOptions o;
        o.module_px = c.module_px;
        o.quiet_zone = c.quiet_zone;
        o.rotation_deg = c.rotation_deg;
        const vt::Picture p = vt::render(s, o);
        const std::string file = dir.path() + "/c" + std::to_string(i++) + ".bmp";
        ASSERT_TRUE(vt::write_bmp24(file, p));
        const auto rows = vt::json_lines(run("--json " + file).out);
        ASSERT_EQ(rows.size(), 1u);
        const vt::Json &row = rows[0];
        ASSERT_TRUE(row.get("decoded")->b) << file;
        EXPECT_EQ(row.get("version")->n, s.version);
        EXPECT_EQ(row.get("level")->s, "Q");
        EXPECT_EQ(row.get("mask")->n, s.mask);
        EXPECT_EQ(row.get("corrected")->n, 0);
        EXPECT_EQ(row.get("eci"), nullptr);
        EXPECT_EQ(row.get("structured_append"), nullptr);
        const vt::Json *corners = row.get("corners");
        ASSERT_TRUE(corners && corners->items.size() == 8u);

        // The renderer turns the symbol with its quiet zone about its centre
        // and centres the turned square's bounding box on the picture.
        const double span = s.size + 2.0 * c.quiet_zone, half = span * c.module_px / 2;
        const double a = c.rotation_deg * std::numbers::pi / 180, ca = std::cos(a), sa = std::sin(a);
        const double extent = half * (std::abs(ca) + std::abs(sa));
        const double off_x = (p.width - 2 * extent) / 2 + extent, off_y = (p.height - 2 * extent) / 2 + extent;
        const int module_corner[4][2] = {{0, 0}, {s.size, 0}, {s.size, s.size}, {0, s.size}};
        for (int k = 0; k < 4; ++k) {
            const double x = (c.quiet_zone + module_corner[k][0]) * c.module_px - half;
            const double y = (c.quiet_zone + module_corner[k][1]) * c.module_px - half;
            const double want_x = ca * x - sa * y + off_x, want_y = sa * x + ca * y + off_y;
            EXPECT_NEAR(corners->items[2 * k].n, want_x, c.module_px) << file << " corner " << k;
            EXPECT_NEAR(corners->items[2 * k + 1].n, want_y, c.module_px) << file << " corner " << k;
        }
    }
}

TEST(CliBatch, AllReadsEveryPageOfATiffFile) {
    vt::TempDir dir("cli-pages");
    const std::string file = dir.path() + "/pages.tif";
    vt::TiffOptions pages;
    pages.pages_before = 1;
    pages.pages_after = 1;
    ASSERT_TRUE(vt::write_bytes(file, vt::tiff_bytes(vt::render(symbol("page two")), pages)));
    // Without --all: the first page, as any single picture.
    const vt::CommandRun first = run("--json " + file);
    EXPECT_EQ(first.status, 1);
    auto rows = vt::json_lines(first.out);
    ASSERT_EQ(rows.size(), 1u) << first.out;
    EXPECT_EQ(rows[0].get("error")->s, "no symbol");
    EXPECT_EQ(rows[0].get("page"), nullptr);

    const vt::CommandRun all = run("--all --json " + file);
    EXPECT_EQ(all.status, 1);
    rows = vt::json_lines(all.out);
    ASSERT_EQ(rows.size(), 3u) << all.out;
    for (int p = 0; p < 3; ++p)
        EXPECT_EQ(rows[static_cast<std::size_t>(p)].get("page")->n, p + 1);
    EXPECT_EQ(rows[0].get("error")->s, "no symbol");
    EXPECT_EQ(rows[1].get("text")->s, "page two");
    EXPECT_EQ(rows[2].get("error")->s, "no symbol");

    const vt::CommandRun plain = run("--all " + file);
    EXPECT_EQ(plain.out, file + " (page 2): page two\n");
    // The other pages' shapes end the run with the hint towards the exhaustive effort.
    EXPECT_EQ(plain.err, file + " (page 1): no QR Code found\n" + file + " (page 3): no QR Code found\n" +
                             "vantor: shapes like eye patterns were seen but gave no symbol; --effort exhaustive "
                             "looks harder\n");
}

TEST(CliAll, AWholeStructuredAppendSetIsJoinedInIndexOrder) {
    std::string message;
    for (int i = 0; i < 4; ++i)
        message += "one part of a longer message, " + std::to_string(i) + ". ";
    const auto parts = vt::make_structured_append(message, 3, vt::Level::M);
    ASSERT_GE(parts.size(), 2u);
    vt::RenderOptions o;
    o.module_px = 3;
    const std::vector<vt::Picture> pictures = vt::render_last_first(parts, o);
    vt::TempDir dir("cli-joined");
    const std::string whole = dir.path() + "/set.bmp", some = dir.path() + "/some.bmp";
    ASSERT_TRUE(vt::write_bmp24(whole, vt::side_by_side(pictures)));
    ASSERT_TRUE(vt::write_bmp24(some, vt::side_by_side(std::span(pictures).subspan(1))));

    const auto rows = vt::json_lines(run("--all --json " + whole).out);
    ASSERT_EQ(rows.size(), parts.size() + 1);
    const vt::Json &joined = rows.back();
    EXPECT_TRUE(joined.get("joined") && joined.get("joined")->b);
    EXPECT_EQ(joined.get("text")->s, message);
    EXPECT_EQ(joined.get("structured_append")->get("count")->n, static_cast<double>(parts.size()));
    const vt::CommandRun plain = run("--all " + whole);
    EXPECT_EQ(plain.status, 0);
    // With --all every line names its file, even for one file: one line a
    // symbol, in reading order (the parts stand last first), then the set.
    std::vector<std::string> lines;
    for (std::size_t at = 0, end; (end = plain.out.find('\n', at)) != std::string::npos; at = end + 1)
        lines.push_back(plain.out.substr(at, end - at));
    ASSERT_EQ(lines.size(), parts.size() + 1) << plain.out;
    for (const std::string &line : lines)
        EXPECT_EQ(line.rfind(whole + ": ", 0), 0u) << line;
    EXPECT_EQ(lines.front(), whole + ": " + rows.front().get("text")->s);
    EXPECT_NE(lines.front().find(std::to_string(parts.size() - 1) + ". "), std::string::npos) << lines.front();
    EXPECT_EQ(lines.back(), whole + ": joined: " + message);

    // A part missing: the parts are reported, no message is made up.
    const auto partial = vt::json_lines(run("--all --json " + some).out);
    EXPECT_EQ(partial.size(), parts.size() - 1);
    for (const vt::Json &row : partial)
        EXPECT_EQ(row.get("joined"), nullptr);
    // Without --all only the first symbol is read: nothing to join.
    EXPECT_EQ(run(whole).out.find("joined"), std::string::npos);
}
