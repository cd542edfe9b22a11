import gc
import inspect
import sys
import threading
import tracemalloc

import pytest

import _ordwen_preprocessing_native_bindings as native

NativeTokenChunker = native.NativeTokenChunker


def ranges(chunks):
    """Chunks of the sequence 0..n-1 as half-open ranges of positions."""
    out = []
    for chunk in chunks:
        assert chunk == list(range(chunk[0], chunk[0] + len(chunk))) if chunk else True
        out.append((chunk[0], chunk[0] + len(chunk)) if chunk else (0, 0))
    return out


def tiling(count, size, step):
    return [(start, start + size) for start in range(0, count * step, step)]


DEFAULT_CASES = [
    (0, [(0, 0)]),
    (1, [(0, 1)]),
    (150, [(0, 150)]),
    (164, [(0, 164)]),
    (165, [(0, 97), (68, 165)]),
    (200, [(0, 115), (85, 200), (170, 200)]),
    (285, [(0, 157), (128, 285)]),
    (300, [(0, 120), (90, 210), (180, 300), (270, 300)]),
    (400, [(0, 152), (124, 276), (248, 400)]),
    (1000, tiling(8, 146, 122)),
    (1350, tiling(10, 162, 132) + [(1320, 1350)]),
    (4092, tiling(31, 132, 132)),
    (54321, tiling(1065, 51, 51)),
]


@pytest.mark.parametrize("length, expected", DEFAULT_CASES)
def test_worked_examples_with_defaults(length, expected):
    assert ranges(NativeTokenChunker().chunk(list(range(length)))) == expected


@pytest.mark.parametrize(
    "params, length, expected",
    [
        ((150, 15, 250), 400, [(0, 150)]),
        ((150, 15, 0), 285, [(0, 157), (128, 285), (256, 285)]),
    ],
)
def test_other_parameters(params, length, expected):
    assert ranges(NativeTokenChunker(*params).chunk(list(range(length)))) == expected


def test_batch_equals_single_in_input_order():
    chunker = NativeTokenChunker(chunk_size=40, overlap=5, min_chunk_size=10)
    sequences = [list(range(base, base + length)) for base, length in
                 [(0, 0), (7, 33), (1000, 170), (50, 401), (9, 41), (3, 1000)]]
    assert chunker.chunk_batch(sequences) == [chunker.chunk(s) for s in sequences]
    assert chunker.chunk_batch([]) == []
    assert chunker.chunk_batch((tuple(range(100)),)) == [chunker.chunk(range(100))]


def test_defaults_keywords_and_to_dict():
    assert NativeTokenChunker().to_dict() == {"chunk_size": 150, "overlap": 15, "min_chunk_size": 30}
    assert NativeTokenChunker(200, min_chunk_size=5).to_dict() == {
        "chunk_size": 200, "overlap": 15, "min_chunk_size": 5}
    assert NativeTokenChunker(2**64 - 1, 2**64 - 2, 0).to_dict()["chunk_size"] == 2**64 - 1


def test_docstrings_and_signatures():
    assert str(inspect.signature(NativeTokenChunker)) == "(chunk_size=150, overlap=15, min_chunk_size=30)"
    assert str(inspect.signature(NativeTokenChunker().chunk)) == "(tokens)"
    assert NativeTokenChunker.chunk.__doc__ == "Chunk a single token sequence"
    assert NativeTokenChunker.chunk_batch.__doc__ == "Chunk multiple token sequences in parallel"
    assert str(inspect.signature(NativeTokenChunker().to_dict)) == "()"


@pytest.mark.parametrize("params", [(10, 10, 0), (0, 0, 0), (5, 9, 1)])
def test_overlap_not_below_chunk_size_is_refused(params):
    with pytest.raises(ValueError, match="overlap must be smaller than chunk_size"):
        NativeTokenChunker(*params)


@pytest.mark.parametrize(
    "kwargs, error, prefix",
    [
        ({"chunk_size": -1}, OverflowError, None),
        ({"overlap": 2**64}, OverflowError, None),
        ({"min_chunk_size": "30"}, TypeError, "argument 'min_chunk_size': "),
        ({"chunk_size": 1.5}, TypeError, "argument 'chunk_size': "),
        ({"size": 3}, TypeError, None),
    ],
)
def test_parameter_conversion_errors(kwargs, error, prefix):
    with pytest.raises(error) as raised:
        NativeTokenChunker(**kwargs)
    if prefix:
        assert str(raised.value).startswith(prefix)


def test_token_conversion_errors():
    chunker = NativeTokenChunker()
    with pytest.raises(TypeError, match="^argument 'tokens': Can't extract `str` to `Vec`$"):
        chunker.chunk("abc")
    with pytest.raises(OverflowError, match="^out of range integral type conversion attempted$"):
        chunker.chunk_batch([[1, 2], [-3]])
    with pytest.raises(TypeError, match="^argument 'token_sequences': "):
        chunker.chunk_batch([[1], "ab"])


class Index:
    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


# Batches long enough to be converted on the pool: every kind of item at the
# start, in the middle and at the end must convert (or fail) as in a short one.
ODD_ITEMS = [True, 2**30, 2**32 - 1, Index(7)]
BAD_ITEMS = [(-1, OverflowError), (2**32, OverflowError), ("7", TypeError), (1.0, TypeError)]


def large_batch(item, position):
    sequences = [list(range(i, i + 700)) for i in range(200)]
    sequences[position][position % 700] = item
    sequences[7] = tuple(sequences[7])
    return sequences


@pytest.mark.parametrize("position", [0, 100, 199])
def test_large_batches_convert_like_single_sequences(position):
    chunker = NativeTokenChunker()
    for item in ODD_ITEMS:
        sequences = large_batch(item, position)
        batched = chunker.chunk_batch(sequences)
        assert batched == [chunker.chunk(s) for s in sequences]
        assert all(type(token) is int for chunks in batched for chunk in chunks for token in chunk)
    for item, error in BAD_ITEMS:
        with pytest.raises(error):
            chunker.chunk_batch(large_batch(item, position))
    sequences = large_batch(0, position)
    sequences[position] = range(5)  # a sequence that is neither list nor tuple
    assert chunker.chunk_batch(sequences)[position] == [[0, 1, 2, 3, 4]]


def test_large_results_hold_exactly_their_references():
    # Large results share one int object per id and give it all its references
    # at once; ids from 2**18 on get objects of their own.
    chunker = NativeTokenChunker()
    sequences = [list(range(i * 1000, i * 1000 + 1000)) for i in range(300)]
    gc.collect()
    tracemalloc.start()
    try:
        baseline = tracemalloc.get_traced_memory()[0]
        result = chunker.chunk_batch(sequences)
        # Position 130 lies in the first two chunks (starts 0 and 122).
        shared, unshared = result[150][1][8], result[290][1][8]
        assert (shared, unshared) == (150_130, 290_130)
        assert result[150][0][130] is shared
        assert sys.getrefcount(shared) == 2 + 2  # two list slots, the name, the call's argument
        assert result[290][0][130] is not unshared
        assert sys.getrefcount(unshared) == 1 + 2
        del result, shared, unshared
        assert tracemalloc.get_traced_memory()[0] - baseline < 100_000
    finally:
        tracemalloc.stop()


def test_chunk_batch_lets_other_threads_use_the_chunker():
    chunker = NativeTokenChunker()
    sequences = [list(range(3000))] * 300
    expected = chunker.chunk(sequences[0])
    results = []
    threads = [threading.Thread(target=lambda: results.append(chunker.chunk_batch(sequences)))
               for _ in range(3)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert results == [[expected] * 300] * 3
