"""Loading and saving a model with a 1,000,000-entry vocabulary.

- from_bytes (the archive) against pickle.loads of a Python dict holding the same
  vocabulary and idf;
- to_json / from_json against the standard json module writing and reading the same
  structure.
Prints times, ratios and the sizes of both formats.
"""
import json
import pickle
import random
import sys
import time

import _ordwen_preprocessing_native_bindings as native

ENTRIES = int(sys.argv[1]) if len(sys.argv) > 1 else 1_000_000


def best_of(function, repeat=3):
    best = float("inf")
    for _ in range(repeat):
        start = time.perf_counter()
        function()
        best = min(best, time.perf_counter() - start)
    return best


def make_document(entries: int) -> dict:
    rng = random.Random(11)
    keys = set()
    while len(keys) < entries:
        n = rng.choice((2, 3, 4))
        keys.add(tuple(rng.randrange(1, 200_000) for _ in range(n)) + (0,) * (4 - n))
    ordered = sorted(keys, key=lambda k: (k[3], k[2], k[1], k[0]))
    return {
        "count_vectorizer": {
            "params": {"ngram_range": [2, 3, 4], "min_df": 2.0, "max_df": 0.95, "sublinear_tf": True},
            "vocab": [[list(key), column] for column, key in enumerate(ordered)],
        },
        "idf": [round(rng.uniform(1.0, 12.0), 6) for _ in ordered],
    }


def main() -> None:
    document = make_document(ENTRIES)
    model = native.NativeTfidfVectorizer.from_json(json.dumps(document))
    assert model.num_features == ENTRIES

    archive = model.to_bytes()
    text = model.to_json()
    # What a Python user would keep instead: the vocabulary as a dict keyed by the
    # packed 128-bit key, and the idf list.
    python_model = {
        "vocab": {k0 | k1 << 32 | k2 << 64 | k3 << 96: column
                  for (k0, k1, k2, k3), column in document["count_vectorizer"]["vocab"]},
        "idf": document["idf"],
        "params": document["count_vectorizer"]["params"],
    }
    pickled = pickle.dumps(python_model, protocol=pickle.HIGHEST_PROTOCOL)
    parsed = json.loads(text)

    from_bytes = best_of(lambda: native.NativeTfidfVectorizer.from_bytes(archive))
    unpickle = best_of(lambda: pickle.loads(pickled))
    to_json = best_of(model.to_json)
    dumps = best_of(lambda: json.dumps(parsed, separators=(",", ":")))
    from_json = best_of(lambda: native.NativeTfidfVectorizer.from_json(text))
    loads = best_of(lambda: json.loads(text))

    print(f"vocabulary entries: {ENTRIES}")
    print(f"archive: {len(archive) / 1e6:.1f} MB   JSON: {len(text.encode()) / 1e6:.1f} MB   "
          f"pickle of the dict: {len(pickled) / 1e6:.1f} MB")
    print(f"from_bytes {from_bytes:.3f} s vs pickle.loads {unpickle:.3f} s: {unpickle / from_bytes:.1f}x faster")
    print(f"to_json    {to_json:.3f} s vs json.dumps   {dumps:.3f} s: {dumps / to_json:.1f}x faster")
    print(f"from_json  {from_json:.3f} s vs json.loads   {loads:.3f} s: {loads / from_json:.1f}x faster")


if __name__ == "__main__":
    main()
