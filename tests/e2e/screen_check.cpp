// tower_screen_check: does the X screen show the tower?
//
// Usage: tower_screen_check [--expect-depth N] [--max-frames N] [--png FILE]
//                           [--area WxH+X+Y]
//
// Connects to $DISPLAY and grabs the root window, or reads a compositor's
// screenshot from FILE, keeps only the area when one is given (one monitor
// of several), and checks, printing what it measured:
//   - the screen's depth is N, when --expect-depth is given;
//   - the four corners are black (the clear colour: in our model no frame up
//     to phase 200 brings a vertex within 6% of the width of a 4:3 screen's
//     sides);
//   - there are more than 200 distinct colours (smooth shading);
//   - the picture is the tower at some frame: our own model of the scene is
//     traced through a grid of pixels for every frame 0 .. max-frames
//     (default 50000, that is phase 25) and one frame must agree.
// Exit status: 0 when every check passes, 1 when one fails, 2 when the screen
// cannot be read or the arguments are wrong. The window is assumed to cover
// the screen, or the area, as the program's full-screen window does.
//
// Why a whole-frame match and not probes at the base triangle's corners: the
// 21 upper levels sweep over the base as they twist (our model has a level
// covering the red corner in about a third of all frames, and the blue
// corner lies below the bottom edge), so no fixed probe is frame-independent.
// The base corners are still printed, with the colour found there.
#include "screen_grab.h"
#include "tower_model.h"

#include <X11/Xlib.h>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <random>
#include <string>
#include <unordered_set>
#include <vector>

namespace {

using towermodel::Hit;
using towermodel::Scene;

// Channel tolerances, in 0..255 units. Mesa's llvmpipe agrees with our blend
// to the last bit on a 24-bit screen and within 7 on a 16-bit one, where a
// 5-bit channel alone is off by up to 4 after widening; the rest is headroom
// for dithering and other rasterisers.
constexpr int kShadeTolerance = 24;
constexpr int kBlackTolerance = 24;

// Pixels whose verdict changes within a pixel of them, and surfaces nearer
// than this (in window depth) to the one behind them, are not judged:
// rounding decides them. A 16-bit depth buffer resolves one step in 65535,
// about 0.002 eye units at the tower's distance; ten steps leave room.
constexpr double kDepthGap = 10.0 / 65535.0;

constexpr int kGridColumns = 80;
constexpr int kGridRows = 60;

struct Args {
    int expectDepth = 0;
    int maxFrames = 50000;
    std::string png;
    int areaWidth = 0; // 0: the whole screen
    int areaHeight = 0;
    int areaX = 0;
    int areaY = 0;
};

bool ParseArgs(int argc, char **argv, Args *args)
{
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--png" && i + 1 < argc) {
            args->png = argv[++i];
        } else if (a == "--area" && i + 1 < argc) {
            if (std::sscanf(argv[++i], "%dx%d+%d+%d", &args->areaWidth, &args->areaHeight,
                            &args->areaX, &args->areaY) != 4 ||
                args->areaWidth <= 0 || args->areaHeight <= 0) {
                return false;
            }
        } else if ((a == "--expect-depth" || a == "--max-frames") && i + 1 < argc) {
            int value = std::atoi(argv[++i]);
            if (value <= 0) {
                return false;
            }
            (a == "--expect-depth" ? args->expectDepth : args->maxFrames) = value;
        } else {
            return false;
        }
    }
    return true;
}

bool Crop(e2e::Screenshot *shot, const Args &args, std::string *error)
{
    if (args.areaX < 0 || args.areaY < 0 || args.areaX + args.areaWidth > shot->width ||
        args.areaY + args.areaHeight > shot->height) {
        *error = "the area lies outside the " + std::to_string(shot->width) + "x" +
                 std::to_string(shot->height) + " screen";
        return false;
    }
    std::vector<unsigned> pixels;
    for (int y = args.areaY; y < args.areaY + args.areaHeight; ++y) {
        for (int x = args.areaX; x < args.areaX + args.areaWidth; ++x) {
            pixels.push_back(shot->At(x, y));
        }
    }
    shot->pixels = std::move(pixels);
    shot->width = args.areaWidth;
    shot->height = args.areaHeight;
    return true;
}

