// RenderRegion's AVX-512 path: eight doubles a vector, flags in mask
// registers. The only file compiled with -mavx512f -mavx512dq (never -mfma);
// kernel.cpp calls it on the worker threads only when the processor has
// AVX-512 and the system saves its registers.
#include <immintrin.h>

#include "engine/kernel_lanes.h"

namespace {

struct Avx512 {
    using Type = __m512d;
    using Mask = __mmask8;
    static constexpr int WIDTH = 8;

    static Type Load(const double* p) { return _mm512_loadu_pd(p); }
    static void Store(double* p, Type a) { _mm512_storeu_pd(p, a); }
    static void StoreWhere(Mask mask, double* p, Type a) { _mm512_mask_storeu_pd(p, mask, a); }
    static Type Set(double a) { return _mm512_set1_pd(a); }
    static Type Add(Type a, Type b) { return _mm512_add_pd(a, b); }
    static Type Sub(Type a, Type b) { return _mm512_sub_pd(a, b); }
    static Type Mul(Type a, Type b) { return _mm512_mul_pd(a, b); }
    // The merging form with every lane set: GCC 12's plain _mm512_min_pd
    // reads an undefined vector and warns.
    static Type Min(Type a, Type b) { return _mm512_mask_min_pd(a, 0xff, a, b); }
    // Unordered compare: true for NaN too, the opposite of the literal loop's
    // s < bound.
    static Mask NotBelow(Type a, Type b) { return _mm512_cmp_pd_mask(a, b, _CMP_NLT_UQ); }
    // Ordered compares: false for NaN, like the literal !(s >= bound) test.
    static Mask AtLeast(Type a, Type b) { return _mm512_cmp_pd_mask(a, b, _CMP_GE_OQ); }
    static Mask SameBits(Type a, Type b)
    {
        return _mm512_cmpeq_epi64_mask(_mm512_castpd_si512(a), _mm512_castpd_si512(b));
    }
    static Mask And(Mask a, Mask b) { return _kand_mask8(a, b); }
    static Mask Or(Mask a, Mask b) { return _kor_mask8(a, b); }
    static Type Select(Mask mask, Type a, Type b) { return _mm512_mask_blend_pd(mask, b, a); }
    static unsigned Bits(Mask mask) { return _cvtmask8_u32(mask); }
    static Mask FromBits(unsigned bits) { return _cvtu32_mask8(bits); }
    static Type Compress(Mask mask, Type a) { return _mm512_maskz_compress_pd(mask, a); }
    static Type Expand(Mask mask, Type a, Type b) { return _mm512_mask_expand_pd(b, mask, a); }
    // The zeroing form with every lane set: GCC 12's plain _mm512_cvttpd_epi32
    // reads an undefined vector and warns.
    static void StoreInt32(int32_t* p, Type a)
    {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), _mm512_maskz_cvttpd_epi32(0xff, a));
    }
};

}  // namespace

uint64_t RenderRegionAvx512(const RegionJob& job)
{
    return RunLanes<Avx512>(job);
}

uint64_t RunCeilingLoopAvx512(int vectors, int doubling, int32_t steps)
{
    return RunBareSteps<Avx512>(vectors, doubling, steps);
}
