// Sweeps generated pictures through the classic readings and the thorough
// search and prints counts (not a test; run by hand):
//   a  the location cases of the classic sweep (every version at module
//      sizes 2.5..8, fifteen rotations, mild skew): read by the classic
//      readings, by the search after them, by the search alone;
//   h  a hard set: decoy eye patterns in the data area, strong perspective,
//      1.5-2.5 px modules, low contrast, blur, a module-wide scratch;
//   d  damage: codeword errors within and one beyond a block's capacity,
//      read by the search alone; no wrong text may come out;
//   n  pictures without a symbol (noise, stripes, checks, module textures,
//      three eye patterns around random modules): no text may come out;
//   s  special kinds: mirrored, inverted, two symbols side by side.
// usage: thorough_sweep [a|h|d|n|s]... [--versions LO-HI] [--every K]
//                       [--trials N] [--list]
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include <vantor/vantor.h>

#include "../../end_to_end_cases.h"
#include "thorough/search.h"

namespace {

using namespace e2e;
namespace th = vantor::thorough;

int first_version = 1, last_version = 40;
int every = 1; // part a: every k-th case
bool list_all = false;

double seconds_since(std::chrono::steady_clock::time_point t) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

enum class Result { classic, search, none, wrong };

struct Tally {
    int cases = 0, classic = 0, search = 0, none = 0, wrong = 0, search_alone = 0;
    void add(Result r, bool alone) {
        ++cases;
        classic += r == Result::classic;
        search += r == Result::search;
        none += r == Result::none;
        wrong += r == Result::wrong;
        search_alone += alone;
    }
    int read() const { return classic + search; }
};

void print_table(const char *title, const std::map<std::string, Tally> &rows) {
    std::printf("| %s | cases | classic | + search | read | %% | search alone | no text | WRONG |\n"
                "|---|---|---|---|---|---|---|---|---|\n",
                title);
    for (const auto &[k, t] : rows)
        std::printf("| %s | %d | %d | %d | %d | %.1f | %d | %d | %d |\n", k.c_str(), t.cases, t.classic, t.search,
                    t.read(), 100.0 * t.read() / std::max(1, t.cases), t.search_alone, t.none, t.wrong);
}

std::string bytes_of(const th::FoundSymbol &s) { return std::string(s.bytes.begin(), s.bytes.end()); }

// The classic readings, then the search when they give no text; and the
// search alone, to measure it by itself.
Result read_picture(const vt::Picture &p, const std::string &want, bool &alone_right, bool &alone_wrong) {
    const char *text = decode_image(p.pixels.data(), p.width, p.height, 8, nullptr);
    const auto found = th::search(p.pixels.data(), p.width, p.height, p.width, {}, {});
    alone_right = !found.empty() && bytes_of(found.front()) == want;
    alone_wrong = !found.empty() && bytes_of(found.front()) != want;
    if (text)
        return want == text ? Result::classic : Result::wrong;
    if (found.empty())
        return Result::none;
    return alone_right ? Result::search : Result::wrong;
}

// --- a ------------------------------------------------------------------------------

void sweep_location() {
    const auto started = std::chrono::steady_clock::now();
    constexpr double sizes[] = {2.5, 3, 3.5, 4, 5, 6, 8};
    constexpr double rotations[] = {0, 5, 17, 30, 45, 60, 90, 112, 135, 180, 205, 250, 270, 315, 340};
    struct Skew {
        double x, y;
    };
    constexpr Skew skews[] = {{0, 0}, {0.04, 0}, {-0.03, 0.03}};
    std::map<std::string, Tally> by_band, by_size, by_rotation, total;
    std::mt19937 rng(3); // the classic sweep's cases, symbol for symbol
    int index = 0, alone_wrong_count = 0;
    double search_seconds = 0;
    for (int v = 1; v <= 40; ++v) {
        int look = 0;
        for (double size : sizes)
            for (double rotation : rotations) {
                const Skew skew = skews[static_cast<std::size_t>(look++ % 3)];
                auto symbol = make_case(v, vt::Level::M, Content::byte, 0.4 + 0.6 * (rng() % 100) / 100.0, rng);
                if (!symbol || v < first_version || v > last_version || index++ % every != 0)
                    continue;
                vt::RenderOptions o;
                o.module_px = size;
                o.rotation_deg = rotation;
                o.skew_x = skew.x;
                o.skew_y = skew.y;
                const vt::Picture picture = vt::render(*symbol, o);
                if (picture.pixels.empty())
                    continue;
                bool alone = false, alone_wrong = false;
                const auto t0 = std::chrono::steady_clock::now();
                const Result r = read_picture(picture, symbol->text, alone, alone_wrong);
                search_seconds += seconds_since(t0);
                alone_wrong_count += alone_wrong;
                char band[32];
                std::snprintf(band, sizeof band, "%02d-%02d", (v - 1) / 10 * 10 + 1, (v - 1) / 10 * 10 + 10);
                by_band[band].add(r, alone);
                char px[16];
                std::snprintf(px, sizeof px, "%.1f px", size);
                by_size[px].add(r, alone);
                by_rotation[std::fmod(rotation, 90) == 0 ? "multiples of 90" : "other angles"].add(r, alone);
                total["all"].add(r, alone);
                if (list_all && (r == Result::none || r == Result::wrong))
                    std::printf("  a: version %d, %.1f px, %g deg, skew %g/%g: %s\n", v, size, rotation, skew.x,
                                skew.y, r == Result::none ? "no text" : "WRONG");
            }
        std::fprintf(stderr, "a: version %d done, %.0f s\n", v, seconds_since(started));
    }
    std::printf("\n(a) location cases: versions %d-%d, every %d of the classic sweep's 4,200, level M byte\n",
                first_version, last_version, every);
    print_table("all", total);
    print_table("versions", by_band);
    print_table("module", by_size);
    print_table("rotation", by_rotation);
    std::printf("search alone gave a wrong text: %d; decode time (classic + search) %.1f s\n", alone_wrong_count,
                search_seconds);
}

} // namespace

int main(int argc, char **argv) {
    std::vector<std::string> parts;
    int trials = 2000;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--versions" && i + 1 < argc) {
            if (std::sscanf(argv[++i], "%d-%d", &first_version, &last_version) != 2)
                return 64;
        } else if (arg == "--every" && i + 1 < argc) {
            every = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--trials" && i + 1 < argc) {
            trials = std::atoi(argv[++i]);
        } else if (arg == "--list") {
            list_all = true;
        } else if (arg.size() == 1 && std::string("ahdns").find(arg) != std::string::npos) {
            parts.push_back(arg);
        } else {
            std::fprintf(stderr, "usage: thorough_sweep [a|h|d|n|s]... [--versions LO-HI] [--every K] "
                                 "[--trials N] [--list]\n");
            return 64;
        }
    }
    (void)trials;
    for (const std::string &p : parts) {
        if (p == "a")
            sweep_location();
        std::fflush(stdout);
    }
    return 0;
}
