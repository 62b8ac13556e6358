// Scalar stand-ins for the AVX-512 intrinsics the batched column kernel uses, written after
// the instruction set reference, so that scripts/check-avx512-emulated.sh can run that kernel
// on a processor without AVX-512. Only what the kernel uses; never part of a build.
#pragma once
#include <cstdint>
#include <cstring>
#include <cmath>
struct __m512i { union { int16_t h[32]; uint16_t uh[32]; int32_t w[16]; uint32_t uw[16]; int64_t q[8]; float f[16]; }; };
typedef __m512i __m512;
struct __m256i { union { int16_t h[16]; int32_t w[8]; }; };
typedef uint32_t __mmask32;
typedef uint16_t __mmask16;
#define _MM_FROUND_TO_ZERO 3
#define _MM_FROUND_NO_EXC 8
typedef __m512i V;
static inline V Z() { V r; std::memset(&r, 0, sizeof r); return r; }
static inline V _mm512_set1_epi32(int x) { V r; for (int i=0;i<16;++i) r.w[i]=x; return r; }
static inline V _mm512_set1_epi16(short x) { V r; for (int i=0;i<32;++i) r.h[i]=x; return r; }
static inline V _mm512_setzero_si512() { return Z(); }
static inline V _mm512_loadu_si512(const void* p) { V r; std::memcpy(&r, p, 64); return r; }
static inline void _mm512_storeu_si512(void* p, V x) { std::memcpy(p, &x, 64); }
static inline V _mm512_maskz_loadu_epi16(__mmask32 k, const void* p) { V r = Z(); for (int i=0;i<32;++i) if (k>>i&1) std::memcpy(&r.h[i], (const char*)p+2*i, 2); return r; }
static inline void _mm512_mask_storeu_epi16(void* p, __mmask32 k, V x) { for (int i=0;i<32;++i) if (k>>i&1) std::memcpy((char*)p+2*i, &x.h[i], 2); }
static inline V _mm512_madd_epi16(V a, V b) { V r; for (int i=0;i<16;++i) r.uw[i] = (uint32_t)((int64_t)a.h[2*i]*b.h[2*i] + (int64_t)a.h[2*i+1]*b.h[2*i+1]); return r; }
static inline V _mm512_add_epi32(V a, V b) { V r; for (int i=0;i<16;++i) r.uw[i]=a.uw[i]+b.uw[i]; return r; }
static inline V _mm512_sub_epi32(V a, V b) { V r; for (int i=0;i<16;++i) r.uw[i]=a.uw[i]-b.uw[i]; return r; }
static inline V _mm512_srli_epi32(V a, unsigned n) { V r; for (int i=0;i<16;++i) r.uw[i]= n>31?0:a.uw[i]>>n; return r; }
static inline V _mm512_slli_epi32(V a, unsigned n) { V r; for (int i=0;i<16;++i) r.uw[i]= n>31?0:a.uw[i]<<n; return r; }
static inline V _mm512_add_epi16(V a, V b) { V r; for (int i=0;i<32;++i) r.uh[i]=(uint16_t)(a.uh[i]+b.uh[i]); return r; }
static inline V _mm512_sub_epi16(V a, V b) { V r; for (int i=0;i<32;++i) r.uh[i]=(uint16_t)(a.uh[i]-b.uh[i]); return r; }
static inline V _mm512_avg_epu16(V a, V b) { V r; for (int i=0;i<32;++i) r.uh[i]=(uint16_t)((a.uh[i]+b.uh[i]+1)>>1); return r; }
static inline V _mm512_and_si512(V a, V b) { V r; for (int i=0;i<8;++i) r.q[i]=a.q[i]&b.q[i]; return r; }
static inline V _mm512_xor_si512(V a, V b) { V r; for (int i=0;i<8;++i) r.q[i]=a.q[i]^b.q[i]; return r; }
static inline V _mm512_or_si512(V a, V b) { V r; for (int i=0;i<8;++i) r.q[i]=a.q[i]|b.q[i]; return r; }
static inline V _mm512_mask_blend_epi16(__mmask32 k, V a, V b) { V r; for (int i=0;i<32;++i) r.h[i]=(k>>i&1)?b.h[i]:a.h[i]; return r; }
static inline V _mm512_mask_sub_epi16(V src, __mmask32 k, V a, V b) { V r; for (int i=0;i<32;++i) r.uh[i]=(k>>i&1)?(uint16_t)(a.uh[i]-b.uh[i]):src.uh[i]; return r; }
static inline V _mm512_mulhi_epi16(V a, V b) { V r; for (int i=0;i<32;++i) r.h[i]=(int16_t)(((int32_t)a.h[i]*b.h[i])>>16); return r; }
static inline V _mm512_mullo_epi16(V a, V b) { V r; for (int i=0;i<32;++i) r.uh[i]=(uint16_t)((int32_t)a.h[i]*b.h[i]); return r; }
static inline V _mm512_slli_epi16(V a, unsigned n) { V r; for (int i=0;i<32;++i) r.uh[i]=n>15?0:(uint16_t)(a.uh[i]<<n); return r; }
static inline V _mm512_srli_epi16(V a, unsigned n) { V r; for (int i=0;i<32;++i) r.uh[i]=n>15?0:(uint16_t)(a.uh[i]>>n); return r; }
static inline V _mm512_srai_epi16(V a, unsigned n) { V r; for (int i=0;i<32;++i) r.h[i]=(int16_t)(a.h[i]>>(n>15?15:n)); return r; }
static inline __mmask32 _mm512_cmpeq_epi16_mask(V a, V b) { __mmask32 k=0; for (int i=0;i<32;++i) if (a.h[i]==b.h[i]) k|=1u<<i; return k; }
static inline V _mm512_unpacklo_epi32(V a, V b) { V r; for (int q=0;q<4;++q){ r.w[4*q]=a.w[4*q]; r.w[4*q+1]=b.w[4*q]; r.w[4*q+2]=a.w[4*q+1]; r.w[4*q+3]=b.w[4*q+1]; } return r; }
static inline V _mm512_unpackhi_epi32(V a, V b) { V r; for (int q=0;q<4;++q){ r.w[4*q]=a.w[4*q+2]; r.w[4*q+1]=b.w[4*q+2]; r.w[4*q+2]=a.w[4*q+3]; r.w[4*q+3]=b.w[4*q+3]; } return r; }
static inline V _mm512_unpacklo_epi64(V a, V b) { V r; for (int q=0;q<4;++q){ r.q[2*q]=a.q[2*q]; r.q[2*q+1]=b.q[2*q]; } return r; }
static inline V _mm512_unpackhi_epi64(V a, V b) { V r; for (int q=0;q<4;++q){ r.q[2*q]=a.q[2*q+1]; r.q[2*q+1]=b.q[2*q+1]; } return r; }
static inline V _mm512_shuffle_i32x4(V a, V b, int imm) { V r; int s[4]={imm&3,(imm>>2)&3,(imm>>4)&3,(imm>>6)&3}; for (int l=0;l<4;++l){ const V& src = l<2?a:b; for(int e=0;e<4;++e) r.w[4*l+e]=src.w[4*s[l]+e]; } return r; }
static inline V _mm512_cvt_roundepi32_ps(V a, int rounding) { V r; if (rounding!=(_MM_FROUND_TO_ZERO|_MM_FROUND_NO_EXC)) __builtin_trap(); for (int i=0;i<16;++i){ double d=a.w[i]; float f=(float)d; if (std::fabs((double)f)>std::fabs(d)) f=std::nextafterf(f,0.0f); r.f[i]=f; } return r; }
static inline V _mm512_castps_si512(V a) { return a; }
static inline __mmask16 _mm512_cmplt_epi32_mask(V a, V b) { __mmask16 k=0; for (int i=0;i<16;++i) if (a.w[i]<b.w[i]) k|=1u<<i; return k; }
static inline __mmask16 _mm512_cmpge_epu32_mask(V a, V b) { __mmask16 k=0; for (int i=0;i<16;++i) if (a.uw[i]>=b.uw[i]) k|=1u<<i; return k; }
static inline V _mm512_mask_mov_epi32(V src, __mmask16 k, V a) { V r; for (int i=0;i<16;++i) r.w[i]=(k>>i&1)?a.w[i]:src.w[i]; return r; }
static inline V _mm512_mask_srli_epi32(V src, __mmask16 k, V a, unsigned n) { V r; for (int i=0;i<16;++i) r.uw[i]=(k>>i&1)?(n>31?0:a.uw[i]>>n):src.uw[i]; return r; }
static inline V _mm512_i32gather_epi64(__m256i idx, const void* base, int scale) { V r; for (int i=0;i<8;++i) std::memcpy(&r.q[i], (const char*)base + (int64_t)idx.w[i]*scale, 8); return r; }
static inline __m256i _mm512_castsi512_si256(V a) { __m256i r; for (int i=0;i<8;++i) r.w[i]=a.w[i]; return r; }
static inline __m256i _mm512_extracti64x4_epi64(V a, int hi) { __m256i r; for (int i=0;i<8;++i) r.w[i]=a.w[8*(hi&1)+i]; return r; }
static inline V _mm512_set_epi32(int e15,int e14,int e13,int e12,int e11,int e10,int e9,int e8,int e7,int e6,int e5,int e4,int e3,int e2,int e1,int e0) { V r; int e[16]={e0,e1,e2,e3,e4,e5,e6,e7,e8,e9,e10,e11,e12,e13,e14,e15}; for(int i=0;i<16;++i) r.w[i]=e[i]; return r; }
static inline V _mm512_permutex2var_epi32(V a, V idx, V b) { V r; for (int i=0;i<16;++i){ int o=idx.w[i]&15; r.w[i]=(idx.w[i]&16)?b.w[o]:a.w[o]; } return r; }
static inline __m256i _mm512_cvtepi32_epi16(V a) { __m256i r; for (int i=0;i<16;++i) r.h[i]=(int16_t)a.w[i]; return r; }
static inline void _mm256_storeu_si256(__m256i* p, __m256i x) { std::memcpy(p, &x, 32); }
