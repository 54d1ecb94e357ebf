#!/usr/bin/env python3
"""Lists the functions of C++ files longer than a limit, longest first.

A function's length runs from the first line of its signature to its closing
brace. Functions are those defined at namespace or class scope (lambdas and
local classes count towards the function that holds them).

  tests/app/long_functions.py [--limit N] FILE...
Exits 1 when any function is longer than the limit (60 lines unless given).
"""
import re
import sys

CONTROL = re.compile(r"\b(if|for|while|switch|catch|do|else|try)\s*(\(|$)")


def strip(text):
    """The text with comments, string and character literals blanked,
    newlines kept so that line numbers stay."""
    out = []
    i, n = 0, len(text)
    while i < n:
        c = text[i]
        if text.startswith("//", i):
            j = text.find("\n", i)
            j = n if j < 0 else j
            out.append(" " * (j - i))
            i = j
        elif text.startswith("/*", i):
            j = text.find("*/", i + 2)
            j = n if j < 0 else j + 2
            out.append(re.sub(r"[^\n]", " ", text[i:j]))
            i = j
        elif text.startswith('R"', i):
            m = re.match(r'R"([^(]*)\(', text[i:])
            end = text.find(")" + m.group(1) + '"', i) if m else -1
            j = n if end < 0 else end + len(m.group(1)) + 2
            out.append('""' + re.sub(r"[^\n]", " ", text[i + 2:j]))
            i = j
        elif c in "\"'":
            j = i + 1
            while j < n and text[j] != c:
                j += 2 if text[j] == "\\" else 1
            j += 1
            out.append(c + " " * (j - i - 2) + c)
            i = j
        else:
            out.append(c)
            i += 1
    return "".join(out)


def functions(path):
    text = strip(open(path, encoding="utf-8").read())
    scopes = []  # one of "namespace", "class", "function", "block"
    header_start = 0  # where the text before the next brace begins
    found = []
    line = 1
    for i, c in enumerate(text):
        if c == "\n":
            line += 1
        if c == "{":
            header = text[header_start:i]
            inside = scopes[-1][0] if scopes else "namespace"
            if inside in ("namespace", "class"):
                head = header.strip()
                if re.search(r"\bnamespace\b", head) or head.startswith('extern "'):
                    kind = "namespace"
                elif re.search(r"\b(class|struct|union|enum)\b[^()]*$", head):
                    kind = "class"
                elif "(" in head and not CONTROL.match(head) and not head.endswith("="):
                    kind = "function"
                else:
                    kind = "block"
            else:
                kind = "block"
            if kind == "function":
                first = text.count("\n", 0, header_start + len(header) - len(header.lstrip())) + 1
                name = re.sub(r"\s+", " ", header.strip().split("(")[0]).split(" ")[-1]
                scopes.append(("function", first, name))
            else:
                scopes.append((kind, None, None))
            header_start = i + 1
        elif c == "}":
            kind, first, name = scopes.pop() if scopes else ("block", None, None)
            if kind == "function":
                found.append((line - first + 1, path, first, name))
            header_start = i + 1
        elif c == ";" or (c == ":" and text[i - 1:i + 1] != "::" and text[i:i + 2] != "::"
                           and re.search(r"\b(public|private|protected)\s*$", text[header_start:i])):
            header_start = i + 1
    return found


def main(argv):
    limit = 60
    if len(argv) >= 2 and argv[0] == "--limit":
        limit = int(argv[1])
        argv = argv[2:]
    every = sorted((f for path in argv for f in functions(path)), reverse=True)
    over = [f for f in every if f[0] > limit]
    for length, path, first, name in over or every[:1]:
        print(f"{length:5d}  {path}:{first}  {name}")
    return 1 if over else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
