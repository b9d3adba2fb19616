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

// The lane engine's block for the eight registers of 32-bit code, allocated
// by hand: four vectors; u of each and v of vectors 0-2 in registers (v in
// ymm4-6), v of vector 3 in memory, each step reading it from one of two rows
// and writing it to the other, so that the one spare register (ymm7) is all a
// step needs. GCC's own allocation of the steps in eight registers keeps v of
// more vectors in memory, each reloaded soon after its store, and stretches
// their chains by the forwarding of the store (docs/kernel.md has the
// measurements). Each step is Step's operations in Step's order, u + u
// doubling on the adder. The saves of z at the block's start and middle are
// made as the values pass; the last step's |z|^2 gives one bit a lane.
#define MANDEL_U(i) "%[u" #i "]"
#define MANDEL_V(i) MANDEL_V_##i
#define MANDEL_V_0 "%%ymm4"
#define MANDEL_V_1 "%%ymm5"
#define MANDEL_V_2 "%%ymm6"
#define MANDEL_X(i) "32*" #i "(%[base])"
#define MANDEL_Y(i) "%c[y]+32*" #i "(%[base])"
#define MANDEL_ROW(i) "%c[v]+32*" #i "(%[base])"
#define MANDEL_SAVED(start, i) "%c[" start "]+32*" #i "(%[base],%[slot])"
#define MANDEL_ODD_ROW "%c[oddV](%[base])"
// Vector i (0-2): u*u in u, v*v in v, (u + u)*v in ymm7.
#define MANDEL_PRODUCTS(i)                                              \
    "vaddpd " MANDEL_U(i) "," MANDEL_U(i) ",%%ymm7\n\t"                 \
    "vmulpd " MANDEL_U(i) "," MANDEL_U(i) "," MANDEL_U(i) "\n\t"        \
    "vmulpd " MANDEL_V(i) ",%%ymm7,%%ymm7\n\t"                          \
    "vmulpd " MANDEL_V(i) "," MANDEL_V(i) "," MANDEL_V(i) "\n\t"
// z of vector i (0-2) through one step.
#define MANDEL_STEP(i)                                                  \
    MANDEL_PRODUCTS(i)                                                  \
    "vsubpd " MANDEL_V(i) "," MANDEL_U(i) "," MANDEL_U(i) "\n\t"        \
    "vsubpd " MANDEL_Y(i) ",%%ymm7," MANDEL_V(i) "\n\t"                 \
    "vsubpd " MANDEL_X(i) "," MANDEL_U(i) "," MANDEL_U(i) "\n\t"
#define MANDEL_SAVE(start, i)                                           \
    "vmovupd " MANDEL_U(i) "," MANDEL_SAVED(start "U", i) "\n\t"        \
    "vmovupd " MANDEL_V(i) "," MANDEL_SAVED(start "V", i) "\n\t"
// The last step: v' goes to the vector's row (where the next block or the
// retirement reads it), |z|^2 to ymm7 as the compare's mask.
#define MANDEL_LAST_STEP(i)                                             \
    MANDEL_PRODUCTS(i)                                                  \
    "vsubpd " MANDEL_Y(i) ",%%ymm7,%%ymm7\n\t"                          \
    "vmovupd %%ymm7," MANDEL_ROW(i) "\n\t"                              \
    "vaddpd " MANDEL_V(i) "," MANDEL_U(i) ",%%ymm7\n\t"                 \
    "vcmppd $0x15,%[bound],%%ymm7,%%ymm7\n\t"                           \
    "vsubpd " MANDEL_V(i) "," MANDEL_U(i) "," MANDEL_U(i) "\n\t"        \
    "vsubpd " MANDEL_X(i) "," MANDEL_U(i) "," MANDEL_U(i) "\n\t"
#define MANDEL_GATHER(i)                                                \
    "vmovmskpd %%ymm7,%[bits]\n\t"                                      \
    "shl $4*" #i ",%[bits]\n\t"                                         \
    "or %[bits],%[mask]\n\t"
