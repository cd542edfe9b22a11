"""Tokenization of the dev corpus against tiktoken's encode_ordinary_batch.

Both sides get the same texts and, in turn, one core and all cores (the one-core runs are
child processes pinned to one CPU). Prints times and ratios; also checks the ids agree.
"""
from common import run_child

NATIVE = """
import time
from common import load_corpus
import _ordwen_preprocessing_native_bindings as native
texts = load_corpus()
native.tokenize(texts[:8])
start = time.perf_counter()
ids = native.tokenize(texts)
print(time.perf_counter() - start, sum(map(len, ids)))
"""

PEER = """
import os, time
from common import load_corpus, reference_encoding
texts = load_corpus()
encoding = reference_encoding()
encoding.encode_ordinary("warm up")
threads = len(os.sched_getaffinity(0))
start = time.perf_counter()
ids = encoding.encode_ordinary_batch(texts, num_threads=threads)
print(time.perf_counter() - start, sum(map(len, ids)))
"""


def measure(code, single_cpu):
    seconds, tokens = run_child(code, single_cpu=single_cpu)[2].split()
    return float(seconds), int(tokens)


def main() -> None:
    for label, single in (("1 core", True), ("all cores", False)):
        native_seconds, native_tokens = measure(NATIVE, single)
        peer_seconds, peer_tokens = measure(PEER, single)
        assert native_tokens == peer_tokens, (native_tokens, peer_tokens)
        print(f"{label:>9}: native {native_seconds:6.2f} s, tiktoken {peer_seconds:6.2f} s "
              f"-> {peer_seconds / native_seconds:.1f}x faster ({native_tokens} tokens)")


if __name__ == "__main__":
    main()
