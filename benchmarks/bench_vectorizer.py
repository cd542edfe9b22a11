"""fit_transform of the dev corpus against tiktoken + scikit-learn's TfidfVectorizer.

Each side runs in its own process so that its peak memory can be read on its own.
Prints time, peak RSS and the ratios.
"""
import sys

from common import run_child

DOCS = int(sys.argv[1]) if len(sys.argv) > 1 else 60_000

NATIVE = """
import sys, time
from common import load_corpus, peak_rss_mib
import _ordwen_preprocessing_native_bindings as native
texts = load_corpus(int(sys.argv[1]))[: int(sys.argv[1])]
base = peak_rss_mib()
start = time.perf_counter()
vectorizer, (shape, data, indices, indptr) = native.NativeTfidfVectorizer.fit_transform(
    texts, native.NativeVectorizerParams(2.0, 0.95, True))
print(time.perf_counter() - start, peak_rss_mib() - base, shape[1], len(data))
"""

PEER = """
import sys, time
import numpy as np
from sklearn.feature_extraction.text import TfidfVectorizer
from common import load_corpus, peak_rss_mib, reference_encoding
texts = load_corpus(int(sys.argv[1]))[: int(sys.argv[1])]
encoding = reference_encoding()
encoding.encode_ordinary("warm up")
base = peak_rss_mib()

def ngram_keys(tokens):
    keys = []
    for n in (2, 3, 4):
        for s in range(len(tokens) - n + 1):
            window = tokens[s:s + n]
            key = window[0] | window[1] << 32
            if n > 2:
                key |= window[2] << 64
            if n > 3:
                key |= window[3] << 96
            keys.append(key)
    return keys

start = time.perf_counter()
tokens = encoding.encode_ordinary_batch(texts, num_threads=2)
model = TfidfVectorizer(analyzer=ngram_keys, min_df=2, max_df=0.95, sublinear_tf=True, dtype=np.float32)
matrix = model.fit_transform(tokens)
print(time.perf_counter() - start, peak_rss_mib() - base, matrix.shape[1], matrix.nnz)
"""


def main() -> None:
    _, _, native_out = run_child(NATIVE, str(DOCS))
    _, _, peer_out = run_child(PEER, str(DOCS))
    n_time, n_mem, n_cols, n_nnz = (float(x) for x in native_out.split())
    p_time, p_mem, p_cols, p_nnz = (float(x) for x in peer_out.split())
    print(f"documents: {DOCS}")
    print(f"native fit_transform:        {n_time:8.2f} s  peak +{n_mem:8.0f} MiB  {int(n_cols)} features, {int(n_nnz)} nnz")
    print(f"tiktoken + scikit-learn:     {p_time:8.2f} s  peak +{p_mem:8.0f} MiB  {int(p_cols)} features, {int(p_nnz)} nnz")
    print(f"speed ratio (peer / native): {p_time / n_time:8.1f}x")
    print(f"memory ratio (peer / native): {p_mem / max(n_mem, 1):7.1f}x")


if __name__ == "__main__":
    main()
