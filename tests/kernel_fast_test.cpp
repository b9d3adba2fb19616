// The fast kernel against the literal reference loop, pixel for pixel and
// count for count, on each vector path the processor has, and the lane engine
// at every build's tunings on a plain-C++ stand-in for the vector types, which
// runs on every machine; the choice of path. Counts the program's
// allocations, which the kernel must not make: it runs on worker threads,
// where a failed one could not be reported.
#include <cpuid.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

#include "engine/kernel.h"
#include "engine/kernel_lanes.h"
#include "escape_points.h"
#include "pixel_counts.h"

std::atomic<size_t> allocations{0};

// The program's operator new, counting; its deletes free what it gets from
// malloc, which GCC cannot see when it inlines a delete.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(size_t size)
{
    ++allocations;
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}

void operator delete(void* p) noexcept
{
    std::free(p);
}

void operator delete(void* p, size_t) noexcept
{
    std::free(p);
}

namespace {

const int32_t MODES[] = {64, 512, 4096, 32768};
const double NaN = std::numeric_limits<double>::quiet_NaN();
const double INF = std::numeric_limits<double>::infinity();

struct Bounds {
    double Xmin, Ymin, Xmax, Ymax;
};

const uint32_t SENTINEL = 0xA5A5A5A5;  // byte 3 is never set by a pixel
const int GUARD = 8;

struct Render {
    std::vector<uint32_t> pixels;
    uint64_t iterations;
};

// A vector of WIDTH doubles in plain C++, with the contract of the vector
// types (kernel_step.h): the lane engine runs on it at any build's tuning on
// any machine, the 32-bit build's AVX-512 shape included. Lanes that the
// contract leaves undefined get zero, as AVX-512's compress gives them.
template <int W>
struct ScalarLanes {
    struct Type {
        double lane[W];
    };
    using Mask = unsigned;
    static constexpr int WIDTH = W;

