// Saving and loading vectorizers: the format chosen by a path's extension,
// whole-file I/O, and conversion to and from archive bytes and JSON text, with
// the messages that callers show.
//
// Failures have kind UnsupportedExtension (an extension that names no format)
// or Persistence (everything else); messages are complete, e.g.
// "Failed to read vectorizer from m.json: No such file or directory (os error 2)".
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "pre_processor/common/error.h"
#include "pre_processor/common/memory.h"
#include "pre_processor/vectorizer/tfidf_vectorizer.h"

namespace pre_processor::persistence {

inline constexpr std::string_view kSaveExtensionMessage = "File extension must be .qarch or .json";
inline constexpr std::string_view kLoadExtensionMessage = "File extension must be .qarch, .bin, or .json";
inline constexpr std::string_view kSerializeArchivePrefix = "Failed to serialize vectorizer: ";
inline constexpr std::string_view kWriteFilePrefix = "Failed to write vectorizer to ";
inline constexpr std::string_view kReadFilePrefix = "Failed to read vectorizer from ";
inline constexpr std::string_view kDeserializeArchivePrefix = "Failed to deserialize vectorizer from bytes: ";
inline constexpr std::string_view kDeserializeBrevixPrefix = "Failed to deserialize vectorizer from brevix bytes: ";
inline constexpr std::string_view kDeserializeJsonPrefix = "Failed to deserialize vectorizer from JSON: ";

inline constexpr std::string_view kArchiveExtension = "qarch";
inline constexpr std::string_view kJsonExtension = "json";
inline constexpr std::string_view kBrevixExtension = "bin";

enum class ModelFormat { Archive, Json, Brevix };

// The extension of the path's last component, split as POSIX path handling
// does: repeated and trailing separators are ignored and "." components
// after the first are dropped. None when the last component is not a plain
// name ("..", ".", the root, an empty path), has no dot, or has its only dot
// first (".json"); the empty text when the name ends in a dot.
std::optional<std::string_view> path_extension(std::string_view path);

// "qarch" or "json", compared exactly; otherwise kSaveExtensionMessage.
Result<ModelFormat> format_for_save(std::string_view path);
// "qarch", "json" or "bin", compared exactly; otherwise kLoadExtensionMessage.
Result<ModelFormat> format_for_load(std::string_view path);

// The archive, or kSerializeArchivePrefix + the archive's detail text.
Result<Vec<std::uint8_t>> vectorizer_to_bytes(const TfidfVectorizer& model);
// The JSON document; writing it cannot fail.
String vectorizer_to_json(const TfidfVectorizer& model);

// Decoders of each format; failures carry the matching kDeserialize... prefix.
Result<TfidfVectorizer> vectorizer_from_bytes(std::span<const std::uint8_t> bytes);
Result<TfidfVectorizer> vectorizer_from_json(std::string_view text);
Result<TfidfVectorizer> vectorizer_from_brevix(std::span<const std::uint8_t> bytes);

// Chooses the format by extension (nothing is written for an unsupported
// one), serializes completely, then creates or truncates the file and writes
// it; an I/O failure reads kWriteFilePrefix + path + ": " + the error text.
Status save_vectorizer(const TfidfVectorizer& model, std::string_view path);

// Chooses the format by extension before touching the file, reads the whole
// file (a ".json" file must be valid UTF-8), then decodes it; an I/O failure
// reads kReadFilePrefix + path + ": " + the error text.
Result<TfidfVectorizer> load_vectorizer(std::string_view path);

}  // namespace pre_processor::persistence
