// Splitting picture work across both cores. The commands of this folder
// process rows independently, so a large picture is cut into two bands of
// rows, one for a helper thread and one for the calling thread. Small
// pictures stay on the calling thread, where a thread would cost more than
// it saves.
#pragma once

#include <functional>

#include "core/picture.h"

namespace qirm {

// Makes out a picture of width x height whose every byte the caller is about
// to write: a picture of that size keeps its storage and contents (no new
// memory, no white fill); any other becomes a new white picture.
void PrepareOutput(Picture& out, int width, int height);

// Pictures of fewer pixels than this run on one thread.
inline constexpr long long kThreadedPixels = 1 << 16;

// Calls work(y0, y1) for disjoint row ranges that together cover
// [0, height). With pixels >= kThreadedPixels and a helper thread available
// the ranges run at the same time; work must then touch only its own rows.
// If no thread can be started everything runs on the calling thread.
void ForRowBands(int height, long long pixels, const std::function<void(int y0, int y1)>& work);

}  // namespace qirm
