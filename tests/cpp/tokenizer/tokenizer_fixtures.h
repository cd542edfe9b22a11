// Readers for the tokenizer fixtures written by tools/gen_tokenizer_fixtures.py.
#pragma once

#include <cstdint>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "pre_processor/tokenizer/tokenizer.h"

namespace pre_processor::testing {

inline void append_utf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | cp >> 6);
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | cp >> 12);
    out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | cp >> 18);
    out += static_cast<char>(0x80 | (cp >> 12 & 0x3F));
    out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// Decodes one JSON string literal (with its quotes), as Python's json writes it.
inline std::string parse_json_string(std::string_view literal) {
  if (literal.size() < 2 || literal.front() != '"' || literal.back() != '"')
    throw std::runtime_error("not a JSON string: " + std::string(literal));
  std::string out;
  const auto hex4 = [&](std::size_t at) {
    return static_cast<char32_t>(std::stoul(std::string(literal.substr(at, 4)), nullptr, 16));
  };
  for (std::size_t i = 1; i + 1 < literal.size(); ++i) {
    const char c = literal[i];
    if (c != '\\') {
      out += c;
      continue;
    }
    const char escape = literal[++i];
    switch (escape) {
      case 'n': out += '\n'; break;
      case 'r': out += '\r'; break;
      case 't': out += '\t'; break;
      case 'b': out += '\b'; break;
      case 'f': out += '\f'; break;
      case 'u': {
        char32_t cp = hex4(i + 1);
        i += 4;
        if (cp >= 0xD800 && cp < 0xDC00 && literal.substr(i + 1, 2) == "\\u") {
          const char32_t low = hex4(i + 3);
          if (low >= 0xDC00 && low < 0xE000) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
            i += 6;
          }
        }
        append_utf8(out, cp);
        break;
      }
      default: out += escape;  // \" \\ \/
    }
  }
  return out;
}

inline TokenSequence parse_ids(std::string_view text) {
  TokenSequence ids;
  std::istringstream in{std::string(text)};
  std::uint64_t id;
  while (in >> id) ids.push_back(static_cast<TokenId>(id));
  return ids;
}

inline std::vector<std::string> read_lines(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open " + path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

struct EncodingCase {
  std::string text;
  TokenSequence ids;
};

// tokenizer/tricky-texts.tsv: JSON text, tab, ids.
inline std::vector<EncodingCase> tricky_cases() {
  std::vector<EncodingCase> cases;
  for (const std::string& line : read_lines(PP_TEST_DATA_DIR "/tokenizer/tricky-texts.tsv")) {
    const std::size_t tab = line.rfind('\t');
    cases.push_back({parse_json_string(std::string_view(line).substr(0, tab)),
                     parse_ids(std::string_view(line).substr(tab + 1))});
  }
  return cases;
}

// corpus-sample.jsonl with the ids of tokenizer/corpus-sample-ids.txt.
inline std::vector<EncodingCase> corpus_sample_cases() {
  const auto texts = read_lines(PP_TEST_DATA_DIR "/corpus-sample.jsonl");
  const auto ids = read_lines(PP_TEST_DATA_DIR "/tokenizer/corpus-sample-ids.txt");
  if (texts.size() != ids.size()) throw std::runtime_error("corpus sample and its ids differ in length");
  std::vector<EncodingCase> cases;
  for (std::size_t i = 0; i < texts.size(); ++i)
    cases.push_back({parse_json_string(texts[i]), parse_ids(ids[i])});
  return cases;
}

}  // namespace pre_processor::testing
