// RenderRegion's AVX2 path: four doubles a vector. The only file compiled with
// -mavx2 (never -mfma); kernel.cpp calls it on the worker threads only when the
// processor and the system support AVX2.
#include <immintrin.h>

#include "engine/kernel_lanes.h"

namespace {

// Masks are vectors of all-ones or all-zero lanes, as the compares give them.
struct Avx2 {
    using Type = __m256d;
    using Mask = __m256d;
    static constexpr int WIDTH = 4;

    static Type Load(const double* p) { return _mm256_loadu_pd(p); }
    static void Store(double* p, Type a) { _mm256_storeu_pd(p, a); }
    static Type Set(double a) { return _mm256_set1_pd(a); }
    static Type Add(Type a, Type b) { return _mm256_add_pd(a, b); }
    static Type Sub(Type a, Type b) { return _mm256_sub_pd(a, b); }
    static Type Mul(Type a, Type b) { return _mm256_mul_pd(a, b); }
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
};

}  // namespace

uint64_t RenderRegionAvx2(const RegionJob& job)
{
    return RunLanes<Avx2>(job);
}

uint64_t RunCeilingLoopAvx2(int vectors, int32_t steps)
{
    return RunBareSteps<Avx2>(vectors, steps);
}
