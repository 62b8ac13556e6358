#!/bin/sh
# Runs the batched column transform's AVX-512 kernel on a processor without AVX-512: the
# kernel's source is compiled with scalar stand-ins for its intrinsics
# (scripts/avx512-emulated/immintrin_stand_in.h), the dispatch and the tests are told the
# processor has it, and the path's equality tests (tests/unit/fft_batch_test.cpp) run
# natively. This checks the kernel's own logic (transposes, masks, bucket indices, gathers)
# against the plain engine as far as the stand-ins follow the instructions; on an AVX-512
# machine the unit tests run the real instructions.
#   scripts/check-avx512-emulated.sh
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$root/scripts/avx512-emulated/immintrin_stand_in.h" "$work/"
sed -e 's|#include <immintrin.h>|#include "immintrin_stand_in.h"|' \
    -e 's|#if defined(__AVX512F__) && defined(__AVX512BW__)|#if 1|' \
    "$root/src/core/dsp/fft_batch_avx512.cpp" >"$work/fft_batch_avx512.cpp"
sed -e 's|if (path == kAvx512) return .*|if (path == kAvx512) return true;|' \
    "$root/src/core/dsp/fft_batch.cpp" >"$work/fft_batch.cpp"
sed -e 's|if (path == "avx512") return .*|if (path == "avx512") return true;|' \
    "$root/tests/unit/fft_batch_test.cpp" >"$work/fft_batch_test.cpp"
for f in fft_batch_avx512.cpp fft_batch.cpp fft_batch_test.cpp; do
    if cmp -s "$work/$f" "$root/$(cd "$root" && git ls-files "*/$f" | head -n 1)"; then
        echo "check-avx512-emulated.sh: $f was not rewritten; update this script" >&2
        exit 1
    fi
done
g++ -std=c++17 -O1 -mavx2 -I"$root/src" -I"$root" -I"$work" -o "$work/emulated_test" \
    "$work/fft_batch_avx512.cpp" "$work/fft_batch.cpp" "$work/fft_batch_test.cpp" \
    "$root/src/core/dsp/fft_engine.cpp" "$root/src/core/dsp/level_scale.cpp" \
    "$root/src/core/dsp/fft_batch_sse2.cpp" "$root/src/core/dsp/fft_batch_avx2.cpp" \
    -lgtest -lgtest_main -pthread
"$work/emulated_test" --gtest_filter='*/avx512:*AutomaticChoice*'
