"""What the reader's benchmarks (archives.py, reader.py) share: their command line,
the load average, warming the page cache and rewriting their section of the docs."""
import argparse
import os
import sys


def arguments(runs, invocation, add=None):
    """Parses the options every reader benchmark takes; `add` adds its own."""
    p = argparse.ArgumentParser()
    p.add_argument("--bin", required=True)
    p.add_argument("--data", required=True)
    p.add_argument("--docs")
    p.add_argument("--no-docs", action="store_true")
    p.add_argument("--runs", type=int, default=runs)
    p.add_argument("--commit", default="unknown")
    p.add_argument("--invocation", default=invocation)
    if add:
        add(p)
    args = p.parse_args()
    os.makedirs(args.data, exist_ok=True)
    return args


def load():
    """The 1-minute load average."""
    with open("/proc/loadavg") as f:
        return float(f.read().split()[0])


def read_through(path):
    """Reads a file once so that its pages sit in the page cache."""
    with open(path, "rb") as f:
        while f.read(1 << 20):
            pass


def write_section(args, begin, end, text, who, heading=None):
    """Replaces the text between begin and end in args.docs; appends the section
    under `heading` when the markers are missing, or exits if there is none."""
    if not args.docs or args.no_docs:
        return
    with open(args.docs) as f:
        doc = f.read()
    body = text.rstrip("\n")
    if begin in doc:
        doc = doc[:doc.index(begin) + len(begin)] + "\n" + body + "\n" + doc[doc.index(end):]
    elif heading:
        doc += "\n" + heading + begin + "\n" + body + "\n" + end + "\n"
    else:
        sys.exit("%s: the markers of its section are missing from %s" % (who, args.docs))
    with open(args.docs, "w") as f:
        f.write(doc)
    print("%s: wrote its section of %s" % (who, args.docs), file=sys.stderr)
