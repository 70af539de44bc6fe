"""The library's interface as data: the export table and the public headers, read once for every
binding generator (the Python package's function table, the .NET binding).

The export table gives every exported function with its family; the public headers give its
parameters, the plain records it fills and the constants. Types are resolved through the headers'
typedefs down to the fixed-size scalars (SCALARS), a pointer to them, a record name or "handle";
a generator may keep some typedef names (an enumeration type, for instance) by passing them in
`keep`. `plan` says how each parameter of an operation travels, the one convention both bindings
follow.
"""
import glob
import os
import re

EXPORT = re.compile(r"^TAVIK_EXPORT\( *(\d+), *(\w+), *(\w+), *(\d+), *(TWIN|NO_TWIN)\)", re.M)
DECL = re.compile(r"TAVIK_API\s+(.*?)\s+TAVIK_CALL\s+(\w+)\s*\((.*?)\);", re.S)
# Also the C++ spellings of the handle and record types: typedef Varnholtstad::Power Tavik2Power;
TYPEDEF = re.compile(r"^\s*typedef\s+(?:Varnholtstad::)?(\w+)\s+(\w+)\s*;", re.M)
ENUM = re.compile(r"\benum\s+(?:class\s+)?(\w+)\s*:\s*(\w+)\s*\{(.*?)\}", re.S)
CONSTANT = re.compile(r"^\s*constexpr\s+(\w+)\s+([A-Z][A-Z0-9_]*)\s*=\s*(-?\w+)\s*;", re.M)
STRUCT = re.compile(r"^struct\s+(\w+)\s*\{([^{}]*)\};", re.M)
FIELD = re.compile(r"^\s*(\w+)\s+(\w+)(?:\[(\d+)\])?\s*;", re.M)
# The reference comment right above a declaration.
DOC = re.compile(r"((?:^///[^\n]*\n)+)TAVIK_API\s[^(]*?\b(\w+)\s*\(", re.M)

# TavikWChar is a scalar of its own: a UTF-16 code unit whose C spelling differs by platform.
SCALARS = {"int8_t", "uint8_t", "int16_t", "uint16_t", "int32_t", "uint32_t", "int64_t", "uint64_t",
           "bool", "float", "double", "char", "TavikWChar"}
# The parameter after a text or byte buffer that gives its size: length, size, rawSize, ...
SIZE_SUFFIXES = ("length", "size")
TEXT_RESULTS = ("const char*", "const TavikWChar*")


class Interface:
    """functions: [(ordinal, family, name, result type, [(parameter, type)])] in ordinal order;
    structs: {record: [(field, type, element count or 0)]};
    constants: {name: value}; constant_types: {name: declared type};
    enums: {enum type: (underlying type, [(member, value)])}, the header's enum declarations;
    docs: {function: its reference comment, without the comment marks};
    twins: {function: whether its plain name is exported}; arg_bytes: {function: stack bytes of
    its arguments on 32-bit Windows, the N of _Name@N}."""

    def __init__(self):
        self.functions, self.twins, self.arg_bytes, self.docs = [], {}, {}, {}
        self.structs, self.constants, self.constant_types, self.enums = {}, {}, {}, {}


def strip_comments(text):
    return re.sub(r"//[^\n]*", "", text)


def parse_params(text):
    text = " ".join(text.split())
    if text in ("", "void"):
        return []
    params = []
    for p in text.split(","):
        m = re.match(r"^(.*?)\s*(\w+)$", p.strip())
        params.append((m.group(2), m.group(1).replace(" *", "*").replace("Varnholtstad::", "")))
    return params


def resolve(t, aliases, keep=()):
    const = t.startswith("const ")
    t = t[6:] if const else t
    stars = len(t) - len(t.rstrip("*"))
    base = t.rstrip("*")
    while base in aliases and base not in SCALARS and base not in keep:
        base = aliases[base]
    return ("const " if const else "") + base + "*" * stars


