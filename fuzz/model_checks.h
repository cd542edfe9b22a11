// Checks shared by the fuzz targets: bitwise model equality and the round
// trips that every successfully read model must survive.
#pragma once

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "pre_processor/persistence/archive_reader.h"
#include "pre_processor/persistence/archive_writer.h"
#include "pre_processor/persistence/json_document.h"
#include "pre_processor/persistence/json_reader.h"

namespace pre_processor::fuzzing {

inline void require(bool condition) {
  if (!condition) std::abort();
}

inline bool same_bits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

inline bool same_model(const TfidfVectorizer& a, const TfidfVectorizer& b) {
  const VectorizerParams& pa = a.count_vectorizer.params;
  const VectorizerParams& pb = b.count_vectorizer.params;
  if (pa.ngram_range != pb.ngram_range || !same_bits(pa.min_df, pb.min_df) || !same_bits(pa.max_df, pb.max_df) ||
      pa.sublinear_tf != pb.sublinear_tf || a.count_vectorizer.vocab != b.count_vectorizer.vocab ||
      a.idf.size() != b.idf.size()) {
    return false;
  }
  for (std::size_t i = 0; i < a.idf.size(); ++i) {
    if (!same_bits(a.idf[i], b.idf[i])) return false;
  }
  return true;
}

inline bool all_floats_finite(const TfidfVectorizer& model) {
  const VectorizerParams& params = model.count_vectorizer.params;
  if (!std::isfinite(params.min_df) || !std::isfinite(params.max_df)) return false;
  for (const float value : model.idf) {
    if (!std::isfinite(value)) return false;
  }
  return true;
}

// A model whose floats are finite survives the JSON document unchanged, and
// the second document is the same text as the first.
inline void check_json_round_trip(const TfidfVectorizer& model) {
  if (!all_floats_finite(model)) return;
  const String document = persistence::write_json_document(model);
  const auto read = persistence::read_json_document(document);
  require(read.ok());
  require(same_model(*read, model));
  require(persistence::write_json_document(*read) == document);
}

// A model that the archive can hold survives it unchanged.
inline void check_archive_round_trip(const TfidfVectorizer& model) {
  const auto archive = persistence::write_archive(model);
  if (!archive.ok()) return;  // values beyond 32 bits
  const auto read = persistence::read_archive(*archive);
  require(read.ok());
  require(same_model(*read, model));
}

}  // namespace pre_processor::fuzzing
