#include "bindings/token_chunker_class.h"

#include <array>

#include "bindings/support/arguments.h"
#include "bindings/support/conversions.h"
#include "bindings/support/gil.h"
#include "bindings/support/instance.h"
#include "pre_processor/chunker/token_chunker.h"

namespace bindings {
namespace {

using pre_processor::TokenChunker;

PyObject* construct(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  static const Signature signature{"NativeTokenChunker", {"chunk_size", "overlap", "min_chunk_size"}, 0};
  std::array<PyObject*, 3> matched{};
  if (!match_arguments(signature, args, kwargs, matched)) return nullptr;
  return guarded([&]() -> PyObject* {
    std::array<std::uint64_t, 3> values{pre_processor::kDefaultChunkSize, pre_processor::kDefaultChunkOverlap,
                                        pre_processor::kDefaultMinChunkSize};
    for (std::size_t i = 0; i < matched.size(); ++i) {
      if (matched[i] != nullptr && !extract_argument(signature.parameters.begin()[i], matched[i], values[i])) {
        return nullptr;
      }
    }
    auto chunker = TokenChunker::create(values[0], values[1], values[2]);
    if (!chunker) return raise(chunker.error());
    return wrap(type, std::move(chunker).value());
  });
}

PyObject* chunk(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static const Signature signature{"NativeTokenChunker.chunk", {"tokens"}, 1};
  std::array<PyObject*, 1> matched{};
  if (!match_arguments(signature, args, nargs, kwnames, matched)) return nullptr;
  return with_shared<TokenChunker>(self, [&](const TokenChunker& chunker) -> PyObject* {
    TokenSequence tokens;
    if (!extract_argument("tokens", matched[0], tokens)) return nullptr;
    const Vec<TokenSequence> chunks = chunker.chunk(tokens);
    return to_python(std::span<const TokenSequence>(chunks));
  });
}

PyObject* chunk_batch(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static const Signature signature{"NativeTokenChunker.chunk_batch", {"token_sequences"}, 1};
  std::array<PyObject*, 1> matched{};
  if (!match_arguments(signature, args, nargs, kwnames, matched)) return nullptr;
  return with_shared<TokenChunker>(self, [&](const TokenChunker& chunker) -> PyObject* {
    Vec<TokenSequence> sequences;
    if (!extract_argument("token_sequences", matched[0], sequences)) return nullptr;
    const Vec<Vec<TokenSequence>> chunks = without_gil([&] { return chunker.chunk_batch(sequences); });
    return to_python(std::span<const Vec<TokenSequence>>(chunks));
  });
}

PyObject* to_dict(PyObject* self, PyObject*) {
  return with_shared<TokenChunker>(self, [](const TokenChunker& chunker) -> PyObject* {
    return Py_BuildValue("{sKsKsK}", "chunk_size", static_cast<unsigned long long>(chunker.chunk_size()),
                         "overlap", static_cast<unsigned long long>(chunker.overlap()), "min_chunk_size",
                         static_cast<unsigned long long>(chunker.min_chunk_size()));
  });
}

PyMethodDef methods[] = {
    {"chunk", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(chunk)), METH_FASTCALL | METH_KEYWORDS,
     "chunk($self, tokens)\n--\n\nChunk a single token sequence"},
    {"chunk_batch", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(chunk_batch)),
     METH_FASTCALL | METH_KEYWORDS,
     "chunk_batch($self, token_sequences)\n--\n\nChunk multiple token sequences in parallel"},
    {"to_dict", to_dict, METH_NOARGS, "to_dict($self)\n--\n\n"},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot slots[] = {
    {Py_tp_new, reinterpret_cast<void*>(construct)},
    {Py_tp_dealloc, reinterpret_cast<void*>(deallocate<TokenChunker>)},
    {Py_tp_methods, methods},
    {Py_tp_doc, const_cast<char*>("NativeTokenChunker(chunk_size=150, overlap=15, min_chunk_size=30)\n--\n\n")},
    {0, nullptr},
};

PyType_Spec spec = {"_ordwen_preprocessing_native_bindings.NativeTokenChunker",
                    sizeof(Instance<TokenChunker>), 0, Py_TPFLAGS_DEFAULT, slots};

PyObject* cached_type = nullptr;

}  // namespace

PyObject* token_chunker_type() { return type_once(cached_type, spec); }

}  // namespace bindings
