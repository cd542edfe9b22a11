"""Type stubs of the native text-preprocessing engine of the Ordwen document classifier.

Every parameter can be passed by position or by keyword. Arguments typed ``Sequence[...]``
accept any sequence (a list, a tuple, ...) except a single ``str``, which is refused with
``TypeError`` where a sequence of texts or token ids is expected. Token ids are unsigned
32-bit integers; one outside 0 to 4294967295 raises ``OverflowError``. Results are always
new objects that share nothing with the engine.
"""

from collections.abc import Sequence
from typing import ClassVar, TypeAlias, final

import numpy
from numpy.typing import NDArray

__version__: str

# (shape, data, indices, indptr) of a CSR matrix: shape is (rows, columns); row r's stored
# entries are positions indptr[r] to indptr[r + 1] - 1 of data (float32 weights) and indices
# (uint64 column numbers). Feed it to scipy.sparse.csr_matrix((data, indices, indptr), shape).
# A name for type checking only: the module itself has no attribute of this name.
CsrComponents: TypeAlias = tuple[
    tuple[int, int],
    NDArray[numpy.float32],
    NDArray[numpy.uint64],
    NDArray[numpy.uint64],
]

@final
class NativeVectorizerParams:
    """Configuration parameters for TF-IDF vectorization.

    ``min_df`` is a proportion of the documents below 1.0 and an absolute document count
    otherwise; ``max_df`` is a proportion up to 1.0 and an absolute count above it. Both
    are stored as 32-bit floats. The constructor checks nothing: a bound that is not
    positive is refused with ``ValueError`` when a vectorizer or builder is made with it.
    """

    def __new__(cls, min_df: float, max_df: float, sublinear_tf: bool | numpy.bool_) -> NativeVectorizerParams: ...
    @property
    def ngram_range(self) -> tuple[int, int]:
        """First and last n-gram size: (2, 4) for every object made by the constructor."""
    @property
    def min_df(self) -> float: ...
    @property
    def max_df(self) -> float: ...
    @property
    def sublinear_tf(self) -> bool: ...
    def __repr__(self) -> str: ...
    def __str__(self) -> str: ...

@final
class NativeTfidfVectorizer:
    """A fitted TF-IDF vectorizer over the token 2-, 3- and 4-grams of texts; immutable.

    The constructor fits it on ``texts``; the interpreter lock is released while it works.
    """

    def __new__(cls, texts: Sequence[str], params: NativeVectorizerParams) -> NativeTfidfVectorizer: ...
    def transform(self, texts: Sequence[str]) -> CsrComponents:
        """Transforms the input texts and returns the TF-IDF matrix components, one row per text."""
    @staticmethod
    def fit_transform(
        texts: Sequence[str], params: NativeVectorizerParams
    ) -> tuple[NativeTfidfVectorizer, CsrComponents]:
        """Fits the vectorizer and transforms the input texts in one step."""
    def vectorize_from_tokens(self, token_sequences: Sequence[Sequence[int]]) -> CsrComponents:
        """Transform pre-tokenized sequences to TF-IDF matrix, one row per sequence."""
    @property
    def num_features(self) -> int:
        """The number of features (vocabulary size)."""
    @property
    def vocabulary(self) -> dict[str, int]:
        """A new dict from the decoded text of each n-gram to its column (may hold fewer
        entries than ``num_features`` when several n-grams decode to one text)."""
    @property
    def params(self) -> NativeVectorizerParams:
        """A new copy of the parameters the vectorizer was fitted with."""
    def to_bytes(self) -> bytes:
        """The vectorizer as a binary archive (the ``.qarch`` format)."""
    def to_json(self) -> str:
        """The vectorizer as a compact JSON document (the ``.json`` format)."""
    def save(self, path: str) -> None:
        """Writes the vectorizer to ``path``; the extension chooses the format: ``.qarch`` or ``.json``."""
    @staticmethod
    def from_bytes(bytes: bytes) -> NativeTfidfVectorizer:
        """Reads a vectorizer from a binary archive made by ``to_bytes``."""
    @staticmethod
    def load(path: str) -> NativeTfidfVectorizer:
        """Reads a vectorizer from ``path``: ``.qarch``, ``.json`` or the older ``.bin`` format."""
    @staticmethod
    def from_json(json: str) -> NativeTfidfVectorizer:
        """Reads a vectorizer from a JSON document made by ``to_json``."""
    def __repr__(self) -> str: ...
    def __str__(self) -> str: ...

@final
class NativeTfidfVectorizerBuilder:
    """Fits a vectorizer batch by batch: ``partial_fit`` per batch, then ``finalize`` once.

    The result equals the one-pass fit of all the texts with the same parameters.
    ``partial_fit`` and ``finalize`` use the builder exclusively: any other use of the same
    builder meanwhile raises ``RuntimeError`` ("Already borrowed" / "Already mutably borrowed").
    """

    def __new__(cls, params: NativeVectorizerParams) -> NativeTfidfVectorizerBuilder: ...
    def partial_fit(self, texts: Sequence[str]) -> None:
        """Process a batch of texts, updating document frequencies."""
    def finalize(self) -> NativeTfidfVectorizer:
        """Finalize the vectorizer and return a fitted NativeTfidfVectorizer; once only."""
    @property
    def total_docs(self) -> int:
        """Number of documents processed so far (0 once finalized)."""
    @property
    def raw_vocab_size(self) -> int:
        """Number of distinct n-grams counted so far, before filtering (0 once finalized)."""
    def __repr__(self) -> str: ...

@final
class NativeTokenChunker:
    """Cuts long token sequences into overlapping windows whose size and overlap adapt to
    tile each sequence. ``overlap`` must be smaller than ``chunk_size`` (``ValueError``)."""

    def __new__(cls, chunk_size: int = 150, overlap: int = 15, min_chunk_size: int = 30) -> NativeTokenChunker: ...
    def chunk(self, tokens: Sequence[int]) -> list[list[int]]:
        """Chunk a single token sequence; the result holds at least one (possibly empty) chunk."""
    def chunk_batch(self, token_sequences: Sequence[Sequence[int]]) -> list[list[list[int]]]:
        """Chunk multiple token sequences in parallel; one chunk list per sequence, in order."""
    def to_dict(self) -> dict[str, int]:
        """The parameters under the keys "chunk_size", "overlap" and "min_chunk_size"."""

@final
class NativeCleaningMode:
    """The cleaner's mode. Not instantiable: its two members are its only instances and
    compare by identity; ``int()`` gives 0 for Training and 1 for Inference."""

    Training: ClassVar[NativeCleaningMode]
    Inference: ClassVar[NativeCleaningMode]
    def __int__(self) -> int: ...
    def __repr__(self) -> str: ...

@final
class NativeTextCleaner:
    """Rewrites texts with ordered regex rule tables and trims them. The Training mode also
    strips corpus artefacts (citations, datelines, section labels, ...)."""

    def __new__(cls, mode: NativeCleaningMode) -> NativeTextCleaner: ...
    def clean(self, text: str) -> str:
        """Clean a single text string."""
    def clean_batch(self, texts: Sequence[str]) -> list[str]:
        """Clean multiple texts in parallel; the results keep the input order."""
    def is_training_mode(self) -> bool: ...

def tokenize(text: Sequence[str]) -> list[list[int]]:
    """Encode texts into ``o200k_base`` token ids, one list per text, in input order."""

def reverse_tokenize(tokens: Sequence[int]) -> str:
    """Decode token ids back to text (a "[DECODE_ERROR: [...]]" marker for invalid UTF-8)."""