def read(table, include_dir, keep=()):
    """The Interface of the export table and the headers under include_dir/tavik2."""
    model = Interface()
    aliases, decls = {"ErrorCode": "int32_t"}, {}
    for path in sorted(glob.glob(os.path.join(include_dir, "tavik2", "*.h"))):
        with open(path, encoding="utf-8") as f:
            text = f.read()
        for doc, name in DOC.findall(text):
            model.docs[name] = "\n".join(line[3:].strip() for line in doc.splitlines())
        text = strip_comments(text)
        for base, name in TYPEDEF.findall(text):
            aliases.setdefault(name, base)
        for name, base, body in ENUM.findall(text):
            aliases[name] = base
            members = [(m.group(1), int(m.group(2))) for m in re.finditer(r"(\w+)\s*=\s*(-?\d+)", body)]
            model.enums[name] = (base, members)
            if name == "ErrorCode":
                model.constants.update(members)
                model.constant_types.update((m, name) for m, _v in members)
        for ctype, name, value in CONSTANT.findall(text):
            model.constants[name] = int(value, 0)
            model.constant_types[name] = ctype
        for name, body in STRUCT.findall(text):
            if "virtual" in body:
                continue
            model.structs[name] = [(f, t, int(n) if n else 0) for t, f, n in FIELD.findall(body)]
        for ret, name, params in DECL.findall(text):
            decls[name] = (ret.strip(), parse_params(params))
    model.aliases = aliases
    for name, fields in model.structs.items():
        model.structs[name] = [(f, resolve(t, aliases, keep), n) for f, t, n in fields]
    with open(table, encoding="utf-8") as f:
        entries = EXPORT.findall(f.read())
    for ordinal, group, name, arg_bytes, twin in entries:
        if name not in decls:
            raise SystemExit(f"{name} is in the export table but declared in no public header")
        ret, params = decls[name]
        resolved = []
        for pname, ptype in params:
            if pname == "handle" and ptype.endswith("*") and ptype.rstrip("*") not in SCALARS:
                resolved.append((pname, "handle"))
            else:
                resolved.append((pname, resolve(ptype, aliases, keep)))
        ret = resolve(ret, aliases, keep)
        if ret.endswith("*") and ret.rstrip("*") not in SCALARS and ret not in TEXT_RESULTS:
            ret = "handle"
        model.functions.append((int(ordinal), group, name, ret, resolved))
        model.twins[name] = twin == "TWIN"
        model.arg_bytes[name] = int(arg_bytes)
    return model


def families(functions):
    """{family: (factory, release, {operation name: (result, params)})} of the families with a
    factory; the message lookups (no factory) are left out."""
    grouped = {}
    for _ordinal, family, name, result, params in functions:
        grouped.setdefault(family, {})[name] = (result, params)
    out = {}
    for family, members in grouped.items():
        factory = next((n for n, (r, ps) in members.items() if r == "handle" and not ps), None)
        if factory is None:
            continue
        prefix = factory[3:] + "_"
        ops = {n: rp for n, rp in members.items() if n.startswith(prefix) and n != prefix + "release"}
        out[family] = (factory, prefix + "release", ops)
    return out


def plan(params, family_functions, structs):
    """How each parameter after the handle travels, one step per parameter:
    ("in", type)            passed as given;
    ("text",)               a char buffer the library fills, sized by the next parameter;
    ("bytes",)              a byte buffer of the caller's size, filled by the library;
    ("data",)               bytes the caller passes in, sized by the next parameter;
    ("buffer", free)        a byte buffer the library allocates (its size follows), released
                            through the family's operation `free` (None if it has none);
    ("record", struct)      a record the library fills;
    ("out", type)           a scalar the library fills;
    ("skip",)               the size that belongs to the step before."""
    steps = []
    # Buffers the library allocated are given back through a parameter of the same name.
    owned = {p for _r, ps in family_functions.values() for p, t in ps if t.endswith("**")}
    i = 1  # parameter 0 is the handle
    while i < len(params):
        name, t = params[i]
        after = params[i + 1] if i + 1 < len(params) else None
        sized = (after is not None and after[0].lower().endswith(SIZE_SUFFIXES)
                 and not after[1].endswith("*"))
        kind = {"char*": "text", "uint8_t*": "bytes", "const uint8_t*": "data"}.get(t) if sized else None
        if kind:
            steps += [(kind,), ("skip",)]
            i += 2
            continue
        if t == "uint8_t**" and after is not None and after[1] == "uint32_t*":
            free = next((f for f, (_r, ps) in family_functions.items()
                         if len(ps) == 2 and ps[1] == (name, "uint8_t*")), None)
            steps += [("buffer", free), ("skip",)]
            i += 2
            continue
        if t.endswith("*") and not t.startswith("const ") and t != "char*" and name not in owned:
            base = t[:-1]
            steps.append(("record", base) if base in structs else ("out", base))
        else:
            steps.append(("in", t))
        i += 1
    return steps
