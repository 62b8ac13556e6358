#!/usr/bin/env python3
"""Counts what the architecture rules bound in src/: the include graph between folders and the
pairs of folders that include each other, the uses of each global accessor, the commands the
program sends or posts to itself, process-wide state (function-static variables and
namespace-scope variables), function lengths over a limit, and file lengths over
a limit. A reading by text, not by a compiler: functions are the
definitions that open at column 0 and close with a "}" at column 0, as the code is laid out.

    scripts/structure-report.py [--function-limit 80] [--file-limit 600]
"""
import argparse
import pathlib
import re

ROOT = pathlib.Path(__file__).resolve().parent.parent / "src"
NOT_STATE = re.compile(r"\b(constexpr|const|static_assert|struct|class|enum|using|typedef|extern|namespace|template|return)\b")
DECLARATION = re.compile(r"^[A-Za-z_][\w:<>, *&]*\s+[\*&]?[A-Za-z_]\w*(\s*=.*|\s*\{.*\}|\s*\[.*\].*)?;\s*(//.*)?$")
STATIC_LOCAL = re.compile(r"^\s+static\s+(?!constexpr|const\b|_assert)[\w:<>, *&]+\s+[A-Za-z_]\w*\s*(=|;|\{|\[)")


def source_files():
    return sorted(p for p in ROOT.rglob("*") if p.suffix in (".cpp", ".h"))


def functions(lines):
    start = None
    for n, line in enumerate(lines):
        if start is None:
            if line and not line[0].isspace() and line.rstrip().endswith("{") and "(" in line \
                    and not NOT_STATE.match(line) and "=" not in line.split("(")[0]:
                start = n
            elif line and not line[0].isspace() and "(" in line and not line.rstrip().endswith((";", "{", "}")) \
                    and not line.startswith(("#", "//")):
                # a signature over several lines: its body opens at column 0 later
                start = ("pending", n)
        elif isinstance(start, tuple):
            if line.rstrip().endswith(";") and not line.startswith(" "):
                start = None
            elif line.rstrip().endswith("{"):
                start = start[1]
            elif line.strip() == "" or line.startswith("}"):
                start = None
        elif line.startswith("}"):
            yield start, n
            start = None


INCLUDE = re.compile(r'^#include "([^"]+)"')
ACCESSOR = re.compile(r"\b(Mode|MainWindow|Capture|View|Settings|Display|Drawing|Chooser)\(\)")
SELF_COMMAND = re.compile(r"\b(Send|Post)Message[AW]?\s*\([^,]+,\s*WM_COMMAND\b")


# The floors, lowest first: an include may point only to a folder on a lower floor (or its own).
# The command-line tool stands beside the program, on the core and the shell's base.
FLOORS = ["core/base", "core/samples", "core/image", "core/dsp", "core/layout", "core/files",
          "core/export", "core/analysis", "core/sound", "windows/base", "windows/view",
          "windows/files", "windows/analysis", "windows/sound", "windows/program", "cli"]


def floor(name):
    return FLOORS.index(name) if name in FLOORS else len(FLOORS)


def folder(rel):
    """The folder a file belongs to, below src/ (src/core/dsp/x.h -> core/dsp)."""
    return "/".join(pathlib.PurePath(rel).parts[1:-1]) or "."


def include_graph(files):
    """Counts of includes from one folder to another, and the pairs that include each other."""
    edges = {}
    for path, lines in files:
        source = folder(path.relative_to(ROOT.parent))
        for line in lines:
            m = INCLUDE.match(line)
            if not m or not (ROOT / m.group(1)).exists():
                continue
            target = folder(pathlib.PurePath("src") / m.group(1))
            if target != source:
                edges[(source, target)] = edges.get((source, target), 0) + 1
    both = sorted((a, b) for (a, b) in edges if a < b and (b, a) in edges)
    return edges, both


