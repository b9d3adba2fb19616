// RenderRegion's AVX2 path: four doubles a vector. The only file compiled with
// -mavx2 (never -mfma); kernel.cpp calls it on the worker threads only when the
// processor and the system support AVX2.
#include <immintrin.h>

#include "engine/kernel_lanes.h"

namespace {

struct Avx2 {
    using Type = __m256d;
    static constexpr int WIDTH = 4;

    static Type Load(const double* p) { return _mm256_loadu_pd(p); }
    static void Store(double* p, Type a) { _mm256_storeu_pd(p, a); }
    static Type Set(double a) { return _mm256_set1_pd(a); }
    static Type Add(Type a, Type b) { return _mm256_add_pd(a, b); }
    static Type Sub(Type a, Type b) { return _mm256_sub_pd(a, b); }
    static Type Mul(Type a, Type b) { return _mm256_mul_pd(a, b); }
    // maxpd returns its second operand when either is NaN.
    static Type MaxIgnoringNaN(Type s, Type largest) { return _mm256_max_pd(s, largest); }
    // Ordered compare: false for NaN, like the literal !(s >= bound) test.
    static int AtLeast(Type a, Type b) { return _mm256_movemask_pd(_mm256_cmp_pd(a, b, _CMP_GE_OQ)); }
    static int SameBits(Type a, Type b)
    {
        const __m256i equal = _mm256_cmpeq_epi64(_mm256_castpd_si256(a), _mm256_castpd_si256(b));
        return _mm256_movemask_pd(_mm256_castsi256_pd(equal));
    }
};

// Vectors in flight: enough to cover the latency of the multiply-subtract
// chain; the 32-bit build has only eight vector registers.
#if defined(__x86_64__)
constexpr int VECTORS = 4;
#else
constexpr int VECTORS = 4;
#endif
constexpr int BLOCK = 16;

}  // namespace

uint64_t RenderRegionAvx2(const RegionJob& job)
{
    return LaneKernel<Avx2, VECTORS, BLOCK>(job).Run();
}
