// Arbitrary bytes into the brevix reader: it must refuse them with a detail
// or return a model that survives both stored forms.
#include <cstddef>
#include <cstdint>
#include <span>

#include "model_checks.h"
#include "pre_processor/persistence/brevix_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace pre_processor;
  const auto read = persistence::read_brevix(std::span<const std::uint8_t>(data, size));
  if (!read.ok()) {
    fuzzing::require(!read.error().message.empty());
    return 0;
  }
  fuzzing::check_json_round_trip(*read);
  fuzzing::check_archive_round_trip(*read);
  return 0;
}
