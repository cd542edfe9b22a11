import hashlib
import inspect
import os
import subprocess
import sys
import textwrap
import threading

import numpy as np
import pytest

import _ordwen_preprocessing_native_bindings as native

Params = native.NativeVectorizerParams
Vectorizer = native.NativeTfidfVectorizer


# ---------------------------------------------------------------- reference
def ngram_keys(tokens, sizes=(2, 3, 4)):
    """The packed 128-bit keys of every window, as the engine defines them."""
    keys = []
    for n in sizes:
        for start in range(len(tokens) - n + 1):
            key = 0
            for lane, token in enumerate(tokens[start:start + min(n, 4)]):
                key |= token << (32 * lane)
            keys.append(key)
    return keys


def threshold(bound, n_docs, proportion):
    """Document-count bound in single precision, rounded up, saturating."""
    if proportion:
        value = np.ceil(np.float32(n_docs) * np.float32(bound))
    else:
        value = np.float32(bound)
    if not np.isfinite(value):
        return 0 if np.isnan(value) or value < 0 else 2**64 - 1
    return max(int(value), 0)


def reference_tfidf(train_tokens, test_tokens, min_df, max_df, sublinear_tf):
    """scikit-learn's TfidfVectorizer fed the same keys, columns in key order."""
    sk = pytest.importorskip("sklearn.feature_extraction.text")
    n_docs = len(train_tokens)
    lo = threshold(min_df, n_docs, min_df < 1.0)
    hi = threshold(max_df, n_docs, max_df <= 1.0)
    # Zero-padded decimal keys sort as text in the same order as the 128-bit values.
    analyzer = lambda tokens: [f"{key:040d}" for key in ngram_keys(tokens)]
    model = sk.TfidfVectorizer(analyzer=analyzer, min_df=max(lo, 1), max_df=max(hi, 1),
                               sublinear_tf=sublinear_tf, dtype=np.float64)
    model.fit(train_tokens)
    return model, model.transform(test_tokens)


def as_scipy(components):
    sparse = pytest.importorskip("scipy.sparse")
    shape, data, indices, indptr = components
    return sparse.csr_matrix((data, indices.astype(np.int64), indptr.astype(np.int64)), shape=shape)


@pytest.fixture(scope="module")
def texts(corpus):
    return corpus[:1200]


@pytest.fixture(scope="module")
def tokens(texts):
    return native.tokenize(texts)


# ------------------------------------------------------------ exactness vs reference
@pytest.mark.parametrize(
    "min_df, max_df, sublinear_tf",
    [(2.0, 1.0, False), (0.01, 0.5, True), (3.0, 200.0, False), (1.0, 0.95, True), (0.003, 0.2, False)],
)
def test_matrices_equal_scikit_learn_on_the_same_keys(texts, tokens, min_df, max_df, sublinear_tf):
    train, test = tokens[:1000], tokens[1000:]
    model, expected = reference_tfidf(train, test + train[:50], min_df, max_df, sublinear_tf)

    vectorizer, fitted = Vectorizer.fit_transform(texts[:1000], Params(min_df, max_df, sublinear_tf))
    assert vectorizer.num_features == len(model.vocabulary_)
    actual = as_scipy(vectorizer.transform(texts[1000:] + texts[:50]))
    assert actual.shape == expected.shape
    expected = expected.tocsr()
    expected.sort_indices()
    assert np.array_equal(actual.indptr, expected.indptr)
    assert np.array_equal(actual.indices, expected.indices)
    np.testing.assert_allclose(actual.data, expected.data, atol=1e-6, rtol=0)
    np.testing.assert_allclose(as_scipy(fitted).toarray()[:50], actual.toarray()[-50:], atol=0)


def test_components_layout_and_empty_inputs(texts):
    vectorizer = Vectorizer(texts[:300], Params(2.0, 1.0, False))
    width = vectorizer.num_features
    shape, data, indices, indptr = vectorizer.transform(texts[300:310])
    assert shape == (10, width)
    assert (data.dtype, indices.dtype, indptr.dtype) == (np.float32, np.uint64, np.uint64)
    assert len(indptr) == 11 and indptr[0] == 0 and indptr[-1] == len(data) == len(indices)
    for array in (data, indices, indptr):
        assert array.flags.c_contiguous and array.flags.writeable and array.flags.owndata
    matrix = as_scipy((shape, data, indices, indptr))
    norms = np.sqrt(np.asarray(matrix.multiply(matrix).sum(axis=1)).ravel())
    nonempty = np.diff(indptr.astype(np.int64)) > 0
    assert nonempty.any()
    np.testing.assert_allclose(norms[nonempty], 1.0, atol=1e-6)

    shape, data, indices, indptr = vectorizer.transform([])
    assert shape == (0, width) and len(data) == len(indices) == 0 and list(indptr) == [0]

    empty, (shape, data, indices, indptr) = Vectorizer.fit_transform([], Params(1.0, 1.0, False))
    assert empty.num_features == 0 and shape == (0, 0) and list(indptr) == [0]

    shape, data, indices, indptr = vectorizer.transform(["", "zzzzqqqq unseen"])
    assert indptr[0] == indptr[1]  # a text without vocabulary n-grams gives an empty row


