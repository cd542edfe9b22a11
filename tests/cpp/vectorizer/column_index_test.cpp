#include "pre_processor/vectorizer/column_index.h"

#include <algorithm>
#include <optional>
#include <random>
#include <vector>

#include <gtest/gtest.h>

namespace pre_processor {
namespace {

std::optional<std::uint64_t> look_up(const ColumnIndex& index, NgramKey key) {
  ColumnIndex::Probe probe = index.start(key);
  index.locate(probe);
  return index.column(probe);
}

// Keys (a, b) with a, b < side, the all-zero key among them.
std::vector<NgramKey> grid_keys(std::uint32_t side) {
  std::vector<NgramKey> keys;
  for (std::uint32_t a = 0; a < side; ++a) {
    for (std::uint32_t b = 0; b < side; ++b) keys.push_back(NgramKey::from_lanes({a, b, 0, 0}));
  }
  return keys;
}

TEST(ColumnIndexTest, FindsEveryVocabularyKeyAndNothingElse) {
  // The largest grid holds thousands of keys, so that keys with the same tag
  // share probe runs and a look-up must pass over slots that are not its own.
  for (std::uint32_t side : {0u, 1u, 3u, 120u}) {
    const std::vector<NgramKey> keys = grid_keys(side);
    // Every other key is in the vocabulary, with shuffled columns.
    std::vector<std::uint64_t> columns(keys.size() / 2 + keys.size() % 2);
    for (std::size_t i = 0; i < columns.size(); ++i) columns[i] = i;
    std::shuffle(columns.begin(), columns.end(), std::mt19937(side));
    Vocabulary vocab;
    for (std::size_t i = 0; i < keys.size(); i += 2) vocab.emplace(keys[i], columns[i / 2]);

    const std::optional<ColumnIndex> index = ColumnIndex::build(vocab);
    ASSERT_TRUE(index.has_value()) << side;
    for (std::size_t i = 0; i < keys.size(); ++i) {
      const std::optional<std::uint64_t> column = look_up(*index, keys[i]);
      if (i % 2 == 0) {
        EXPECT_EQ(column, columns[i / 2]) << side << " key " << i;
      } else {
        EXPECT_EQ(column, std::nullopt) << side << " key " << i;
      }
    }
  }
}

TEST(ColumnIndexTest, RefusesAVocabularyWithAColumnOutsideIt) {
  Vocabulary vocab;
  vocab.emplace(NgramKey::from_lanes({1, 2, 0, 0}), 0);
  vocab.emplace(NgramKey::from_lanes({2, 1, 0, 0}), 2);  // only columns 0 and 1 exist
  EXPECT_FALSE(ColumnIndex::build(vocab).has_value());
}

}  // namespace
}  // namespace pre_processor
