"""NativeTfidfVectorizerBuilder: batch-by-batch fitting that finalizes into the one-pass model."""
import random
import subprocess
import sys
import textwrap
import threading
import time

import numpy as np
import pytest

import _ordwen_preprocessing_native_bindings as native

Builder = native.NativeTfidfVectorizerBuilder
Params = native.NativeVectorizerParams

FINALIZED = "Builder has been finalized. Create a new TfidfVectorizerBuilder to process more data."
ALREADY_FINALIZED = "Builder has already been finalized. Each builder can only be finalized once."
NO_DOCUMENTS = "TfidfVectorizerBuilder: no documents processed, call partial_fit at least once"

# min_df, max_df, sublinear_tf: proportions, absolute counts, mixed, and bounds no key can meet.
SETTINGS = [
    (1.0, 1.0, False),
    (0.01, 0.9, False),
    (0.002, 0.5, True),
    (2, 40, True),
    (3.0, 1.0, False),
    (5.0, 2.0, True),
]

ONE_TOKEN_TEXTS = ["a", "the", "x", "!", "hello"]


def random_corpus(corpus, rng):
    """A sample of the corpus with empty, one-token and repeated texts mixed in, shuffled."""
    texts = rng.sample(corpus, rng.randint(1, 400))
    texts += [""] * rng.randint(0, 5)
    texts += rng.choices(ONE_TOKEN_TEXTS, k=rng.randint(0, 5))
    texts += rng.choices(texts, k=rng.randint(0, 30))
    rng.shuffle(texts)
    return texts


def random_batches(texts, rng):
    """The texts cut at random points (some batches empty), the batches then in random order."""
    cuts = sorted([0, len(texts)] + [rng.randint(0, len(texts)) for _ in range(rng.randint(0, 8))])
    batches = [texts[a:b] for a, b in zip(cuts, cuts[1:])]
    rng.shuffle(batches)
    return batches


def assert_same_model(built, fitted, probe):
    assert built.num_features == fitted.num_features
    assert built.vocabulary == fitted.vocabulary
    assert repr(built.params) == repr(fitted.params)
    shape_b, *arrays_b = built.transform(probe)
    shape_f, *arrays_f = fitted.transform(probe)
    assert shape_b == shape_f
    for component_b, component_f in zip(arrays_b, arrays_f):
        assert component_b.dtype == component_f.dtype
        assert np.array_equal(component_b, component_f)


@pytest.mark.parametrize("seed", range(8))
def test_batches_in_any_order_finalize_to_the_one_pass_model(corpus, seed):
    rng = random.Random(seed)
    texts = random_corpus(corpus, rng)
    probe = texts[:50] + rng.sample(corpus, 50) + ["", "a"]
    for min_df, max_df, sublinear_tf in SETTINGS:
        params = Params(min_df, max_df, sublinear_tf)
        builder = Builder(params)
        for batch in random_batches(texts, rng):
            builder.partial_fit(batch)
        assert builder.total_docs == len(texts)
        built = builder.finalize()
        fitted = native.NativeTfidfVectorizer(texts, params)
        assert_same_model(built, fitted, probe)


def test_the_whole_sample_in_twenty_batches_has_features(corpus):
    params = Params(2, 0.9, True)
    builder = Builder(params)
    for start in range(0, len(corpus), 100):
        builder.partial_fit(corpus[start:start + 100])
    built = builder.finalize()
    fitted = native.NativeTfidfVectorizer(corpus, params)
    assert built.num_features > 1000
    assert_same_model(built, fitted, corpus)


def distinct_keys(texts):
    """Packed keys of every window of 2, 3 and 4 token ids (first id in the lowest 32 bits)."""
    keys = set()
    for ids in native.tokenize(texts):
        for n in (2, 3, 4):
            for start in range(len(ids) - n + 1):
                keys.add(sum(token << (32 * i) for i, token in enumerate(ids[start:start + n])))
    return keys


