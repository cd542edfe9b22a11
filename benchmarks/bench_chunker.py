"""chunk_batch of 100,000 sequences of 2,000 tokens against chunk() in a loop.

Also reports how much of chunk_batch's time is the Python-side conversion, taken as
the time of a chunk_batch whose chunker returns every sequence whole in one window:
the same input to convert, an output of nearly the same size, and no chunking work.
"""
import random
import sys
import time

import _ordwen_preprocessing_native_bindings as native

COUNT = int(sys.argv[1]) if len(sys.argv) > 1 else 100_000
LENGTH = 2_000


def timed(function):
    start = time.perf_counter()
    result = function()
    return time.perf_counter() - start, result


def main() -> None:
    rng = random.Random(3)
    # A few hundred distinct sequences with realistic ids, repeated to the full count,
    # so that the input lists do not dominate the machine's memory.
    distinct = [[rng.randrange(200_000) for _ in range(LENGTH)] for _ in range(256)]
    sequences = [distinct[i % len(distinct)] for i in range(COUNT)]
    chunker = native.NativeTokenChunker()

    loop_seconds, looped = timed(lambda: [chunker.chunk(s) for s in sequences])
    del looped
    batch_seconds, batched = timed(lambda: chunker.chunk_batch(sequences))
    chunks = sum(len(c) for c in batched)
    del batched
    # The same input and output volume without the chunking work: one window per
    # sequence (chunk_size = LENGTH) converts everything in and out once.
    whole = native.NativeTokenChunker(LENGTH, 0, 0)
    convert_seconds, _ = timed(lambda: whole.chunk_batch(sequences))

    print(f"{COUNT} sequences of {LENGTH} tokens, {chunks} chunks")
    print(f"chunk() in a loop:  {loop_seconds:7.2f} s")
    print(f"chunk_batch():      {batch_seconds:7.2f} s   ({loop_seconds / batch_seconds:.2f}x faster)")
    print(f"conversion only:    {convert_seconds:7.2f} s   ({convert_seconds / batch_seconds:.0%} of chunk_batch; "
          f"the chunk output holds {chunks * 150 / (COUNT * LENGTH):.2f}x the tokens of one window each)")


if __name__ == "__main__":
    main()
