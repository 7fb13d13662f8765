// Work split over threads where it splits cleanly: each part writes only its
// own results, so what comes out does not depend on the number of threads.
#pragma once

#include <cstddef>
#include <functional>

// The number of threads for such work: VELLMAR_THREADS when it holds a
// whole number from 1 up (1 runs everything on the calling thread), else the
// hardware's thread count, at least 1 and at most 64.
int WorkerCount();

// Where part `part` of `parts` contiguous parts of [0, count) begins: the
// parts are as even as they go, the first ones one longer. Part `parts`
// begins at count.
inline size_t PartBegin(size_t count, size_t parts, size_t part) {
  return count / parts * part + (count % parts < part ? count % parts : part);
}

// Runs work(part, begin, end) for `parts` contiguous parts of [0, count) in
// order of part, the first on the calling thread and each other on a thread
// of its own, and returns when all are done. With one part, or when a thread
// cannot be started, the parts run one after the other on the calling
// thread. An exception thrown by a part is passed on to the caller once
// every part has ended.
void ParallelParts(size_t count, int parts, const std::function<void(int, size_t, size_t)>& work);

// ParallelParts with WorkerCount() parts, or one part when count is below
// min_per_part for two.
void ParallelFor(size_t count, size_t min_per_part, const std::function<void(size_t, size_t)>& work);
