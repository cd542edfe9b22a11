// Byte-pair encoding of one piece of a pre-tokenized text.
//
// A piece that is itself a token gives that token. Otherwise the piece starts
// as single bytes and the adjacent pair whose joined bytes have the lowest
// rank is merged, again and again (the leftmost pair on equal ranks), until no
// adjacent pair joins into a token. This is the merge order of tiktoken.
//
// Thread-safety: pure function over a read-only vocabulary.
#pragma once

#include <string_view>

#include "pre_processor/tokenizer/tokenizer.h"
#include "pre_processor/tokenizer/vocabulary.h"

namespace pre_processor::tokenizer {

// Appends the tokens of `piece` (not empty) to `out`.
void encode_piece(const Vocabulary& vocabulary, std::string_view piece, TokenSequence& out);

}  // namespace pre_processor::tokenizer
