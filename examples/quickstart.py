"""End-to-end example on the bundled corpus sample: tokenize texts and decode them back."""
import json
from pathlib import Path

import _ordwen_preprocessing_native_bindings as native

SAMPLE = Path(__file__).resolve().parents[1] / "tests" / "data" / "corpus-sample.jsonl"


def read_texts(path: Path, limit: int) -> list[str]:
    with path.open(encoding="utf-8") as lines:
        return [json.loads(line) for _, line in zip(range(limit), lines)]


def main() -> None:
    texts = read_texts(SAMPLE, 200)
    token_ids = native.tokenize(texts)
    decoded = [native.reverse_tokenize(ids) for ids in token_ids]
    assert decoded == texts, "decoding must give every text back"
    total = sum(len(ids) for ids in token_ids)
    print(f"tokenized {len(texts)} texts into {total} tokens; every text decodes back unchanged")
    print(f"first text's first ids: {token_ids[0][:12]}")


if __name__ == "__main__":
    main()
