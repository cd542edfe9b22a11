"""The example scripts run as a newcomer would run them, and type-check against the stub."""
import importlib.util
import json
import re
import subprocess
import sys
from pathlib import Path

import pytest

import _ordwen_preprocessing_native_bindings as native

ROOT = Path(__file__).resolve().parents[2]
EXAMPLES = ROOT / "examples"


def run_example(name, *args, cwd):
    result = subprocess.run([sys.executable, str(EXAMPLES / name), *map(str, args)],
                            cwd=cwd, capture_output=True, text=True, timeout=300)
    assert result.returncode == 0, f"{name} failed:\n{result.stdout}\n{result.stderr}"
    return result.stdout


def test_quickstart_round_trips_both_formats(tmp_path):
    output = run_example("quickstart.py", cwd=tmp_path)
    assert "all decode back unchanged" in output
    assert re.search(r"new texts: 50 x \d+ CSR matrix with \d+ stored weights", output), output
    for name in ("model.qarch", "model.json"):
        assert f"saved and loaded {name}" in output and "identical transform" in output, output
    assert list(tmp_path.iterdir()) == [], "the quickstart keeps its files in a temporary directory"


def test_chunk_long_documents_reports_windows(tmp_path):
    output = run_example("chunk_long_documents.py", "--chunk-size", "120", "--overlap", "10", cwd=tmp_path)
    assert re.search(r"\d+ of 2000 documents are longer than 120 tokens", output), output
    assert "'chunk_size': 120" in output and "'overlap': 10" in output
    summaries = re.findall(r"(\d+) tokens -> +(\d+) chunks .* the last ends at (\d+)", output)
    assert len(summaries) == 5, output
    # Only a remnant shorter than min_chunk_size (default 30) may be left after the last chunk.
    assert all(int(count) > 1 and 0 <= int(length) - int(end) < 30 for length, count, end in summaries), summaries


def test_fit_corpus_with_builder_saves_the_one_pass_model(tmp_path):
    if not hasattr(native, "NativeTfidfVectorizerBuilder"):
        pytest.skip("NativeTfidfVectorizerBuilder is not in the built module yet")
    corpus = tmp_path / "corpus.jsonl"
    texts = [json.loads(line) for line in (ROOT / "tests" / "data" / "corpus-sample.jsonl").open(encoding="utf-8")]
    # Both line forms the script reads, and a blank line it skips.
    lines = [json.dumps(text) if i % 2 else json.dumps({"text": text, "id": i}) for i, text in enumerate(texts[:700])]
    corpus.write_text("\n".join(lines[:350] + [""] + lines[350:]) + "\n", encoding="utf-8")
    model = tmp_path / "model.json"

    output = run_example("fit_corpus_with_builder.py", corpus, "--model", model, "--batch-size", "128",
                         "--min-df", "2", "--max-df", "0.5", cwd=tmp_path)
    assert "NativeTfidfVectorizerBuilder(total_docs=700," in output, output
    assert output.count("NativeTfidfVectorizerBuilder(total_docs=") == 6  # ceil(700 / 128) batches
    assert "transformed 3 new documents" in output

    cleaned = native.NativeTextCleaner(native.NativeCleaningMode.Training).clean_batch(texts[:700])
    one_pass = native.NativeTfidfVectorizer(cleaned, native.NativeVectorizerParams(2, 0.5, True))
    saved = native.NativeTfidfVectorizer.load(str(model))
    assert saved.to_json() == one_pass.to_json()


def test_examples_pass_mypy_strict():
    if importlib.util.find_spec("mypy") is None:
        pytest.skip("mypy is not installed")
    # From the repository root mypy reads the stub in it, the one these tests keep in step
    # with the module.
    result = subprocess.run([sys.executable, "-m", "mypy", "--strict", "examples/"],
                            cwd=ROOT, capture_output=True, text=True, timeout=600)
    assert result.returncode == 0, result.stdout + result.stderr
