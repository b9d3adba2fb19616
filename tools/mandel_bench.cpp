// mandel-bench: times the literal reference loop against the fast kernel on a
// fixed set of views, side by side in one run, and checks that both compute
// identical pixels and counts. Single-threaded except for the two-strip case.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "engine/kernel.h"
#include "engine/strips.h"
#include "view/geometry.h"
#include "view/view_state.h"

namespace {

const char USAGE[] =
    "usage: mandel-bench [--quick] [--path avx2|sse2]\n"
    "Times the reference loop and the fast kernel on fixed views and checks that\n"
    "their pixels are identical; exits 1 when any case differs. --quick renders\n"
    "smaller images, for the test run.\n";

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

struct Render {
    std::vector<uint32_t> pixels;
    uint64_t iterations = 0;
    double seconds = 0;  // the best of the repeats
};

// Renders the current view with the given path and thread count; short
// renders are repeated for a steadier time.
Render Time(KernelPath path, int32_t threads, int32_t width, int32_t height)
{
    SelectKernelPath(path);
    threadCount = threads;
    Render render;
    render.pixels.resize(static_cast<size_t>(width) * height);
    const FractalView& v = currentView;
    double total = 0;
    do {
        const auto start = std::chrono::steady_clock::now();
        render.iterations =
            RenderView(v.Xmin, v.Ymin, v.Xmax, v.Ymax, width, height, render.pixels.data());
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        render.seconds = total == 0 ? seconds : std::min(render.seconds, seconds);
        total += seconds;
    } while (total < 0.5);
    return render;
}

bool Same(const Render& a, const Render& b)
{
    return a.iterations == b.iterations && a.pixels == b.pixels;
}

// Runs one case and prints its line; false when the pixels differ or the
// view is not what the case claims.
bool RunCase(const Case& c, KernelPath fastPath, int32_t width, int32_t height)
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

    const Render fast = Time(fastPath, c.threads, width, height);
    Render baseline, reference;
    if (c.baselineIsFastOnOneThread) {
        baseline = Time(fastPath, 1, width, height);
        reference = Time(KernelPath::Reference, c.threads, width, height);
    } else {
        baseline = reference = Time(KernelPath::Reference, c.threads, width, height);
    }
    const bool identical = Same(fast, reference);

    std::printf("case=%s size=%dx%d iterations=%d threads=%d reference_s=%.4f fast_s=%.4f "
                "speedup=%.1f fast_gpis=%.2f identical=%s\n",
                c.name, width, height, c.iterations, c.threads, baseline.seconds, fast.seconds,
                baseline.seconds / fast.seconds, fast.iterations / fast.seconds / 1e9,
                identical ? "yes" : "no");
    std::fflush(stdout);
    if (c.everyPixelEscapes &&
        std::count(reference.pixels.begin(), reference.pixels.end(), 0u) != 0) {
        std::fprintf(stderr, "mandel-bench: %s has pixels that never escape\n", c.name);
        return false;
    }
    return identical;
}

}  // namespace

int main(int argc, char** argv)
{
    bool quick = false;
    KernelPath fastPath = SelectedKernelPath();
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--quick") == 0) {
            quick = true;
        } else if (std::strcmp(argv[i], "--path") == 0 && i + 1 < argc) {
            const char* name = argv[++i];
            fastPath = std::strcmp(name, "avx2") == 0   ? KernelPath::Avx2
                       : std::strcmp(name, "sse2") == 0 ? KernelPath::Sse2
                                                        : KernelPath::Reference;
            if (fastPath == KernelPath::Reference || !IsKernelPathAvailable(fastPath)) {
                std::fprintf(stderr, "mandel-bench: path '%s' is not available\n%s", name, USAGE);
                return 2;
            }
        } else {
            std::fputs(USAGE, stderr);
            return 2;
        }
    }
    const int32_t width = quick ? 480 : 1920;
    const int32_t height = quick ? 270 : 1080;

    bool allIdentical = true;
    for (const Case& c : CASES)
        allIdentical = RunCase(c, fastPath, width, height) && allIdentical;
    return allIdentical ? 0 : 1;
}
