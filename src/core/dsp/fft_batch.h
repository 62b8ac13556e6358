// Levels of many frames at once: the column path of the time–frequency image.
//
// TransformFramesToLevels gives, for each frame, exactly the levels FftEngine::Transform
// (frame, 0) gives: the same fixed-point arithmetic, wrap for wrap and shift for shift, so
// an image drawn in batches is pixel for pixel the image drawn one column at a time.
//
// On x86 the frames are spread over the lanes of vector registers, one frame per 32-bit
// lane holding an (re, im) pair of 16-bit values (4 frames with SSE2, 8 with AVX2, 16 with
// AVX-512), and every lane runs the plain transform's steps. The instruction set is chosen
// once, at the first call, from what the processor reports; other machines use a plain loop.
//
// Contract:
// - `frames` holds frameCount consecutive frames of engine.length samples each. On return
//   the first N/2 values of frame f are the levels of its bins 0 .. N/2 - 1; the rest of
//   each frame is unspecified. frameCount <= 0 does nothing; so does an unbuilt engine.
// - The engine is only read, so two threads may each transform with their own engine (or
//   share one) at the same time. Each thread has its own scratch block (about 90 KiB),
//   allocated at its first call and kept until it exits; nothing else is allocated. Should
//   that one allocation fail, the plain loop, which needs no memory, is used instead.
#pragma once

#include <cstdint>

namespace hl {

struct FftEngine;

void TransformFramesToLevels(const FftEngine& engine, int16_t* frames, int frameCount);

// The path in use: "avx512", "avx2", "sse2" or "scalar".
const char* BatchInstructionSet();

// For tests and benchmarks: forces one path by its name, or restores the automatic choice
// when `name` is null. Returns false (and changes nothing) when this build or this
// processor lacks that path.
bool SetBatchInstructionSetForTesting(const char* name);

// For tests: the level step of the path in use on its own, for `count` bins given as
// (re, im) pairs, or for `count` powers p = re^2 + im^2 + 1 (1 .. 2^31 + 1).
void BatchLevelsOfPairsForTesting(const int16_t* pairs, int count, int16_t* levels);
void BatchLevelsOfPowersForTesting(const uint32_t* powers, int count, int16_t* levels);

}  // namespace hl