    template <class F>
    static Type Each(F&& f)
    {
        Type r;
        for (int i = 0; i < W; ++i)
            r.lane[i] = f(i);
        return r;
    }
    template <class F>
    static Mask Flags(F&& f)
    {
        Mask m = 0;
        for (int i = 0; i < W; ++i)
            m |= unsigned(f(i)) << i;
        return m;
    }
    static Type Load(const double* p) { return Each([&](int i) { return p[i]; }); }
    static void Store(double* p, Type a) { StoreWhere(ALL, p, a); }
    static void StoreWhere(Mask mask, double* p, Type a)
    {
        for (int i = 0; i < W; ++i)
            if (mask >> i & 1)
                p[i] = a.lane[i];
    }
    static Type Set(double a) { return Each([&](int) { return a; }); }
    static Type Add(Type a, Type b) { return Each([&](int i) { return a.lane[i] + b.lane[i]; }); }
    static Type Sub(Type a, Type b) { return Each([&](int i) { return a.lane[i] - b.lane[i]; }); }
    static Type Mul(Type a, Type b) { return Each([&](int i) { return a.lane[i] * b.lane[i]; }); }
    static Type Min(Type a, Type b)
    {
        return Each([&](int i) { return a.lane[i] < b.lane[i] ? a.lane[i] : b.lane[i]; });
    }
    static Mask NotBelow(Type a, Type b)
    {
        return Flags([&](int i) { return !(a.lane[i] < b.lane[i]); });
    }
    static Mask AtLeast(Type a, Type b)
    {
        return Flags([&](int i) { return a.lane[i] >= b.lane[i]; });
    }
    static Mask SameBits(Type a, Type b)
    {
        return Flags([&](int i) { return std::memcmp(&a.lane[i], &b.lane[i], 8) == 0; });
    }
    static Mask And(Mask a, Mask b) { return a & b; }
    static Mask Or(Mask a, Mask b) { return a | b; }
    static Type Select(Mask mask, Type a, Type b)
    {
        return Each([&](int i) { return mask >> i & 1 ? a.lane[i] : b.lane[i]; });
    }
    static unsigned Bits(Mask mask) { return mask; }
    static Mask FromBits(unsigned bits) { return bits & ALL; }
    static Type Compress(Mask mask, Type a)
    {
        Type r = Set(0.0);
        for (int i = 0, rank = 0; i < W; ++i)
            if (mask >> i & 1)
                r.lane[rank++] = a.lane[i];
        return r;
    }
    static Type Expand(Mask mask, Type a, Type b)
    {
        for (int i = 0, rank = 0; i < W; ++i)
            if (mask >> i & 1)
                b.lane[i] = a.lane[rank++];
        return b;
    }
    static void StoreInt32(int32_t* p, Type a)
    {
        for (int i = 0; i < W; ++i)
            p[i] = static_cast<int32_t>(a.lane[i]);
    }

private:
    static constexpr Mask ALL = (1u << W) - 1;
};

using RenderFunction = uint64_t (*)(double, double, double, double, int32_t, int32_t,
                                    uint32_t*);

// The lane engine on the stand-in of WIDTH lanes, at the tuning of the build
// with or without only the eight vector registers of 32-bit code.
template <int WIDTH, bool EIGHT_REGISTERS>
uint64_t RenderRegionStandIn(double Xmin, double Ymin, double Xmax, double Ymax, int32_t width,
                             int32_t rows, uint32_t* pixels)
{
    const RegionJob job =
        MakeRegionJob(Xmin, Xmax, Ymax, PlaneStep(Ymin, Ymax, rows), width, rows, pixels);
    return TunedLaneKernel<ScalarLanes<WIDTH>, EIGHT_REGISTERS>(job).Run();
}

// A way to compute a block: a vector path of RenderRegion, or a stand-in.
struct Kernel {
    const char* name;
    KernelPath path;
    RenderFunction standIn;
};

void PrintTo(const Kernel& kernel, std::ostream* os)
{
    *os << kernel.name;
}

// One RenderRegion call on the chosen path; checks that exactly the block's
// words were written, and that nothing was allocated.
Render RenderWith(KernelPath path, const Bounds& b, int32_t width, int32_t rows,
                  RenderFunction standIn = nullptr)
{
    const KernelPath saved = SelectedKernelPath();
    EXPECT_TRUE(SelectKernelPath(path));
    const size_t size = static_cast<size_t>(width) * rows;
    std::vector<uint32_t> buffer(size + 2 * GUARD, SENTINEL);
    const size_t allocationsBefore = allocations;
    const uint64_t iterations =
        (standIn ? standIn : RenderRegion)(b.Xmin, b.Ymin, b.Xmax, b.Ymax, width, rows,
                                           buffer.data() + GUARD);
    EXPECT_EQ(allocations - allocationsBefore, 0u) << "the kernel allocated memory";
    SelectKernelPath(saved);
    for (int i = 0; i < GUARD; ++i) {
        EXPECT_EQ(buffer[i], SENTINEL);
        EXPECT_EQ(buffer[buffer.size() - 1 - i], SENTINEL);
    }
    std::vector<uint32_t> pixels(buffer.begin() + GUARD, buffer.end() - GUARD);
    EXPECT_EQ(std::count(pixels.begin(), pixels.end(), SENTINEL), 0);
    return {pixels, iterations};
}

class FastKernel : public ::testing::TestWithParam<Kernel> {
protected:
    void SetUp() override
    {
        if (!IsKernelPathAvailable(GetParam().path))
            GTEST_SKIP() << "the processor or the system lacks this instruction set";
    }

