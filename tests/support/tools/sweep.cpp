// Sweeps generated symbols through the decoder and prints counts:
//   a  symbol location: every version at module sizes 2.5..8, many rotations
//      and mild skew; the sampled matrix against the encoder's, each
//      non-match classified by how far its readings got;
//   b  reading from files: every version x level x content (four modes and
//      mixed) at several looks, as 24-bit and 1-bit BMP through read_image
//      and decode_image; decoded / no text / wrong text, no text grouped by
//      reason;
//   c  damage: data modules flipped at random, within and beyond each
//      block's capacity.
//   m  mirrored renderings: sampled as the transposed symbol, no text.
// With --effort fast|default|exhaustive, parts a, b and c also read each
// picture through the reentrant API at that effort (the classic readings
// and the thorough search as the effort orders them) and count what it read,
// beside the classic counts, so two efforts compare case for case.
// usage: sweep [a|b|c|m]... [--versions LO-HI] [--decode-from V] [--trials N] [--list]
//              [--effort NAME]
//        sweep --case VERSION MODULE_PX ROTATION SKEW_X [SEED]
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <vantor/image.h>
#include <vantor/vantor.h>
#include <vantor/vantor.hpp>

#include "../../end_to_end_cases.h"

namespace {

using namespace e2e;

int first_version = 1, last_version = 40;
bool list_all = false;
int decode_from = 0; // part b: versions below this are made but not decoded
std::string scratch;
// The text decode_file compares with (set before each call).
std::string last_symbol_text;
// --effort NAME: pictures also read through the API at that effort.
bool through_api = false;
vantor_effort api_effort = VANTOR_EFFORT_DEFAULT;
struct ApiCount {
    int cases = 0, right = 0, wrong = 0;
    void add(const vantor::Results &r, const std::string &want) {
        ++cases;
        right += !r.symbols.empty() && r.symbols.front().bytes == want;
        wrong += !r.symbols.empty() && r.symbols.front().bytes != want;
    }
    void print(const char *part) const {
        std::printf("through the API at effort %s: %d cases, %d read right, %d wrong, %d no text (part %s)\n",
                    vantor_effort_name(api_effort), cases, right, wrong, cases - right - wrong, part);
    }
};
ApiCount api_location, api_files, api_damage;

vantor::Options api_options() {
    vantor::Options o;
    o.effort(api_effort);
    return o;
}

double seconds_since(std::chrono::steady_clock::time_point t) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

std::string describe(const vt::RenderOptions &o) {
    char s[96];
    std::snprintf(s, sizeof s, "%.1f px, %g deg, skew %g/%g", o.module_px, o.rotation_deg, o.skew_x, o.skew_y);
    return s;
}

std::string describe(const Reading &r) {
    char s[128];
    if (r.j < 0)
        std::snprintf(s, sizeof s, "pass %d: %s", r.pass, name(r.outcome));
    else
        std::snprintf(s, sizeof s, "pass %d try %d: %s (version %d, own eyes %d%s%s)", r.pass, r.j,
                      name(r.outcome), r.version, r.own_eyes,
                      r.true_eyes_found ? ", true eyes among candidates" : ", a true eye not found",
                      r.outcome == Outcome::mismatch ? (", " + std::to_string(r.wrong_modules) + " modules wrong").c_str() : "");
    return s;
}

// The reason a replay gives for a symbol that did not come out: the
// furthest outcome, refined for the eye patterns.
std::string reason(const Replay &replay) {
    const Outcome best = replay.best();
    if (best == Outcome::eyes_not_own) {
        bool found = false;
        for (const Reading &r : replay.readings)
            found = found || (r.j >= 0 && r.true_eyes_found);
        return found ? "picked eyes not the symbol's own (a data structure outscored a true eye)"
                     : "picked eyes not the symbol's own (a true eye not among the candidates)";
    }
    if (best == Outcome::mismatch) {
        double worst = 0;
        bool off_rule = false;
        for (const Reading &r : replay.readings)
            if (r.outcome == Outcome::mismatch) {
                worst = std::max(worst, r.worst_offset);
                off_rule = off_rule || r.off_rule > 0;
            }
        if (off_rule)
            return "FAULT: a module not read at the place the rules give";
        return worst < 0.5 ? "sampling mismatch: pixel at the rules' place (within half a module of the "
                             "true centre) binarised the other way"
                           : "sampling mismatch: the rules' place half a module or more off the true centre";
    }
    return name(best);
}

struct Look {
    double module_px;
    double rotation;
    double skew_x;
};

// --- a: symbol location -------------------------------------------------------------

void sweep_location() {
    const auto started = std::chrono::steady_clock::now();
    constexpr double sizes[] = {2.5, 3, 3.5, 4, 5, 6, 8};
    constexpr double rotations[] = {0, 5, 17, 30, 45, 60, 90, 112, 135, 180, 205, 250, 270, 315, 340};
    struct Skew {
        double x, y;
    };
    constexpr Skew skews[] = {{0, 0}, {0.04, 0}, {-0.03, 0.03}};
    std::map<std::string, int> by_reason;
    std::map<int, std::pair<int, int>> by_band; // version band: matched, cases
    std::map<std::string, std::pair<int, int>> by_rotation;
    std::map<double, std::pair<int, int>> by_size;
    int cases = 0, matched = 0, own_readings = 0, own_matched = 0, mismatch_readings = 0;
    double worst_offset = 0;
    int alignment_checked = 0;
    std::vector<std::string> faults;
    std::mt19937 rng(3);
    for (int v = first_version; v <= last_version; ++v) {
        int look = 0;
        for (double size : sizes) {
            for (double rotation : rotations) {
                // Each size meets every rotation; skews take turns.
                const Skew skew = skews[static_cast<std::size_t>(look++ % 3)];
                vt::RenderOptions o;
                o.module_px = size;
                o.rotation_deg = rotation;
                o.skew_x = skew.x;
                o.skew_y = skew.y;
                auto symbol = make_case(v, vt::Level::M, Content::byte, 0.4 + 0.6 * (rng() % 100) / 100.0, rng);
                if (!symbol) {
                    std::printf("FAULT: no symbol for version %d\n", v);
                    continue;
                }
                const vt::Picture picture = vt::render(*symbol, o);
                if (picture.pixels.empty())
                    continue; // larger than the renderer draws
                ++cases;
                const Replay rp = replay(picture.pixels.data(), picture.width, picture.height, 8,
                                         *symbol, symbol->modules, o, true);
                if (through_api)
                    api_location.add(vantor::decode(picture.pixels, picture.width, picture.height, picture.width, 8,
                                                    api_options()),
                                     symbol->text);
                const bool ok = rp.best() == Outcome::match;
                matched += ok;
                const int band = (v - 1) / 10;
                by_band[band].first += ok;
                ++by_band[band].second;
                const std::string rot_class = std::fmod(rotation, 90) == 0 ? "multiples of 90" : "other angles";
                by_rotation[rot_class].first += ok;
                ++by_rotation[rot_class].second;
                by_size[size].first += ok;
                ++by_size[size].second;
                for (const Reading &r : rp.readings) {
                    if (r.version_off_rule)
                        faults.push_back("version " + std::to_string(v) + ", " + describe(o) + ": " + describe(r) +
                                         ", the version is not the rules'");
                    if (r.alignment_off_rule)
                        faults.push_back("version " + std::to_string(v) + ", " + describe(o) + ": " + describe(r) +
                                         ", " + std::to_string(r.alignment_off_rule) +
                                         " alignment searches differ from the rules'");
                    alignment_checked += r.j >= 0 && r.version >= 2;
                    // Readings that had the symbol's eyes, version and
                    // alignment patterns: these must sample the matrix.
                    if (r.outcome == Outcome::mismatch || r.outcome == Outcome::match) {
                        ++own_readings;
                        own_matched += r.outcome == Outcome::match;
                        if (r.outcome == Outcome::mismatch) {
                            ++mismatch_readings;
                            worst_offset = std::max(worst_offset, r.worst_offset);
                            if (r.off_rule > 0)
                                faults.push_back("version " + std::to_string(v) + ", " + describe(o) + ": " +
                                                 describe(r) + ", " + std::to_string(r.off_rule) +
                                                 " modules not read at the rules' place");
                        }
                    }
                }
                if (!ok) {
                    ++by_reason[reason(rp)];
                    if (list_all) {
                        std::printf("  a: version %d, %s: %s\n", v, describe(o).c_str(), reason(rp).c_str());
                        for (const Reading &r : rp.readings)
                            std::printf("      %s\n", describe(r).c_str());
                    }
                }
            }
        }
        std::fprintf(stderr, "a: version %d done, %.0f s\n", v, seconds_since(started));
    }
    std::printf("\n(a) symbol location: versions %d-%d x module px {2.5,3,3.5,4,5,6,8} x rotations "
                "{0,5,17,30,45,60,90,112,135,180,205,250,270,315,340} (skew 0, 0.04/0 or -0.03/0.03 in turn), "
                "byte mode level M, all passes replayed\n",
                first_version, last_version);
    std::printf("cases %d, a reading sampled the encoder's matrix in %d (%.1f%%)\n", cases, matched,
                100.0 * matched / std::max(1, cases));
    std::printf("readings with the symbol's eyes in place, right version, alignment found in place: %d, "
                "identical matrix %d\n",
                own_readings, own_matched);
    std::printf("| versions | matched | cases |\n|---|---|---|\n");
    for (const auto &[band, c] : by_band)
        std::printf("| %d-%d | %d | %d |\n", band * 10 + 1, band * 10 + 10, c.first, c.second);
    std::printf("| rotation | matched | cases |\n|---|---|---|\n");
    for (const auto &[k, c] : by_rotation)
        std::printf("| %s | %d | %d |\n", k.c_str(), c.first, c.second);
    std::printf("| module px | matched | cases |\n|---|---|---|\n");
    for (const auto &[k, c] : by_size)
        std::printf("| %.1f | %d | %d |\n", k, c.first, c.second);
    std::printf("| reason for no match (furthest reading) | cases |\n|---|---|\n");
    for (const auto &[k, c] : by_reason)
        std::printf("| %s | %d |\n", k.c_str(), c);
    std::printf("version and alignment searches re-derived by their rules in every reading with an eye "
                "triple; alignment searches in %d readings\n", alignment_checked);
    std::printf("readings that sampled with own eyes, version and alignment but not the matrix: %d; every "
                "wrong module was read at the place the rules give, at most %.2f modules from its true "
                "centre, except in %zu readings:\n",
                mismatch_readings, worst_offset, faults.size());
    for (const std::string &f : faults)
        std::printf("  %s\n", f.c_str());
    if (through_api)
        api_location.print("a");
    std::printf("(a) took %.0f s\n", seconds_since(started));
}

// --- m: mirrored symbols ------------------------------------------------------------

// A mirrored rendering shows the transposed symbol; the decoder orients it
// as that transpose, so the sampled matrix must be the transpose and the
// reading must give no text.
void sweep_mirrored() {
    std::mt19937 rng(6);
    constexpr Look looks[] = {{4, 0, 0}, {3, 90, 0}, {5, 20, 0}};
    std::map<std::string, int> outcomes;
    int cases = 0, texts = 0;
    for (int v = first_version; v <= last_version; ++v) {
        for (const Look &look : looks) {
            auto symbol = make_case(v, vt::Level::Q, Content::byte, 0.6, rng);
            if (!symbol)
                continue;
            vt::RenderOptions o;
            o.module_px = look.module_px;
            o.rotation_deg = look.rotation;
            o.mirror = true;
            const vt::Picture picture = vt::render(*symbol, o);
            ++cases;
            const Replay rp = replay(picture.pixels.data(), picture.width, picture.height, 8, *symbol,
                                     transposed(*symbol), o, true);
            ++outcomes[reason(rp)];
            texts += rp.any_text();
        }
    }
    std::printf("\n(m) mirrored: versions %d-%d x {4px 0deg, 3px 90, 5px 20}, byte mode level Q: %d cases, "
                "readings gave text in %d\n",
                first_version, last_version, cases, texts);
    std::printf("| furthest reading against the transposed matrix | cases |\n|---|---|\n");
    for (const auto &[k, c] : outcomes)
        std::printf("| %s | %d |\n", k.c_str(), c);
}

// --- b: reading from files ------------------------------------------------------------

struct FileResult {
    bool readable = false;
    bool text = false;
    bool right = false;
};

FileResult decode_file(const std::string &path, ApiCount *api = nullptr) {
    FileResult r;
    if (through_api && api) {
        try {
            api->add(vantor::decode(vantor::Image::read(path), api_options()), last_symbol_text);
        } catch (const vantor::ReadError &) {
            ++api->cases; // unreadable: counted as no text
        }
    }
    r.readable = read_image(path.c_str()) != 0;
    if (r.readable) {
        const char *text = decode_image(gray_image.pixels, gray_image.width, gray_image.height,
                                        gray_image.depth, nullptr);
        r.text = text != nullptr;
        r.right = r.text && last_symbol_text == text;
    }
    return r;
}

// Replays the last read image (still in gray_image) for a symbol that gave
// no text.
Replay replay_last(const vt::Symbol &symbol, const std::vector<std::uint8_t> &expected,
                   const vt::RenderOptions &o) {
    return replay(gray_image.pixels, gray_image.width, gray_image.height, gray_image.depth, symbol,
                  expected, o);
}

void sweep_reading() {
    const auto started = std::chrono::steady_clock::now();
    constexpr Look looks[] = {{4, 0, 0},     {3, 90, 0},   {5, 7, 0},   {2.5, 180, 0},
                              {3.5, 33, 0.03}, {6, 270, 0}, {4.5, 123, 0}, {3, 315, 0.02}};
    constexpr int look_count = sizeof looks / sizeof looks[0];
    std::map<std::string, std::map<std::string, int>> counts; // format -> outcome -> n
    std::map<std::string, int> no_text_reasons;
    std::map<std::string, std::map<std::string, int>> by_content;
    std::map<int, std::pair<int, int>> by_band;
    std::map<std::string, std::map<std::string, int>> by_look;
    std::map<std::string, int> by_look_reason;
    std::vector<std::string> faults;
    std::mt19937 rng(4);
    int symbols = 0;
    for (int v = first_version; v <= last_version; ++v) {
        for (vt::Level level : all_levels) {
            for (Content content : all_contents) {
                const double fill = 0.5 + 0.5 * (rng() % 100) / 100.0;
                auto symbol = make_case(v, level, content, fill, rng);
                if (!symbol) {
                    faults.push_back("no symbol for version " + std::to_string(v));
                    continue;
                }
                if (v < decode_from)
                    continue; // made only to keep the random sequence of a full run
                ++symbols;
                for (int k = 0; k < 2; ++k) {
                    const Look look = looks[(v * 3 + static_cast<int>(content) + 2 * k + static_cast<int>(level)) % look_count];
                    vt::RenderOptions o;
                    o.module_px = look.module_px;
                    o.rotation_deg = look.rotation;
                    o.skew_x = look.skew_x;
                    const vt::Picture picture = vt::render(*symbol, o);
                    for (int one_bit = 0; one_bit < 2; ++one_bit) {
                        const std::string path = scratch + (one_bit ? "/case1.bmp" : "/case24.bmp");
                        const bool written = one_bit ? vt::write_bmp1(path, picture) : vt::write_bmp24(path, picture);
                        char where[160];
                        std::snprintf(where, sizeof where, "version %d-%c %s, %s, %s", v, name(level),
                                      name(content), describe(o).c_str(), one_bit ? "1-bit" : "24-bit");
                        if (!written) {
                            faults.push_back(std::string("cannot write ") + where);
                            continue;
                        }
                        last_symbol_text = symbol->text;
                        const FileResult r = decode_file(path, &api_files);
                        const std::string format = one_bit ? "1-bit BMP" : "24-bit BMP";
                        const std::string outcome = !r.readable ? "unreadable" : r.right ? "decoded" : r.text ? "WRONG TEXT" : "no text";
                        ++counts[format][outcome];
                        ++by_content[name(content)][outcome];
                        char look_name[64];
                        std::snprintf(look_name, sizeof look_name, "%.1f px %g deg skew %g", o.module_px,
                                      o.rotation_deg, o.skew_x);
                        ++by_look[look_name][outcome];
                        by_band[(v - 1) / 10].first += r.right;
                        ++by_band[(v - 1) / 10].second;
                        if (!r.readable || (r.text && !r.right))
                            faults.push_back(outcome + ": " + where);
                        if (r.readable && !r.text) {
                            const Replay rp = replay_last(*symbol, symbol->modules, o);
                            const std::string why = reason(rp);
                            ++no_text_reasons[why];
                            ++by_look_reason[std::string(look_name) + " | " + why];
                            for (const Reading &x : rp.readings)
                                if (x.alignment_off_rule || x.off_rule || x.version_off_rule)
                                    faults.push_back("FAULT: " + describe(x) + " not by the rules: " + where);
                            if (rp.best() == Outcome::match || rp.any_text())
                                faults.push_back("no text though a reading " +
                                                 std::string(rp.any_text() ? "gave text" : "matched") + ": " + where);
                            if (list_all) {
                                std::printf("  b: %s: %s\n", where, why.c_str());
                                for (const Reading &x : rp.readings)
                                    std::printf("      %s\n", describe(x).c_str());
                            }
                        }
                        release_image();
                    }
                }
            }
        }
        std::fprintf(stderr, "b: version %d done, %.0f s\n", v, seconds_since(started));
    }
    std::printf("\n(b) reading from files: versions %d-%d x levels L/M/Q/H x {numeric, alnum, byte, kanji, "
                "mixed numeric+byte+kanji} = %d symbols filled 50-100%%, two looks each from "
                "{4px 0deg, 3px 90, 5px 7, 2.5px 180, 3.5px 33 skew 0.03, 6px 270, 4.5px 123, 3px 315 skew 0.02}, "
                "each as 24-bit and 1-bit BMP through read_image and decode_image\n",
                first_version, last_version, symbols);
    std::printf("| file | decoded | no text | wrong text | unreadable |\n|---|---|---|---|---|\n");
    for (auto &[format, c] : counts)
        std::printf("| %s | %d | %d | %d | %d |\n", format.c_str(), c["decoded"], c["no text"],
                    c["WRONG TEXT"], c["unreadable"]);
    std::printf("| content | decoded | no text | wrong text |\n|---|---|---|---|\n");
    for (auto &[content, c] : by_content)
        std::printf("| %s | %d | %d | %d |\n", content.c_str(), c["decoded"], c["no text"], c["WRONG TEXT"]);
    std::printf("| versions | decoded | files |\n|---|---|---|\n");
    for (const auto &[band, c] : by_band)
        std::printf("| %d-%d | %d | %d |\n", band * 10 + 1, band * 10 + 10, c.first, c.second);
    std::printf("| look | decoded | no text | wrong text |\n|---|---|---|---|\n");
    for (auto &[look, c] : by_look)
        std::printf("| %s | %d | %d | %d |\n", look.c_str(), c["decoded"], c["no text"], c["WRONG TEXT"]);
    std::printf("| reason for no text (furthest reading) | files |\n|---|---|\n");
    for (const auto &[k, c] : no_text_reasons)
        std::printf("| %s | %d |\n", k.c_str(), c);
    std::printf("| look | reason for no text | files |\n|---|---|---|\n");
    for (const auto &[k, c] : by_look_reason)
        std::printf("| %s | %d |\n", k.c_str(), c);
    std::printf("faults: %zu\n", faults.size());
    for (const std::string &f : faults)
        std::printf("  %s\n", f.c_str());
    if (through_api)
        api_files.print("b");
    std::printf("(b) took %.0f s\n", seconds_since(started));
}

// --- c: damage ------------------------------------------------------------------------

void sweep_damage(int trials) {
    const auto started = std::chrono::steady_clock::now();
    constexpr int versions[] = {1, 2, 3, 4, 5, 6, 7, 8, 10, 12, 15};
    constexpr Look looks[] = {{4, 0, 0}, {3, 90, 0}, {5, 4, 0}, {3.5, 180, 0}, {4, 271, 0.02}};
    std::mt19937 rng(2024);
    int within = 0, within_decoded = 0, beyond_right = 0, beyond_none = 0, wrong = 0;
    std::map<std::string, int> within_failures;
    std::map<std::string, std::array<int, 4>> by_level; // within, within decoded, beyond right, beyond none
    std::vector<std::string> faults;
    for (int trial = 0; trial < trials; ++trial) {
        const int v = versions[rng() % (sizeof versions / sizeof versions[0])];
        const vt::Level level = all_levels[rng() % 4];
        const Content content = all_contents[rng() % 5];
        const unsigned seed = static_cast<unsigned>(rng());
        std::mt19937 case_rng(seed);
        auto symbol = make_case(v, level, content, 0.5 + 0.5 * (case_rng() % 100) / 100.0, case_rng);
        if (!symbol)
            continue;
        const Layout layout = layout_for(v, level);
        int capacity = 0;
        for (int b = 0; b < layout.blocks(); ++b)
            capacity += layout.capacity[b < layout.data_blocks[0] ? 0 : 1];
        const int flips = 1 + static_cast<int>(case_rng() % static_cast<unsigned>(2 * capacity + 2));
        const Damage d = damage(*symbol, layout, flips, case_rng);
        const Look look = looks[case_rng() % 5];
        vt::RenderOptions o;
        o.module_px = look.module_px;
        o.rotation_deg = look.rotation;
        o.skew_x = look.skew_x;
        const bool one_bit = case_rng() % 2;
        const std::string path = scratch + "/damage.bmp";
        const vt::Picture picture = vt::render(d.symbol, o);
        if (!(one_bit ? vt::write_bmp1(path, picture) : vt::write_bmp24(path, picture)))
            continue;
        last_symbol_text = symbol->text;
        const FileResult r = decode_file(path, &api_damage);
        char where[200];
        std::snprintf(where, sizeof where, "trial %d: version %d-%c %s, seed %u, %d flips, %s, %s", trial, v,
                      name(level), name(content), seed, flips, describe(o).c_str(), one_bit ? "1-bit" : "24-bit");
        auto &lv = by_level[std::string(1, name(level))];
        if (r.text && !r.right) {
            ++wrong;
            faults.push_back(std::string("WRONG TEXT ") + where);
        }
        if (d.within) {
            ++within;
            ++lv[0];
            within_decoded += r.right;
            lv[1] += r.right;
            if (!r.right) {
                const Replay rp = replay_last(*symbol, d.symbol.modules, o);
                ++within_failures[reason(rp)];
                if (rp.best() == Outcome::match)
                    faults.push_back(std::string("within capacity, matrix sampled, no text: ") + where);
                else if (list_all)
                    std::printf("  c: %s: %s\n", where, reason(rp).c_str());
            }
        } else if (r.right) {
            ++beyond_right;
            ++lv[2];
        } else if (!r.text) {
            ++beyond_none;
            ++lv[3];
        }
        release_image();
    }
    std::printf("\n(c) damage: %d trials over versions 1-8, 10, 12, 15, every level and content, "
                "1 to 2 x capacity + 2 data modules flipped, 24-bit or 1-bit BMP at 3-5 px, upright "
                "or turned\n",
                trials);
    std::printf("| | trials | decoded right | no text | wrong text |\n|---|---|---|---|---|\n");
    std::printf("| within capacity | %d | %d | %d | - |\n", within, within_decoded, within - within_decoded);
    std::printf("| beyond capacity | %d | %d | %d | %d |\n", trials - within, beyond_right, beyond_none, wrong);
    std::printf("| level | within | within decoded | beyond right | beyond no text |\n|---|---|---|---|---|\n");
    for (const auto &[k, c] : by_level)
        std::printf("| %s | %d | %d | %d | %d |\n", k.c_str(), c[0], c[1], c[2], c[3]);
    for (const auto &[k, c] : within_failures)
        std::printf("within capacity, no text: %s: %d\n", k.c_str(), c);
    std::printf("faults: %zu\n", faults.size());
    for (const std::string &f : faults)
        std::printf("  %s\n", f.c_str());
    if (through_api)
        api_damage.print("c");
    std::printf("(c) took %.0f s\n", seconds_since(started));
}

// One case of (a), with every reading, for reproducing a reported case.
void one_case(int v, double size, double rotation, double skew_x, unsigned seed) {
    std::mt19937 rng(seed);
    auto symbol = make_case(v, vt::Level::M, Content::byte, 0.7, rng);
    if (!symbol)
        return;
    vt::RenderOptions o;
    o.module_px = size;
    o.rotation_deg = rotation;
    o.skew_x = skew_x;
    const vt::Picture picture = vt::render(*symbol, o);
    const std::string path = scratch + "/case.bmp";
    vt::write_bmp24(path, picture);
    last_symbol_text = symbol->text;
    const FileResult r = decode_file(path);
    std::printf("version %d, %s, %dx%d pixels, written to %s: %s\n", v, describe(o).c_str(), picture.width,
                picture.height, path.c_str(), r.right ? "decoded" : r.text ? "WRONG TEXT" : "no text");
    const Replay rp = replay_last(*symbol, symbol->modules, o);
    for (const Reading &x : rp.readings) {
        std::printf("  %s, grid points off by up to %.2f px, version %s the rules', %d alignment searches differ "
                    "from the rules'",
                    describe(x).c_str(), x.point_error, x.version_off_rule ? "NOT" : "by", x.alignment_off_rule);
        if (x.outcome == Outcome::mismatch)
            std::printf(", rules' places up to %.2f modules off, %d modules not read at the rules' place",
                        x.worst_offset, x.off_rule);
        std::printf("\n");
        for (int m : x.wrong_at) {
            const int n = symbol->size, c = m % n, r = m / n;
            const Point at = module_centre(o, n, c, r);
            std::printf("    module (%d, %d) %s, true centre (%.2f, %.2f), grey there %d\n", c, r,
                        symbol->modules[static_cast<std::size_t>(m)] ? "dark" : "light", at.x, at.y,
                        gray_image.pixels[static_cast<std::size_t>(std::lround(at.y)) * gray_image.width +
                                          static_cast<std::size_t>(std::lround(at.x))]);
        }
    }
    release_image();
}

} // namespace

