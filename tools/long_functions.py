#!/usr/bin/env python3
"""Lists the functions of C++ sources that are longer than a limit.

    tools/long_functions.py [--limit N] [--all] PATH...

A function's length counts its lines from the first line of its signature to
its closing brace. PATHs are files or folders (searched for .cpp and .h).
Prints "length path:line name" for each function over the limit (every
function with --all), longest first, and exits with 1 when any is over it.

The reading is lexical, not a compiler's: comments, string and character
literals are skipped, and a brace opens a function body when it follows a
parenthesised list at namespace or class level (lambdas and local classes
count toward the function that holds them).
"""
import argparse
import os
import re
import sys

CONTAINER = re.compile(r'\b(namespace|class|struct|union|enum)\b|extern\s*"C"')
CONTROL = re.compile(r'^\s*(if|for|while|switch|catch|do|else)\b')


def strip(text):
    """The text with comments, literals and preprocessor lines blanked, line
    breaks kept."""
    text = re.sub(r'^[ \t]*#(?:[^\n]*\\\n)*[^\n]*', lambda m: re.sub(r'[^\n]', ' ', m.group(0)), text,
                  flags=re.M)
    out = []
    i, n = 0, len(text)
    while i < n:
        c = text[i]
        if text.startswith('//', i):
            j = text.find('\n', i)
            j = n if j < 0 else j
            out.append(' ' * (j - i))
            i = j
        elif text.startswith('/*', i):
            j = text.find('*/', i + 2)
            j = n if j < 0 else j + 2
            out.append(re.sub(r'[^\n]', ' ', text[i:j]))
            i = j
        elif c == 'R' and text.startswith('R"', i):
            m = re.match(r'R"([^(]*)\(', text[i:])
            end = text.find(')' + m.group(1) + '"', i) if m else -1
            j = n if end < 0 else end + len(m.group(1)) + 2
            out.append('""' + re.sub(r'[^\n]', ' ', text[i + 2:j]))
            i = j
        elif c in '"\'':
            j = i + 1
            while j < n and text[j] != c and text[j] != '\n':
                j += 2 if text[j] == '\\' else 1
            j = min(j + 1, n)
            # Digit separators (1'000) are not character literals.
            if c == "'" and i > 0 and text[i - 1].isalnum():
                out.append(c)
                i += 1
                continue
            out.append(c + ' ' * (j - i - 2) + c if j - i >= 2 else c)
            i = j
        else:
            out.append(c)
            i += 1
    return ''.join(out)


def functions(path):
    """Yields (first line, last line, name) of each function defined in path."""
    with open(path, encoding='utf-8', errors='replace') as f:
        text = strip(f.read())
    stack = []  # 'container', 'function' or 'other', with the function's start
    head_start = 0  # offset where the current declaration began
    for i, c in enumerate(text):
        if c == ';':
            head_start = i + 1
        elif c == '{':
            head = text[head_start:i]
            inside_function = any(kind == 'function' for kind, _, _ in stack)
            if inside_function:
                stack.append(('other', 0, ''))
            elif CONTAINER.search(head) and '(' not in head.split('{')[0].split(':')[0]:
                stack.append(('container', 0, ''))
            elif '(' in head and not CONTROL.match(head) and not re.search(r'=\s*$', head.strip()):
                skip = len(head) - len(head.lstrip())
                start = head_start + skip
                name = re.sub(r'\s+', ' ', head[:head.find('(')].strip()).split(' ')[-1]
                stack.append(('function', start, name))
            else:
                stack.append(('other', 0, ''))
            head_start = i + 1
        elif c == '}':
            if stack:
                kind, start, name = stack.pop()
                if kind == 'function' and not any(k == 'function' for k, _, _ in stack):
                    first = text.count('\n', 0, start) + 1
                    last = text.count('\n', 0, i) + 1
                    yield first, last, name
            head_start = i + 1


def sources(paths):
    for path in paths:
        if os.path.isdir(path):
            for root, _, names in os.walk(path):
                for name in sorted(names):
                    if name.endswith(('.cpp', '.h')):
                        yield os.path.join(root, name)
        else:
            yield path


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    parser.add_argument('--limit', type=int, default=60)
    parser.add_argument('--all', action='store_true', help='list every function')
    parser.add_argument('paths', nargs='+')
    args = parser.parse_args()
    found = []
    for path in sources(args.paths):
        for first, last, name in functions(path):
            found.append((last - first + 1, path, first, name))
    found.sort(key=lambda entry: (-entry[0], entry[1], entry[2]))
    over = [entry for entry in found if entry[0] > args.limit]
    for length, path, line, name in (found if args.all else over):
        print(f'{length:5d} {path}:{line} {name}')
    return 1 if over else 0


if __name__ == '__main__':
    sys.exit(main())
