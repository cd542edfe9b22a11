#include "pre_processor/ngrams/ngram_key.h"

#include <algorithm>
#include <random>

namespace pre_processor {
namespace {

constexpr unsigned kLaneBits = 32;

}  // namespace

NgramKey NgramKey::from_window(std::span<const TokenId> window) {
  const std::size_t used = std::min(window.size(), DEFAULT_MAX_NGRAM);
  unsigned __int128 value = 0;
  for (std::size_t i = 0; i < used; ++i) {
    value |= static_cast<unsigned __int128>(window[i]) << (kLaneBits * i);
  }
  return NgramKey{value};
}

NgramKey NgramKey::from_lanes(const std::array<std::uint32_t, DEFAULT_MAX_NGRAM>& lanes) {
  return from_window(lanes);
}

std::array<std::uint32_t, DEFAULT_MAX_NGRAM> NgramKey::lanes() const {
  std::array<std::uint32_t, DEFAULT_MAX_NGRAM> out{};
  for (std::size_t i = 0; i < DEFAULT_MAX_NGRAM; ++i) {
    out[i] = static_cast<std::uint32_t>(value >> (kLaneBits * i));
  }
  return out;
}

Vec<TokenId> NgramKey::key_tokens(NgramKey key) {
  Vec<TokenId> tokens;
  for (std::uint32_t lane : key.lanes()) {
    if (lane == 0) break;
    tokens.push_back(lane);
  }
  return tokens;
}

std::uint64_t random_hash_seed() {
  std::random_device device;
  return (static_cast<std::uint64_t>(device()) << 32) ^ device();
}

std::uint64_t process_hash_seed() {
  static const std::uint64_t seed = random_hash_seed();
  return seed;
}

}  // namespace pre_processor
