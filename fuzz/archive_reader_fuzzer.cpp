// Arbitrary bytes into the archive reader: it must refuse them or return a
// model that survives both stored forms.
#include <cstddef>
#include <cstdint>
#include <span>

#include "model_checks.h"
#include "pre_processor/persistence/archive_format.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace pre_processor;
  const auto read = persistence::read_archive(std::span<const std::uint8_t>(data, size));
  if (!read.ok()) {
    fuzzing::require(read.error().message == persistence::archive::kFailureDetail);
    return 0;
  }
  fuzzing::check_archive_round_trip(*read);
  fuzzing::check_json_round_trip(*read);
  return 0;
}
