"""What the native module holds: its public names in the order the module lists
them, and the attributes Python gives every extension module."""

CONTENTS = [
    "__version__",
    "NativeVectorizerParams",
    "NativeTfidfVectorizer",
    "NativeTfidfVectorizerBuilder",
    "NativeTokenChunker",
    "NativeCleaningMode",
    "NativeTextCleaner",
    "tokenize",
    "reverse_tokenize",
]
MODULE_STANDARD = {"__name__", "__doc__", "__package__", "__loader__", "__spec__", "__file__"}
