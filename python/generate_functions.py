#!/usr/bin/env python3
"""Writes the function table of the tavik2 Python package from the export table and the public headers.

The export table gives every exported function with its family; the public headers give its
parameters, the plain records it fills and the constants. Nothing here is a second list: a function
added to the table and declared in a header appears in the package at the next build.

usage: generate_functions.py EXPORT_TABLE INCLUDE_DIR OUTPUT
"""
import glob
import os
import pprint
import re
import sys

EXPORT = re.compile(r"^TAVIK_EXPORT\( *(\d+), *(\w+), *(\w+), *(\d+), *(TWIN|NO_TWIN)\)", re.M)
DECL = re.compile(r"TAVIK_API\s+(.*?)\s+TAVIK_CALL\s+(\w+)\s*\((.*?)\);", re.S)
# Also the C++ spellings of the handle and record types: typedef Varnholtstad::Power Tavik2Power;
TYPEDEF = re.compile(r"^\s*typedef\s+(?:Varnholtstad::)?(\w+)\s+(\w+)\s*;", re.M)
ENUM = re.compile(r"\benum\s+(?:class\s+)?(\w+)\s*:\s*(\w+)\s*\{(.*?)\}", re.S)
CONSTANT = re.compile(r"^\s*constexpr\s+(\w+)\s+([A-Z][A-Z0-9_]*)\s*=\s*(-?\w+)\s*;", re.M)
STRUCT = re.compile(r"^struct\s+(\w+)\s*\{([^{}]*)\};", re.M)
FIELD = re.compile(r"^\s*(\w+)\s+(\w+)(?:\[(\d+)\])?\s*;", re.M)

SCALARS = {"int8_t", "uint8_t", "int16_t", "uint16_t", "int32_t", "uint32_t", "int64_t", "uint64_t",
           "bool", "float", "double", "char", "TavikWChar"}


def strip_comments(text):
    return re.sub(r"//[^\n]*", "", text)


def read_headers(include_dir):
    aliases = {"ErrorCode": "int32_t"}
    decls, structs, constants = {}, {}, {}
    for path in sorted(glob.glob(os.path.join(include_dir, "tavik2", "*.h"))):
        text = strip_comments(open(path, encoding="utf-8").read())
        for base, name in TYPEDEF.findall(text):
            aliases[name] = base
        for name, base, body in ENUM.findall(text):
            aliases[name] = base
            if name == "ErrorCode":
                for entry in re.finditer(r"(\w+)\s*=\s*(-?\d+)", body):
                    constants[entry.group(1)] = int(entry.group(2))
        for _type, name, value in CONSTANT.findall(text):
            constants[name] = int(value, 0)
        for name, body in STRUCT.findall(text):
            if "virtual" in body:
                continue
            structs[name] = [(f, t, int(n) if n else 0) for t, f, n in FIELD.findall(body)]
        for ret, name, params in DECL.findall(text):
            decls[name] = (ret.strip(), parse_params(params))
    return aliases, decls, structs, constants


def parse_params(text):
    text = " ".join(text.split())
    if text in ("", "void"):
        return []
    params = []
    for p in text.split(","):
        m = re.match(r"^(.*?)\s*(\w+)$", p.strip())
        params.append((m.group(2), m.group(1).replace(" *", "*").replace("Varnholtstad::", "")))
    return params


def resolve(t, aliases):
    const = t.startswith("const ")
    t = t[6:] if const else t
    stars = len(t) - len(t.rstrip("*"))
    base = t.rstrip("*")
    while base in aliases:
        base = aliases[base]
    return ("const " if const else "") + base + "*" * stars


def main():
    table, include_dir, output = sys.argv[1:4]
    aliases, decls, structs, constants = read_headers(include_dir)
    for name, fields in structs.items():
        structs[name] = [(f, resolve(t, aliases), n) for f, t, n in fields]
    functions = []
    for ordinal, group, name, _bytes, _twin in EXPORT.findall(open(table, encoding="utf-8").read()):
        if name not in decls:
            sys.exit(f"{name} is in the export table but declared in no public header")
        ret, params = decls[name]
        resolved = []
        for pname, ptype in params:
            if pname == "handle" and ptype.endswith("*") and ptype.rstrip("*") not in SCALARS:
                resolved.append((pname, "handle"))
            else:
                resolved.append((pname, resolve(ptype, aliases)))
        ret = resolve(ret, aliases)
        if ret.endswith("*") and ret.rstrip("*") not in SCALARS and ret not in ("const char*", "const TavikWChar*"):
            ret = "handle"
        functions.append((int(ordinal), group, name, ret, resolved))
    with open(output, "w", encoding="utf-8") as out:
        out.write("# Generated at build time from the export table and the public headers; do not edit.\n")
        out.write("# FUNCTIONS: (ordinal, family, name, result type, [(parameter, type)]).\n")
        out.write("FUNCTIONS = " + pprint.pformat(functions, width=110) + "\n")
        out.write("STRUCTS = " + pprint.pformat(structs, width=110) + "\n")
        out.write("CONSTANTS = " + pprint.pformat(constants, width=110) + "\n")


if __name__ == "__main__":
    main()
