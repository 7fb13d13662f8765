// Formatting a long run of items on several threads: each thread formats
// its share into blocks in memory, and the blocks are written in item
// order, so the bytes are those that formatting one item after the other
// writes. Writing a round's blocks overlaps formatting the next round.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "w_lib/util/parallel.h"
#include "w_lib/writers/round_crew.h"
#include "w_lib/writers/text_output.h"

// A record count as a number of items: a negative count is none.
inline size_t ItemCount(int n) { return n > 0 ? static_cast<size_t>(n) : 0; }

// Items formatted per thread and round: the blocks in memory stay small.
constexpr size_t kItemsPerBlock = 8192;

// Writes the blocks to out, in order.
inline void PutBlocks(TextOutput& out, const std::vector<std::unique_ptr<TextOutput>>& blocks) {
  for (const auto& block : blocks) out.PutBlock(block->text());
}

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
  // Two sets of blocks: one round is formatted into one set while the round
  // before it is written from the other. The blocks are emptied, not made
  // anew, between rounds: their buffers keep the size they grew to.
  using Blocks = std::vector<std::unique_ptr<TextOutput>>;
  Blocks sets[2];
  for (Blocks& set : sets) {
    set.resize(static_cast<size_t>(workers));
    for (auto& block : set) block = std::make_unique<TextOutput>();
  }
  RoundCrew crew(workers);
  size_t r = 0;
  for (size_t base = 0; base < count; base += round, ++r) {
    const size_t n = count - base < round ? count - base : round;
    // This set was last written two rounds ago, and that is done.
    Blocks& blocks = sets[r % 2];
    for (auto& block : blocks) block->ClearText();
    crew.Format([&](int part) {
      const size_t parts = static_cast<size_t>(workers), k = static_cast<size_t>(part);
      const size_t begin = PartBegin(n, parts, k), end = PartBegin(n, parts, k + 1);
      TextOutput& block = *blocks[k];
      for (size_t i = begin; i < end; ++i) format(block, base + i);
    });
    crew.WaitWritten();
    crew.StartWrite([&out, &blocks] { PutBlocks(out, blocks); });
  }
  crew.WaitWritten();
}

// PutItems for items of uneven weight, such as the objects of a scene
// weighed by the lines of text they make: a round takes, for each thread,
// items up to kItemsPerBlock of weight, so that a block in memory holds
// about as much text as PutItems' blocks do. An item of that weight or more
// is formatted on the calling thread straight into out, where its own long
// lists are split over the threads.
//
// Item i is formatted by format(TextOutput& to, i, part), part being one of
// 0 .. workers - 1 (workers as WeightedItemsWorkers gives it) that no other
// item formatted at the same time has, for scratch of the caller's own.
inline int WeightedItemsWorkers(size_t count) { return count < 2 ? 1 : WorkerCount(); }

template <class Weight, class Format>
void PutWeightedItems(TextOutput& out, size_t count, int workers, const Weight& weight, const Format& format) {
  if (workers <= 1) {
    for (size_t i = 0; i < count; ++i) format(out, i, 0);
    return;
  }
  using Blocks = std::vector<std::unique_ptr<TextOutput>>;
  Blocks sets[2];
  for (Blocks& set : sets) {
    set.resize(static_cast<size_t>(workers));
    for (auto& block : set) block = std::make_unique<TextOutput>();
  }
  std::vector<size_t> bounds(static_cast<size_t>(workers) + 1);
  RoundCrew crew(workers);
  size_t i = 0, r = 0;
  while (i < count) {
    if (weight(i) >= kItemsPerBlock) {
      crew.WaitWritten();
      format(out, i++, 0);
      continue;
    }
    // Each thread's share: light items while their weights fit a block.
    bounds[0] = i;
    for (size_t part = 0; part < static_cast<size_t>(workers); ++part) {
      size_t sum = 0;
      while (i < count) {
        const size_t w = weight(i);
        if (w >= kItemsPerBlock || sum + w > kItemsPerBlock) break;
        sum += w;
        ++i;
      }
      bounds[part + 1] = i;
    }
    Blocks& blocks = sets[r++ % 2];
    for (auto& block : blocks) block->ClearText();
    crew.Format([&](int part) {
      TextOutput& block = *blocks[static_cast<size_t>(part)];
      for (size_t k = bounds[static_cast<size_t>(part)]; k < bounds[static_cast<size_t>(part) + 1]; ++k)
        format(block, k, part);
    });
    crew.WaitWritten();
    crew.StartWrite([&out, &blocks] { PutBlocks(out, blocks); });
  }
  crew.WaitWritten();
}

// The same with WeightedItemsWorkers(count) workers, for a format that
// keeps no scratch of its own.
template <class Weight, class Format>
void PutWeightedItems(TextOutput& out, size_t count, const Weight& weight, const Format& format) {
  PutWeightedItems(out, count, WeightedItemsWorkers(count), weight,
                   [&](TextOutput& to, size_t i, int) { format(to, i); });
}
