// The fast kernel's step z <- z^2 - c on a vector of lanes, the contract of
// the vector types it runs on, and the bare loop of that step that measures
// the machine's ceiling for it. Included by the vector kernels
// (kernel_sse2.cpp, kernel_avx2.cpp, kernel_avx512.cpp), each compiled for its
// own instruction set, and through the lane engine by the kernel test; internal
// linkage, so the copies never meet at link time.
//
// A vector type Vec supplies, for Type (WIDTH doubles) and Mask (one flag a
// lane):
//   Load, Store            unaligned, WIDTH doubles
//   StoreWhere(mask, p, a) stores the lanes of a where the mask is set
//   Set                    the same double in every lane
//   Add, Sub, Mul          IEEE double operations, each rounded once, never
//                          fused (the build has -ffp-contract=off, never -mfma)
//   Min                    the smaller of two numbers (never given NaN)
//   NotBelow(a, b)         !(a < b): true when a >= b and when either is NaN
//   AtLeast(a, b)          a >= b: false when either is NaN
//   SameBits(a, b)         equal as 64-bit patterns (NaN equals its own bits,
//                          -0 differs from +0)
//   And, Or                on masks
//   Select(mask, a, b)     a where the mask is set, else b
//   Bits(mask)             bit i set when lane i's flag is
//   FromBits(bits)         the mask whose flag i is bit i
//   Compress(mask, a)      a's lanes where the mask is set, moved in order to
//                          lanes 0, 1, ...; the other lanes any value
//   Expand(mask, a, b)     a's lanes 0, 1, ... moved in order to the lanes
//                          where the mask is set; b's lanes elsewhere
//   StoreInt32(p, a)       WIDTH int32, a's lanes (whole numbers in range)
#pragma once

#include <cstdint>
#include <iterator>
#include <type_traits>

#include "engine/kernel.h"

namespace {

// Keeps the compiler from knowing a vector's value: it would turn u * 2.0
// back into u + u. A vector type that is a plain struct (the tests' stand-in)
// needs no such guard: both give the same bits.
template <class V>
inline V Opaque(V a)
{
    if constexpr (!std::is_class_v<V>)
        asm("" : "+v"(a));
    return a;
}

// Vectors whose step doubles on the multiplier, bit i for vector i: the odd
// ones, half the vectors on each kind of unit (see Step).
constexpr unsigned ODD_VECTORS = CEILING_DOUBLINGS[0];

// One step of the literal loop on a vector, its operations in its order:
// u' = (u*u - v*v) - x, v' = (2u)*v - y. Doubling is exact, so u + u and
// u * 2.0 give the same bits in every case (overflow, NaN, subnormals); the
// caller gives it to the multiplier (u * 2.0) or the adder (u + u), to
// balance the two kinds of unit over its vectors (four adds and three
// multiplies otherwise).
// Returns the literal loop's test value for the step, |z|^2 = u*u + v*v of
// the z before it; callers that do not use it pay nothing for it.
template <class Vec>
inline typename Vec::Type Step(bool doubleOnMultiplier, typename Vec::Type& u,
                               typename Vec::Type& v, typename Vec::Type x,
                               typename Vec::Type y, typename Vec::Type two)
{
    using V = typename Vec::Type;
    const V uu = Vec::Mul(u, u);
    const V vv = Vec::Mul(v, v);
    const V twoU = doubleOnMultiplier ? Vec::Mul(u, two) : Vec::Add(u, u);
    const V twoUV = Vec::Mul(twoU, v);
    u = Vec::Sub(Vec::Sub(uu, vv), x);
    v = Vec::Sub(twoUV, y);
    return Vec::Add(uu, vv);
}

// VECTORS independent vectors through `steps` steps and nothing else, those
// in DOUBLING doubling on the multiplier: the throughput the step alone
// reaches, for mandel-bench's ceiling. The points lie inside the set, so z
// stays normal and never overflows. Returns the pixel-iterations done.
template <class Vec, int VECTORS, unsigned DOUBLING>
uint64_t RunBareStepsWith(int32_t steps)
{
    using V = typename Vec::Type;
    const V two = Opaque(Vec::Set(2.0));
    V u[VECTORS], v[VECTORS], x[VECTORS], y[VECTORS];
    for (int i = 0; i < VECTORS; ++i) {
        u[i] = v[i] = Vec::Set(0.0);
        x[i] = Vec::Set(0.1 + 0.01 * i);
        y[i] = Vec::Set(0.05);
    }
    for (int32_t step = 0; step < steps; ++step)
        for (int i = 0; i < VECTORS; ++i)
            Step<Vec>(DOUBLING >> i & 1, u[i], v[i], x[i], y[i], two);
    // The results must look used, or the loop would be dropped.
    for (int i = 0; i < VECTORS; ++i)
        asm volatile("" : : "v"(u[i]), "v"(v[i]));
    return uint64_t(steps) * VECTORS * Vec::WIDTH;
}

// RunBareStepsWith, the vector count (1 to MAX_CEILING_VECTORS) and the
// doubling (an index into CEILING_DOUBLINGS) chosen at run time; 0 for
// others.
template <class Vec, int VECTORS = MAX_CEILING_VECTORS>
uint64_t RunBareSteps(int vectors, int doubling, int32_t steps)
{
    if constexpr (VECTORS > 1) {
        if (vectors < VECTORS)
            return RunBareSteps<Vec, VECTORS - 1>(vectors, doubling, steps);
    }
    static_assert(std::size(CEILING_DOUBLINGS) == 4, "one case a doubling");
    switch (doubling) {
    case 0:
        return RunBareStepsWith<Vec, VECTORS, CEILING_DOUBLINGS[0]>(steps);
    case 1:
        return RunBareStepsWith<Vec, VECTORS, CEILING_DOUBLINGS[1]>(steps);
    case 2:
        return RunBareStepsWith<Vec, VECTORS, CEILING_DOUBLINGS[2]>(steps);
    case 3:
        return RunBareStepsWith<Vec, VECTORS, CEILING_DOUBLINGS[3]>(steps);
    default:
        return 0;
    }
}

}  // namespace
