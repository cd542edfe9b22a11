#include "pre_processor/tokenizer/vocabulary.h"

#include <array>
#include <bit>
#include <charconv>
#include <cstdio>
#include <cstdlib>

// The published o200k_base file, byte for byte (cmake/o200k_base_vocabulary.S.in).
extern "C" const char pp_o200k_base_vocabulary_begin[];
extern "C" const char pp_o200k_base_vocabulary_end[];

namespace pre_processor::tokenizer {
namespace {

constexpr std::uint8_t kNotBase64 = 0xFF;

constexpr std::array<std::uint8_t, 256> make_base64_values() {
  std::array<std::uint8_t, 256> values{};
  for (auto& v : values) v = kNotBase64;
  constexpr std::string_view alphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  for (std::size_t i = 0; i < alphabet.size(); ++i)
    values[static_cast<unsigned char>(alphabet[i])] = static_cast<std::uint8_t>(i);
  return values;
}
constexpr auto kBase64Values = make_base64_values();

// Appends the bytes that padded base64 `text` encodes; false when malformed.
bool append_base64_decoded(std::string_view text, Vec<char>& out) {
  if (text.empty() || text.size() % 4 != 0) return false;
  std::size_t padding = 0;
  if (text.back() == '=') padding = text[text.size() - 2] == '=' ? 2 : 1;
  for (std::size_t i = 0; i < text.size(); i += 4) {
    const bool last = i + 4 == text.size();
    std::uint32_t group = 0;
    for (std::size_t k = 0; k < 4; ++k) {
      const char c = text[i + k];
      std::uint8_t value;
      if (last && k >= 4 - padding) {
        value = 0;
      } else {
        value = kBase64Values[static_cast<unsigned char>(c)];
        if (value == kNotBase64) return false;
      }
      group = group << 6 | value;
    }
    const std::size_t bytes = last ? 3 - padding : 3;
    for (std::size_t k = 0; k < bytes; ++k) out.push_back(static_cast<char>(group >> (16 - 8 * k)));
  }
  return true;
}

Error malformed(std::size_t line_number, std::string_view why) {
  return Error{ErrorKind::InvalidArgument,
               "vocabulary line " + std::to_string(line_number) + ": " + std::string(why)};
}

}  // namespace

Result<Vocabulary> Vocabulary::parse(std::string_view file) {
  Vocabulary vocabulary;
  // Token offsets and lengths are 32-bit.
  if (file.size() / 4 * 3 >= UINT32_MAX)
    return Error{ErrorKind::InvalidArgument, "vocabulary: file too large"};
  // Base64 takes four characters for three bytes, so the arena never grows
  // past this and the keys below stay valid.
  vocabulary.arena_.reserve(file.size() / 4 * 3 + 3);
  struct Entry {
    TokenId rank;
    TokenBytes bytes;
  };
  Vec<Entry> entries;
  TokenId highest_rank = 0;

  std::size_t line_number = 0;
  while (!file.empty()) {
    ++line_number;
    const std::size_t end = file.find('\n');
    if (end == std::string_view::npos) return malformed(line_number, "no final newline");
    const std::string_view line = file.substr(0, end);
    file.remove_prefix(end + 1);

    const std::size_t blank = line.find(' ');
    if (blank == std::string_view::npos) return malformed(line_number, "no rank");
    const std::size_t offset = vocabulary.arena_.size();
    if (!append_base64_decoded(line.substr(0, blank), vocabulary.arena_) ||
        vocabulary.arena_.size() == offset)
      return malformed(line_number, "bad base64 token");

    const std::string_view rank_text = line.substr(blank + 1);
    TokenId rank = 0;
    const auto [rest, code] =
        std::from_chars(rank_text.data(), rank_text.data() + rank_text.size(), rank);
    if (code != std::errc() || rest != rank_text.data() + rank_text.size() || rank == kNoRank)
      return malformed(line_number, "bad rank");

    const auto length = static_cast<std::uint32_t>(vocabulary.arena_.size() - offset);
    entries.push_back({rank, {static_cast<std::uint32_t>(offset), length}});
    highest_rank = std::max(highest_rank, rank);
  }

  vocabulary.tokens_.assign(entries.empty() ? 0 : std::size_t{highest_rank} + 1, TokenBytes{0, 0});
  for (const Entry& entry : entries) {
    if (vocabulary.tokens_[entry.rank].length != 0)
      return Error{ErrorKind::InvalidArgument,
                   "vocabulary: rank " + std::to_string(entry.rank) + " appears twice"};
    vocabulary.tokens_[entry.rank] = entry.bytes;
    vocabulary.longest_token_ = std::max<std::size_t>(vocabulary.longest_token_, entry.bytes.length);
  }
  vocabulary.token_count_ = entries.size();
  vocabulary.build_rank_slots();
  for (const Entry& entry : entries) {
    const std::string_view bytes(vocabulary.arena_.data() + entry.bytes.offset, entry.bytes.length);
    if (vocabulary.find_rank(bytes) != entry.rank)
      return Error{ErrorKind::InvalidArgument,
                   "vocabulary: the token of rank " + std::to_string(entry.rank) + " appears twice"};
  }
  return vocabulary;
}

void Vocabulary::build_rank_slots() {
  byte_ranks_.assign(256, kNoRank);
  pair_ranks_.assign(65536, kNoRank);
  // At most seven eighths full.
  std::size_t capacity = 2 * kGroupSize;
  while (capacity * 7 < token_count_ * 8) capacity *= 2;
  tags_.assign(capacity + kGroupSize, 0);
  slots_.assign(capacity, Slot{0, 0, 0});
  slot_mask_ = capacity - 1;
  slot_shift_ = 64 - static_cast<unsigned>(std::countr_zero(capacity));
  for (TokenId id = 0; id < tokens_.size(); ++id) {
    const TokenBytes token = tokens_[id];
    if (token.length == 0) continue;
    const std::string_view bytes(arena_.data() + token.offset, token.length);
    // An equal token placed before stays; parse() then finds the duplicate.
    if (find_rank(bytes) != kNoRank) continue;
    if (token.length == 1) {
      byte_ranks_[static_cast<unsigned char>(bytes[0])] = id;
      continue;
    }
    if (token.length == 2) {
      pair_ranks_[load<std::uint16_t>(bytes.data())] = id;
      continue;
    }
    const std::uint64_t head = head_word(bytes);
    const std::uint64_t hash = hash_of(head, bytes);
    std::size_t i = hash >> slot_shift_;
    while (tags_[i] != 0) i = (i + 1) & slot_mask_;
    tags_[i] = tag_of(hash);
    if (i < kGroupSize) tags_[capacity + i] = tags_[i];
    slots_[i] = Slot{head, token.length, id};
  }
}

const Vocabulary& Vocabulary::o200k_base() {
  static const Vocabulary vocabulary = [] {
    Result<Vocabulary> parsed = parse(std::string_view(
        pp_o200k_base_vocabulary_begin,
        static_cast<std::size_t>(pp_o200k_base_vocabulary_end - pp_o200k_base_vocabulary_begin)));
    if (!parsed.ok()) {
      // The build checks the embedded file's digest, so this is a broken build.
      std::fprintf(stderr, "embedded o200k_base vocabulary: %s\n", parsed.error().message.c_str());
      std::abort();
    }
    return std::move(parsed).value();
  }();
  return vocabulary;
}

}  // namespace pre_processor::tokenizer
