"""Fit a TF-IDF vectorizer on a corpus read batch by batch, save it, load it, use it.

    python3 examples/fit_corpus_with_builder.py [CORPUS.jsonl] [--model MODEL.qarch|MODEL.json]

The corpus is a JSON-lines file: one document per line, either a JSON string or an object
with a "text" string (blank lines are skipped). Without an argument the bundled sample is
used. Only one batch of texts is in memory at a time; the builder keeps nothing between
batches but the document frequency of every n-gram seen so far, and `finalize()` gives
exactly the model that a one-pass fit on all documents would give.
"""
from __future__ import annotations

import argparse
import json
import logging
from collections.abc import Iterator
from pathlib import Path

import numpy as np

from _ordwen_preprocessing_native_bindings import (
    NativeCleaningMode,
    NativeTextCleaner,
    NativeTfidfVectorizer,
    NativeTfidfVectorizerBuilder,
    NativeVectorizerParams,
)

SAMPLE = Path(__file__).resolve().parents[1] / "tests" / "data" / "corpus-sample.jsonl"
NEW_DOCUMENTS = [
    "Der Mensch ist, was er isst: Goethe und die Kirchen des Mittelalters.",
    "Espere, por favor: el proceso sigue en un bucle infinito.",
    "Пришли мне, пожалуйста, исходники своей программы.",
]


def document_text(line: str, where: str) -> str:
    document = json.loads(line)
    if isinstance(document, dict):
        document = document.get("text")
    if not isinstance(document, str):
        raise ValueError(f"{where}: expected a JSON string or an object with a \"text\" string")
    return document


def read_batches(path: Path, batch_size: int) -> Iterator[list[str]]:
    """The corpus's documents in lists of at most `batch_size`, read lazily."""
    batch: list[str] = []
    with path.open(encoding="utf-8") as lines:
        for number, line in enumerate(lines, start=1):
            if not line.strip():
                continue
            batch.append(document_text(line, f"{path}:{number}"))
            if len(batch) == batch_size:
                yield batch
                batch = []
    if batch:
        yield batch


def column_names(vectorizer: NativeTfidfVectorizer) -> dict[int, str]:
    """Column -> decoded n-gram. Several n-grams may decode to one text, so a few columns
    can be missing; an n-gram that ends inside a multi-byte character decodes to a marker."""
    return {column: ngram for ngram, column in vectorizer.vocabulary.items()}


def top_ngrams(vectorizer: NativeTfidfVectorizer, names: dict[int, str], text: str, count: int) -> list[tuple[str, float]]:
    """The `count` heaviest n-grams of one text, as (decoded n-gram, weight)."""
    _, data, indices, _ = vectorizer.transform([text])
    heaviest = np.argsort(-data, kind="stable")[:count]
    return [(names.get(int(indices[i]), "?"), float(data[i])) for i in heaviest]


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("corpus", nargs="?", type=Path, default=SAMPLE, help="JSON-lines corpus")
    parser.add_argument("--model", type=Path, default=Path("tfidf-model.qarch"),
                        help="where to save the model; .qarch (binary) or .json")
    parser.add_argument("--batch-size", type=int, default=500)
    parser.add_argument("--min-df", type=float, default=2.0, help="fewest documents (or share, below 1.0)")
    parser.add_argument("--max-df", type=float, default=0.9, help="most documents (or share, up to 1.0)")
    args = parser.parse_args()

    # Decoding the vocabulary logs a WARNING for every n-gram that ends inside a multi-byte
    # character; this script expects those. Set before the first call: the module reads
    # each logger's enabled levels once per process.
    logging.getLogger("ordwen_preprocessing.pre_processor.tokenizer").setLevel(logging.ERROR)

    cleaner = NativeTextCleaner(NativeCleaningMode.Training)
    builder = NativeTfidfVectorizerBuilder(NativeVectorizerParams(args.min_df, args.max_df, sublinear_tf=True))
    for batch in read_batches(args.corpus, args.batch_size):
        builder.partial_fit(cleaner.clean_batch(batch))
        print(builder)
    vectorizer = builder.finalize()
    print(f"finalized: {vectorizer!r}")

    vectorizer.save(str(args.model))
    print(f"saved to {args.model} ({args.model.stat().st_size} bytes)")

    loaded = NativeTfidfVectorizer.load(str(args.model))
    new_texts = NativeTextCleaner(NativeCleaningMode.Inference).clean_batch(NEW_DOCUMENTS)
    shape, _, _, indptr = loaded.transform(new_texts)
    print(f"transformed {shape[0]} new documents into {shape[0]} x {shape[1]} TF-IDF rows")
    names = column_names(loaded)
    for row, text in enumerate(new_texts):
        ngrams = ", ".join(f"{ngram!r} {weight:.3f}" for ngram, weight in top_ngrams(loaded, names, text, 3))
        print(f"  {int(indptr[row + 1] - indptr[row])} n-grams in {text[:40]!r}: {ngrams or '(none known)'}")


if __name__ == "__main__":
    main()
