#!/usr/bin/env python3
"""Link launcher for small x64 Windows programs: makes --gc-sections drop
unused functions together with their unwind records.

The default mingw linker script keeps every .pdata/.xdata input section
(KEEP), and the records refer to their functions, so nothing that shares an
object file with a used function can go.  Without the KEEP, ld drops unused
code but still copies the records of dropped functions (as zero entries) and
does not follow the records' own references (personality routine, the
type-info pointers of catch clauses), which would break unwinding.

So the link runs in passes with a generated script: the .pdata/.xdata of every
code section the previous pass kept are KEEPs (so their references are
followed), those of every dropped code section are discarded.  Passes repeat
until the set of kept code no longer grows.  Finally the program's exception
table is checked: sorted, no empty entries, and every kept code section that
has unwind records keeps them.

Usage: gc_link.py [--driver=<compiler>] <compiler> <link arguments...>
(as CMake's link launcher).  --driver links with another compiler driver of
the same toolchain: the stub takes the C++ runtime of the win32 thread model,
which needs no POSIX thread library; its objects never use threads of the
C++ library themselves.
"""
import os
import re
import struct
import subprocess
import sys

UNWIND = (".pdata", ".xdata")
SECTION = re.compile(r"^ (\S+)?\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(\S.*)$")


class ScriptError(Exception):
    """The linker's default script is not the one this launcher knows how to
    edit; linking on with an unedited script would silently keep every
    unwind record (or drop needed ones)."""


# The pieces of the default script that the passes rewrite.
PDATA_RULE = "KEEP(*(.pdata*))"
XDATA_RULE = "KEEP(*(.xdata*))"


def default_script(compiler):
    ld = subprocess.run([compiler, "-print-prog-name=ld"], capture_output=True,
                        text=True).stdout.strip()
    out = subprocess.run([ld, "--verbose"], capture_output=True, text=True).stdout
    parts = out.split("=" * 50)
    if len(parts) < 3:
        raise ScriptError("no default linker script in the output of %s --verbose" % ld)
    body = parts[1]
    body = body[body.index("\n") + 1:body.rindex("\n")]
    for needed in (PDATA_RULE, XDATA_RULE, "SECTIONS"):
        if body.count(needed) != 1:
            raise ScriptError("the default linker script of %s has %d times %r, expected once"
                              % (ld, body.count(needed), needed))
    return body


def read_map(path):
    """(kept, dropped): sets of (file, section) from a link map."""
    kept, dropped = set(), set()
    target = None
    pending = None
    with open(path, errors="replace") as f:
        for line in f:
            if line.startswith("Discarded input sections"):
                target = dropped
                continue
            if line.startswith("Memory Configuration"):
                target = None
                continue
            if line.startswith("Linker script and memory map"):
                target = kept
                continue
            if target is None:
                continue
            m = re.match(r"^ (\.\S+)\s*$", line)
            if m:
                pending = m.group(1)
                continue
            m = SECTION.match(line)
            if m and (m.group(1) or pending):
                name = m.group(1) or pending
                if name.startswith(".") and name != "*fill*":
                    target.add((stable(m.group(4).strip()), name))
            pending = None
    return kept, dropped


def code_of(section):
    for u in UNWIND:
        if section.startswith(u):
            return ".text" + section[len(u):]
    return None


def stable(name):
    """LTO output objects get new temporary names each pass; their partition
    number is what identifies them."""
    m = re.search(r"(\.ltrans\d+\.ltrans\.o)$", name)
    return "*" + m.group(1) if m else name


def file_spec(name):
    if name.startswith("*"):
        return name
    m = re.match(r"^(.*)\(([^()]*)\)$", name)
    if m:
        return "*%s:%s" % (os.path.basename(m.group(1)), m.group(2))
    return "*%s" % os.path.basename(name)


