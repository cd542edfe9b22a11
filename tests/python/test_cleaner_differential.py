"""The native cleaner against the plain-Python reference cleaner, on the stored
corpus sample and on many random texts made of the rules' own vocabulary."""

import pytest

import cleaning_reference
import cleaning_samples

native = pytest.importorskip("_ordwen_preprocessing_native_bindings")
if not hasattr(native, "NativeTextCleaner"):
    pytest.skip("the module has no NativeTextCleaner", allow_module_level=True)

RANDOM_TEXT_COUNT = 20000
SINGLE_TEXT_COUNT = 500  # also cleaned one at a time
SHOWN_DIFFERENCES = 5
SHOWN_CHARACTERS = 400


@pytest.fixture(scope="module")
def texts():
    return cleaning_samples.corpus_sample() + cleaning_samples.random_texts(RANDOM_TEXT_COUNT)


@pytest.mark.parametrize("mode_name", ["Training", "Inference"])
def test_native_cleaner_agrees_with_reference(texts, mode_name):
    mode = getattr(native.NativeCleaningMode, mode_name)
    cleaner = native.NativeTextCleaner(mode)
    cleaned = cleaner.clean_batch(texts)
    assert [cleaner.clean(text) for text in texts[:SINGLE_TEXT_COUNT]] == cleaned[:SINGLE_TEXT_COUNT]
    reference = cleaning_reference.ReferenceCleaner(training=mode_name == "Training")
    differences = [(text, got, expected)
                   for text, got in zip(texts, cleaned)
                   for expected in [reference.clean(text)]
                   if got != expected]
    assert len(cleaned) == len(texts)
    # The shortest differing inputs are the easiest to read.
    shown = sorted(differences, key=lambda difference: len(difference[0]))[:SHOWN_DIFFERENCES]
    assert not differences, (
        f"{len(differences)} of {len(texts)} texts differ; the shortest "
        "(input, native, reference):\n"
        + "\n".join(repr(difference)[:SHOWN_CHARACTERS] for difference in shown))
