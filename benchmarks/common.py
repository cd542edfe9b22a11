"""Shared helpers of the benchmarks: the corpus, timing, peak memory of a child process."""
import hashlib
import json
import os
import resource
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
DEV_CORPUS = ROOT.parent / "shared" / "data" / "corpus-dev.jsonl"
SAMPLE_CORPUS = ROOT / "tests" / "data" / "corpus-sample.jsonl"
VOCABULARY = ROOT / "data" / "o200k_base.tiktoken"
TIKTOKEN_URL = "https://openaipublic.blob.core.windows.net/encodings/o200k_base.tiktoken"


def corpus_path() -> Path:
    return DEV_CORPUS if DEV_CORPUS.exists() else SAMPLE_CORPUS


def load_corpus(min_docs: int = 0) -> list[str]:
    with corpus_path().open(encoding="utf-8") as lines:
        texts = [json.loads(line) for line in lines if line.strip()]
    result = list(texts)
    while len(result) < min_docs:
        result.extend(texts)
    return result


def reference_encoding():
    """tiktoken's o200k_base, read offline from the project's own vocabulary file."""
    import tiktoken

    cache = Path(tempfile.gettempdir()) / "ordwen-bench-tiktoken-cache"
    cache.mkdir(exist_ok=True)
    target = cache / hashlib.sha1(TIKTOKEN_URL.encode()).hexdigest()
    if not target.exists():
        shutil.copy(VOCABULARY, target)
    os.environ["TIKTOKEN_CACHE_DIR"] = str(cache)
    return tiktoken.get_encoding("o200k_base")


def timed(function, *args, repeat: int = 1):
    best = float("inf")
    result = None
    for _ in range(repeat):
        start = time.perf_counter()
        result = function(*args)
        best = min(best, time.perf_counter() - start)
    return best, result


def run_child(code: str, *args: str, single_cpu: bool = False) -> tuple[float, int, str]:
    """Runs `code` in a fresh interpreter; returns (seconds, peak RSS in MiB, stdout)."""
    preexec = (lambda: os.sched_setaffinity(0, {min(os.sched_getaffinity(0))})) if single_cpu else None
    start = time.perf_counter()
    result = subprocess.run([sys.executable, "-c", code, *args], capture_output=True, text=True,
                            preexec_fn=preexec, cwd=str(Path(__file__).parent))
    seconds = time.perf_counter() - start
    if result.returncode != 0:
        raise RuntimeError(result.stderr)
    peak = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss // 1024
    return seconds, peak, result.stdout


def peak_rss_mib() -> float:
    return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024
