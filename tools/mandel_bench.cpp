// mandel-bench: times the literal reference loop against the fast kernel on a
// fixed set of views, side by side in one run, and checks that both compute
// identical pixels and counts, and measures the processor's ceiling for the
// kernel's step and its clock to put the fast kernel's speed in proportion.
// Single-threaded except for the two-strip case.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <numeric>
#include <vector>

#include "engine/kernel.h"
#include "engine/strips.h"
#include "view/geometry.h"
#include "view/view_state.h"

namespace {

const char USAGE[] =
    "usage: mandel-bench [--quick] [--path avx512|avx2|sse2] [--case NAME] [--help] [--version]\n"
    "Times the reference loop and the fast kernel on fixed views and checks that\n"
    "their pixels are identical; exits 1 when any case differs. First measures the\n"
    "ceiling: the best rate of the kernel's bare step with 1 to 12 independent\n"
    "vectors and any of its ways of doubling, on each vector path and on any.\n"
    "  --quick      smaller images, on every vector path the machine runs (the test run)\n"
    "  --path NAME  one vector path (default: the widest the machine runs)\n"
    "  --case NAME  one case only\n";

using Clock = std::chrono::steady_clock;

// The fast kernel's renders of a case: at least this many, and this long.
constexpr int FAST_RENDERS = 5;
constexpr double FAST_SECONDS = 0.5;

double SecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

struct Bounds {
    double Xmin, Xmax, Ymin, Ymax;
};

// Deep in the seahorse valley, outside the set next to it: every pixel
// escapes, after about 1600 iterations on average (1920 x 1080).
constexpr Bounds BOUNDARY_VIEW = {0.7500003, 0.7500014, 0.0019651, 0.0019657};
// Inside the main cardioid: no pixel escapes.
constexpr Bounds INSIDE_VIEW = {0.0, 0.2, -0.05625, 0.05625};

struct Case {
    const char* name;
    bool defaultView;  // else bounds
    Bounds bounds;
    int32_t iterations;
    int32_t threads;
    // The baseline is the fast kernel on one thread, so the speed-up is the
    // gain from the extra threads.
    bool baselineIsFastOnOneThread;
    bool everyPixelEscapes;
};

const Case CASES[] = {
    {"default-64", true, {}, 64, 1, false, false},
    {"default-512", true, {}, 512, 1, false, false},
    {"default-4096", true, {}, 4096, 1, false, false},
    {"default-32768", true, {}, 32768, 1, false, false},
    {"boundary-4096", false, BOUNDARY_VIEW, 4096, 1, false, true},
    {"inside-4096", false, INSIDE_VIEW, 4096, 1, false, false},
    {"default-4096-t2", true, {}, 4096, 2, true, false},
};

double MedianOf(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// Every render of one variant, in seconds.
struct Render {
    std::vector<uint32_t> pixels;
    uint64_t iterations = 0;
    std::vector<double> seconds;
    double Best() const { return *std::min_element(seconds.begin(), seconds.end()); }
    double Median() const { return MedianOf(seconds); }
};

// One way to render the case: a path and a thread count.
struct Variant {
    KernelPath path;
    int32_t threads;
};

// Renders the current view with each variant in turn, round after round,
// until each has rendered at least minRenders times and for minSeconds in
// all, so that a disturbance of the machine falls on every variant alike.
std::vector<Render> TimeSideBySide(const std::vector<Variant>& variants, int32_t width,
                                   int32_t height, int minRenders, double minSeconds)
{
    std::vector<Render> renders(variants.size());
    for (Render& render : renders)
        render.pixels.resize(static_cast<size_t>(width) * height);
    const FractalView& v = currentView;
    double leastTotal = 0;  // the shortest time any variant has rendered in all
    for (int round = 0; round < minRenders || leastTotal < minSeconds; ++round) {
        leastTotal = minSeconds;
        for (size_t i = 0; i < variants.size(); ++i) {
            SelectKernelPath(variants[i].path);
            threadCount = variants[i].threads;
            Render& render = renders[i];
            const auto start = Clock::now();
            render.iterations =
                RenderView(v.Xmin, v.Ymin, v.Xmax, v.Ymax, width, height, render.pixels.data());
            render.seconds.push_back(SecondsSince(start));
            leastTotal = std::min(
                leastTotal, std::accumulate(render.seconds.begin(), render.seconds.end(), 0.0));
        }
    }
    return renders;
}

struct Path {
    const char* name;
    KernelPath path;
};

const Path VECTOR_PATHS[] = {
    {"avx512", KernelPath::Avx512}, {"avx2", KernelPath::Avx2}, {"sse2", KernelPath::Sse2}};

// The fastest the step alone runs on one path, or on any: pixel-iterations
// per second, best over the counts of independent vectors and the ways of
// doubling, with the median of that candidate's timed runs.
struct CeilingRun {
    const char* path = "";
    int vectors = 0;
    int doubling = 0;
    double rate = 0;
    double median = 0;
};

struct Ceiling {
    CeilingRun best;
    CeilingRun ofPath[std::size(VECTOR_PATHS)];  // in the order of VECTOR_PATHS
    double RateOf(KernelPath path) const
    {
        for (size_t i = 0; i < std::size(VECTOR_PATHS); ++i)
            if (VECTOR_PATHS[i].path == path)
                return ofPath[i].rate;
        return 0;
    }
};

// Steps of a bare-step run of about `seconds`: the steps grow from a short
// run until one lasts a tenth of it, then scale to the whole.
int32_t StepsForSeconds(KernelPath path, int vectors, double seconds)
{
    int64_t steps = 1000;
    for (;;) {
        const auto start = Clock::now();
        RunCeilingLoop(path, vectors, 0, static_cast<int32_t>(steps));
        const double taken = SecondsSince(start);
        if (taken >= seconds / 10 || steps >= INT32_MAX / 16)
            return static_cast<int32_t>(
                std::min<double>(INT32_MAX, steps * seconds / std::max(taken, 1e-9)));
        steps *= 4;
    }
}

// Every path, vector count and doubling runs for `seconds` at a time, all in
// turn, `rounds` times over; then each path's FINALISTS best candidates run
// `finalRounds` more times, in turn. Many short runs, best of each kept: a
// slow moment of a shared machine then lowers a few runs of each, and the
// ceiling agrees from one run of mandel-bench to the next.
Ceiling MeasureCeiling(double seconds, int rounds, int finalRounds)
{
    constexpr size_t FINALISTS = 3;
    struct Candidate {
        const Path* path;
        int vectors, doubling;
        int32_t steps;
        std::vector<double> rates;
        double Best() const { return *std::max_element(rates.begin(), rates.end()); }
    };
    std::vector<Candidate> candidates;
    for (const Path& p : VECTOR_PATHS)
        if (IsKernelPathAvailable(p.path))
            for (int vectors = 1; vectors <= MAX_CEILING_VECTORS; ++vectors) {
                const int32_t steps = StepsForSeconds(p.path, vectors, seconds);
                for (int doubling = 0; doubling < int(std::size(CEILING_DOUBLINGS)); ++doubling)
                    candidates.push_back({&p, vectors, doubling, steps, {}});
            }
    const auto runEach = [](std::vector<Candidate*>& runs, int times) {
        for (int round = 0; round < times; ++round)
            for (Candidate* c : runs) {
                const auto start = Clock::now();
                const uint64_t iterations =
                    RunCeilingLoop(c->path->path, c->vectors, c->doubling, c->steps);
                c->rates.push_back(iterations / SecondsSince(start));
            }
    };
    std::vector<Candidate*> all;
    for (Candidate& c : candidates)
        all.push_back(&c);
    runEach(all, rounds);

    std::vector<Candidate*> finalists;
    for (const Path& p : VECTOR_PATHS) {
        std::vector<Candidate*> ofPath;
        for (Candidate* c : all)
            if (c->path == &p)
                ofPath.push_back(c);
        std::sort(ofPath.begin(), ofPath.end(),
                  [](const Candidate* a, const Candidate* b) { return a->Best() > b->Best(); });
        ofPath.resize(std::min(ofPath.size(), FINALISTS));
        finalists.insert(finalists.end(), ofPath.begin(), ofPath.end());
    }
    runEach(finalists, finalRounds);

    Ceiling ceiling;
    for (const Candidate* c : finalists) {
        const CeilingRun run = {c->path->name, c->vectors, c->doubling, c->Best(),
                                MedianOf(c->rates)};
        CeilingRun& ofPath = ceiling.ofPath[c->path - VECTOR_PATHS];
        if (run.rate > ofPath.rate)
            ofPath = run;
        if (run.rate > ceiling.best.rate)
            ceiling.best = run;
    }
    return ceiling;
}

void PrintCeiling(const char* line, const CeilingRun& run)
{
    std::printf("%s build=%s path=%s vectors=%d doubling=%s gpis=%.2f median_gpis=%.2f", line,
                MANDEL_BUILD, run.path, run.vectors, CEILING_DOUBLING_NAMES[run.doubling],
                run.rate / 1e9, run.median / 1e9);
}

// Cycles per second, from a chain of dependent integer adds (one cycle each):
// the best of a few runs. Each add doubles the register: recent Intel cores
// fold chains of adds of a constant at renaming, several a cycle, which
// read as a clock of 15 to 20 GHz.
double MeasureClock(int64_t rounds)
{
    constexpr int ADDS_A_ROUND = 100;
    double best = 0;
    for (int run = 0; run < 5; ++run) {
        uint32_t chain = 0;
        const auto start = Clock::now();
        for (int64_t round = 0; round < rounds; ++round)
            asm volatile(".rept 100\n\taddl %0, %0\n\t.endr" : "+r"(chain));
        best = std::max(best, rounds * ADDS_A_ROUND / SecondsSince(start));
    }
    return best;
}

bool Same(const Render& a, const Render& b)
{
    return a.iterations == b.iterations && a.pixels == b.pixels;
}

// Runs one case on each of the paths, side by side, and prints a line for
// each; false when the pixels differ or the view is not what the case claims.
bool RunCase(const Case& c, const std::vector<Path>& paths, int32_t width, int32_t height,
             const Ceiling& ceiling, double cyclesPerSecond)
{
    currentView = DEFAULT_VIEW;
    currentView.iterLimit = c.iterations;
    currentView.colorCount = 32768;  // every count below 32768 has its own pixel word
    if (c.defaultView) {
        FitViewToAspect(width, height, true);
    } else {
        currentView.Xmin = c.bounds.Xmin;
        currentView.Xmax = c.bounds.Xmax;
        currentView.Ymin = c.bounds.Ymin;
        currentView.Ymax = c.bounds.Ymax;
    }

    const Render reference =
        TimeSideBySide({{KernelPath::Reference, c.threads}}, width, height, 1, 0.5)[0];
    if (c.everyPixelEscapes &&
        std::count(reference.pixels.begin(), reference.pixels.end(), 0u) != 0) {
        std::fprintf(stderr, "mandel-bench: %s has pixels that never escape\n", c.name);
        return false;
    }
    // Each path's render, then its one-thread baseline where the case has one.
    std::vector<Variant> variants;
    for (const Path& p : paths) {
        variants.push_back({p.path, c.threads});
        if (c.baselineIsFastOnOneThread)
            variants.push_back({p.path, 1});
    }
    const std::vector<Render> renders =
        TimeSideBySide(variants, width, height, FAST_RENDERS, FAST_SECONDS);
    const int perPath = c.baselineIsFastOnOneThread ? 2 : 1;
    bool allIdentical = true;
    for (size_t i = 0; i < paths.size(); ++i) {
        const Render& fast = renders[i * perPath];
        const double baselineSeconds =
            c.baselineIsFastOnOneThread ? renders[i * perPath + 1].Best() : reference.Best();
        const bool identical = Same(fast, reference);
        allIdentical = allIdentical && identical;

        const double fastRate = fast.iterations / fast.Best();
        std::printf("case=%s size=%dx%d iterations=%d threads=%d reference_s=%.4f fast_s=%.4f "
                    "fast_median_s=%.4f speedup=%.1f fast_gpis=%.2f identical=%s "
                    "ceiling_fraction=%.2f path_fraction=%.2f cycles_ghz=%.2f fast_pic=%.2f "
                    "path=%s\n",
                    c.name, width, height, c.iterations, c.threads, baselineSeconds,
                    fast.Best(), fast.Median(), baselineSeconds / fast.Best(), fastRate / 1e9,
                    identical ? "yes" : "no", fastRate / ceiling.best.rate,
                    fastRate / ceiling.RateOf(paths[i].path), cyclesPerSecond / 1e9,
                    fastRate / cyclesPerSecond, paths[i].name);
    }
    std::fflush(stdout);
    return allIdentical;
}

}  // namespace

int main(int argc, char** argv)
{
    bool quick = false;
    const Path* forcedPath = nullptr;
    const char* onlyCase = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--quick") == 0) {
            quick = true;
        } else if (std::strcmp(argv[i], "--path") == 0 && i + 1 < argc) {
            const char* name = argv[++i];
            const Path* p = std::find_if(std::begin(VECTOR_PATHS), std::end(VECTOR_PATHS),
                                         [&](const Path& p) { return std::strcmp(p.name, name) == 0; });
            if (p == std::end(VECTOR_PATHS) || !IsKernelPathAvailable(p->path)) {
                std::fprintf(stderr, "mandel-bench: path '%s' is not available\n%s", name, USAGE);
                return 2;
            }
            forcedPath = p;
        } else if (std::strcmp(argv[i], "--case") == 0 && i + 1 < argc) {
            onlyCase = argv[++i];
            if (std::none_of(std::begin(CASES), std::end(CASES),
                             [&](const Case& c) { return std::strcmp(c.name, onlyCase) == 0; })) {
                std::fprintf(stderr, "mandel-bench: no case '%s'\n%s", onlyCase, USAGE);
                return 2;
            }
        } else if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(USAGE, stdout);
            return 0;
        } else if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("mandel-bench %s\n", MANDEL_VERSION);
            return 0;
        } else {
            std::fputs(USAGE, stderr);
            return 2;
        }
    }
    const int32_t width = quick ? 480 : 1920;
    const int32_t height = quick ? 270 : 1080;
    // The quick run checks every path the machine runs; a full run times the
    // one the viewer would use.
    std::vector<Path> paths;
    for (const Path& p : VECTOR_PATHS)
        if (forcedPath ? &p == forcedPath
                       : IsKernelPathAvailable(p.path) && (quick || p.path == SelectedKernelPath()))
            paths.push_back(p);

    const Ceiling ceiling = quick ? MeasureCeiling(0.002, 2, 5) : MeasureCeiling(0.005, 3, 20);
    const double cyclesPerSecond = MeasureClock(quick ? 20000 : 200000);
    PrintCeiling("ceiling", ceiling.best);
    std::printf(" cycles_ghz=%.2f pic=%.2f\n", cyclesPerSecond / 1e9,
                ceiling.best.rate / cyclesPerSecond);
    for (const CeilingRun& run : ceiling.ofPath)
        if (run.rate > 0) {
            PrintCeiling("path_ceiling", run);
            std::printf("\n");
        }
    std::fflush(stdout);

    bool allIdentical = true;
    for (const Case& c : CASES)
        if (!onlyCase || std::strcmp(c.name, onlyCase) == 0)
            allIdentical = RunCase(c, paths, width, height, ceiling, cyclesPerSecond) &&
                           allIdentical;
    return allIdentical ? 0 : 1;
}
