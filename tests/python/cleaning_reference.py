"""A plain-Python cleaner, kept apart from the native one to check it.

It writes the 50 rewrite rules with a backtracking engine (the `regex` package by
default; the standard `re` module works as well), spells the Unicode classes out
with the same generated ranges as the native core, and writes the word boundary
by its definition, with lookarounds. Nothing here is shared with the native code
but those ranges.

    clean(text, training=True)  ->  cleaned text
"""

import regex

from cleaning_unicode_classes import (
    DECIMAL_DIGIT_RANGES,
    WHITE_SPACE_RANGES,
    WORD_CHARACTER_RANGES,
)


def _class_items(ranges):
    def escape(code_point):
        return f"\\U{code_point:08X}"

    return "".join(escape(first) if first == last else f"{escape(first)}-{escape(last)}"
                   for first, last in ranges)


DIGIT_ITEMS = _class_items(DECIMAL_DIGIT_RANGES)
SPACE_ITEMS = _class_items(WHITE_SPACE_RANGES)
WORD_ITEMS = _class_items(WORD_CHARACTER_RANGES)

D = f"[{DIGIT_ITEMS}]"  # \d
S = f"[{SPACE_ITEMS}]"  # \s
# \b: a word character on exactly one side.
B = (f"(?:(?<=[{WORD_ITEMS}])(?![{WORD_ITEMS}])"
     f"|(?<![{WORD_ITEMS}])(?=[{WORD_ITEMS}]))")
EM_DASH = "\u2014"


