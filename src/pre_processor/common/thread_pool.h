// The process-wide data-parallel pool (oneTBB's default arena, created on first
// use). The calling thread takes part in the work and returns when every task
// has finished. Results always keep input order.
//
// Thread-safety: any number of threads may submit work at once.
#pragma once

#include <algorithm>
#include <cstddef>
#include <type_traits>
#include <utility>

#include <tbb/blocked_range.h>
#include <tbb/parallel_for.h>
#include <tbb/partitioner.h>

#include "pre_processor/common/memory.h"

namespace pre_processor::pool {

// Runs body(begin, end) for consecutive chunks [0, chunk), [chunk, 2 chunk), ...
// of the index range [0, count), one task per chunk.
template <class Body>
void for_each_chunk(std::size_t count, std::size_t chunk_size, Body&& body) {
  if (count == 0) return;
  chunk_size = std::max<std::size_t>(chunk_size, 1);
  const std::size_t chunks = (count + chunk_size - 1) / chunk_size;
  tbb::parallel_for(
      tbb::blocked_range<std::size_t>(0, chunks, 1),
      [&](const tbb::blocked_range<std::size_t>& range) {
        for (std::size_t c = range.begin(); c != range.end(); ++c) {
          const std::size_t begin = c * chunk_size;
          body(begin, std::min(count, begin + chunk_size));
        }
      },
      tbb::simple_partitioner());
}

// Runs body(i) for every index in [0, count), leaving the split to the pool.
template <class Body>
void for_each_index(std::size_t count, Body&& body) {
  if (count == 0) return;
  tbb::parallel_for(tbb::blocked_range<std::size_t>(0, count),
                    [&](const tbb::blocked_range<std::size_t>& range) {
                      for (std::size_t i = range.begin(); i != range.end(); ++i) body(i);
                    });
}

// Maps every item of `items` with `fn`, in parallel, into a Vec in input order.
template <class Items, class Fn>
auto map(const Items& items, Fn&& fn) {
  using Out = std::decay_t<decltype(fn(items[0]))>;
  Vec<Out> out(items.size());
  for_each_index(items.size(), [&](std::size_t i) { out[i] = fn(items[i]); });
  return out;
}

}  // namespace pre_processor::pool
