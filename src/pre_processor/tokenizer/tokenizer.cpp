#include "pre_processor/tokenizer/tokenizer.h"

#include <string>

#include "pre_processor/common/logging.h"
#include "pre_processor/common/progress_bar.h"
#include "pre_processor/common/thread_pool.h"
#include "pre_processor/tokenizer/byte_pair_encoder.h"
#include "pre_processor/tokenizer/pretokenizer.h"
#include "pre_processor/tokenizer/vocabulary.h"
#include "pre_processor/unicode/utf8.h"

namespace pre_processor::tokenizer {
namespace {

constexpr std::string_view kProgressMessage = "Tokenizing texts in parallel";
constexpr std::string_view kProgressDoneMessage = "Parallel tokenization complete";
constexpr std::string_view kDecodeErrorPrefix = "[DECODE_ERROR: ";
constexpr std::string_view kDecodeErrorSuffix = "]";

const Vocabulary& shared_vocabulary() { return Vocabulary::o200k_base(); }

TokenSequence encode_with(const Vocabulary& vocabulary, std::string_view text) {
  TokenSequence tokens;
  // Typical texts give about one token per four bytes.
  tokens.reserve(text.size() / 4 + 1);
  for_each_piece(text, [&](std::string_view piece) { encode_piece(vocabulary, piece, tokens); });
  return tokens;
}

template <class Text>
Vec<TokenSequence> encode_sequentially(std::span<const Text> texts) {
  PP_LOG_SPAN(log::Level::Debug, kLogTarget, "tokenize_texts", log::field("num_texts", texts.size()));
  PP_LOG_EVENT(log::Level::Debug, kLogTarget, "Using sequential tokenization",
               log::field("num_texts", texts.size()));
  Vec<TokenSequence> out;
  if (texts.empty()) return out;
  const Vocabulary& vocabulary = shared_vocabulary();
  out.reserve(texts.size());
  for (const Text& text : texts) out.push_back(encode_with(vocabulary, text));
  return out;
}

template <class Text>
Vec<TokenSequence> encode_in_parallel(std::span<const Text> texts) {
  PP_LOG_SPAN(log::Level::Debug, kLogTarget, "tokenize_texts_par",
              log::field("num_texts", texts.size()));
  PP_LOG_EVENT(log::Level::Debug, kLogTarget, "Using parallel tokenization",
               log::field("num_texts", texts.size()));
  const Vocabulary& vocabulary = shared_vocabulary();
  ProgressBar progress(texts.size(), std::string(kProgressMessage));
  // Every chunk writes its own slots, so the result is in chunk order, as if
  // the chunks' lists were joined.
  Vec<TokenSequence> out(texts.size());
  pool::for_each_chunk(texts.size(), parallel_chunk_size(texts.size()),
                       [&](std::size_t begin, std::size_t end) {
                         for (std::size_t i = begin; i < end; ++i) {
                           out[i] = encode_with(vocabulary, texts[i]);
                           progress.advance();
                         }
                       });
  progress.finish_with_message(std::string(kProgressDoneMessage));
  return out;
}

template <class Text>
Vec<TokenSequence> tokenize_batch(std::span<const Text> texts) {
  // The first call of the process builds the tokenizer, even for no texts.
  shared_vocabulary();
  const std::size_t n = texts.size();
  std::size_t total_bytes = 0;
  if (!path_settled_by_count(n))
    for (const Text& text : texts) total_bytes += std::string_view(text).size();
  const bool parallel = choose_parallel(n, total_bytes);
  PP_LOG_SPAN(log::Level::Debug, kLogTarget, "tokenize", log::field("num_texts", n),
              log::field("use_parallel", parallel));
  return parallel ? encode_in_parallel(texts) : encode_sequentially(texts);
}

String decode_error_marker(std::span<const TokenId> ids) {
  String marker(kDecodeErrorPrefix);
  marker += '[';
  for (std::size_t i = 0; i < ids.size(); ++i) {
    if (i != 0) marker += ", ";
    marker += std::to_string(ids[i]);
  }
  marker += ']';
  marker += kDecodeErrorSuffix;
  return marker;
}

}  // namespace

bool path_settled_by_count(std::size_t num_texts) {
  return num_texts < kMinParallelTexts || num_texts >= kParallelTextCount;
}

bool choose_parallel(std::size_t num_texts, std::size_t total_bytes) {
  if (num_texts < kMinParallelTexts) return false;
  if (num_texts >= kParallelTextCount) return true;
  return total_bytes >= kParallelTotalBytes;
}

std::size_t parallel_chunk_size(std::size_t num_texts) {
  const std::size_t share = num_texts / kChunkDivisor;
  return share > kMinChunkTexts ? share : kMinChunkTexts;
}

Vec<TokenSequence> tokenize(std::span<const String> texts) { return tokenize_batch(texts); }
Vec<TokenSequence> tokenize(std::span<const std::string_view> texts) { return tokenize_batch(texts); }

Vec<TokenSequence> tokenize_texts(std::span<const std::string_view> texts) {
  return encode_sequentially(texts);
}

Vec<TokenSequence> tokenize_texts_par(std::span<const std::string_view> texts) {
  return encode_in_parallel(texts);
}

TokenSequence encode(std::string_view text) { return encode_with(shared_vocabulary(), text); }

String decode_token_ids(std::span<const TokenId> ids) {
  if (ids.empty()) return String();
  const Vocabulary& vocabulary = shared_vocabulary();
  String text;
  bool all_known = true;
  for (const TokenId id : ids) {
    const auto bytes = vocabulary.token_bytes(id);
    if (!bytes) {
      all_known = false;
      break;
    }
    text += *bytes;
  }
  if (all_known && unicode::is_valid_utf8(text)) return text;
  PP_LOG_EVENT(log::Level::Warn, kLogTarget, "Failed to decode token IDs, using replacement character",
               log::field("tokens", ids));
  return decode_error_marker(ids);
}

}  // namespace pre_processor::tokenizer
