"""The reference cleaner, the oracle of the differential test, on the documented
cleaning examples, so that an agreement with it means something."""

import re

import pytest

import cleaning_reference

# (input, Training result, Inference result)
DOCUMENTED_CASES = [
    ("&amp;lt;", "<", "<"),
    ("a&amp;#39;b", "ab", "ab"),
    ("a&#8212;b", "ab", "ab"),
    ("room #39 now", "room ' now", "room ' now"),
    ("<div class=x>hi</div><P>", "<div class=x>hi<P>", "<div class=x>hi<P>"),
    ("a\n \n \n\nb", "a\n\n\n\nb", "a\n\n\n\nb"),
    ("it\u2019s it\u00e2\u20ac\u2122s", "it\u2019s it's", "it\u2019s it's"),
    ("Results [1], [2] and [3].", "Results , and .", "Results [1], [2] and [3]."),
    ("See 12] and more", "See and more", "See 12] and more"),
    ("WASHINGTON (AP) \u2014 The president", "The president", "WASHINGTON (AP) \u2014 The president"),
    ("COVID-19 cases", "19 cases", "COVID-19 cases"),
    ("He arrived at 10:30 AM EST, then left.", "He arrived then left.",
     "He arrived at 10:30 AM EST, then left."),
    ("The meeting is at 5 PM EST. ok", "The meeting is at 5 PM. ok", "The meeting is at 5 PM EST. ok"),
    ("1. First\n2. Second", "First\nSecond", "1. First\n2. Second"),
    ("BACKGROUND: We study. METHODS: We did.", "We study. We did.",
     "BACKGROUND: We study. METHODS: We did."),
    ("xAP - y", "xAP - y", "xAP - y"),
    ("\u00b2AP - y", "\u00b2y", "\u00b2AP - y"),
    ("RESULTSRESULTS", "RESULTS", "RESULTSRESULTS"),
    ("", "", ""),
    ("   ", "", ""),
    ('"hi"', "hi", "hi"),
    ('""', "", ""),
    ('He said "hi"', 'He said "hi', 'He said "hi'),
    ('" "', " ", " "),
    ('"  hello  "', " hello ", " hello "),
    ("\u201chi\u201d", "\u201chi\u201d", "\u201chi\u201d"),
    ("\u3000hi\u3000", "hi", "hi"),
]


@pytest.mark.parametrize("engine", [cleaning_reference.regex, re], ids=["regex", "re"])
def test_reference_cleans_documented_cases(engine):
    training = cleaning_reference.ReferenceCleaner(training=True, engine=engine)
    inference = cleaning_reference.ReferenceCleaner(training=False, engine=engine)
    for text, training_result, inference_result in DOCUMENTED_CASES:
        assert training.clean(text) == training_result, text
        assert inference.clean(text) == inference_result, text
