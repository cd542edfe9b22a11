"""Cut the long documents of a corpus into overlapping token windows.

    python3 examples/chunk_long_documents.py [CORPUS.jsonl] [--chunk-size 150] [--overlap 15] [--min-chunk-size 30]

Tokenizes every document of a JSON-lines corpus (one JSON string per line; the bundled
sample by default) and chunks those longer than one window with `chunk_batch`, which works
on all of them in parallel. The chunker does not slide a fixed window: it adapts the size
and overlap so that the windows tile each document evenly.
"""
from __future__ import annotations

import argparse
import json
from pathlib import Path

from _ordwen_preprocessing_native_bindings import NativeTokenChunker, reverse_tokenize, tokenize

SAMPLE = Path(__file__).resolve().parents[1] / "tests" / "data" / "corpus-sample.jsonl"


def read_texts(path: Path) -> list[str]:
    texts: list[str] = []
    with path.open(encoding="utf-8") as lines:
        for number, line in enumerate(lines, start=1):
            if line.strip():
                text = json.loads(line)
                if not isinstance(text, str):
                    raise ValueError(f"{path}:{number}: expected a JSON string")
                texts.append(text)
    return texts


def chunk_starts(chunks: list[list[int]], tokens: list[int]) -> list[int]:
    """Where each chunk begins in its document; chunks come in order of their start."""
    starts: list[int] = []
    position = 0
    for chunk in chunks:
        while tokens[position:position + len(chunk)] != chunk:
            position += 1
            if position + len(chunk) > len(tokens):
                raise AssertionError("a chunk is not a window of its document")
        starts.append(position)
    return starts


def spread(values: list[int]) -> str:
    return str(values[0]) if min(values) == max(values) else f"{min(values)} to {max(values)}"


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("corpus", nargs="?", type=Path, default=SAMPLE, help="JSON-lines corpus")
    parser.add_argument("--chunk-size", type=int, default=150)
    parser.add_argument("--overlap", type=int, default=15)
    parser.add_argument("--min-chunk-size", type=int, default=30)
    args = parser.parse_args()

    chunker = NativeTokenChunker(chunk_size=args.chunk_size, overlap=args.overlap,
                                 min_chunk_size=args.min_chunk_size)
    sequences = tokenize(read_texts(args.corpus))
    long_sequences = [tokens for tokens in sequences if len(tokens) > args.chunk_size]
    print(f"{len(long_sequences)} of {len(sequences)} documents are longer than {args.chunk_size} tokens; "
          f"chunker {chunker.to_dict()}")

    chunked = chunker.chunk_batch(long_sequences)
    for tokens, chunks in sorted(zip(long_sequences, chunked), key=lambda pair: len(pair[0]))[-5:]:
        starts = chunk_starts(chunks, tokens)
        strides = [after - before for before, after in zip(starts, starts[1:])] or [0]
        print(f"  {len(tokens):6d} tokens -> {len(chunks):3d} chunks of {spread([len(c) for c in chunks])} tokens, "
              f"one every {spread(strides)} tokens; the last ends at {starts[-1] + len(chunks[-1])}")

    if chunked:
        first = chunked[0][0]
        print(f"first chunk of the first long document begins: {reverse_tokenize(first)[:60]!r}")


if __name__ == "__main__":
    main()
