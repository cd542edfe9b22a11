// Compressed-sparse-row matrix of 32-bit floats with unsigned 64-bit indices.
//
// Row r holds the entries indptr[r] .. indptr[r+1] - 1 of `indices` (their
// columns) and `data` (their values). Every matrix built through from_parts()
// satisfies: indptr has rows + 1 offsets, starts at 0, never decreases and ends
// at nnz; indices and data have nnz elements; within a row the columns ascend
// strictly and are below `cols`. Rows may be empty.
#pragma once

#include <cstdint>
#include <string_view>

#include "pre_processor/common/error.h"
#include "pre_processor/common/memory.h"

namespace pre_processor {

struct CsrMatrix {
  std::uint64_t rows = 0;
  std::uint64_t cols = 0;
  Vec<std::uint64_t> indptr{0};
  Vec<std::uint64_t> indices;
  Vec<float> data;

  // Takes the three lists and checks the invariants above; refuses a set of
  // lists that breaks one, naming the first broken invariant.
  static Result<CsrMatrix> from_parts(std::uint64_t rows, std::uint64_t cols, Vec<std::uint64_t> indptr,
                                      Vec<std::uint64_t> indices, Vec<float> data);

  // The first broken invariant, or success.
  Status check_invariants() const;

  std::uint64_t nnz() const { return indices.size(); }

  friend bool operator==(const CsrMatrix&, const CsrMatrix&) = default;
};

}  // namespace pre_processor
