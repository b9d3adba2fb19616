// RenderRegion's AVX2 path: four doubles a vector. The only file compiled with
// -mavx2 (never -mfma); kernel.cpp calls it on the worker threads only when the
// processor and the system support AVX2.
#include <immintrin.h>

#include "engine/kernel_lanes.h"

namespace {

// Lane moves for Compress and Expand, one row a 4-bit mask: the 32-bit
// element indices of _mm256_permutevar8x32_ps.
struct LanePermutes {
    int32_t compress[16][8];  // the mask's lanes to the front, in order
    int32_t expand[16][8];    // the front lanes to the mask's, in order
    constexpr LanePermutes() : compress(), expand()
    {
        for (int mask = 0; mask < 16; ++mask)
            for (int lane = 0, rank = 0; lane < 4; ++lane)
                if (mask >> lane & 1) {
                    compress[mask][2 * rank] = 2 * lane;
                    compress[mask][2 * rank + 1] = 2 * lane + 1;
                    expand[mask][2 * lane] = 2 * rank;
                    expand[mask][2 * lane + 1] = 2 * rank + 1;
                    ++rank;
                }
    }
};
constexpr LanePermutes LANE_PERMUTES;

inline __m256d PermuteLanes(__m256d a, const int32_t* indices)
{
    const __m256i order = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(indices));
    return _mm256_castps_pd(_mm256_permutevar8x32_ps(_mm256_castpd_ps(a), order));
}

// Masks are vectors of all-ones or all-zero lanes, as the compares give them.
struct Avx2 {
    using Type = __m256d;
    using Mask = __m256d;
    static constexpr int WIDTH = 4;

    static Type Load(const double* p) { return _mm256_loadu_pd(p); }
    static void Store(double* p, Type a) { _mm256_storeu_pd(p, a); }
    static void StoreWhere(Mask mask, double* p, Type a) { Store(p, Select(mask, a, Load(p))); }
    static Type Set(double a) { return _mm256_set1_pd(a); }
    static Type Add(Type a, Type b) { return _mm256_add_pd(a, b); }
    static Type Sub(Type a, Type b) { return _mm256_sub_pd(a, b); }
    static Type Mul(Type a, Type b) { return _mm256_mul_pd(a, b); }
    static Type Min(Type a, Type b) { return _mm256_min_pd(a, b); }
    // Unordered compare: true for NaN too, the opposite of the literal loop's
    // s < bound.
    static Mask NotBelow(Type a, Type b) { return _mm256_cmp_pd(a, b, _CMP_NLT_UQ); }
    // Ordered compares: false for NaN, like the literal !(s >= bound) test.
    static Mask AtLeast(Type a, Type b) { return _mm256_cmp_pd(a, b, _CMP_GE_OQ); }
    static Mask SameBits(Type a, Type b)
    {
        return _mm256_castsi256_pd(
            _mm256_cmpeq_epi64(_mm256_castpd_si256(a), _mm256_castpd_si256(b)));
    }
    static Mask And(Mask a, Mask b) { return _mm256_and_pd(a, b); }
    static Mask Or(Mask a, Mask b) { return _mm256_or_pd(a, b); }
    static Type Select(Mask mask, Type a, Type b) { return _mm256_blendv_pd(b, a, mask); }
    static unsigned Bits(Mask mask) { return _mm256_movemask_pd(mask); }
    static Mask FromBits(unsigned bits)
    {
        const __m256i lane = _mm256_set_epi64x(8, 4, 2, 1);
        const __m256i set = _mm256_and_si256(_mm256_set1_epi64x(bits), lane);
        return _mm256_castsi256_pd(_mm256_cmpeq_epi64(set, lane));
    }
    static Type Compress(Mask mask, Type a)
    {
        return PermuteLanes(a, LANE_PERMUTES.compress[Bits(mask)]);
    }
    static Type Expand(Mask mask, Type a, Type b)
    {
        return Select(mask, PermuteLanes(a, LANE_PERMUTES.expand[Bits(mask)]), b);
    }
    static void StoreInt32(int32_t* p, Type a)
    {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm256_cvttpd_epi32(a));
    }
};

}  // namespace

uint64_t RenderRegionAvx2(const RegionJob& job)
{
    return RunLanes<Avx2>(job);
}

uint64_t RunCeilingLoopAvx2(int vectors, int doubling, int32_t steps)
{
    return RunBareSteps<Avx2>(vectors, doubling, steps);
}