int Channel(unsigned rgb, int c)
{
    return static_cast<int>((rgb >> (16 - 8 * c)) & 0xFF);
}

// The largest channel difference between a pixel and what the model shows
// there: its front triangle's colour, or the black background.
int Difference(unsigned actual, const std::optional<Hit> &hit)
{
    int largest = 0;
    const double rgb[3] = {hit ? hit->colour.r : 0, hit ? hit->colour.g : 0,
                           hit ? hit->colour.b : 0};
    for (int c = 0; c < 3; ++c) {
        const int expected = static_cast<int>(std::lround(rgb[c] * 255.0));
        largest = std::max(largest, std::abs(Channel(actual, c) - expected));
    }
    return largest;
}

bool Near(unsigned actual, const std::optional<Hit> &hit)
{
    return Difference(actual, hit) <= (hit ? kShadeTolerance : kBlackTolerance);
}

// A grid pixel, x and y counted as X counts them, from the top left; row is
// the same pixel's row in the model's window coordinates, from the bottom.
struct Probe {
    int x;
    int y;
    int row;
};

// The tower at one frame, as a screen of this size shows it.
Scene SceneAt(const e2e::Screenshot &shot, float phase)
{
    return Scene(shot.width, shot.height, towermodel::TowerProjection(shot.width, shot.height),
                 towermodel::TowerLevels(phase));
}

std::optional<Hit> FrontAt(const Scene &scene, const Probe &p)
{
    return towermodel::Front(scene.Cast(p.x + 0.5, p.row + 0.5));
}

struct Verdict {
    int frame = -1;
    int judged = 0;
    int onTower = 0;
    int mismatches = 0;
    int largestAgreeing = 0; // largest channel difference among agreeing tower probes
};

// Judge every probe against one frame of the model.
Verdict JudgeFrame(const e2e::Screenshot &shot, const std::vector<Probe> &probes, int frame,
                   float phase)
{
    const Scene scene = SceneAt(shot, phase);
    Verdict v;
    v.frame = frame;
    for (const Probe &p : probes) {
        std::vector<Hit> hits;
        if (!towermodel::Settled(scene, p.x, p.row, kDepthGap, &hits)) {
            continue;
        }
        const std::optional<Hit> hit = towermodel::Front(hits);
        ++v.judged;
        v.onTower += hit ? 1 : 0;
        unsigned actual = shot.At(p.x, p.y);
        if (!Near(actual, hit)) {
            ++v.mismatches;
        } else if (hit) {
            v.largestAgreeing = std::max(v.largestAgreeing, Difference(actual, hit));
        }
    }
    return v;
}

