#include "pre_processor/vectorizer/csr_matrix.h"

#include <string>

namespace pre_processor {
namespace {

Status broken(std::string_view what) {
  return Error{ErrorKind::InvalidState, "Invalid CSR matrix: " + std::string(what)};
}

}  // namespace

Status CsrMatrix::check_invariants() const {
  if (indptr.empty() || indptr.size() - 1 != rows) return broken("indptr does not hold rows + 1 offsets");
  if (indices.size() != data.size()) return broken("indices and data differ in length");
  if (indptr.front() != 0) return broken("indptr does not start at 0");
  if (indptr.back() != indices.size()) return broken("indptr does not end at the number of entries");
  for (std::uint64_t row = 0; row < rows; ++row) {
    const std::uint64_t begin = indptr[row];
    const std::uint64_t end = indptr[row + 1];
    if (end < begin || end > indices.size()) return broken("indptr decreases");
    for (std::uint64_t i = begin; i < end; ++i) {
      if (indices[i] >= cols) return broken("column index out of range");
      if (i > begin && indices[i] <= indices[i - 1]) return broken("columns of a row are not strictly ascending");
    }
  }
  return ok_status();
}

Result<CsrMatrix> CsrMatrix::from_parts(std::uint64_t rows, std::uint64_t cols, Vec<std::uint64_t> indptr,
                                        Vec<std::uint64_t> indices, Vec<float> data) {
  CsrMatrix matrix{rows, cols, std::move(indptr), std::move(indices), std::move(data)};
  if (Status status = matrix.check_invariants(); !status) return status.error();
  return matrix;
}

}  // namespace pre_processor