def rule_tables(D, S, SPACE_ITEMS, B):
    """The training and basic tables, with the classes \\d, \\s (and its bracket
    items) and \\b given as D, S, SPACE_ITEMS and B."""
    CITIES = ("(?:WASHINGTON|NEW YORK|LONDON|PARIS|BEIJING|MOSCOW|TOKYO|BERLIN|BRUSSELS|"
              "GENEVA|ROME|MADRID|SEOUL|SYDNEY|MEXICO CITY|LOS ANGELES|SAN" + S + "*FRANCISCO|"
              "CHICAGO|BOSTON|MIAMI|ATLANTA|HOUSTON|DALLAS|PHILADELPHIA|PHOENIX|SAN DIEGO|"
              "SEATTLE|DETROIT|DENVER)")
    STATES = (r"(?:Ala|Ariz|Ark|Calif|Colo|Conn|Del|Fla|Ga|Ill|Ind|Kan|Ky|La|Md|Mass|Mich|"
              r"Minn|Miss|Mo|Mont|Neb|Nev|N\.Y|N\.C|N\.D|Ohio|Okla|Ore|Pa|R\.I|S\.C|S\.D|Tenn|"
              r"Tex|Vt|Va|Wash|W\.Va|Wis|Wyo)")
    SECTIONS = ("(?:History|Biography|Early life|Background|Career|Personal life|Death|"
                "Legacy|Education|Awards|References|External links)")
    ZONES = "(?:EST|EDT|CST|CDT|MST|MDT|PST|PDT|GMT|UTC)"
    OPENING = ("This (?:paper|study|article|abstract|research|work)" + S + "+"
               "(?:presents|discusses|examines|explores|investigates|demonstrates|shows|"
               "describes)" + S + "*")
    WIRES = "(?:AP|AFP|Reuters|UPI|Bloomberg)"

    training = [
        (r"\[" + D + r"+\]([\.,;:\)\]])?", "$1"),
        (S + "+" + D + r"+\]([\.,;])?", "$1"),
        (r"\[" + D + r"+\]" + S + r"*\n", "\n"),
        (r"\[" + D + "+", ""),
        (D + r"+\]", ""),
        (r"\[" + D + r"+\]", ""),
        (r"\([A-Z]+\)" + S + "*" + EM_DASH + S + "*", EM_DASH + " "),
        (S + r"*\(" + WIRES + r"\)" + S + "*", ""),
        (B + WIRES + S + "*[-" + EM_DASH + "]" + S + "*", ""),
        (S + r"*\([A-Z]{2,}\)" + S + "*", " "),
        (B + "[A-Z]{2,}" + S + "*[-" + EM_DASH + "]" + S + "*", ""),
        ("^" + CITIES + "(?:," + S + "*[A-Z][A-Za-z.]*" + S + "*)?[," + EM_DASH + "]" + S + "*", ""),
        (r"\n" + CITIES + "(?:," + S + "*[A-Za-z.]+" + S + "*)?[," + EM_DASH + "]" + S + "*", "\n"),
        (EM_DASH + S + "+(The|A)" + S + "+", " $1 "),
        ("," + S + "*" + STATES + r"\." + S + "+", ", "),
        ("^[A-Z][A-Z" + SPACE_ITEMS + "]+(?:," + S + "*" + STATES + r"\." + S + "*)?[,"
         + EM_DASH + "]" + S + "*", ""),
        (r"\n[A-Z][A-Z" + SPACE_ITEMS + "]+(?:," + S + "*" + STATES + r"\." + S + "*)?[,"
         + EM_DASH + "]" + S + "*", "\n"),
        (B + "(?:ABSTRACT|BACKGROUND|OBJECTIVE|METHODS?|RESULTS?|CONCLUSIONS?|DISCUSSION|"
         "INTRODUCTION)[" + SPACE_ITEMS + ":]*", ""),
        (r"(?:^|\n)" + S + "*(?:BACKGROUND|OBJECTIVE|METHODS|RESULTS|CONCLUSION|CONCLUSIONS|"
         "INTRODUCTION|DISCUSSION|ABSTRACT|SUMMARY):" + S + "*", "\n"),
        (r"\." + S + "*" + SECTIONS + S + r"*\n", ".\n"),
        ("^" + S + "*" + SECTIONS + S + r"*\n", ""),
        (r"\." + S + "*Description" + S + r"*\n", ".\n"),
        ("^" + S + "*Description" + S + r"*\n", ""),
        (S + "+" + ZONES + r"([,\.]?)" + S + "+", "$1 "),
        (S + "+at" + S + "+" + D + "{1,2}:" + D + "{2}" + S + "*(?:AM|PM|am|pm)?" + S + "*"
         + ZONES + "?" + S + r"*[,\.]?", " "),
        ("^" + OPENING, ""),
        (r"\n" + OPENING, "\n"),
        ("^" + D + r"+\." + S + "+", ""),
        (r"\n" + D + r"+\." + S + "+", "\n"),
    ]

    basic = [
        ("[\u200b-\u200d\ufeff]", ""),
        ("\u00a0", " "),
        ("\u00e2\u20ac\u2122", "'"),
        ("\u00e2\u20ac\u0153", '"'),
        ("\u00e2\u20ac\u009d", '"'),
        ('\u00e2\u20ac"', EM_DASH),
        ("&#39;", "'"),
        ("&quot;", '"'),
        ("&amp;", "&"),
        ("&lt;", "<"),
        ("&gt;", ">"),
        ("&nbsp;", " "),
        ("&#(" + D + "+);", ""),
        ("&?#39;?", "'"),
        ("&?quot;", '"'),
        ("<br" + S + "*/?>", " "),
        ("</?(p|div|span|strong|em|b|i|ul|ol|li|h[1-6])>", ""),
        ("  +", " "),
        (r"\n\n\n+", "\n\n"),
        (" \n", "\n"),
        ("\n ", "\n"),
    ]
    return training, basic


TRAINING_RULES, BASIC_RULES = rule_tables(D, S, SPACE_ITEMS, B)


WHITE_SPACE = "".join(chr(cp) for first, last in WHITE_SPACE_RANGES
                      for cp in range(first, last + 1))
QUOTES = "'\""


def compile_rules(rules, engine=regex):
    return [(engine.compile(pattern), replacement) for pattern, replacement in rules]


def _expander(replacement):
    """The replacement of one match: $1 is group 1, or nothing when it took no part."""
    if "$1" not in replacement:
        return lambda match: replacement
    return lambda match: replacement.replace("$1", match.group(1) or "")


class ReferenceCleaner:
    def __init__(self, training, engine=regex, tables=None):
        training_rules, basic_rules = tables or (TRAINING_RULES, BASIC_RULES)
        self.rules = (compile_rules(training_rules, engine) if training else []) + \
            compile_rules(basic_rules, engine)

    def clean(self, text):
        for pattern, replacement in self.rules:
            text = pattern.sub(_expander(replacement), text)
        return text.strip(WHITE_SPACE).strip(QUOTES)


_CLEANERS = {}


def clean(text, training=True):
    if training not in _CLEANERS:
        _CLEANERS[training] = ReferenceCleaner(training)
    return _CLEANERS[training].clean(text)
