"""clean_batch in Training mode against the same 50 rules in Python's `re`, and hostile inputs.

- speed: native clean_batch on one core vs Python `re` (single-threaded on both sides),
  and native clean_batch on all cores vs one core;
- hostile 1 MB inputs: cost per byte relative to ordinary text, native and `re`.
"""
import re
import subprocess
import sys
import time
from pathlib import Path

from common import load_corpus, run_child

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "tests" / "python"))
from cleaning_reference import ReferenceCleaner, rule_tables  # noqa: E402

NATIVE = """
import json, sys, time
from common import load_corpus
import _ordwen_preprocessing_native_bindings as native
texts = load_corpus()
cleaner = native.NativeTextCleaner(native.NativeCleaningMode.Training)
cleaner.clean_batch(texts[:100])
best = min((lambda s: (cleaner.clean_batch(texts), time.perf_counter() - s)[1])(time.perf_counter())
           for _ in range(3))
print(best)
"""

HOSTILE = {
    "white space": " \t\n" * 349_526,
    "capitals": "ABCDEFGHIJKLMNOPQRSTUVWXYZ" * 40_330,
    "'[1' repeated": "[1" * 524_288,
    "digits": "0123456789" * 104_858,
}


PEER_ON_INPUT = """
import re, sys, time
sys.path.insert(0, sys.argv[1])
from bench_cleaner import HOSTILE, ordinary_text, peer_cleaner
text = ordinary_text() if sys.argv[2] == "ordinary" else HOSTILE[sys.argv[2]]
cleaner = peer_cleaner()
start = time.perf_counter()
cleaner.clean(text)
print((time.perf_counter() - start) / len(text.encode()))
"""


def per_byte(function, text):
    start = time.perf_counter()
    function(text)
    return (time.perf_counter() - start) / len(text.encode())


def peer_cleaner():
    return ReferenceCleaner(True, engine=re, tables=rule_tables(r"\d", r"\s", r"\s", r"\b"))


def ordinary_text():
    return "\n".join(load_corpus())[:1_048_576]


def peer_per_byte(name, budget):
    """Python re on one input, in a child process that is stopped after `budget` seconds."""
    try:
        result = subprocess.run([sys.executable, "-c", PEER_ON_INPUT, str(Path(__file__).parent), name],
                                capture_output=True, text=True, timeout=budget)
    except subprocess.TimeoutExpired:
        return None
    return float(result.stdout)


def main() -> None:
    texts = load_corpus()
    size = sum(len(t.encode()) for t in texts)
    one_core = float(run_child(NATIVE, single_cpu=True)[2])
    all_cores = float(run_child(NATIVE)[2])

    peer = peer_cleaner()
    start = time.perf_counter()
    for text in texts:
        peer.clean(text)
    peer_seconds = time.perf_counter() - start

    print(f"corpus: {len(texts)} texts, {size / 1e6:.1f} MB, Training mode")
    print(f"native clean_batch, 1 core:   {one_core:7.3f} s")
    print(f"native clean_batch, all cores: {all_cores:7.3f} s   ({one_core / all_cores:.2f}x of 1 core)")
    print(f"Python re, same rules:        {peer_seconds:7.3f} s   (native 1 core is {peer_seconds / one_core:.1f}x faster)")

    import _ordwen_preprocessing_native_bindings as native

    cleaner = native.NativeTextCleaner(native.NativeCleaningMode.Training)
    base = per_byte(cleaner.clean, ordinary_text())
    peer_base = peer_per_byte("ordinary", 600)
    print(f"ordinary 1 MB: native {base * 1e9:.1f} ns/B, re {peer_base * 1e9:.1f} ns/B")
    for name, text in HOSTILE.items():
        native_cost = per_byte(cleaner.clean, text)
        line = f"{name:>14}: native {native_cost * 1e9:7.1f} ns/B ({native_cost / base:4.1f}x ordinary)"
        peer_cost = peer_per_byte(name, 60)
        if peer_cost is None:
            line += "; re did not finish within 60 s (over 57,000 ns/B)"
        else:
            line += f"; re {peer_cost * 1e9:9.1f} ns/B ({peer_cost / peer_base:7.1f}x ordinary)"
        print(line, flush=True)


if __name__ == "__main__":
    main()