def test_counts_and_repr_while_active(corpus):
    builder = Builder(Params(1.0, 1.0, False))
    assert repr(builder) == "NativeTfidfVectorizerBuilder(total_docs=0, raw_vocab_size=0)"
    builder.partial_fit([])
    assert builder.total_docs == 0

    texts = corpus[:3]
    builder.partial_fit(texts)
    expected = len(distinct_keys(texts))
    assert expected > 10
    assert (builder.total_docs, builder.raw_vocab_size) == (3, expected)
    assert repr(builder) == f"NativeTfidfVectorizerBuilder(total_docs=3, raw_vocab_size={expected})"

    # Empty and one-token texts are documents without keys; a repeated text adds no keys.
    builder.partial_fit(["", "a", texts[0]])
    assert (builder.total_docs, builder.raw_vocab_size) == (6, expected)


def test_refusals_and_the_finalized_state():
    params = Params(1.0, 1.0, False)
    builder = Builder(params)
    with pytest.raises(RuntimeError, match=f"^{NO_DOCUMENTS}$"):
        builder.finalize()
    builder.partial_fit([])
    with pytest.raises(RuntimeError, match=f"^{NO_DOCUMENTS}$"):
        builder.finalize()

    # A refused finalize leaves the builder usable.
    assert repr(builder) == "NativeTfidfVectorizerBuilder(total_docs=0, raw_vocab_size=0)"
    with pytest.raises(TypeError, match="^argument 'texts': Can't extract `str` to `Vec`$"):
        builder.partial_fit("one two three")
    with pytest.raises(TypeError, match="^argument 'texts': "):
        builder.partial_fit(["fine", 3])
    assert builder.total_docs == 0
    builder.partial_fit(texts=["one two three", "two three four"])
    model = builder.finalize()
    assert isinstance(model, native.NativeTfidfVectorizer)
    assert model.num_features == native.NativeTfidfVectorizer(["one two three", "two three four"], params).num_features

    assert repr(builder) == "NativeTfidfVectorizerBuilder(finalized)"
    assert (builder.total_docs, builder.raw_vocab_size) == (0, 0)
    with pytest.raises(RuntimeError, match=f"^{ALREADY_FINALIZED}$"):
        builder.finalize()
    with pytest.raises(RuntimeError, match=f"^{FINALIZED}$"):
        builder.partial_fit(["more"])
    # The returned model does not depend on the builder.
    del builder
    assert model.transform(["one two three"])[0] == (1, model.num_features)


def test_constructor_arguments():
    with pytest.raises(TypeError, match="^argument 'params': "):
        Builder("not params")
    with pytest.raises(TypeError):
        Builder()
    with pytest.raises(ValueError, match=r"^min_df must be positive \(proportion"):
        Builder(Params(0.0, 1.0, False))
    with pytest.raises(ValueError, match=r"^max_df must be positive \(proportion"):
        Builder(Params(1.0, -1, False))
    # Only the bounds are copied: the params object is not held.
    params = Params(2, 0.5, True)
    builder = Builder(params=params)
    del params
    builder.partial_fit(["a b c d", "a b c d", "e f g h"])
    assert builder.finalize().params.min_df == 2.0


def test_docstrings_and_signatures():
    assert Builder.__text_signature__ == "(params)"
    assert Builder.__doc__.startswith("Python wrapper for [`TfidfVectorizerBuilder`].\n\n")
    assert "incremental training with `partial_fit()` for large datasets" in Builder.__doc__
    assert Builder.partial_fit.__text_signature__ == "($self, texts)"
    assert Builder.partial_fit.__doc__ == (
        "Process a batch of texts, updating document frequencies.\n\n"
        "Can be called multiple times with different batches.\n\n"
        "# Errors\n\n"
        "Returns `RuntimeError` if called after `finalize()`.")
    assert Builder.finalize.__text_signature__ == "($self)"
    assert Builder.finalize.__doc__ == (
        "Finalize the vectorizer and return a fitted TfidfVectorizer.\n\n"
        "After calling this method, the builder is consumed and cannot be used again.\n\n"
        "# Errors\n\n"
        "Returns `RuntimeError` if called more than once.")
    assert Builder.total_docs.__doc__ == "Get current number of documents processed."
    assert Builder.raw_vocab_size.__doc__ == "Get current vocabulary size (before filtering)."
    builder = Builder(Params(1.0, 1.0, False))
    with pytest.raises(AttributeError):
        builder.total_docs = 5


