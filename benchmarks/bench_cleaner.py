"""clean_batch in Training mode against the same 50 rules in Python's `re`, and hostile inputs.

- speed: native clean_batch on one core vs Python `re` (single-threaded on both sides),
  and native clean_batch on all cores vs one core;
- hostile 1 MB inputs: cost per byte relative to ordinary text, native and `re`.
"""
import json
import re
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


def per_byte(function, text, budget):
    start = time.perf_counter()
    function(text)
    seconds = time.perf_counter() - start
    return seconds / len(text.encode()), seconds > budget


def main() -> None:
    texts = load_corpus()
    size = sum(len(t.encode()) for t in texts)
    one_core = float(run_child(NATIVE, single_cpu=True)[2])
    all_cores = float(run_child(NATIVE)[2])

    peer = ReferenceCleaner(True, engine=re, tables=rule_tables(r"\d", r"\s", r"\s", r"\b"))
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
    ordinary = "\n".join(texts)[:1_048_576]
    base, _ = per_byte(cleaner.clean, ordinary, 1e9)
    peer_base, _ = per_byte(peer.clean, ordinary, 1e9)
    print(f"ordinary 1 MB: native {base * 1e9:.1f} ns/B, re {peer_base * 1e9:.1f} ns/B")
    for name, text in HOSTILE.items():
        native_cost, _ = per_byte(cleaner.clean, text, 1e9)
        line = f"{name:>14}: native {native_cost * 1e9:7.1f} ns/B ({native_cost / base:4.1f}x ordinary)"
        peer_cost, slow = per_byte(peer.clean, text, 120)
        line += f"; re {peer_cost * 1e9:9.1f} ns/B ({peer_cost / peer_base:7.1f}x ordinary)"
        print(line + ("  [re exceeded 120 s]" if slow else ""))


if __name__ == "__main__":
    main()
