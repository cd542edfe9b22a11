import os
import struct

import numpy as np
import pytest

import _ordwen_preprocessing_native_bindings as native

Vectorizer = native.NativeTfidfVectorizer
Params = native.NativeVectorizerParams


@pytest.fixture(scope="module")
def fitted(corpus):
    return Vectorizer(corpus[:800], Params(2.0, 0.9, True))


def same_model(left, right, texts):
    assert right.num_features == left.num_features
    assert right.vocabulary == left.vocabulary
    assert repr(right.params) == repr(left.params)
    assert right.to_json() == left.to_json()  # parameters, vocabulary and idf, in full
    for a, b in zip(left.transform(texts), right.transform(texts)):
        assert np.array_equal(a, b) if isinstance(a, np.ndarray) else a == b


@pytest.mark.parametrize("name", ["model.qarch", "model.json", "nested/../model.json", "a.tar.json"])
def test_save_and_load_round_trip(tmp_path, fitted, corpus, name):
    path = tmp_path / name
    (tmp_path / "nested").mkdir(exist_ok=True)
    fitted.save(str(path))
    same_model(fitted, Vectorizer.load(str(path)), corpus[:300])


def test_bytes_and_json_round_trips(fitted, corpus):
    same_model(fitted, Vectorizer.from_bytes(fitted.to_bytes()), corpus[:300])
    same_model(fitted, Vectorizer.from_json(fitted.to_json()), corpus[:300])
    same_model(fitted, Vectorizer.from_bytes(bytes=fitted.to_bytes()), corpus[:50])
    same_model(fitted, Vectorizer.from_json(json=fitted.to_json()), corpus[:50])
    empty = Vectorizer.fit_transform([], Params(1.0, 1.0, False))[0]
    same_model(empty, Vectorizer.from_bytes(empty.to_bytes()), ["a b c"])
    same_model(empty, Vectorizer.from_json(empty.to_json()), ["a b c"])


def test_json_document_shape(fitted):
    document = fitted.to_json()
    assert document.startswith('{"count_vectorizer":{"params":{"ngram_range":[2,3,4],"min_df":2.0,'
                               '"max_df":0.9,"sublinear_tf":true},"vocab":[[[')
    assert document.endswith("]}") and "\n" not in document and " " not in document


@pytest.mark.parametrize("name", ["m.JSON", "m.bin", "model", ".json", "m.", "m.txt"])
def test_save_refuses_unsupported_extensions_and_writes_nothing(tmp_path, fitted, name):
    with pytest.raises(ValueError, match=r"^File extension must be \.qarch or \.json$"):
        fitted.save(str(tmp_path / name))
    assert not (tmp_path / name).exists()


def test_load_failures(tmp_path, fitted):
    with pytest.raises(ValueError, match=r"^File extension must be \.qarch, \.bin, or \.json$"):
        Vectorizer.load(str(tmp_path / "missing.txt"))
    missing = str(tmp_path / "missing.json")
    with pytest.raises(RuntimeError) as error:
        Vectorizer.load(missing)
    assert str(error.value).startswith("Failed to read vectorizer from " + missing + ": ")
    assert str(error.value).endswith("(os error 2)")

    # The extension is that of the last component, trailing separators ignored.
    with pytest.raises(RuntimeError, match=r"^Failed to read vectorizer from .*/m\.json/: .*\(os error 2\)$"):
        Vectorizer.load(str(tmp_path / "m.json") + "/")

    with pytest.raises(RuntimeError, match="^Failed to write vectorizer to "):
        fitted.save(str(tmp_path / "no" / "such" / "dir.json"))

    for operation in (lambda p: Vectorizer.load(p), lambda p: fitted.save(p)):
        with pytest.raises(RuntimeError) as error:
            operation(str(tmp_path / "a\0b.json"))
        assert str(error.value).endswith(": file name contained an unexpected NUL byte")
        assert "a\0b.json" in str(error.value)

    invalid_utf8 = tmp_path / "broken.json"
    invalid_utf8.write_bytes(fitted.to_json().encode()[:50] + b"\xff" + b"}")
    with pytest.raises(RuntimeError, match="stream did not contain valid UTF-8$") as error:
        Vectorizer.load(str(invalid_utf8))
    assert str(error.value).startswith("Failed to read vectorizer from ")

    wrong_format = tmp_path / "document.qarch"
    wrong_format.write_text(fitted.to_json())
    with pytest.raises(RuntimeError, match="^Failed to deserialize vectorizer from bytes: "):
        Vectorizer.load(str(wrong_format))