def borrow_error(call):
    """The RuntimeError message of the call, or None when it went through."""
    try:
        call()
    except RuntimeError as error:
        return str(error)
    return None


def test_a_running_partial_fit_excludes_every_other_use(corpus):
    """While one thread counts a large batch (interpreter lock released), another thread's
    partial_fit and total_docs fail at once with the borrow errors; nothing is lost."""
    big = corpus * 8
    builder = Builder(Params(1.0, 1.0, False))
    fed = 0
    saw_busy_fit = saw_busy_read = False
    for _ in range(5):  # rounds, in case a batch finishes before it is observed running
        errors = []

        def count_big_batch():
            try:
                builder.partial_fit(big)
            except BaseException as error:  # reported to the main thread
                errors.append(error)

        worker = threading.Thread(target=count_big_batch)
        worker.start()
        deadline = time.monotonic() + 60
        while worker.is_alive() and time.monotonic() < deadline:
            # Reading holds the interpreter lock, so polling never gets in the worker's way.
            read = borrow_error(lambda: builder.total_docs)
            if read is None:
                continue  # the worker has not taken its borrow yet
            assert read == "Already mutably borrowed"
            saw_busy_read = True
            fit = borrow_error(lambda: builder.partial_fit(["a small batch"]))
            if fit is None:
                fed += 1  # the worker finished in between, so this batch was counted
            else:
                assert fit == "Already borrowed"
                saw_busy_fit = True
            break
        worker.join()
        assert not errors, errors
        fed += len(big)
        if saw_busy_fit and saw_busy_read:
            break
    assert saw_busy_fit and saw_busy_read
    assert builder.total_docs == fed
    builder.partial_fit(["after the race"])
    assert builder.total_docs == fed + 1
    assert builder.finalize().num_features > 0


def test_log_records_reach_the_tfidf_vectorizer_logger():
    script = textwrap.dedent("""
        import logging
        import _ordwen_preprocessing_native_bindings as native

        records = []
        class Collect(logging.Handler):
            def emit(self, record):
                records.append(record)
        logging.getLogger().addHandler(Collect(logging.DEBUG))
        logging.getLogger().setLevel(logging.DEBUG)

        builder = native.NativeTfidfVectorizerBuilder(native.NativeVectorizerParams(1.0, 1.0, False))
        builder.partial_fit(["", "a"])
        builder.finalize()
        name = "ordwen_preprocessing.pre_processor.vectorizer.tfidf_vectorizer"
        print("\\n".join(r.getMessage() for r in records if r.name == name and r.levelno == 10))
    """)
    result = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, timeout=120)
    assert result.returncode == 0, result.stderr
    lines = result.stdout.splitlines()
    # Thresholds for 2 documents with min_df 1.0 (absolute 1) and max_df 1.0 (all 2 documents).
    for expected in ["Processing batch in partial_fit batch_size=2",
                     "Batch processing complete batch_size=2 total_docs=2 unique_ngrams=0",
                     "Finalizing TfidfVectorizer n_docs=2 raw_vocab_size=0",
                     "Applying document frequency filtering min_df=1 max_df=2",
                     "Filtering complete filtered_vocab_size=0",
                     "Calculating IDF weights num_features=0",
                     "TfidfVectorizer finalization complete num_features=0"]:
        assert expected in lines, lines
    assert lines.index("Processing batch in partial_fit batch_size=2") < lines.index(
        "Finalizing TfidfVectorizer n_docs=2 raw_vocab_size=0")