// A cheap first look: a few probes on the lit part of the screen, so that
// most wrong frames are dropped after a handful of traces.
bool Plausible(const e2e::Screenshot &shot, const std::vector<Probe> &quick, float phase)
{
    const Scene scene = SceneAt(shot, phase);
    int misses = 0;
    for (const Probe &p : quick) {
        if (!Near(shot.At(p.x, p.y), FrontAt(scene, p)) &&
            ++misses > static_cast<int>(quick.size()) / 4) {
            return false;
        }
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    Args args;
    if (!ParseArgs(argc, argv, &args)) {
        std::fprintf(stderr,
                     "usage: %s [--expect-depth N] [--max-frames N] [--png FILE] "
                     "[--area WxH+X+Y]\n",
                     argv[0]);
        return 2;
    }
    e2e::Screenshot shot;
    std::string error;
    bool grabbed = false;
    if (!args.png.empty()) {
        grabbed = e2e::LoadPng(args.png, &shot, &error);
    } else if (Display *display = XOpenDisplay(nullptr)) {
        grabbed = e2e::GrabScreen(display, &shot, &error);
        XCloseDisplay(display);
    } else {
        error = std::string("cannot open display '") +
                (getenv("DISPLAY") ? getenv("DISPLAY") : "") + "'";
    }
    if (grabbed && args.areaWidth > 0) {
        grabbed = Crop(&shot, args, &error);
    }
    if (!grabbed) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 2;
    }
    bool pass = true;
    std::printf("screen %dx%d, depth %d\n", shot.width, shot.height, shot.depth);
    if (args.expectDepth && shot.depth != args.expectDepth) {
        std::printf("FAIL: depth %d, expected %d\n", shot.depth, args.expectDepth);
        pass = false;
    }

    const int corners[4][2] = {
        {0, 0}, {shot.width - 1, 0}, {0, shot.height - 1}, {shot.width - 1, shot.height - 1}};
    for (const auto &c : corners) {
        unsigned rgb = shot.At(c[0], c[1]);
        bool black = Channel(rgb, 0) <= kBlackTolerance && Channel(rgb, 1) <= kBlackTolerance &&
                     Channel(rgb, 2) <= kBlackTolerance;
        std::printf("corner (%d,%d): #%06x %s\n", c[0], c[1], rgb, black ? "black" : "NOT black");
        pass = pass && black;
    }

    std::unordered_set<unsigned> colours(shot.pixels.begin(), shot.pixels.end());
    std::printf("distinct colours: %zu (need > 200)\n", colours.size());
    pass = pass && colours.size() > 200;

    const Scene start = SceneAt(shot, 0.0f);
    const char *cornerNames[3] = {"red", "green", "blue"};
    for (int i = 0; i < 3; ++i) {
        const towermodel::Vec3 at = start.Project(0, towermodel::kCorners[static_cast<size_t>(i)]);
        const double row = shot.height - at.y;
        int x = static_cast<int>(at.x);
        int y = static_cast<int>(row);
        bool inside = at.x >= 0 && row >= 0 && x < shot.width && y < shot.height;
        std::printf("base %s corner projects to (%.1f, %.1f): %s", cornerNames[i], at.x, row,
                    inside ? "" : "off screen\n");
        if (inside) {
            std::printf("#%06x\n", shot.At(x, y));
        }
    }

    std::vector<Probe> probes;
    std::vector<Probe> lit;
    for (int row = 0; row < kGridRows; ++row) {
        for (int col = 0; col < kGridColumns; ++col) {
            Probe p;
            p.x = static_cast<int>((col + 0.5) * shot.width / kGridColumns);
            p.y = static_cast<int>((row + 0.5) * shot.height / kGridRows);
            p.row = shot.height - 1 - p.y;
            probes.push_back(p);
            if (shot.At(p.x, p.y) != 0) {
                lit.push_back(p);
            }
        }
    }
    std::shuffle(lit.begin(), lit.end(), std::mt19937(12345));
    lit.resize(std::min<size_t>(lit.size(), 24));

    std::vector<float> phases = towermodel::PhaseSequence(args.maxFrames);
    Verdict best;
    int candidates = 0;
    for (int n = 0; n < args.maxFrames; ++n) {
        if (lit.size() < 8 || !Plausible(shot, lit, phases[static_cast<size_t>(n)])) {
            continue;
        }
        ++candidates;
        Verdict v = JudgeFrame(shot, probes, n, phases[static_cast<size_t>(n)]);
        // The smallest share of disagreeing tower probes wins; on a tie, the
        // frame that puts more of the tower on the probes.
        long mine = static_cast<long>(v.mismatches) * best.onTower;
        long theirs = static_cast<long>(best.mismatches) * v.onTower;
        if (best.frame < 0 || mine < theirs || (mine == theirs && v.onTower > best.onTower)) {
            best = v;
        }
    }
    // One tower probe in fifty may disagree: a rasteriser's coverage rule and
    // our ray test can still part ways right at an edge.
    int allowed = std::max(2, best.onTower / 50);
    bool matched = best.frame >= 0 && best.onTower >= 50 && best.mismatches <= allowed;
    if (best.frame < 0) {
        std::printf("frame match: no frame in 0..%d is plausible (%zu lit probes)\n",
                    args.maxFrames - 1, lit.size());
    } else {
        std::printf("frame match: best frame %d (phase %.7g) of %d candidates: %d probes judged, "
                    "%d on the tower, %d disagree (allowed %d), largest difference where they "
                    "agree %d/255\n",
                    best.frame, static_cast<double>(phases[static_cast<size_t>(best.frame)]),
                    candidates, best.judged, best.onTower, best.mismatches, allowed,
                    best.largestAgreeing);
    }
    pass = pass && matched;
    std::printf("%s\n", pass ? "PASS" : "FAIL");
    return pass ? 0 : 1;
}
