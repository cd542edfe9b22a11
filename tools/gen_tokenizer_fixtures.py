#!/usr/bin/env python3
"""Writes the o200k_base fixtures of the C++ tokenizer tests with tiktoken.

    TIKTOKEN_CACHE_DIR=... python3 tools/gen_tokenizer_fixtures.py

tests/data/tokenizer/tricky-texts.tsv: one case per line, the text as a JSON
string, a tab, and tiktoken's encode_ordinary ids separated by blanks.
tests/data/tokenizer/corpus-sample-ids.txt: the ids of each line of
tests/data/corpus-sample.jsonl (a JSON string per line), one line each.
"""

import json
import pathlib

import tiktoken

ROOT = pathlib.Path(__file__).resolve().parent.parent
DATA = ROOT / "tests/data"

TRICKY_TEXTS = [
    "",
    # contractions, in every case, and where they stop
    "it's", "IT'S", "he'LL", "they're", "We'Ve", "I'm", "you'd", "can't", "HELLO'S",
    "'s", "'S'", "x'll've", "rock'n'roll", "o'clock", "a'ſ", "a'ſx", "A'ſ", "dog's's",
    "don'T know", "'re'", "l'été", "C'est", " 's", "1's", ".'s",
    # letter case classes: upper runs, title case, modifier letters, marks
    "HELLOworld", "helloWORLD", "HeLLo WoRLD", "ǅungla ǈ", "ʰello", "aʰb", "ΣΑΣ's", "İstanbul",
    "\u0301", "\u0301AB", "\u0301ab", "a\u0301b", "A\u0301B", " \u0301", "e\u0301\u0301\u0301",
    "1\u0301", "\u20dd", "\u0301'll",
    # Unicode 16 letters and a mark
    "\u1c89\u1c8a", "x\u0897y", "\U00010d50\U00010d70",
    # digits
    "1", "12", "123", "1234", "12345", "123456", "1234567", " 1234567", "a1b22c333",
    "٣٤٥٦", "Ⅻ", "x²³⁴⁵", "3.14159", "$100,000.00", "１２３４",
    # white space
    " ", "  ", "   x", "x ", "x  ", "x   ", "\n", "\r\n", "\r", "\r\r\n\n", " \n", "  \n  x",
    "a\n\n\n b", "x \t\n", "\t\tx", "\u00a0x", "\u3000x", "\u0085x", "a\u0085\u0085b",
    "\x0b\x0cx", "\x1cx", "\u200bx", " \u2028 x", "line1\r\nline2\r\n", "  \r\n  \r\n",
    "end  ", "end \n", "\n\n", " \n \n ", "a \u00a0 b",
    # punctuation and symbols
    ".\r\n/", " /", "//", "http://example.com/path/to?q=1&r=2", "C++ // comment\n/x",
    "...", " ...\n\n", "—", "!!!???", "(a)", "[1, 2, 3]", "<|endoftext|>", "<|endofprompt|>",
    "<|fim_prefix|>", "\x00\x01", "\ud7ff\ue000\uffff",
    # scripts and emoji
    "日本語のテキストです。", "中文测试，分词。", "한국어 텍스트", "ภาษาไทยไม่มีช่องว่าง",
    "हिन्दी पाठ", "العربية نص", "Ελληνικά", "Кириллица: тест!",
    "🙂", "👍🏽", "👨‍👩‍👧‍👦 family", "🇫🇷🇩🇪", "a🙂b", "❤️", "\U0001f600\U0001f600\U0001f600",
    # long pieces (the long-piece merge)
    "=" * 300, "ab" * 200, "日本語" * 80, "ภาษาไทย" * 40, "\U0001f600" * 70, "a" * 1000,
    " " * 200 + "x", "\n" * 150, "1" * 500,
]


def main():
    encoding = tiktoken.get_encoding("o200k_base")
    lines = []
    for text in TRICKY_TEXTS:
        ids = encoding.encode_ordinary(text)
        lines.append(json.dumps(text) + "\t" + " ".join(map(str, ids)) + "\n")
    (DATA / "tokenizer/tricky-texts.tsv").write_text("".join(lines), encoding="utf-8")

    corpus = [json.loads(line) for line in (DATA / "corpus-sample.jsonl").open(encoding="utf-8")]
    with (DATA / "tokenizer/corpus-sample-ids.txt").open("w") as out:
        for ids in encoding.encode_ordinary_batch(corpus, num_threads=1):
            out.write(" ".join(map(str, ids)) + "\n")


if __name__ == "__main__":
    main()
