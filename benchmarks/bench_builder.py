"""Incremental fitting against the one-pass fit.

Measures, on at least 50,000 documents (the development corpus, or the test sample repeated
when it is missing):

1. the time of feeding the documents to NativeTfidfVectorizerBuilder in 20 batches and
   finalizing, against one NativeTfidfVectorizer(texts, params) call (target: at most 1.3x);
2. the resident memory of the builder after each batch (VmRSS, and the high-water mark VmHWM,
   from /proc/self/status: the builder's table lives in native memory that tracemalloc cannot
   see), beside raw_vocab_size;
3. the time of the 20 partial_fit calls on one CPU against two (the one-CPU run is a child
   process pinned with os.sched_setaffinity before the module is imported; oneTBB sizes its
   pool from the affinity mask).

Each measurement runs in a fresh child process, so that peak memory belongs to one phase.
Not part of the test suite. Usage: python benchmarks/bench_builder.py [--repeats N]
"""
import argparse
import json
import os
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
DEV_CORPUS = Path("/work/shared/data/corpus-dev.jsonl")
SAMPLE_CORPUS = ROOT / "tests" / "data" / "corpus-sample.jsonl"
MIN_DOCUMENTS = 50_000
BATCHES = 20
PARAMS = (2.0, 0.95, True)  # min_df, max_df, sublinear_tf
TIME_RATIO_TARGET = 1.3


def load_texts():
    path = DEV_CORPUS if DEV_CORPUS.exists() else SAMPLE_CORPUS
    with path.open(encoding="utf-8") as lines:
        corpus = [json.loads(line) for line in lines if line.strip()]
    texts = list(corpus)
    while len(texts) < MIN_DOCUMENTS:
        texts.extend(corpus)
    return path, texts