// Vector 3: u*u in u, its new v from row `in` to row `out` and in ymm7.
#define MANDEL_NEW_V_3(in, out)                                         \
    "vaddpd " MANDEL_U(3) "," MANDEL_U(3) ",%%ymm7\n\t"                 \
    "vmulpd " MANDEL_U(3) "," MANDEL_U(3) "," MANDEL_U(3) "\n\t"        \
    "vmulpd " in ",%%ymm7,%%ymm7\n\t"                                   \
    "vsubpd " MANDEL_Y(3) ",%%ymm7,%%ymm7\n\t"                          \
    "vmovupd %%ymm7," out "\n\t"
// Vector 3 through one step, v read from row `in` and written to row `out`;
// NEW_V and OLD_V go where ymm7 holds its new v and its old one.
#define MANDEL_STEP_3(in, out, NEW_V, OLD_V)                            \
    MANDEL_NEW_V_3(in, out) NEW_V                                       \
    "vmovupd " in ",%%ymm7\n\t" OLD_V                                   \
    "vmulpd %%ymm7,%%ymm7,%%ymm7\n\t"                                   \
    "vsubpd %%ymm7," MANDEL_U(3) "," MANDEL_U(3) "\n\t"                 \
    "vsubpd " MANDEL_X(3) "," MANDEL_U(3) "," MANDEL_U(3) "\n\t"
// Even steps read the vector's row and write the odd row, odd steps the
// other way.
#define MANDEL_EVEN_3(NEW_V, OLD_V) MANDEL_STEP_3(MANDEL_ROW(3), MANDEL_ODD_ROW, NEW_V, OLD_V)
#define MANDEL_ODD_3(NEW_V, OLD_V) MANDEL_STEP_3(MANDEL_ODD_ROW, MANDEL_ROW(3), NEW_V, OLD_V)
#define MANDEL_PAIR_OF_STEPS                                            \
    MANDEL_STEP(0) MANDEL_STEP(1) MANDEL_STEP(2) MANDEL_EVEN_3("", "") \
    MANDEL_STEP(0) MANDEL_STEP(1) MANDEL_STEP(2) MANDEL_ODD_3("", "")

struct Avx2BlockByHand {
    static constexpr int VECTORS = 4;
    static constexpr int BLOCK = 16;

    // u of the four vectors, asm operands from block to block: GCC keeps
    // them in registers there or, where the code between blocks needs the
    // registers, in stack slots.
    struct U {
        __m256d u0, u1, u2, u3;

        void Load(const double* u)
        {
            u0 = _mm256_loadu_pd(u), u1 = _mm256_loadu_pd(u + 4);
            u2 = _mm256_loadu_pd(u + 8), u3 = _mm256_loadu_pd(u + 12);
        }
        void Store(double* u) const
        {
            _mm256_storeu_pd(u, u0), _mm256_storeu_pd(u + 4, u1);
            _mm256_storeu_pd(u + 8, u2), _mm256_storeu_pd(u + 12, u3);
        }
    };

