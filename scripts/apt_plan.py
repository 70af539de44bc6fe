#!/usr/bin/env python3
"""Plans how apt can install packages of two architectures when their indexes disagree.

A shared library installed for two architectures (Multi-Arch: same) must have one version in
both. When one architecture's index of a suite could not be fetched (a mirror in the middle of a
sync) or is older than the other's, the two candidates differ and apt finds no install plan
("held broken packages"). The plan pins each such package to the newest version that both
architectures' indexes offer, and nothing else; apt then installs, downgrading only what it must.

  apt_plan.py [--native amd64] [--foreign i386] PACKAGE...
      looks at PACKAGE and everything it depends on, prints the plan on stderr and the apt
      preferences that carry it out on stdout (empty when nothing needs a pin)
  apt_plan.py --policy FILE [--native amd64] [--foreign i386]
      the same from a recorded `apt-cache policy P:native P:foreign ...` output (for tests)

Exit status: 0 a plan (possibly empty), 3 a package has no version common to both architectures.
"""
import argparse
import re
import subprocess
import sys

_HEADER = re.compile(r"^(\S+?)(?::([a-z0-9]+))?:$")
_VERSION = re.compile(r"^ (?:\*\*\*| {3}) (\S+) (-?\d+)$")
_SOURCE = re.compile(r"^ {7,}-?\d+ (.*)$")


class Entry:
    """One package of one architecture as apt-cache policy shows it."""

    def __init__(self):
        self.installed = None
        self.candidate = None
        self.versions = []   # newest first, as apt lists them: (version, sources)

    def available(self):
        """Versions some index offers (not only the dpkg status of this machine), newest first."""
        return [v for v, sources in self.versions if any(len(s.split()) > 1 for s in sources)]


def parse_policy(text, native):
    """{(name, arch): Entry} from the output of apt-cache policy."""
    entries, entry, current = {}, None, None
    for line in text.splitlines():
        header = _HEADER.match(line)
        if header:
            name, arch = header.group(1), header.group(2) or native
            entry = entries.setdefault((name, arch), Entry())
            current = None
            continue
        if entry is None:
            continue
        stripped = line.strip()
        if stripped.startswith("Installed:"):
            value = stripped.split(":", 1)[1].strip()
            entry.installed = None if value == "(none)" else value
        elif stripped.startswith("Candidate:"):
            value = stripped.split(":", 1)[1].strip()
            entry.candidate = None if value == "(none)" else value
        elif _VERSION.match(line):
            current = [_VERSION.match(line).group(1), []]
            entry.versions.append(current)
        elif current is not None and _SOURCE.match(line):
            # an index: "URL SUITE/COMPONENT ARCH Packages"; the dpkg status: one path
            current[1].append(_SOURCE.match(line).group(1).strip())
    return entries


class Pin:
    def __init__(self, name, version, native, foreign):
        self.name, self.version = name, version
        self.native, self.foreign = native, foreign  # the two Entry records


def plan(entries, native, foreign):
    """(pins, unfixable): a pin for every package whose two candidates differ, to the newest
    version both architectures offer; the names of such packages that have no common version."""
    pins, unfixable = [], []
    names = sorted({name for name, _ in entries})
    for name in names:
        a, b = entries.get((name, native)), entries.get((name, foreign))
        if a is None or b is None or a.candidate is None or b.candidate is None:
            continue  # offered for one architecture only: nothing to match
        if a.candidate == b.candidate:
            continue
        common = [v for v in a.available() if v in set(b.available())]
        if not common:
            unfixable.append(name)
            continue
        pins.append(Pin(name, common[0], a, b))
    return pins, unfixable


def preferences(pins):
    return "".join(f"Package: {p.name}:any\nPin: version {p.version}\nPin-Priority: 1001\n\n" for p in pins)


def describe(pins, unfixable, native, foreign):
    def side(arch, e):
        installed = f", installed {e.installed}" if e.installed else ""
        return f"{arch} offers {e.candidate}{installed}"

    lines = []
    for p in pins:
        back = [f"{arch} {e.installed} goes back" for arch, e in ((native, p.native), (foreign, p.foreign))
                if e.installed and e.installed != p.version]
        lines.append(f"  {p.name}: {side(native, p.native)}; {side(foreign, p.foreign)} -> {p.version} for both"
                     + (f" ({', '.join(back)})" if back else ""))
    for name in unfixable:
        lines.append(f"  {name}: no version offered for both {native} and {foreign}")
    return "\n".join(lines)


def _closure(packages):
    out = subprocess.run(
        ["apt-cache", "depends", "--recurse", "--no-recommends", "--no-suggests", "--no-conflicts",
         "--no-breaks", "--no-replaces", "--no-enhances", *packages],
        capture_output=True, text=True, check=False).stdout
    names = set()
    for line in out.splitlines():
        if line and not line.startswith(" ") and not line.startswith("<"):
            names.add(line.split(":", 1)[0])
    return names


def _installed_shared():
    """Installed packages of any architecture that must match across architectures: a package
    that apt has to move back may pull its installed neighbours (libssl-dev with libssl3) along."""
    out = subprocess.run(["dpkg-query", "-W", "-f", "${Package} ${Multi-Arch}\n"],
                         capture_output=True, text=True, check=False).stdout
    return {l.split()[0] for l in out.splitlines() if l.endswith(" same")}


def main(argv):
    ap = argparse.ArgumentParser()
    ap.add_argument("--native", default="amd64")
    ap.add_argument("--foreign", default="i386")
    ap.add_argument("--policy", help="a recorded apt-cache policy output instead of this machine's")
    ap.add_argument("packages", nargs="*")
    args = ap.parse_args(argv)

    if args.policy:
        with open(args.policy, encoding="utf-8") as f:
            text = f.read()
    else:
        names = sorted(_closure(args.packages) | _installed_shared())
        queries = [q for n in names for q in (f"{n}:{args.native}", f"{n}:{args.foreign}")]
        text = subprocess.run(["apt-cache", "policy", *queries], capture_output=True, text=True,
                              check=False).stdout if queries else ""

    pins, unfixable = plan(parse_policy(text, args.native), args.native, args.foreign)
    if pins or unfixable:
        print(describe(pins, unfixable, args.native, args.foreign), file=sys.stderr)
    sys.stdout.write(preferences(pins))
    return 3 if unfixable else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
