"""Texts for comparing cleaners: the stored corpus sample and seeded random texts
assembled from the vocabulary of the cleaning rules, so that near-misses and
overlapping matches of many rules occur together."""

import json
import pathlib
import random

DATA_DIR = pathlib.Path(__file__).resolve().parent.parent / "data"

WHITE_SPACE = [" ", "\t", "\n", "\u000b", "\u000c", "\r", "\u0085", "\u00a0", "\u1680",
               "\u2000", "\u2003", "\u200a", "\u2028", "\u2029", "\u202f", "\u205f",
               "\u3000"]
# Look like white space or sit beside it, but are not White_Space.
NOT_WHITE_SPACE = ["\u200b", "\u200c", "\u200d", "\ufeff", "\u180e", "\u200e", "\u001c"]
DIGITS = ["0", "1", "2", "5", "9", "10", "12", "30", "123", "\u0663", "\u06f4", "\u096b",
          "\uff11", "\U0001d7d8", "\u0e51"]
NOT_DIGITS = ["\u00b2", "\u216b", "\u2460", "\u00bd"]
WORD_CHARACTERS = ["x", "the", "A", "e", "\u00e9", "\u00c9", "\u00df", "_", "\u203f",
                   "\u0301", "\u24b6", "\u3042", "\u05d0", "\u200d"]

FRAGMENTS = [
    # citations
    "[1]", "[12]", "[3],", "[4].", "[5];", "[6]:", "[7])", "[8]]", "12]", "3].", " 4],",
    "[9", "[", "]", "[\u0663]", "[12]\n", "[2] \n", "[x]",
    # wire credits and capital runs
    "(AP)", "(AFP)", "(Reuters)", "(UPI)", "(Bloomberg)", "(AP) \u2014 ", "(XYZ)\u2014",
    "(NATO)", "(A)", "(Ap)", "AP -", "AP\u2014", "AFP - ", "Reuters \u2014 ", "UPI-",
    "Bloomberg -", "ABC - ", "COVID-19", "NASA", "US", "AB", "A-B", "\u2014", "-", "\u2013",
    # datelines and states
    "WASHINGTON, ", "WASHINGTON \u2014 ", "NEW YORK, ", "SAN  FRANCISCO, ", "SANFRANCISCO,",
    "SAN\nFRANCISCO \u2014", "LOS ANGELES, Calif. \u2014 ", "MEXICO CITY\u2014", "PARIS, France, ",
    "BOSTON, Mass., ", "DENVER, Colo. ", "\nLONDON, ", "\nTOKYO \u2014 ", "\nSEOUL, S.Korea, ",
    ", Calif. ", ", N.Y. ", ", W.Va.  ", ", Tex.\n", ", Fla.", ",Ga. ", "SPRINGFIELD, Ill., ",
    "\nSPRINGFIELD \u2014 ", "OAK RIDGE, Tenn. - ",
    "\u2014 The ", "\u2014  A ", "\u2014The ", " \u2014 A",
    # section labels
    "ABSTRACT", "ABSTRACT:", "BACKGROUND: ", "OBJECTIVE:", "METHOD", "METHODS: ", "RESULT",
    "RESULTS:", "CONCLUSION: ", "CONCLUSIONS", "DISCUSSION:", "INTRODUCTION ", "SUMMARY: ",
    "\nRESULTS: ", "\n SUMMARY:", "Introduction",
    ". History\n", ".History \n", "Early life\n", ". Personal life  \n", "External links\n",
    ". Description\n", "Description \n", "References\n", "Background",
    # time stamps
    " at 10:30 AM EST, ", " at 5 PM", " at 9:05pm PST.", " at 12:00", " at 7:15 am GMT ",
    " EST ", " GMT, ", " UTC. ", " PDT", " at \u0663:\u0664\u0665 am ", " at 123:45 ",
    # stock openings and numbering
    "This paper presents ", "\nThis study examines  ", "This work shows", "This essay shows ",
    "1. ", "\n2. ", "\n\u0661\u0662.  ", "12.\t", "3.x",
    # entities
    "&amp;", "&lt;", "&gt;", "&quot;", "&#39;", "&#8212;", "&amp;#39;", "&amp;lt;", "#39",
    "&#39", "#39;", "quot;", "&quot", "&nbsp;", "&#x27;", "&#\u0663;", "&",
    # tags
    "<br>", "<br/>", "<br />", "<br\n/>", "<p>", "</p>", "</div>", "<DIV>", "<span class=x>",
    "<h3>", "</h6>", "<h7>", "<em>", "</strong>", "<b>", "<i>", "<ul>", "</li>", "<",
    # quotes, damaged and whole
    '"', "'", "\u201c", "\u201d", "\u2019", "\u00e2\u20ac\u2122", "\u00e2\u20ac\u0153",
    "\u00e2\u20ac\u009d", '\u00e2\u20ac"', "\u00e2\u20ac",
    # plain words and punctuation
    "The president", "said", "cases", "hello", "then left.", "Results", "\u00c9mile",
    "stra\u00dfe", ".", ",", ";", ":", ")", "(", "!", "?",
]


def random_text(rng):
    pieces = []
    for _ in range(rng.randint(1, 24)):
        roll = rng.random()
        if roll < 0.55:
            pieces.append(rng.choice(FRAGMENTS))
        elif roll < 0.70:
            pieces.append("".join(rng.choice(WHITE_SPACE) for _ in range(rng.randint(1, 4))))
        elif roll < 0.78:
            pieces.append(rng.choice(DIGITS + NOT_DIGITS))
        elif roll < 0.88:
            pieces.append(rng.choice(WORD_CHARACTERS))
        elif roll < 0.93:
            pieces.append(rng.choice(NOT_WHITE_SPACE))
        else:
            pieces.append(rng.choice([" ", "  ", "\n", "\n\n\n", " \n ", ""]))
    return "".join(pieces)


def random_texts(count, seed=20240611):
    rng = random.Random(seed)
    return [random_text(rng) for _ in range(count)]


def corpus_sample():
    """The stored sample, less texts that cannot be written as UTF-8 (lone surrogates)."""
    texts = []
    with open(DATA_DIR / "corpus-sample.jsonl", encoding="utf-8") as lines:
        for line in lines:
            text = json.loads(line)
            try:
                text.encode("utf-8")
            except UnicodeEncodeError:
                continue
            texts.append(text)
    return texts