def report_design(files):
    edges, both = include_graph(files)
    up = sorted((a, b) for (a, b) in edges if floor(b) >= floor(a))
    print(f"includes between folders: {sum(edges.values())} in {len(edges)} arrows; "
          f"folder pairs that include each other: {len(both)}; arrows pointing up: {len(up)}")
    for a, b in both:
        print(f"  {a} <-> {b}: {edges[(a, b)]} and {edges[(b, a)]}")
    print("the folder include graph, floor by floor (UP: an arrow to the same floor or higher):")
    for source in sorted({a for a, _ in edges}, key=floor):
        arrows = sorted((b for a, b in edges if a == source), key=floor)
        text = ", ".join(f"{b} {edges[(source, b)]}" + (" UP" if floor(b) >= floor(source) else "")
                         for b in arrows)
        print(f"  {source} -> {text}")
    uses, where = {}, {}
    commands = []
    for path, lines in files:
        rel = path.relative_to(ROOT.parent)
        for n, line in enumerate(lines):
            for m in ACCESSOR.finditer(line):
                if line.lstrip().startswith("//"):
                    continue
                uses[m.group(1)] = uses.get(m.group(1), 0) + 1
                where.setdefault(m.group(1), set()).add(rel)
            if SELF_COMMAND.search(line) and not line.lstrip().startswith("//"):
                commands.append(f"{rel}:{n + 1}: {line.strip()[:90]}")
    print("global accessor uses (uses in files):")
    for name in sorted(uses, key=lambda k: -uses[k]):
        print(f"  {name}(): {uses[name]} in {len(where[name])}")
    print(f"WM_COMMAND messages the program sends or posts: {len(commands)}")
    for c in commands:
        print("  " + c)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--function-limit", type=int, default=80)
    parser.add_argument("--file-limit", type=int, default=600)
    args = parser.parse_args()
    statics, globals_, long_functions, long_files = [], [], [], []
    report_design([(p, p.read_text().split("\n")) for p in source_files()])
    for path in source_files():
        rel = path.relative_to(ROOT.parent)
        lines = path.read_text().split("\n")
        if len(lines) - 1 > args.file_limit:
            long_files.append((len(lines) - 1, rel))
        depth = 0
        for n, line in enumerate(lines):
            if STATIC_LOCAL.match(line) and "(" not in line.split("=")[0]:
                statics.append(f"{rel}:{n + 1}: {line.strip()}")
            if path.suffix == ".cpp" and depth == 0 and DECLARATION.match(line) \
                    and not NOT_STATE.search(line.split("=")[0]) and "(" not in line.split("=")[0]:
                globals_.append(f"{rel}:{n + 1}: {line.strip()}")
            # braces of functions and types open at column 0 and close at column 0
            if line and not line[0].isspace() and line.rstrip().endswith("{") and not line.startswith("namespace"):
                depth += 1
            elif line.startswith("}") and not line.startswith("}  // namespace") and depth > 0:
                depth -= 1
        for first, last in functions(lines):
            length = last - first + 1
            long_functions.append((length, f"{rel}:{first + 1}: {lines[first].strip()[:70]}"))
    long_functions.sort(reverse=True)
    print(f"mutable process-wide states: {len(statics) + len(globals_)}")
    print(f"function-static variables: {len(statics)}")
    for s in statics:
        print("  " + s)
    print(f"namespace-scope variables: {len(globals_)}")
    for g in globals_:
        print("  " + g)
    over = [f for f in long_functions if f[0] > args.function_limit]
    print(f"functions over {args.function_limit} lines: {len(over)}; longest {long_functions[0][0]} ({long_functions[0][1]})")
    for length, where in over:
        print(f"  {length:4d}  {where}")
    long_files.sort(reverse=True)
    print(f"files over {args.file_limit} lines: {len(long_files)}")
    for length, rel in long_files:
        print(f"  {length:5d}  {rel}")


if __name__ == "__main__":
    main()