def test_fit_transform_agrees_with_transform_and_token_flow(texts):
    vectorizer, components = Vectorizer.fit_transform(texts[:400], Params(2.0, 0.9, True))
    assert vectorizer.num_features == components[0][1]
    assert_same_components(vectorizer.transform(texts[:400]), components)
    assert_same_components(vectorizer.vectorize_from_tokens(native.tokenize(texts[:400])), components)
    assert_same_components(Vectorizer(texts[:400], Params(2.0, 0.9, True)).transform(texts[:400]), components)


def assert_same_components(left, right):
    assert left[0] == right[0]
    for a, b in zip(left[1:], right[1:]):
        assert a.dtype == b.dtype and np.array_equal(a, b)


def test_vocabulary_params_and_text_forms(texts):
    params = Params(2, 0.9, True)
    vectorizer = Vectorizer(texts[:300], params)
    vocabulary = vectorizer.vocabulary
    assert len(vocabulary) <= vectorizer.num_features
    assert len(set(vocabulary.values())) == len(vocabulary)
    assert all(0 <= column < vectorizer.num_features for column in vocabulary.values())
    vocabulary.clear()
    assert len(vectorizer.vocabulary) > 0

    got = vectorizer.params
    assert got is not vectorizer.params
    assert (got.ngram_range, got.min_df, got.max_df, got.sublinear_tf) == ((2, 4), 2.0, params.max_df, True)

    assert repr(vectorizer) == f"NativeTfidfVectorizer(vocabulary_size={vectorizer.num_features})"
    text = str(Vectorizer(["one two three"], Params(1.0, 1.0, False)))
    assert text.startswith("NativeTfidfVectorizer {\n    inner: TfidfVectorizer {\n")
    assert "NgramKey(" in text and "idf: [" in text and text.endswith("}")


def test_params_class():
    params = Params(1.0, 0.9, True)
    assert repr(params) == "NativeVectorizerParams(ngram_range=(2, 4), min_df=1, max_df=0.9, sublinear_tf=true)"
    assert str(params) == "NativeVectorizerParams { ngram_range: (2, 4), min_df: 1.0, max_df: 0.9, sublinear_tf: true }"
    assert Params(0.1, 1e-5, False).min_df == 0.10000000149011612
    assert str(Params(0.1, 1e-5, False)).endswith("min_df: 0.1, max_df: 1e-5, sublinear_tf: false }")
    assert repr(Params(0.1, 1e-5, False)).endswith("min_df=0.1, max_df=0.00001, sublinear_tf=false)")
    assert Params(2, 0.9, np.bool_(True)).sublinear_tf is True
    nan = Params(float("nan"), 1.0, False)
    assert nan.min_df != nan.min_df
    with pytest.raises(ValueError, match=r"^min_df must be positive \(proportion in \(0.0, 1.0\) or absolute count >= 1.0\)$"):
        Vectorizer(["a b"], nan)
    with pytest.raises(ValueError, match=r"^max_df must be positive \(proportion in \(0.0, 1.0\] or absolute count > 1.0\)$"):
        Vectorizer.fit_transform(["a b"], Params(1.0, -1, False))
    with pytest.raises(AttributeError):
        params.min_df = 3.0
    assert str(inspect.signature(Params)) == "(min_df, max_df, sublinear_tf)"
    assert Params.__doc__.startswith("Python wrapper for [`VectorizerParams`].")


