#include "bindings/tokenizer_functions.h"

#include <array>

#include "bindings/support/arguments.h"
#include "bindings/support/conversions.h"
#include "bindings/support/errors.h"
#include "bindings/support/gil.h"
#include "pre_processor/tokenizer/tokenizer.h"

namespace bindings {
namespace {

namespace tokenizer = pre_processor::tokenizer;

PyObject* tokenize(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static const Signature signature{"tokenize", {"text"}, 1};
  std::array<PyObject*, 1> matched{};
  if (!match_arguments(signature, args, nargs, kwnames, matched)) return nullptr;
  return guarded([&]() -> PyObject* {
    Vec<String> texts;
    if (!extract_argument("text", matched[0], texts)) return nullptr;
    const Vec<TokenSequence> sequences =
        without_gil([&] { return tokenizer::tokenize(std::span<const String>(texts)); });
    return to_python(std::span<const TokenSequence>(sequences));
  });
}

PyObject* reverse_tokenize(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static const Signature signature{"reverse_tokenize", {"tokens"}, 1};
  std::array<PyObject*, 1> matched{};
  if (!match_arguments(signature, args, nargs, kwnames, matched)) return nullptr;
  return guarded([&]() -> PyObject* {
    TokenSequence tokens;
    if (!extract_argument("tokens", matched[0], tokens)) return nullptr;
    const String text = without_gil([&] { return tokenizer::decode_token_ids(tokens); });
    return to_python(std::string_view(text));
  });
}

}  // namespace

PyMethodDef tokenize_function = {
    "tokenize", fastcall(tokenize),
    METH_FASTCALL | METH_KEYWORDS,
    "tokenize(text)\n--\n\nEncode text into BPE token IDs\n"
    "This is a utility function to expose tokenization to Python."};

PyMethodDef reverse_tokenize_function = {
    "reverse_tokenize",
    fastcall(reverse_tokenize),
    METH_FASTCALL | METH_KEYWORDS, "reverse_tokenize(tokens)\n--\n\nDecode BPE token IDs back to text"};

}  // namespace bindings
