// The compositing baseline the blit and engine benchmarks are measured against: pixman's
// OVER of a full a8r8g8b8 frame onto x8r8g8b8, what a general compositor does for the job.
#pragma once

#include <benchmark/benchmark.h>
#include <pixman.h>

#include <cstdint>

// Composites src over dst (both w x h, rows of w pixels) once per iteration.
inline void RunPixmanOver(benchmark::State& state, uint32_t* src, uint32_t* dst, int w, int h) {
  pixman_image_t* s = pixman_image_create_bits(PIXMAN_a8r8g8b8, w, h, src, w * 4);
  pixman_image_t* d = pixman_image_create_bits(PIXMAN_x8r8g8b8, w, h, dst, w * 4);
  for (auto _ : state) {
    pixman_image_composite32(PIXMAN_OP_OVER, s, nullptr, d, 0, 0, 0, 0, 0, 0, w, h);
    benchmark::ClobberMemory();
  }
  pixman_image_unref(s);
  pixman_image_unref(d);
}
