"""The native cleaner against the plain-Python reference cleaner, on the stored
corpus sample and on many random texts made of the rules' own vocabulary."""

import pytest

import cleaning_reference
import cleaning_samples

native = pytest.importorskip("_ordwen_preprocessing_native_bindings")
if not hasattr(native, "NativeTextCleaner"):
    pytest.skip("the module has no NativeTextCleaner", allow_module_level=True)

RANDOM_TEXT_COUNT = 20000
SHOWN_DIFFERENCES = 5


@pytest.fixture(scope="module")
def texts():
    return cleaning_samples.corpus_sample() + cleaning_samples.random_texts(RANDOM_TEXT_COUNT)


@pytest.mark.parametrize("mode_name", ["Training", "Inference"])
def test_native_cleaner_agrees_with_reference(texts, mode_name):
    mode = getattr(native.NativeCleaningMode, mode_name)
    cleaned = native.NativeTextCleaner(mode).clean_batch(texts)
    reference = cleaning_reference.ReferenceCleaner(training=mode_name == "Training")
    differences = [(text, got, expected)
                   for text, got in zip(texts, cleaned)
                   for expected in [reference.clean(text)]
                   if got != expected]
    assert len(cleaned) == len(texts)
    assert not differences, (
        f"{len(differences)} of {len(texts)} texts differ; first ones "
        "(input, native, reference):\n"
        + "\n".join(repr(d) for d in differences[:SHOWN_DIFFERENCES]))
