// Reads a vectorizer from its binary archive (layout in archive_format.h).
#pragma once

#include <cstdint>
#include <span>

#include "pre_processor/common/error.h"
#include "pre_processor/vectorizer/tfidf_vectorizer.h"

namespace pre_processor::persistence {

// Validates the whole archive, then rebuilds a model that owns all its data.
// The input may have any alignment; positions, not addresses, are checked.
//
// Besides the placement of every region, the table must be consistent: each
// control byte is 0xFF or has its top bit clear, exactly `length` of the first
// `capacity` bytes are used, and the bytes after them mirror the first slots.
//
// Refused (kind Persistence, message archive::kFailureDetail) on the first
// check that fails; nothing is allocated before validation is complete.
Result<TfidfVectorizer> read_archive(std::span<const std::uint8_t> bytes);

}  // namespace pre_processor::persistence