    // The block on the fast path must equal the reference, word for word.
    // Returns the reference.
    Render ExpectSameAsReference(const Bounds& b, int32_t width, int32_t rows)
    {
        const Render reference = RenderWith(KernelPath::Reference, b, width, rows);
        const Render fast = RenderWith(GetParam().path, b, width, rows, GetParam().standIn);
        EXPECT_EQ(fast.iterations, reference.iterations)
            << width << "x" << rows << " at " << b.Xmin << " " << b.Ymin << " " << b.Xmax
            << " " << b.Ymax;
        for (size_t i = 0; i < fast.pixels.size(); ++i)
            if (fast.pixels[i] != reference.pixels[i]) {
                ADD_FAILURE() << "pixel " << i % width << "," << i / width << " of " << width
                              << "x" << rows << " at " << b.Xmin << " " << b.Ymin << " "
                              << b.Xmax << " " << b.Ymax << ": " << fast.pixels[i]
                              << " instead of " << reference.pixels[i];
                break;
            }
        return reference;
    }
};

const Bounds WHOLE_PLANE = {-2.5, -2.0, 2.5, 2.0};  // corners at |c| > 3
const Bounds DEFAULT_VIEW_16_9 = {-1.7777777777777777, -1.0, 1.7777777777777777, 1.0};
const Bounds SEAHORSE_VALLEY = {0.74, 0.05, 0.76, 0.06};
const Bounds MINIBROT_EDGE = {1.7548, -0.0004, 1.7556, 0.0004};

TEST_P(FastKernel, EveryColourModeAndIterationLimit)
{
    for (int32_t colors : MODES)
        for (int32_t limit : MODES) {
            ScopedSettings settings(limit, colors);
            SCOPED_TRACE(testing::Message() << limit << " iterations, " << colors << " colours");
            ExpectSameAsReference(WHOLE_PLANE, 97, 61);
            ExpectSameAsReference(SEAHORSE_VALLEY, 53, 29);
            ExpectSameAsReference(MINIBROT_EDGE, 41, 23);
        }
}

// Around |c| = 2, where an orbit can leave the bound slowly: the tip of the
// set's antenna at c = 2 and the circle |c| = 2 elsewhere, on both sides of
// the |c| from which the kernel replays every block.
TEST_P(FastKernel, EscapesNearTheCircleOfRadiusTwo)
{
    for (int32_t limit : {4096, 32768}) {
        ScopedSettings settings(limit, 32768);
        ExpectSameAsReference({1.99, -0.01, 2.01, 0.01}, 61, 31);
        ExpectSameAsReference({1.99, -0.01, 2.01, 0.01}, 61, 2);  // row 2 on the real axis
        ExpectSameAsReference({1.9995, -1e-6, 2.0005, 1e-6}, 47, 9);
        ExpectSameAsReference({1.40, 1.40, 1.43, 1.43}, 37, 37);
        ExpectSameAsReference({-0.02, 1.985, 0.02, 2.005}, 29, 41);
    }
}

// Orbits that reach the bound at the last steps the counter allows, and just
// after: the counter and the bound test in their literal order.
TEST_P(FastKernel, EscapesAroundTheEndOfTheCounter)
{
    for (int32_t limit : MODES) {
        ScopedSettings settings(limit, 32768);
        SCOPED_TRACE(testing::Message() << limit << " iterations");
        const double from = RealPointEscapingAt(limit + 3), to = RealPointEscapingAt(limit - 4);
        // One row on the real axis: about ten pixels a step from limit - 4 to limit + 3.
        ExpectSameAsReference({to, -1.0, from, 0.0}, 80, 1);
        ExpectSameAsReference({RealPointEscapingAt(limit - 1), -1.0, 5.0, 0.0}, 1, 1);
        ExpectSameAsReference({RealPointEscapingAt(limit), -1.0, 5.0, 0.0}, 1, 1);
    }
}

TEST_P(FastKernel, NotANumberAndInfiniteCoordinates)
{
    ScopedSettings settings(512, 32768);
    const double ends[] = {NaN, INF, -INF, -1.0, 1.5, 1.7e308, -1.7e308};
    for (double a : ends)
        for (double b : ends) {
            ExpectSameAsReference({a, -1.0, b, 1.0}, 7, 3);
            ExpectSameAsReference({-1.0, a, 1.0, b}, 5, 4);
        }
}

TEST_P(FastKernel, InvertedBounds)
{
    ScopedSettings settings(4096, 4096);
    ExpectSameAsReference({2.0, 1.5, -2.0, -1.5}, 33, 17);
    ExpectSameAsReference({0.76, 0.05, 0.74, 0.06}, 21, 11);
    ExpectSameAsReference({0.74, 0.06, 0.76, 0.05}, 21, 11);
}

// Rows shorter than a vector, rows that end partway through the lanes, and
// blocks of one row, where lanes take pixels from the next row.
TEST_P(FastKernel, NarrowBlocksAndSingleRows)
{
    ScopedSettings settings(512, 32768);
    for (int32_t width : {1, 2, 3, 5, 7, 9, 17})
        for (int32_t rows : {1, 2, 3, 7}) {
            ExpectSameAsReference(SEAHORSE_VALLEY, width, rows);
            ExpectSameAsReference(WHOLE_PLANE, width, rows);
        }
    ExpectSameAsReference(DEFAULT_VIEW_16_9, 1000, 1);
}

// Escape is not monotonic for other bounds: an orbit may go above the bound
// and come back within one block.
TEST_P(FastKernel, OtherEscapeBounds)
{
    const int32_t saved = escapeBound;
    for (int32_t bound : {0, 1, 2, 3, 100, 1000000}) {
        escapeBound = bound;
        ScopedSettings settings(4096, 32768);
        SCOPED_TRACE(testing::Message() << "bound " << bound);
        ExpectSameAsReference(WHOLE_PLANE, 67, 41);
        ExpectSameAsReference(SEAHORSE_VALLEY, 23, 13);
    }
    escapeBound = saved;
}

// Points of the set whose orbits become exactly periodic: the fast kernel
// stops them early, and must give count 0 and the whole limit as their
// iterations exactly where the reference runs the counter out.
TEST_P(FastKernel, PeriodicPointsAtTheHighestLimit)
{
    ScopedSettings settings(32768, 32768);
    const Bounds inside[] = {
        {0.0, -0.05625, 0.2, 0.05625},        // main cardioid, fixed points
        {0.9, -0.1, 1.1, 0.1},                // period-2 bulb
        {0.11, -0.76, 0.13, -0.73},           // period-3 bulb
        {-0.26, -0.02, -0.2, 0.02},           // the cusp: slow convergence
        {0.7, 0.0, 0.8, 0.1},                 // the cardioid's edge by the period-2 bulb
        {1.3, -0.05, 1.45, 0.05},             // period-4 bulb and the edge beyond
    };
    for (const Bounds& b : inside) {
        const Render reference = ExpectSameAsReference(b, 37, 23);
        EXPECT_GT(std::count(reference.pixels.begin(), reference.pixels.end(), 0u), 0)
            << "the view holds points of the set";
    }
}

const char* NameOf(KernelPath path)
{
    switch (path) {
    case KernelPath::Avx512:
        return "Avx512";
    case KernelPath::Avx2:
        return "Avx2";
    case KernelPath::Sse2:
        return "Sse2";
    default:
        return "Reference";
    }
}

INSTANTIATE_TEST_SUITE_P(Paths, FastKernel,
                         ::testing::Values(Kernel{"Avx512", KernelPath::Avx512, nullptr},
                                           Kernel{"Avx2", KernelPath::Avx2, nullptr},
                                           Kernel{"Sse2", KernelPath::Sse2, nullptr}),
                         [](const ::testing::TestParamInfo<Kernel>& info) {
                             return info.param.name;
                         });

// Each vector width at the tuning of each build: the 64-bit one (16 or 32
// vector registers) and the 32-bit one (eight), whichever this build is; the
// path they name is the one always there, and none of them uses it.
INSTANTIATE_TEST_SUITE_P(
    StandIns, FastKernel,
    ::testing::Values(
        Kernel{"Lanes8Registers64Bit", KernelPath::Reference, RenderRegionStandIn<8, false>},
        Kernel{"Lanes8Registers32Bit", KernelPath::Reference, RenderRegionStandIn<8, true>},
        Kernel{"Lanes4Registers64Bit", KernelPath::Reference, RenderRegionStandIn<4, false>},
        Kernel{"Lanes4Registers32Bit", KernelPath::Reference, RenderRegionStandIn<4, true>},
        Kernel{"Lanes2Registers64Bit", KernelPath::Reference, RenderRegionStandIn<2, false>},
        Kernel{"Lanes2Registers32Bit", KernelPath::Reference, RenderRegionStandIn<2, true>}),
    [](const ::testing::TestParamInfo<Kernel>& info) { return info.param.name; });

// Whether the processor has the path's instructions and the system saves its
// registers, read here from CPUID and XGETBV themselves, apart from the
// compiler's helper that the kernel asks.
bool SystemRuns(KernelPath path)
{
    if (path == KernelPath::Reference || path == KernelPath::Sse2)
        return true;
    unsigned eax, ebx, ecx, edx;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx) || !(ecx & bit_OSXSAVE) || !(ecx & bit_AVX))
        return false;
    unsigned savedLow, savedHigh;
    asm volatile("xgetbv" : "=a"(savedLow), "=d"(savedHigh) : "c"(0));
    if (!__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx))
        return false;
    const unsigned XMM_YMM = 0x06, OPMASK_ZMM = 0xE0;
    if (path == KernelPath::Avx2)
        return (ebx & bit_AVX2) && (savedLow & XMM_YMM) == XMM_YMM;
    return (ebx & bit_AVX512F) && (ebx & bit_AVX512DQ) &&
           (savedLow & (XMM_YMM | OPMASK_ZMM)) == (XMM_YMM | OPMASK_ZMM);
}

// Never a path the machine cannot run, and the widest one it can.
TEST(KernelPath, StartsOnTheWidestVectorsTheSystemRuns)
{
    const KernelPath widestFirst[] = {KernelPath::Avx512, KernelPath::Avx2, KernelPath::Sse2};
    const KernelPath start = SelectedKernelPath();
    EXPECT_TRUE(IsKernelPathAvailable(KernelPath::Reference));
    for (KernelPath path : widestFirst) {
        SCOPED_TRACE(NameOf(path));
        EXPECT_EQ(IsKernelPathAvailable(path), SystemRuns(path));
        if (!SystemRuns(path)) {
            EXPECT_FALSE(SelectKernelPath(path));
        }
    }
    EXPECT_EQ(SelectedKernelPath(), start);
    const KernelPath* widest = std::find_if(std::begin(widestFirst), std::end(widestFirst),
                                            SystemRuns);
    EXPECT_EQ(NameOf(start), NameOf(*widest));
}

}  // namespace
