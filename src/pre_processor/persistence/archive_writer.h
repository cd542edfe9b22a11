// Writes a vectorizer as its binary archive (layout in archive_format.h).
#pragma once

#include <cstdint>

#include "pre_processor/common/error.h"
#include "pre_processor/common/memory.h"
#include "pre_processor/vectorizer/tfidf_vectorizer.h"

namespace pre_processor::persistence {

// The archive bytes. Which slot each key takes follows the iteration order of
// the model's vocabulary map, so equal models can give different bytes that
// read back to equal models.
//
// Refused (kind Persistence, message archive::kFailureDetail) when the model
// cannot be stored faithfully: a size, column index or count beyond 32 bits, or
// an archive too large for 32-bit relative pointers.
Result<Vec<std::uint8_t>> write_archive(const TfidfVectorizer& model);

}  // namespace pre_processor::persistence