def test_reader_refusals_and_argument_types(fitted):
    with pytest.raises(RuntimeError, match="^Failed to deserialize vectorizer from bytes: "):
        Vectorizer.from_bytes(b"")
    archive = fitted.to_bytes()
    for cut in (1, 39, 40, len(archive) // 2, len(archive) - 1):
        with pytest.raises(RuntimeError, match="^Failed to deserialize vectorizer from bytes: "):
            Vectorizer.from_bytes(archive[:cut])
    with pytest.raises(RuntimeError, match="^Failed to deserialize vectorizer from JSON: .* at line 1 column "):
        Vectorizer.from_json('{"count_vectorizer": 5}')
    with pytest.raises(TypeError, match="^argument 'bytes': "):
        Vectorizer.from_bytes(bytearray(archive))
    with pytest.raises(TypeError, match="^argument 'path': "):
        Vectorizer.load(os.path)
    with pytest.raises(TypeError, match="^argument 'json': "):
        Vectorizer.from_json(b"{}")


def brevix_varint(value):
    if value <= 250:
        return bytes([value])
    if value < 2**16:
        return bytes([251]) + value.to_bytes(2, "little")
    if value < 2**32:
        return bytes([252]) + value.to_bytes(4, "little")
    if value < 2**64:
        return bytes([253]) + value.to_bytes(8, "little")
    return bytes([254]) + value.to_bytes(16, "little")


def brevix(vectorizer_json_model, idf, sublinear=b"\x01"):
    vocabulary, params = vectorizer_json_model
    out = brevix_varint(len(params)) + b"".join(brevix_varint(n) for n in params)
    out += struct.pack("<ff", 2.0, 0.9) + sublinear
    out += brevix_varint(len(vocabulary))
    for key, column in vocabulary:
        out += brevix_varint(key) + brevix_varint(column)
    out += brevix_varint(len(idf)) + b"".join(struct.pack("<f", value) for value in idf)
    return out


def test_brevix_files_load(tmp_path, fitted, corpus):
    import json

    document = json.loads(fitted.to_json())
    entries = [(sum(lane << (32 * i) for i, lane in enumerate(key)), column)
               for key, column in document["count_vectorizer"]["vocab"]]
    data = brevix((entries, [2, 3, 4]), document["idf"])
    path = tmp_path / "model.bin"
    path.write_bytes(data + b"trailing bytes are ignored")
    same_model(fitted, Vectorizer.load(str(path)), corpus[:200])

    cases = [
        (data[:-2], "UnexpectedEnd { additional: 2 }"),
        (brevix((entries, [2, 3, 4]), document["idf"], sublinear=b"\x02"), "InvalidBooleanValue(2)"),
        (b"\xfe" + bytes(16), "InvalidIntegerType { expected: U64, found: U128 }"),
        (b"\xff", "InvalidIntegerType { expected: U64, found: Reserved }"),
        (brevix_varint(2**40) + b"\x02", None),  # a huge declared count fails without reserving for it
    ]
    for content, detail in cases:
        path.write_bytes(content)
        with pytest.raises(RuntimeError) as error:
            Vectorizer.load(str(path))
        assert str(error.value).startswith("Failed to deserialize vectorizer from brevix bytes: ")
        if detail:
            assert str(error.value).endswith(detail)
