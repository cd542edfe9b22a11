import hashlib
import json
import os
import shutil
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]
VOCABULARY = ROOT / "data" / "o200k_base.tiktoken"
CORPUS_SAMPLE = ROOT / "tests" / "data" / "corpus-sample.jsonl"
TIKTOKEN_URL = "https://openaipublic.blob.core.windows.net/encodings/o200k_base.tiktoken"


@pytest.fixture(scope="session")
def corpus():
    with CORPUS_SAMPLE.open(encoding="utf-8") as lines:
        return [json.loads(line) for line in lines if line.strip()]


@pytest.fixture(scope="session")
def reference_encoding(tmp_path_factory):
    """tiktoken's o200k_base, read offline from the project's own copy of the vocabulary."""
    tiktoken = pytest.importorskip("tiktoken")
    cache = tmp_path_factory.mktemp("tiktoken-cache")
    shutil.copy(VOCABULARY, cache / hashlib.sha1(TIKTOKEN_URL.encode()).hexdigest())
    previous = os.environ.get("TIKTOKEN_CACHE_DIR")
    os.environ["TIKTOKEN_CACHE_DIR"] = str(cache)
    try:
        return tiktoken.get_encoding("o200k_base")
    finally:
        if previous is None:
            del os.environ["TIKTOKEN_CACHE_DIR"]
        else:
            os.environ["TIKTOKEN_CACHE_DIR"] = previous
