#include "pre_processor/vectorizer/csr_matrix.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace pre_processor {
namespace {

TEST(CsrMatrixTest, FromPartsChecksTheInvariants) {
  struct Case {
    const char* name;
    std::uint64_t rows;
    std::uint64_t cols;
    std::vector<std::uint64_t> indptr;
    std::vector<std::uint64_t> indices;
    std::vector<float> data;
    const char* error;  // null when valid
  };
  const Case cases[] = {
      {"valid with an empty row", 3, 4, {0, 2, 2, 3}, {0, 3, 1}, {1, 2, 3}, nullptr},
      {"no rows", 0, 4, {0}, {}, {}, nullptr},
      {"no columns", 2, 0, {0, 0, 0}, {}, {}, nullptr},
      {"indptr too short", 2, 4, {0, 1}, {0}, {1}, "indptr does not hold rows + 1 offsets"},
      {"indptr empty", 0, 4, {}, {}, {}, "indptr does not hold rows + 1 offsets"},
      {"lengths differ", 1, 4, {0, 1}, {0}, {}, "indices and data differ in length"},
      {"offset not 0 first", 1, 4, {1, 1}, {0}, {1}, "indptr does not start at 0"},
      {"end not nnz", 1, 4, {0, 1}, {0, 1}, {1, 1}, "indptr does not end at the number of entries"},
      {"decreasing", 2, 4, {0, 2, 1}, {0}, {1}, "indptr decreases"},
      {"beyond nnz then back", 2, 4, {0, 5, 1}, {0}, {1}, "indptr decreases"},
      {"column too large", 1, 4, {0, 1}, {4}, {1}, "column index out of range"},
      {"repeated column", 1, 4, {0, 2}, {1, 1}, {1, 1}, "columns of a row are not strictly ascending"},
      {"descending columns", 1, 4, {0, 2}, {2, 1}, {1, 1}, "columns of a row are not strictly ascending"},
  };
  for (const Case& c : cases) {
    const Result<CsrMatrix> matrix =
        CsrMatrix::from_parts(c.rows, c.cols, Vec<std::uint64_t>(c.indptr.begin(), c.indptr.end()),
                              Vec<std::uint64_t>(c.indices.begin(), c.indices.end()),
                              Vec<float>(c.data.begin(), c.data.end()));
    if (c.error == nullptr) {
      EXPECT_TRUE(matrix.ok()) << c.name << ": " << (matrix.ok() ? "" : matrix.error().message);
    } else {
      ASSERT_FALSE(matrix.ok()) << c.name;
      EXPECT_EQ(matrix.error().message, std::string("Invalid CSR matrix: ") + c.error) << c.name;
    }
  }
}

}  // namespace
}  // namespace pre_processor
