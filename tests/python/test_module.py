import inspect
import subprocess
import sys
import textwrap

import pytest

import _ordwen_preprocessing_native_bindings as native
from module_contents import CONTENTS, MODULE_STANDARD


def test_version_and_contents_in_order():
    assert native.__version__ == "0.6.0-alpha.1"
    names = [name for name in vars(native) if name not in MODULE_STANDARD]
    # Classes join the module as they are built; what is there keeps the table's order.
    assert names == [name for name in CONTENTS if name in names]
    assert {"__version__", "tokenize", "reverse_tokenize"} <= set(names)
    assert native.__doc__ == ""


def test_reinitialising_reuses_class_objects():
    script = textwrap.dedent("""
        import sys
        import _ordwen_preprocessing_native_bindings as first
        classes = {k: v for k, v in vars(first).items() if isinstance(v, type)}
        del sys.modules["_ordwen_preprocessing_native_bindings"]
        import _ordwen_preprocessing_native_bindings as second
        assert second is not first
        assert all(getattr(second, k) is v for k, v in classes.items())
        assert second.reverse_tokenize(second.tokenize(["again"])[0]) == "again"
        print("ok")
    """)
    result = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True)
    assert result.returncode == 0, result.stderr
    assert result.stdout.strip() == "ok"


def test_only_the_init_symbol_is_exported():
    nm = subprocess.run(["nm", "-D", "--defined-only", native.__file__], capture_output=True, text=True)
    if nm.returncode != 0:
        pytest.skip("nm not available")
    symbols = [line.split()[-1] for line in nm.stdout.splitlines() if line.strip()]
    assert symbols == ["PyInit__ordwen_preprocessing_native_bindings"]


def test_module_does_not_replace_the_host_allocator():
    nm = subprocess.run(["nm", "-D", "--undefined-only", native.__file__], capture_output=True, text=True)
    if nm.returncode != 0:
        pytest.skip("nm not available")
    # malloc/free stay the host's: the module imports them, it does not define them.
    defined = subprocess.run(["nm", "-D", "--defined-only", native.__file__], capture_output=True, text=True).stdout
    for symbol in ("malloc", "free", "_Znwm", "_ZdlPv"):
        assert f" {symbol}\n" not in defined


def test_signatures_come_from_docstrings():
    assert str(inspect.signature(native.tokenize)) == "(text)"
    assert str(inspect.signature(native.reverse_tokenize)) == "(tokens)"
    assert native.tokenize.__doc__.startswith("Encode text into BPE token IDs")
    assert native.reverse_tokenize.__doc__ == "Decode BPE token IDs back to text"


@pytest.mark.parametrize(
    "call, message",
    [
        (lambda: native.tokenize(["a"], text=["b"]), "tokenize() got multiple values for argument 'text'"),
        (lambda: native.tokenize(), "tokenize() missing 1 required positional argument: 'text'"),
        (lambda: native.tokenize(["a"], foo=1), "tokenize() got an unexpected keyword argument 'foo'"),
        (lambda: native.tokenize(["a"], ["b"]), "tokenize() takes 1 positional argument but 2 were given"),
    ],
)
def test_argument_matching_refusals(call, message):
    with pytest.raises(TypeError) as error:
        call()
    assert str(error.value) == message


def test_sequence_extraction_rules():
    with pytest.raises(TypeError) as error:
        native.tokenize("abc")
    assert str(error.value) == "argument 'text': Can't extract `str` to `Vec`"
    assert isinstance(error.value.__cause__, TypeError)
    assert str(error.value.__cause__) == "Can't extract `str` to `Vec`"

    assert native.tokenize(("a", "b")) == native.tokenize(["a", "b"])
    assert native.tokenize(text=["a"]) == native.tokenize(["a"])

    with pytest.raises(TypeError, match=r"^argument 'text': "):
        native.tokenize(["a", 1])
    with pytest.raises(TypeError, match=r"^argument 'text': .*Sequence"):
        native.tokenize(5)


class _BrokenLength:
    """A sequence whose len() fails: the length is only a hint."""

    def __init__(self, items):
        self.items = items

    def __len__(self):
        raise RuntimeError("no length")

    def __getitem__(self, index):
        return self.items[index]


class _FailingIteration(_BrokenLength):
    def __getitem__(self, index):
        if index == 1:
            raise KeyError("iteration failed")
        return self.items[index]


def test_length_hint_failure_is_ignored_and_iteration_errors_pass_through():
    assert native.tokenize(_BrokenLength(["a", "b"])) == native.tokenize(["a", "b"])
    with pytest.raises(KeyError):
        native.tokenize(_FailingIteration(["a", "b"]))


@pytest.mark.parametrize("bad", [[-1], [2**32], [0, 4294967296]])
def test_token_ids_outside_u32_overflow_without_prefix(bad):
    with pytest.raises(OverflowError) as error:
        native.reverse_tokenize(bad)
    assert str(error.value) == "out of range integral type conversion attempted"


def test_token_id_conversion_edges():
    native.reverse_tokenize([4294967295])  # passes conversion; decodes to a marker
    with pytest.raises(TypeError, match=r"^argument 'tokens': "):
        native.reverse_tokenize([1.0])
    with pytest.raises(OverflowError):
        native.reverse_tokenize([2**70])
    with pytest.raises(TypeError, match="Can't extract `str` to `Vec`"):
        native.reverse_tokenize("12")


def test_lone_surrogate_fails_with_the_encoding_error():
    with pytest.raises(UnicodeEncodeError):
        native.tokenize(["\ud800"])