    // One block of the lane state at `x` (the engine's x row), laid out as
    // ROWS says, with u in `u` and v in the v row; its saves go to the rows
    // of the epoch's slot `slot`. Returns one bit a lane (vector i's at bit
    // 4i), set where the block's last |z|^2 is not below the bound.
    template <class ROWS>
    static __attribute__((always_inline)) unsigned Run(U& u, double* x, int slot,
                                                       const __m256d& bound)
    {
        unsigned mask, bits;
        asm("vmovupd " MANDEL_ROW(0) ",%%ymm4\n\t"
            "vmovupd " MANDEL_ROW(1) ",%%ymm5\n\t"
            "vmovupd " MANDEL_ROW(2) ",%%ymm6\n\t"
            MANDEL_SAVE("start", 0) MANDEL_SAVE("start", 1) MANDEL_SAVE("start", 2)
            "vmovupd " MANDEL_U(3) "," MANDEL_SAVED("startU", 3) "\n\t"
            MANDEL_STEP(0) MANDEL_STEP(1) MANDEL_STEP(2)
            MANDEL_EVEN_3("", "vmovupd %%ymm7," MANDEL_SAVED("startV", 3) "\n\t")
            // steps 1 to 6
            MANDEL_STEP(0) MANDEL_STEP(1) MANDEL_STEP(2) MANDEL_ODD_3("", "")
            MANDEL_PAIR_OF_STEPS MANDEL_PAIR_OF_STEPS
            MANDEL_STEP(0) MANDEL_STEP(1) MANDEL_STEP(2) MANDEL_EVEN_3("", "")
            // step 7, then the middle's saves
            MANDEL_STEP(0) MANDEL_STEP(1) MANDEL_STEP(2)
            MANDEL_ODD_3("vmovupd %%ymm7," MANDEL_SAVED("middleV", 3) "\n\t", "")
            MANDEL_SAVE("middle", 0) MANDEL_SAVE("middle", 1) MANDEL_SAVE("middle", 2)
            "vmovupd " MANDEL_U(3) "," MANDEL_SAVED("middleU", 3) "\n\t"
            // steps 8 to 14
            MANDEL_PAIR_OF_STEPS MANDEL_PAIR_OF_STEPS MANDEL_PAIR_OF_STEPS
            MANDEL_STEP(0) MANDEL_STEP(1) MANDEL_STEP(2) MANDEL_EVEN_3("", "")
            // step 15 and the block's test; vector 3's v*v waits in its odd
            // row, whose old v has been read, while ymm7 holds |z|^2
            MANDEL_LAST_STEP(0)
            "vmovmskpd %%ymm7,%[mask]\n\t"
            MANDEL_LAST_STEP(1) MANDEL_GATHER(1) MANDEL_LAST_STEP(2) MANDEL_GATHER(2)
            MANDEL_NEW_V_3(MANDEL_ODD_ROW, MANDEL_ROW(3))
            "vmovupd " MANDEL_ODD_ROW ",%%ymm7\n\t"
            "vmulpd %%ymm7,%%ymm7,%%ymm7\n\t"
            "vmovupd %%ymm7," MANDEL_ODD_ROW "\n\t"
            "vaddpd %%ymm7," MANDEL_U(3) ",%%ymm7\n\t"
            "vcmppd $0x15,%[bound],%%ymm7,%%ymm7\n\t"
            "vsubpd " MANDEL_ODD_ROW "," MANDEL_U(3) "," MANDEL_U(3) "\n\t"
            "vsubpd " MANDEL_X(3) "," MANDEL_U(3) "," MANDEL_U(3) "\n\t"
            MANDEL_GATHER(3)
            : [u0] "+x"(u.u0), [u1] "+x"(u.u1), [u2] "+x"(u.u2), [u3] "+x"(u.u3),
              [mask] "=&r"(mask), [bits] "=&r"(bits)
            : [base] "r"(x), [slot] "r"(intptr_t(slot) * ROWS::SLOT), [bound] "m"(bound),
              [v] "i"(ROWS::V), [y] "i"(ROWS::Y), [oddV] "i"(ROWS::ODD_V),
              [startU] "i"(ROWS::START_U), [startV] "i"(ROWS::START_V),
              [middleU] "i"(ROWS::MIDDLE_U), [middleV] "i"(ROWS::MIDDLE_V)
            : "xmm4", "xmm5", "xmm6", "xmm7", "memory", "cc");
        return mask;
    }
};

// Masks are vectors of all-ones or all-zero lanes, as the compares give them.
struct Avx2 {
    using Type = __m256d;
    using Mask = __m256d;
    static constexpr int WIDTH = 4;
    using BlockByHand = Avx2BlockByHand;

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
