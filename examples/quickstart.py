"""Quickstart on the bundled corpus sample: clean, tokenize, fit, transform, save and load.

    python3 examples/quickstart.py

Cleans a few hundred texts, tokenizes them (and decodes them back), fits a TF-IDF
vectorizer on most of them, transforms the rest into a scipy CSR matrix, saves the model
in both file formats and checks that the loaded models transform exactly as the original.
"""
from __future__ import annotations

import json
import tempfile
from pathlib import Path
from typing import TYPE_CHECKING

import numpy as np
import scipy.sparse

from _ordwen_preprocessing_native_bindings import (
    NativeCleaningMode,
    NativeTextCleaner,
    NativeTfidfVectorizer,
    NativeVectorizerParams,
    reverse_tokenize,
    tokenize,
)

if TYPE_CHECKING:  # a name for type checkers only
    from _ordwen_preprocessing_native_bindings import CsrComponents

SAMPLE = Path(__file__).resolve().parents[1] / "tests" / "data" / "corpus-sample.jsonl"
NUM_TEXTS = 300
NUM_TRAINING_TEXTS = 250


def read_texts(path: Path, limit: int) -> list[str]:
    """The first `limit` texts of a JSON-lines file holding one JSON string per line."""
    texts: list[str] = []
    with path.open(encoding="utf-8") as lines:
        for line in lines:
            if len(texts) == limit:
                break
            if line.strip():
                text = json.loads(line)
                if not isinstance(text, str):
                    raise ValueError(f"{path}: every line must hold a JSON string")
                texts.append(text)
    return texts


def to_csr_matrix(components: CsrComponents) -> scipy.sparse.csr_matrix:
    shape, data, indices, indptr = components
    return scipy.sparse.csr_matrix((data, indices, indptr), shape=shape)


def same_components(left: CsrComponents, right: CsrComponents) -> bool:
    return (
        left[0] == right[0]
        and np.array_equal(left[1], right[1])
        and np.array_equal(left[2], right[2])
        and np.array_equal(left[3], right[3])
    )


def main() -> None:
    texts = read_texts(SAMPLE, NUM_TEXTS)

    # 1. Clean: the Training mode also strips corpus artefacts; new documents get the
    #    Inference mode, which only normalises.
    training_texts = NativeTextCleaner(NativeCleaningMode.Training).clean_batch(texts[:NUM_TRAINING_TEXTS])
    new_texts = NativeTextCleaner(NativeCleaningMode.Inference).clean_batch(texts[NUM_TRAINING_TEXTS:])

    # 2. Tokenize into o200k_base ids; decoding gives every text back unchanged.
    token_ids = tokenize(training_texts)
    assert [reverse_tokenize(ids) for ids in token_ids] == training_texts, "decoding must give every text back"
    print(f"tokenized {len(token_ids)} texts into {sum(map(len, token_ids))} tokens; all decode back unchanged")

    # 3. Fit on the training texts: keep the token 2/3/4-grams found in at least 2 texts
    #    and in at most 90 % of them.
    params = NativeVectorizerParams(min_df=2.0, max_df=0.9, sublinear_tf=True)
    vectorizer, training_matrix = NativeTfidfVectorizer.fit_transform(training_texts, params)
    print(f"fitted {vectorizer!r}; training matrix {training_matrix[0]}")

    # 4. Transform new texts and hand the components to scipy.
    new_components = vectorizer.transform(new_texts)
    matrix = to_csr_matrix(new_components)
    print(f"new texts: {matrix.shape[0]} x {matrix.shape[1]} CSR matrix with {matrix.nnz} stored weights")
    assert same_components(vectorizer.vectorize_from_tokens(tokenize(new_texts)), new_components)

    # 5. Save in both formats, load, and check that nothing changed.
    with tempfile.TemporaryDirectory() as directory:
        for name in ("model.qarch", "model.json"):
            path = Path(directory) / name
            vectorizer.save(str(path))
            loaded = NativeTfidfVectorizer.load(str(path))
            assert same_components(loaded.transform(new_texts), new_components), f"{name} changed the model"
            print(f"saved and loaded {name} ({path.stat().st_size} bytes): identical transform")


if __name__ == "__main__":
    main()
