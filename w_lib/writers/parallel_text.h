// Formatting a long run of items on several threads: each thread formats
// its share into blocks in memory, and the blocks are written in item
// order, so the bytes are those that formatting one item after the other
// writes.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "w_lib/util/parallel.h"
#include "w_lib/writers/text_output.h"

// Items formatted per thread and round: the blocks in memory stay small.
constexpr size_t kItemsPerBlock = 16384;

// Writes items 0 .. count - 1 to out, item i by format(TextOutput& to, i),
// which must write only to `to` and read only what no other item changes.
template <class Format>
void PutItems(TextOutput& out, size_t count, const Format& format) {
  // The count first: the lists of small objects, by far the most, need not
  // ask how many threads there are.
  const int workers = count < 2 * kItemsPerBlock ? 1 : WorkerCount();
  if (workers <= 1) {
    for (size_t i = 0; i < count; ++i) format(out, i);
    return;
  }
  const size_t round = static_cast<size_t>(workers) * kItemsPerBlock;
  // The blocks are emptied, not made anew, between rounds: their buffers
  // keep the size that the first round grew them to.
  std::vector<std::unique_ptr<TextOutput>> blocks(static_cast<size_t>(workers));
  for (auto& block : blocks) block = std::make_unique<TextOutput>();
  for (size_t base = 0; base < count; base += round) {
    const size_t n = count - base < round ? count - base : round;
    for (auto& block : blocks) block->ClearText();
    ParallelParts(n, workers, [&](int part, size_t begin, size_t end) {
      TextOutput& block = *blocks[static_cast<size_t>(part)];
      for (size_t i = begin; i < end; ++i) format(block, base + i);
    });
    for (const auto& block : blocks) out.PutBlock(block->text());
  }
}
