#include "pre_processor/persistence/model_files.h"

#include <string>

#include "pre_processor/persistence/archive_reader.h"
#include "pre_processor/persistence/archive_writer.h"
#include "pre_processor/persistence/brevix_reader.h"
#include "pre_processor/persistence/file_io.h"
#include "pre_processor/persistence/json_document.h"
#include "pre_processor/persistence/json_reader.h"

namespace pre_processor::persistence {
namespace {

constexpr char kSeparator = '/';

Error prefixed(std::string_view prefix, const Error& error) {
  return {ErrorKind::Persistence, std::string(prefix) + error.message};
}

Error io_failure(std::string_view prefix, std::string_view path, std::string_view text) {
  return {ErrorKind::Persistence, std::string(prefix) + std::string(path) + ": " + std::string(text)};
}

// The last component of a path if it is a plain name.
std::optional<std::string_view> file_name(std::string_view path) {
  std::optional<std::string_view> last;  // the last component kept, if plain
  bool any_component = false;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find(kSeparator, start);
    if (end == std::string_view::npos) end = path.size();
    const std::string_view component = path.substr(start, end - start);
    start = end + 1;
    if (component.empty()) continue;
    // "." is kept only as the first component of a relative path.
    if (component == ".") {
      if (!any_component && path.front() != kSeparator) last.reset();
      any_component = true;
      continue;
    }
    any_component = true;
    last = component == ".." ? std::nullopt : std::optional<std::string_view>(component);
  }
  return last;
}

}  // namespace

std::optional<std::string_view> path_extension(std::string_view path) {
  const std::optional<std::string_view> name = file_name(path);
  if (!name) return std::nullopt;
  const std::size_t dot = name->rfind('.');
  if (dot == std::string_view::npos || dot == 0) return std::nullopt;
  return name->substr(dot + 1);
}

Result<ModelFormat> format_for_save(std::string_view path) {
  const auto extension = path_extension(path);
  if (extension == kArchiveExtension) return ModelFormat::Archive;
  if (extension == kJsonExtension) return ModelFormat::Json;
  return Error{ErrorKind::UnsupportedExtension, std::string(kSaveExtensionMessage)};
}

Result<ModelFormat> format_for_load(std::string_view path) {
  const auto extension = path_extension(path);
  if (extension == kArchiveExtension) return ModelFormat::Archive;
  if (extension == kJsonExtension) return ModelFormat::Json;
  if (extension == kBrevixExtension) return ModelFormat::Brevix;
  return Error{ErrorKind::UnsupportedExtension, std::string(kLoadExtensionMessage)};
}

Result<Vec<std::uint8_t>> vectorizer_to_bytes(const TfidfVectorizer& model) {
  auto archive = write_archive(model);
  if (!archive) return prefixed(kSerializeArchivePrefix, archive.error());
  return std::move(archive).value();
}

String vectorizer_to_json(const TfidfVectorizer& model) { return write_json_document(model); }

Result<TfidfVectorizer> vectorizer_from_bytes(std::span<const std::uint8_t> bytes) {
  auto model = read_archive(bytes);
  if (!model) return prefixed(kDeserializeArchivePrefix, model.error());
  return model;
}

Result<TfidfVectorizer> vectorizer_from_json(std::string_view text) {
  auto model = read_json_document(text);
  if (!model) return prefixed(kDeserializeJsonPrefix, model.error());
  return model;
}

Result<TfidfVectorizer> vectorizer_from_brevix(std::span<const std::uint8_t> bytes) {
  auto model = read_brevix(bytes);
  if (!model) return prefixed(kDeserializeBrevixPrefix, model.error());
  return model;
}

Status save_vectorizer(const TfidfVectorizer& model, std::string_view path) {
  const auto format = format_for_save(path);
  if (!format) return format.error();

  // The whole stored form is built before the file is touched.
  Vec<std::uint8_t> archive;
  String document;
  std::span<const std::uint8_t> bytes;
  if (*format == ModelFormat::Archive) {
    auto written_archive = vectorizer_to_bytes(model);
    if (!written_archive) return written_archive.error();
    archive = std::move(written_archive).value();
    bytes = archive;
  } else {
    document = vectorizer_to_json(model);
    bytes = std::span(reinterpret_cast<const std::uint8_t*>(document.data()), document.size());
  }

  const Status written = write_whole_file(path, bytes);
  if (!written) return io_failure(kWriteFilePrefix, path, written.error().message);
  return ok_status();
}

Result<TfidfVectorizer> load_vectorizer(std::string_view path) {
  const auto format = format_for_load(path);
  if (!format) return format.error();

  auto bytes = read_whole_file(path);
  if (!bytes) return io_failure(kReadFilePrefix, path, bytes.error().message);
  const std::span<const std::uint8_t> content(*bytes);
  switch (*format) {
    case ModelFormat::Archive:
      return vectorizer_from_bytes(content);
    case ModelFormat::Brevix:
      return vectorizer_from_brevix(content);
    case ModelFormat::Json:
      break;
  }
  if (!is_valid_utf8(content)) return io_failure(kReadFilePrefix, path, kInvalidUtf8Text);
  return vectorizer_from_json(std::string_view(reinterpret_cast<const char*>(content.data()), content.size()));
}

}  // namespace pre_processor::persistence
