"""Log records of the core reach Python's logging; each case runs in a fresh process,
because the bridge caches each logger's enabled levels for the life of the process."""
import subprocess
import sys
import textwrap

PRELUDE = textwrap.dedent("""
    import logging
    import _ordwen_preprocessing_native_bindings as native

    class Collect(logging.Handler):
        def __init__(self):
            super().__init__(logging.DEBUG)
            self.records = []
        def emit(self, record):
            self.records.append(record)

    collect = Collect()
    logging.getLogger().addHandler(collect)
""")


def run(body):
    result = subprocess.run([sys.executable, "-c", PRELUDE + textwrap.dedent(body)],
                            capture_output=True, text=True, timeout=120)
    assert result.returncode == 0, result.stderr
    return result


def test_debug_records_reach_named_loggers_with_message_form_and_source():
    run("""
        logging.getLogger().setLevel(logging.DEBUG)
        native.tokenize(["a", "b", "c"])
        records = [(r.name, r.levelno, r.getMessage()) for r in collect.records]
        tok = "ordwen_preprocessing.pre_processor.tokenizer"
        assert (tok, 10, "tokenize; num_texts=3 use_parallel=false") in records, records
        assert (tok, 10, "Using sequential tokenization num_texts=3") in records, records
        assert all(name.startswith("ordwen_preprocessing.") for name, _, _ in records)
        first = collect.records[0]
        assert first.pathname.endswith(".cpp") and first.lineno > 0
        assert first.args == () and first.exc_info is None

        # The enabled answer is cached per logger: raising the level later changes nothing.
        logging.getLogger().setLevel(logging.WARNING)
        before = len(collect.records)
        native.tokenize(["d"])
        assert len(collect.records) > before
    """)


def test_default_configuration_forwards_only_the_decode_warning():
    run("""
        native.tokenize(["some text"] * 20)
        assert collect.records == []
        # A rare character whose UTF-8 bytes the encoding spreads over several tokens.
        text = "𝔘"
        ids = native.tokenize([text])[0]
        assert len(ids) > 1, ids
        marker = native.reverse_tokenize(ids[:1])
        assert marker == f"[DECODE_ERROR: [{ids[0]}]]"
        warnings = [r for r in collect.records if r.levelno == logging.WARNING]
        assert len(warnings) == 1
        assert warnings[0].name == "ordwen_preprocessing.pre_processor.tokenizer"
        assert warnings[0].getMessage() == (
            f"Failed to decode token IDs, using replacement character tokens=[{ids[0]}]")
    """)


def test_exception_in_a_handler_never_reaches_the_operation():
    result = run("""
        class Exploding(logging.Handler):
            def emit(self, record):
                raise ValueError("handler exploded")
            def handleError(self, record):
                raise
        logging.getLogger().setLevel(logging.DEBUG)
        logging.getLogger().addHandler(Exploding())
        assert native.tokenize(["still works"]) != []
        print("survived")
    """)
    assert "survived" in result.stdout


def test_records_from_many_threads_do_not_deadlock():
    run("""
        import threading
        logging.getLogger().setLevel(logging.DEBUG)
        texts = [f"text number {i}" for i in range(3000)]
        expected = native.tokenize(texts)
        results = []
        def work():
            results.append(native.tokenize(texts))
        threads = [threading.Thread(target=work) for _ in range(4)]
        for t in threads: t.start()
        for t in threads: t.join(60)
        assert not any(t.is_alive() for t in threads)
        assert results == [expected] * 4
        names = {r.getMessage().split(";")[0] for r in collect.records}
        assert "tokenize_texts_par" in names
    """)
