// Encodes arbitrary bytes: no input may crash the split or the merges, the
// pieces must tile the input, and UTF-8 input must decode back unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "pre_processor/tokenizer/pretokenizer.h"
#include "pre_processor/tokenizer/tokenizer.h"
#include "pre_processor/unicode/utf8.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace pre_processor;
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  std::size_t covered = 0;
  tokenizer::for_each_piece(text, [&](std::string_view piece) {
    if (piece.empty() || piece.data() != text.data() + covered) std::abort();
    covered += piece.size();
  });
  if (covered != size) std::abort();

  const TokenSequence ids = tokenizer::encode(text);
  const String decoded = tokenizer::decode_token_ids(ids);
  if (unicode::is_valid_utf8(text) && std::string_view(decoded) != text) std::abort();
  return 0;
}
