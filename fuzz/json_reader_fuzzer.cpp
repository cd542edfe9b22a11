// Arbitrary text into the JSON document reader: it must fail cleanly with a
// positioned message or return a model that survives both stored forms.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "model_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace pre_processor;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto read = persistence::read_json_document(text);
  if (!read.ok()) {
    fuzzing::require(read.error().message.find(" at line ") != std::string::npos);
    return 0;
  }
  fuzzing::check_json_round_trip(*read);
  fuzzing::check_archive_round_trip(*read);
  return 0;
}
