import inspect

import pytest

import _ordwen_preprocessing_native_bindings as native

Mode = native.NativeCleaningMode
Cleaner = native.NativeTextCleaner

# (input, Training result, Inference result)
CASES = [
    ("", "", ""),
    ("   \t\n ", "", ""),
    ('"hi"', "hi", "hi"),
    ('""\'\'"', "", ""),
    ('He said "hi"', 'He said "hi', 'He said "hi'),
    ('" "', " ", " "),
    ('"  hello  "', " hello ", " hello "),
    ("\u3000text\u3000", "text", "text"),
    ("\u201cquoted\u201d", "\u201cquoted\u201d", "\u201cquoted\u201d"),
    ("BACKGROUND: We study. METHODS: We did.", "We study. We did.", "BACKGROUND: We study. METHODS: We did."),
    ("Results [1], [2] and [3].", "Results , and .", "Results [1], [2] and [3]."),
    ("WASHINGTON (AP) \u2014 The president", "The president", "WASHINGTON (AP) \u2014 The president"),
    ("He arrived at 10:30 AM EST, then left.", "He arrived then left.", "He arrived at 10:30 AM EST, then left."),
    ("a&amp;lt;b &amp;#39;c a&#8212;b", "a<b c ab", "a<b c ab"),
    ("x\u00a0y\u200bz", "x yz", "x yz"),
]


@pytest.mark.parametrize("text, training, inference", CASES)
def test_clean_in_both_modes(text, training, inference):
    assert Cleaner(Mode.Training).clean(text) == training
    assert Cleaner(Mode.Inference).clean(text) == inference


def test_clean_batch_equals_clean_in_order(corpus):
    for mode in (Mode.Training, Mode.Inference):
        cleaner = Cleaner(mode)
        texts = corpus[:300] + [case[0] for case in CASES]
        assert cleaner.clean_batch(texts) == [cleaner.clean(text) for text in texts]
        assert cleaner.clean_batch([]) == []
        assert cleaner.clean_batch(tuple(texts[:3])) == [cleaner.clean(text) for text in texts[:3]]


def test_modes_are_shared_singletons():
    assert Mode.Training is Mode.Training and Mode.Inference is Mode.Inference
    assert repr(Mode.Training) == "NativeCleaningMode.Training"
    assert repr(Mode.Inference) == "NativeCleaningMode.Inference"
    assert int(Mode.Training) == 0 and int(Mode.Inference) == 1
    assert Mode.__doc__ in ("", None)
    with pytest.raises(TypeError):
        Mode()
    assert Cleaner(Mode.Training).is_training_mode() is True
    assert Cleaner(mode=Mode.Inference).is_training_mode() is False


def test_signatures_and_docstrings():
    cleaner = Cleaner(Mode.Inference)
    assert str(inspect.signature(Cleaner)) == "(mode)"
    assert str(inspect.signature(cleaner.clean)) == "(text)"
    assert str(inspect.signature(cleaner.clean_batch)) == "(texts)"
    assert str(inspect.signature(cleaner.is_training_mode)) == "()"
    assert cleaner.clean.__doc__ == "Clean a single text string"
    assert cleaner.clean_batch.__doc__ == "Clean multiple texts in parallel"


@pytest.mark.parametrize(
    "call, error, message",
    [
        (lambda: Cleaner(0), TypeError, "argument 'mode': "),
        (lambda: Cleaner(Mode.Training).clean(1), TypeError, "argument 'text': "),
        (lambda: Cleaner(Mode.Training).clean_batch("abc"), TypeError,
         "argument 'texts': Can't extract `str` to `Vec`"),
        (lambda: Cleaner(Mode.Training).clean_batch(["a", None]), TypeError, "argument 'texts': "),
        (lambda: Cleaner(Mode.Training).clean("\ud800"), UnicodeEncodeError, ""),
    ],
)
def test_argument_errors(call, error, message):
    with pytest.raises(error) as raised:
        call()
    assert str(raised.value).startswith(message)