def batches_of(texts):
    size = -(-len(texts) // BATCHES)
    return [texts[start:start + size] for start in range(0, len(texts), size)]


def memory_kib():
    fields = {}
    with open("/proc/self/status", encoding="ascii") as status:
        for line in status:
            name, _, value = line.partition(":")
            if name in ("VmRSS", "VmHWM"):
                fields[name] = int(value.split()[0])
    return fields["VmRSS"], fields["VmHWM"]


# ---- child phases: each prints one JSON object on its last line ----

def phase_one_pass(native, texts):
    params = native.NativeVectorizerParams(*PARAMS)
    start = time.perf_counter()
    model = native.NativeTfidfVectorizer(texts, params)
    seconds = time.perf_counter() - start
    return {"seconds": seconds, "num_features": model.num_features, "vm_hwm_kib": memory_kib()[1]}


def phase_builder(native, texts, finalize=True):
    params = native.NativeVectorizerParams(*PARAMS)
    builder = native.NativeTfidfVectorizerBuilder(params)
    rss_before, _ = memory_kib()
    per_batch = []
    fit_seconds = 0.0
    for batch in batches_of(texts):
        start = time.perf_counter()
        builder.partial_fit(batch)
        fit_seconds += time.perf_counter() - start
        rss, hwm = memory_kib()
        per_batch.append({"total_docs": builder.total_docs, "raw_vocab_size": builder.raw_vocab_size,
                          "vm_rss_kib": rss, "vm_hwm_kib": hwm})
    result = {"partial_fit_seconds": fit_seconds, "rss_before_kib": rss_before, "per_batch": per_batch,
              "cpus": sorted(os.sched_getaffinity(0))}
    if finalize:
        start = time.perf_counter()
        model = builder.finalize()
        result["finalize_seconds"] = time.perf_counter() - start
        result["num_features"] = model.num_features
        result["vm_hwm_kib"] = memory_kib()[1]
    return result


def run_child(phase, cpus=None):
    args = [sys.executable, __file__, "--phase", phase]
    if cpus is not None:
        args += ["--cpus", ",".join(map(str, cpus))]
    done = subprocess.run(args, capture_output=True, text=True, check=True)
    return json.loads(done.stdout.strip().splitlines()[-1])


def child_main(phase, cpus):
    if cpus:
        # Before the module (and so oneTBB) is loaded: the pool takes its size from this mask.
        os.sched_setaffinity(0, cpus)
    import _ordwen_preprocessing_native_bindings as native

    _, texts = load_texts()
    native.tokenize(["warm up the tokenizer"])
    if phase == "one-pass":
        result = phase_one_pass(native, texts)
    elif phase == "builder":
        result = phase_builder(native, texts)
    else:
        result = phase_builder(native, texts, finalize=False)
    print(json.dumps(result))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--phase", choices=["one-pass", "builder", "partial-fit"])
    parser.add_argument("--cpus", help="comma-separated CPU ids to pin a child phase to")
    parser.add_argument("--repeats", type=int, default=2, help="runs per timing; the fastest counts")
    options = parser.parse_args()
    if options.phase:
        child_main(options.phase, {int(c) for c in options.cpus.split(",")} if options.cpus else None)
        return

    path, texts = load_texts()
    available = sorted(os.sched_getaffinity(0))
    print(f"corpus: {path} -> {len(texts)} documents in {BATCHES} batches; params {PARAMS}; "
          f"CPUs available: {available}")

    one_pass = min((run_child("one-pass") for _ in range(options.repeats)), key=lambda r: r["seconds"])
    built = min((run_child("builder") for _ in range(options.repeats)),
                key=lambda r: r["partial_fit_seconds"] + r["finalize_seconds"])
    builder_seconds = built["partial_fit_seconds"] + built["finalize_seconds"]
    ratio = builder_seconds / one_pass["seconds"]
    print("\n== time: 20 batches + finalize vs one-pass fit ==")
    print(f"one-pass fit:        {one_pass['seconds']:8.2f} s   features {one_pass['num_features']}")
    print(f"builder partial_fit: {built['partial_fit_seconds']:8.2f} s")
    print(f"builder finalize:    {built['finalize_seconds']:8.2f} s   features {built['num_features']}")
    print(f"ratio builder / one-pass: {ratio:.2f}x (target <= {TIME_RATIO_TARGET}x: "
          f"{'met' if ratio <= TIME_RATIO_TARGET else 'NOT met'})")
    if built["num_features"] != one_pass["num_features"]:
        print("WARNING: the builder and the one-pass fit disagree on the number of features")

    print("\n== memory of the builder after each batch (KiB) ==")
    print(f"before the first batch: VmRSS {built['rss_before_kib']}")
    print(f"{'batch':>5} {'total_docs':>10} {'raw_vocab':>10} {'VmRSS':>9} {'VmHWM':>9} {'RSS growth/key (B)':>19}")
    for number, row in enumerate(built["per_batch"], 1):
        growth = (row["vm_rss_kib"] - built["rss_before_kib"]) * 1024 / max(row["raw_vocab_size"], 1)
        print(f"{number:>5} {row['total_docs']:>10} {row['raw_vocab_size']:>10} {row['vm_rss_kib']:>9} "
              f"{row['vm_hwm_kib']:>9} {growth:>19.1f}")
    print(f"peak VmHWM: builder incl. finalize {built['vm_hwm_kib']} KiB, "
          f"one-pass fit {one_pass['vm_hwm_kib']} KiB "
          f"(ratio {built['vm_hwm_kib'] / one_pass['vm_hwm_kib']:.2f})")

    if len(available) < 2:
        print("\n(only one CPU available: the thread comparison is skipped)")
        return
    pinned = min((run_child("partial-fit", cpus=[available[0]]) for _ in range(options.repeats)),
                 key=lambda r: r["partial_fit_seconds"])
    both = min((run_child("partial-fit", cpus=available[:2]) for _ in range(options.repeats)),
               key=lambda r: r["partial_fit_seconds"])
    print("\n== partial_fit over the 20 batches: 1 CPU vs 2 ==")
    print(f"1 CPU  {pinned['cpus']}: {pinned['partial_fit_seconds']:8.2f} s")
    print(f"2 CPUs {both['cpus']}: {both['partial_fit_seconds']:8.2f} s")
    print(f"speed-up 2 vs 1: {pinned['partial_fit_seconds'] / both['partial_fit_seconds']:.2f}x")


if __name__ == "__main__":
    main()
