import os
import pty
import subprocess
import sys
import textwrap

import pytest

import _ordwen_preprocessing_native_bindings as native

TRICKY = [
    "",
    " ",
    "Hello, world! It's John's book; they'LL see we've I'M",
    "  leading and trailing  \n\n  ",
    "tabs\tand\r\nwindows\rline\u2028breaks",
    "1 12 123 1234 12345 1234567 ٣٤٥٦ 一二三",
    "naïve café résumé 東京都 한국어 русский العربية עברית",
    "emoji 👍🏽 family 👨‍👩‍👧 flags 🇫🇷",
    "<|endoftext|> <|fim_prefix|> special tokens are plain text",
    "a\u0301 combining marks \u0e01\u0e34",
    "https://example.com/path?q=1&b=2 foo/bar\\baz",
    "\x00\x01 control \x7f",
]


def test_ids_equal_tiktoken(reference_encoding, corpus):
    texts = TRICKY + corpus
    assert native.tokenize(texts) == reference_encoding.encode_ordinary_batch(texts, num_threads=1)


def test_round_trip_and_batch_equals_single(corpus):
    texts = TRICKY + corpus[:500]
    batch = native.tokenize(texts)
    assert batch == [native.tokenize([text])[0] for text in texts]
    assert [native.reverse_tokenize(ids) for ids in batch] == texts


@pytest.mark.parametrize("count", [7, 8, 999, 1000, 1500, 2501])
def test_sequential_and_parallel_paths_agree(corpus, count):
    texts = (corpus * 2)[:count]
    assert native.tokenize(texts) == [native.tokenize([text])[0] for text in texts]


def test_parallel_path_by_total_size_keeps_positions():
    # 8 texts of 62,500 two-byte characters: 1,000,000 bytes, the parallel path.
    texts = ["é" * 62_500] * 4 + ["", "x"] + ["ß" * 62_500] * 2
    expected = [native.tokenize([text])[0] for text in texts]
    assert native.tokenize(texts) == expected
    assert expected[4] == []


def test_decoding_edges():
    assert native.reverse_tokenize([]) == ""
    ids = native.tokenize(["𝔘"])[0]
    assert len(ids) > 1
    assert native.reverse_tokenize(ids[:1]) == f"[DECODE_ERROR: [{ids[0]}]]"
    # Ids the encoding does not define never read outside its table.
    for bad in ([200_000], [199_999, 4_294_967_295], [1, 2, 300_000]):
        assert native.reverse_tokenize(bad) == "[DECODE_ERROR: [" + ", ".join(map(str, bad)) + "]]"


BAR_SCRIPT = textwrap.dedent("""
    import _ordwen_preprocessing_native_bindings as native
    texts = ["word " * 20] * 3000
    assert native.tokenize(texts) == [native.tokenize([texts[0]])[0]] * 3000
    print("done", flush=True)
""")


def _run_with_terminal_stderr(env):
    """Runs the script with stderr on a pseudo-terminal; returns what it drew there."""
    controller, terminal = pty.openpty()
    process = subprocess.Popen([sys.executable, "-c", BAR_SCRIPT], stdout=subprocess.PIPE,
                               stderr=terminal, env=env)
    os.close(terminal)
    drawn = b""
    while True:
        try:
            chunk = os.read(controller, 65536)
        except OSError:
            break
        if not chunk:
            break
        drawn += chunk
    stdout, _ = process.communicate(timeout=120)
    os.close(controller)
    assert process.returncode == 0 and stdout.strip() == b"done"
    return drawn.decode("utf-8", "replace")


def _env(**changes):
    env = {k: v for k, v in os.environ.items() if k not in ("NO_COLOR", "TERM")}
    env.update({k: v for k, v in changes.items() if v is not None})
    return env


def test_progress_bar_is_drawn_on_a_terminal_only():
    drawn = _run_with_terminal_stderr(_env(TERM="xterm-256color"))
    assert "Tokenizing texts in parallel" in drawn or "Parallel tokenization complete" in drawn
    assert "Parallel tokenization complete" in drawn
    assert "3000/3000" in drawn and "#" in drawn

    for hidden in (_env(TERM="xterm", NO_COLOR="1"), _env(TERM="dumb"), _env()):
        assert _run_with_terminal_stderr(hidden) == ""

    result = subprocess.run([sys.executable, "-c", BAR_SCRIPT], capture_output=True,
                            env=_env(TERM="xterm"), timeout=120)
    assert result.returncode == 0 and result.stderr == b""
