#!/usr/bin/env python3
"""Checks that lib/ is layered as its folders say.

Each top folder of lib/ is a layer, numbered by its leading digits
(1_base lowest, the API highest); folders of one number are kinds side by
side. A file may include headers of its own layer or below, never a higher
one, and never a folder of the same number but another kind.

Within the library, a header and the source of the same name are one unit.
No two units may depend on each other, directly or through others: a unit
depends on every unit whose header it includes, so a loop of includes
between units is a loop of calls between files. A header that declares
functions for another file to define (a header without a source that is
not just types and inline code) would hide such a loop, so each header's
out-of-line functions must be defined in its own source.

Prints one line per fault; exit status 1 when there is any.
"""
import os
import re
import sys

LIB = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'lib')
INCLUDE = re.compile(r'\s*#include "([^"]+)"')


def layer(rel):
    """(number, folder) of the top folder of a path relative to lib/."""
    top = rel.split(os.sep)[0]
    m = re.match(r'(\d+)_', top)
    return (int(m.group(1)), top) if m else None


def resolve(name, including):
    for base in (os.path.dirname(including), LIB):
        p = os.path.normpath(os.path.join(base, name))
        if os.path.isfile(p):
            return p
    return None


def sources():
    for root, _, files in sorted(os.walk(LIB)):
        for f in sorted(files):
            if f.endswith(('.h', '.cpp')):
                yield os.path.join(root, f)


def unit(path):
    return os.path.splitext(os.path.relpath(path, LIB))[0]


def find_loop(graph):
    """One loop of the graph as a list of nodes, or None."""
    state = {}
    stack = []

    def visit(n):
        state[n] = 1
        stack.append(n)
        for m in sorted(graph.get(n, ())):
            if state.get(m) == 1:
                return stack[stack.index(m):] + [m]
            if m not in state:
                found = visit(m)
                if found:
                    return found
        stack.pop()
        state[n] = 2
        return None

    for n in sorted(graph):
        if n not in state:
            found = visit(n)
            if found:
                return found
    return None


# A function declaration at namespace level: a return type, a name and a
# parameter list closed by ");" (the parameters may run over several lines).
DECLARATION = re.compile(r'^(?!\s)(?!inline|constexpr|template|using|return|typedef|struct|class|enum|#|//|extern "C")'
                         r'[\w:<>,*& ]+?[\s*&](\w+)\([^;{]*?\)\s*(const\s*)?;', re.M)


def undefined_declarations(header, source_text):
    """Out-of-line functions a header declares that its source does not define."""
    with open(header, encoding='utf-8') as f:
        text = f.read()
    # Only namespace-level declarations: skip the bodies of types.
    depth = 0
    flat = []
    for line in text.splitlines(keepends=True):
        if depth == 0 or line.startswith('namespace') or line.startswith('} // namespace'):
            flat.append(line)
        opens = line.count('{') - line.count('}')
        if not line.startswith('namespace') and not line.startswith('} // namespace'):
            depth += opens
    names = {m.group(1) for m in DECLARATION.finditer(''.join(flat))}
    if source_text is None:
        return sorted(names)
    return sorted(n for n in names if not re.search(r'\b' + n + r'\s*\(', source_text))


def main():
    faults = 0
    graph = {}
    for path in sources():
        rel = os.path.relpath(path, LIB)
        own = layer(rel)
        if own is None:
            faults += 1
            print(f'{rel}: not in a numbered layer folder')
            continue
        graph.setdefault(unit(path), set())
        with open(path, encoding='utf-8') as text:
            for n, line in enumerate(text, 1):
                m = INCLUDE.match(line)
                if not m:
                    continue
                target = resolve(m.group(1), path)
                if target is None:
                    continue
                theirs = layer(os.path.relpath(target, LIB))
                if theirs is None:
                    continue
                if theirs[0] > own[0] or (theirs[0] == own[0] and theirs[1] != own[1]):
                    faults += 1
                    print(f'{rel}:{n}: {own[1]} includes {m.group(1)} ({theirs[1]})')
                if unit(target) != unit(path):
                    graph[unit(path)].add(unit(target))
    loop = find_loop(graph)
    if loop:
        faults += 1
        print('units that depend on each other: ' + ' -> '.join(loop))
    for path in sources():
        if not path.endswith('.h'):
            continue
        src = os.path.splitext(path)[0] + '.cpp'
        src_text = open(src, encoding='utf-8').read() if os.path.isfile(src) else None
        for name in undefined_declarations(path, src_text):
            faults += 1
            print(f'{os.path.relpath(path, LIB)}: declares {name}, which its own source does not define')
    print(f'{faults} layering fault(s)')
    return 1 if faults else 0


if __name__ == '__main__':
    sys.exit(main())