@pytest.mark.parametrize(
    "call, error, prefix",
    [
        (lambda: Params("x", 1.0, False), TypeError, "argument 'min_df': "),
        (lambda: Params(1.0, 1.0, 1), TypeError, "argument 'sublinear_tf': "),
        (lambda: Vectorizer(["a"], object()), TypeError, "argument 'params': "),
        (lambda: Vectorizer("ab", Params(1.0, 1.0, False)), TypeError,
         "argument 'texts': Can't extract `str` to `Vec`"),
        (lambda: Vectorizer.fit_transform(texts=["a"], params=Params(1.0, 1.0, False), extra=1), TypeError,
         "NativeTfidfVectorizer.fit_transform() got an unexpected keyword argument 'extra'"),
        (lambda: Vectorizer.fit_transform(["a"], Params(1.0, 1.0, False), texts=["b"]), TypeError,
         "NativeTfidfVectorizer.fit_transform() got multiple values for argument 'texts'"),
    ],
)
def test_argument_errors(call, error, prefix):
    with pytest.raises(error) as raised:
        call()
    assert str(raised.value).startswith(prefix)


def test_keywords_and_signatures():
    vectorizer, _ = Vectorizer.fit_transform(texts=["a b c"], params=Params(1.0, 1.0, False))
    assert str(inspect.signature(Vectorizer)) == "(texts, params)"
    assert str(inspect.signature(Vectorizer.fit_transform)) == "(texts, params)"
    assert str(inspect.signature(vectorizer.transform)) == "(texts)"
    assert str(inspect.signature(vectorizer.vectorize_from_tokens)) == "(token_sequences)"
    assert vectorizer.transform.__doc__.startswith(
        "Transforms the input texts and returns the TF-IDF matrix components.")
    assert vectorizer.vectorize_from_tokens.__doc__ == "Transform pre-tokenized sequences to TF-IDF matrix"
    assert Vectorizer.__doc__ == "A wrapper function around `TfidfVectorizer` to expose it to Python."


# ------------------------------------------------------------ determinism
DIGEST_SCRIPT = textwrap.dedent("""
    import hashlib, json, sys
    import _ordwen_preprocessing_native_bindings as native
    texts = [json.loads(line) for line in open(sys.argv[1], encoding="utf-8")][: int(sys.argv[2])]
    vectorizer, (shape, data, indices, indptr) = native.NativeTfidfVectorizer.fit_transform(
        texts, native.NativeVectorizerParams(2.0, 0.95, True))
    digest = hashlib.sha256()
    for array in (data, indices, indptr):
        digest.update(array.tobytes())
    print(shape, digest.hexdigest())
""")


def _digest(count, single_cpu=False):
    from conftest import CORPUS_SAMPLE

    preexec = (lambda: os.sched_setaffinity(0, {sorted(os.sched_getaffinity(0))[0]})) if single_cpu else None
    result = subprocess.run([sys.executable, "-c", DIGEST_SCRIPT, str(CORPUS_SAMPLE), str(count)],
                            capture_output=True, text=True, preexec_fn=preexec, timeout=300)
    assert result.returncode == 0, result.stderr
    return result.stdout.strip()


def test_results_do_not_depend_on_process_or_thread_count():
    many = _digest(2000)
    assert _digest(2000) == many  # another process: other hash seeds
    assert _digest(2000, single_cpu=True) == many


def test_999_and_1000_documents_give_the_same_rows(texts):
    vectorizer = Vectorizer(texts[:500], Params(1.0, 1.0, False))
    batch = (texts * 2)[:1000]
    small = as_scipy(vectorizer.transform(batch[:999]))
    large = as_scipy(vectorizer.transform(batch))
    assert (small != large[:999]).nnz == 0


# ------------------------------------------------------------ threads
def test_concurrent_transforms_on_one_vectorizer(texts):
    vectorizer = Vectorizer(texts[:600], Params(2.0, 1.0, False))
    expected = vectorizer.transform(texts)
    results, errors = [], []

    def work():
        try:
            for _ in range(3):
                results.append(vectorizer.transform(texts))
        except Exception as error:  # pragma: no cover - reported below
            errors.append(error)

    threads = [threading.Thread(target=work) for _ in range(4)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert not errors
    assert len(results) == 12
    for result in results:
        assert_same_components(result, expected)


def test_other_threads_run_while_a_large_fit_runs(texts):
    ticks = []
    stop = threading.Event()

    def ticker():
        while not stop.is_set():
            ticks.append(1)
            stop.wait(0.001)

    thread = threading.Thread(target=ticker)
    thread.start()
    try:
        before = len(ticks)
        Vectorizer.fit_transform(texts * 8, Params(1.0, 1.0, True))
        during = len(ticks) - before
    finally:
        stop.set()
        thread.join()
    assert during > 5