int main(int argc, char **argv) {
    std::vector<std::string> parts;
    int trials = 1200;
    scratch = vt::temp_dir("sweep");
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--versions" && i + 1 < argc) {
            if (std::sscanf(argv[++i], "%d-%d", &first_version, &last_version) != 2)
                return 64;
        } else if (arg == "--trials" && i + 1 < argc) {
            trials = std::atoi(argv[++i]);
        } else if (arg == "--decode-from" && i + 1 < argc) {
            decode_from = std::atoi(argv[++i]);
        } else if (arg == "--list") {
            list_all = true;
        } else if (arg == "--effort" && i + 1 < argc) {
            through_api = vantor_effort_from_name(argv[++i], &api_effort) != 0;
            if (!through_api) {
                std::fprintf(stderr, "sweep: --effort takes fast, default or exhaustive\n");
                return 64;
            }
        } else if (arg == "--case" && i + 4 < argc) {
            one_case(std::atoi(argv[i + 1]), std::atof(argv[i + 2]), std::atof(argv[i + 3]),
                     std::atof(argv[i + 4]), i + 5 < argc ? static_cast<unsigned>(std::atoi(argv[i + 5])) : 1);
            return 0;
        } else if (arg == "a" || arg == "b" || arg == "c" || arg == "m") {
            parts.push_back(arg);
        } else {
            std::fprintf(stderr, "usage: sweep [a|b|c|m]... [--versions LO-HI] [--trials N] [--list] "
                                 "[--effort fast|default|exhaustive]\n"
                                 "       sweep --case VERSION MODULE_PX ROTATION SKEW_X [SEED]\n");
            return 64;
        }
    }
    if (parts.empty())
        parts = {"a", "b", "c"};
    for (const std::string &p : parts) {
        if (p == "a")
            sweep_location();
        else if (p == "b")
            sweep_reading();
        else if (p == "m")
            sweep_mirrored();
        else
            sweep_damage(trials);
        std::fflush(stdout);
    }
    std::filesystem::remove_all(scratch);
    return 0;
}
