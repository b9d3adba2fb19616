// RenderRegion's SSE2 path: two doubles a vector, for processors or systems
// without AVX2. Called by kernel.cpp on the worker threads.
#include <emmintrin.h>

#include "engine/kernel_lanes.h"

namespace {

// Masks are vectors of all-ones or all-zero lanes, as the compares give them.
struct Sse2 {
    using Type = __m128d;
    using Mask = __m128d;
    static constexpr int WIDTH = 2;

    static Type Load(const double* p) { return _mm_loadu_pd(p); }
    static void Store(double* p, Type a) { _mm_storeu_pd(p, a); }
    static void StoreWhere(Mask mask, double* p, Type a) { Store(p, Select(mask, a, Load(p))); }
    static Type Set(double a) { return _mm_set1_pd(a); }
    static Type Add(Type a, Type b) { return _mm_add_pd(a, b); }
    static Type Sub(Type a, Type b) { return _mm_sub_pd(a, b); }
    static Type Mul(Type a, Type b) { return _mm_mul_pd(a, b); }
    static Type Min(Type a, Type b) { return _mm_min_pd(a, b); }
    // Unordered compare: true for NaN too, the opposite of the literal loop's
    // s < bound.
    static Mask NotBelow(Type a, Type b) { return _mm_cmpnlt_pd(a, b); }
    // Ordered compares: false for NaN, like the literal !(s >= bound) test.
    static Mask AtLeast(Type a, Type b) { return _mm_cmpge_pd(a, b); }
    // SSE2 compares 32-bit halves only: a lane is equal when both halves are.
    static Mask SameBits(Type a, Type b)
    {
        const __m128i halves = _mm_cmpeq_epi32(_mm_castpd_si128(a), _mm_castpd_si128(b));
        const __m128i swapped = _mm_shuffle_epi32(halves, _MM_SHUFFLE(2, 3, 0, 1));
        return _mm_castsi128_pd(_mm_and_si128(halves, swapped));
    }
    static Mask And(Mask a, Mask b) { return _mm_and_pd(a, b); }
    static Mask Or(Mask a, Mask b) { return _mm_or_pd(a, b); }
    static Type Select(Mask mask, Type a, Type b)
    {
        return _mm_or_pd(_mm_and_pd(mask, a), _mm_andnot_pd(mask, b));
    }
    static unsigned Bits(Mask mask) { return _mm_movemask_pd(mask); }
    static Mask FromBits(unsigned bits)
    {
        return _mm_castsi128_pd(_mm_set_epi64x(bits & 2 ? -1 : 0, bits & 1 ? -1 : 0));
    }
    // Only the mask "second lane alone" moves a lane.
    static Type Compress(Mask mask, Type a)
    {
        return Bits(mask) == 2 ? _mm_unpackhi_pd(a, a) : a;
    }
    static Type Expand(Mask mask, Type a, Type b)
    {
        return Select(mask, Bits(mask) == 2 ? _mm_unpacklo_pd(a, a) : a, b);
    }
    static void StoreInt32(int32_t* p, Type a)
    {
        _mm_storel_epi64(reinterpret_cast<__m128i*>(p), _mm_cvttpd_epi32(a));
    }
};

}  // namespace

uint64_t RenderRegionSse2(const RegionJob& job)
{
    return RunLanes<Sse2>(job);
}

uint64_t RunCeilingLoopSse2(int vectors, int doubling, int32_t steps)
{
    return RunBareSteps<Sse2>(vectors, doubling, steps);
}
