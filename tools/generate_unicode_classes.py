#!/usr/bin/env python3
"""Writes the code point ranges of the Unicode classes that the cleaning rules use.

The cleaner's patterns are written with Unicode-aware `\\d`, `\\s` and `\\b`. The
regular-expression engine of the core only knows their ASCII meanings, so the core
spells the classes out as explicit code point ranges, and the Python reference
cleaner of the tests uses the very same ranges. Both files are written from one
computation here:

    src/pre_processor/cleaner/unicode_classes.h
    tests/python/cleaning_unicode_classes.py

Classes:
- decimal digit: general category Nd;
- white space: the White_Space property;
- word character (as in UTS #18): Alphabetic, every mark (M), Nd, Pc and
  Join_Control.

General categories come from the `unicodedata2` package, pinned below so that the
tables do not drift with the Python that runs this script:

    pip install unicodedata2==17.0.1
    python3 tools/generate_unicode_classes.py

`unicodedata2` does not expose binary properties, so the few that are needed are
listed here from the Unicode Character Database of the same version (PropList.txt).
When the `regex` package is installed, its own property tables are used as a
cross-check, and any disagreement stops the script.
"""

import pathlib
import sys

import unicodedata2

UNICODE_VERSION = "17.0.0"

# White_Space (PropList.txt); unchanged since Unicode 6.3.
WHITE_SPACE = [
    (0x0009, 0x000D), (0x0020, 0x0020), (0x0085, 0x0085), (0x00A0, 0x00A0),
    (0x1680, 0x1680), (0x2000, 0x200A), (0x2028, 0x2029), (0x202F, 0x202F),
    (0x205F, 0x205F), (0x3000, 0x3000),
]

# Join_Control (PropList.txt): zero-width non-joiner and joiner.
JOIN_CONTROL = [(0x200C, 0x200D)]

# Other_Alphabetic code points whose general category is not a letter, a mark or a
# letter number (PropList.txt): circled and squared Latin letters, all So.
# Alphabetic = Lu + Ll + Lt + Lm + Lo + Nl + Other_Alphabetic.
OTHER_ALPHABETIC_SYMBOLS = [
    (0x24B6, 0x24E9), (0x1F130, 0x1F149), (0x1F150, 0x1F169), (0x1F170, 0x1F189),
]

LETTER_CATEGORIES = {"Lu", "Ll", "Lt", "Lm", "Lo", "Nl"}
MARK_CATEGORIES = {"Mn", "Mc", "Me"}

ROOT = pathlib.Path(__file__).resolve().parent.parent
CPP_OUTPUT = ROOT / "src/pre_processor/cleaner/unicode_classes.h"
PYTHON_OUTPUT = ROOT / "tests/python/cleaning_unicode_classes.py"


def all_code_points():
    return (cp for cp in range(0x110000) if not 0xD800 <= cp <= 0xDFFF)


def in_ranges(cp, ranges):
    return any(first <= cp <= last for first, last in ranges)


def to_ranges(code_points):
    ranges = []
    for cp in sorted(code_points):
        if ranges and ranges[-1][1] == cp - 1:
            ranges[-1] = (ranges[-1][0], cp)
        else:
            ranges.append((cp, cp))
    return ranges


def decimal_digits():
    return {cp for cp in all_code_points() if unicodedata2.category(chr(cp)) == "Nd"}


def word_characters():
    word = set()
    for cp in all_code_points():
        category = unicodedata2.category(chr(cp))
        if (category in LETTER_CATEGORIES or category in MARK_CATEGORIES
                or category in ("Nd", "Pc") or in_ranges(cp, JOIN_CONTROL)
                or in_ranges(cp, OTHER_ALPHABETIC_SYMBOLS)):
            word.add(cp)
    return word


def white_space():
    return {cp for cp in all_code_points() if in_ranges(cp, WHITE_SPACE)}


def cross_check(name, code_points, property_class):
    try:
        import regex
    except ImportError:
        print(f"regex not installed: {name} not cross-checked", file=sys.stderr)
        return
    pattern = regex.compile(property_class)
    disagreeing = [cp for cp in all_code_points()
                   if (cp in code_points) != bool(pattern.match(chr(cp)))]
    if disagreeing:
        shown = ", ".join(f"U+{cp:04X}" for cp in disagreeing[:10])
        sys.exit(f"{name} disagrees with regex's {property_class} at {len(disagreeing)} "
                 f"code points ({shown}); does regex use Unicode {UNICODE_VERSION}?")


def cpp_array(name, ranges):
    lines = [f"inline constexpr std::array<CodePointRange, {len(ranges)}> {name}{{{{"]
    row = []
    for first, last in ranges:
        row.append(f"{{0x{first:04X}, 0x{last:04X}}}")
        if len(row) == 4:
            lines.append("    " + ", ".join(row) + ",")
            row = []
    if row:
        lines.append("    " + ", ".join(row) + ",")
    lines.append("}};")
    return "\n".join(lines)


def python_list(name, ranges):
    lines = [f"{name} = ["]
    row = []
    for first, last in ranges:
        row.append(f"(0x{first:04X}, 0x{last:04X})")
        if len(row) == 4:
            lines.append("    " + ", ".join(row) + ",")
            row = []
    if row:
        lines.append("    " + ", ".join(row) + ",")
    lines.append("]")
    return "\n".join(lines)


def main():
    if unicodedata2.unidata_version != UNICODE_VERSION:
        sys.exit(f"unicodedata2 has Unicode {unicodedata2.unidata_version}, "
                 f"expected {UNICODE_VERSION}: pip install unicodedata2==17.0.1")
    digits, spaces, word = decimal_digits(), white_space(), word_characters()
    cross_check("decimal digit", digits, r"\p{Nd}")
    cross_check("white space", spaces, r"\p{White_Space}")
    cross_check("word character", word,
                r"[\p{Alphabetic}\p{M}\p{Nd}\p{Pc}\p{Join_Control}]")
    classes = [("DecimalDigit", to_ranges(digits)), ("WhiteSpace", to_ranges(spaces)),
               ("WordCharacter", to_ranges(word))]
    title = "Code point ranges of the Unicode classes used by the cleaning rules."
    source = f"Generated by tools/generate_unicode_classes.py from Unicode {UNICODE_VERSION}; do not edit."

    cpp = [
        f"// {title}",
        f"// {source}",
        "//",
        "// Decimal digit: general category Nd. White space: the White_Space property.",
        "// Word character: Alphabetic, marks, Nd, Pc and Join_Control.",
        "// Ranges are inclusive, ascending and do not touch one another.",
        "#pragma once",
        "",
        "#include <array>",
        "",
        "namespace pre_processor::cleaner {",
        "",
        "struct CodePointRange {",
        "  char32_t first;",
        "  char32_t last;",
        "};",
        "",
    ]
    for name, ranges in classes:
        cpp += [cpp_array(f"k{name}Ranges", ranges), ""]
    cpp += ["}  // namespace pre_processor::cleaner", ""]
    CPP_OUTPUT.write_text("\n".join(cpp))

    python = [
        f'"""{title}\n\n{source}\n"""',
        "",
    ]
    for name, ranges in classes:
        snake = "".join("_" + c if c.isupper() else c for c in name).lstrip("_").upper()
        python += [python_list(f"{snake}_RANGES", ranges), ""]
    PYTHON_OUTPUT.write_text("\n".join(python))


if __name__ == "__main__":
    main()