def make_script(base, keep, drop, first):
    """The default script with KEEP for the .pdata in `keep` and /DISCARD/ for
    `drop`; the first pass keeps every .xdata so that what the unwind data
    refers to is there."""
    def section_rules(items, fmt):
        return "\n".join(fmt % (file_spec(f), s) for f, s in sorted(items))
    pdata = [x for x in keep if x[1].startswith(".pdata")]
    body = base.replace(PDATA_RULE,
                        "\n" + section_rules(pdata, "    KEEP(%s(%s))") + "\n    *(.pdata*)")
    if not first:
        body = body.replace(XDATA_RULE, "*(.xdata*)")
    discard = "  /DISCARD/ : {\n%s\n  }\n" % section_rules(drop, "    %s(%s)") if drop else ""
    i = body.index("SECTIONS")
    i = body.index("{", i) + 1
    return body[:i] + "\n" + discard + body[i:]


def split_unwind(kept, dropped):
    """Unwind sections to keep (their code is kept) and to drop."""
    keep, drop = set(), set()
    for f, s in kept | dropped:
        code = code_of(s)
        if code is None:
            continue
        if (f, code) in kept:
            keep.add((f, s))
        else:
            drop.add((f, s))
    return keep, drop


def exception_table(path):
    d = open(path, "rb").read()
    pe = struct.unpack_from("<I", d, 0x3C)[0]
    nsec, opt = struct.unpack_from("<H12xH", d, pe + 6)
    rva, size = struct.unpack_from("<II", d, pe + 24 + 112 + 3 * 8)
    for i in range(nsec):
        s = pe + 24 + opt + 40 * i
        vs, va, rs, rp = struct.unpack_from("<IIII", d, s + 8)
        if va <= rva < va + max(vs, rs):
            p = rp + rva - va
            return [struct.unpack_from("<III", d, p + 12 * k) for k in range(size // 12)]
    return []


def check(exe, kept, dropped):
    ents = exception_table(exe)
    problems = []
    if any(b == 0 or e <= b or u == 0 for b, e, u in ents):
        problems.append("empty unwind entries")
    if any(ents[k][0] < ents[k - 1][1] for k in range(1, len(ents))):
        problems.append("unwind entries not sorted")
    for f, s in dropped:
        code = code_of(s)
        if code and (f, code) in kept:
            problems.append("unwind records of a kept function dropped: %s %s" % (f, s))
    return problems


def main():
    args = sys.argv[1:]
    driver = [a for a in args if a.startswith("--driver=")]
    args = [a for a in args if not a.startswith("--driver=")]
    if driver:
        args[0] = driver[-1][len("--driver="):]
    out = args[args.index("-o") + 1]
    user_map = [a for a in args if a.startswith("-Wl,-Map=")]
    args = [a for a in args if not a.startswith("-Wl,-Map=")]
    # Scripts and maps of the passes: next to the requested map, else next
    # to the program.
    work = (user_map[-1][len("-Wl,-Map="):] if user_map else out) + ".passes"
    os.makedirs(work, exist_ok=True)
    try:
        base = default_script(args[0])
    except ScriptError as e:
        sys.stderr.write("gc_link: %s\n" % e)
        return 1
    keep, drop = set(), set()
    seen = None
    for n in range(1, 9):
        script = os.path.join(work, "pass%d.ld" % n)
        mapfile = os.path.join(work, "pass%d.map" % n)
        with open(script, "w") as f:
            f.write(make_script(base, keep, drop, n == 1))
        r = subprocess.run(args + ["-Wl,-T," + script, "-Wl,-Map=" + mapfile])
        if r.returncode:
            return r.returncode
        kept, dropped = read_map(mapfile)
        code = {x for x in kept if x[1].startswith(".text")}
        keep, drop = split_unwind(kept, dropped)
        if code == seen:
            break
        seen = code
    else:
        sys.stderr.write("gc_link: no fixed point\n")
        return 1
    problems = check(out, kept, dropped)
    if problems:
        sys.stderr.write("gc_link: %s: %s\n" % (out, "; ".join(problems[:5])))
        return 1
    for m in user_map:
        with open(mapfile) as src, open(m[len("-Wl,-Map="):], "w") as dst:
            dst.write(src.read())
    return 0


if __name__ == "__main__":
    sys.exit(main())
