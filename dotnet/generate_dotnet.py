#!/usr/bin/env python3
"""Writes the .NET binding (one C# file) from the export table and the public headers.

The interface is read by python/api_model.py, the reader the Python package's generator uses too;
this file only decides how each C type and parameter step is spelt in C#. A C type or parameter
shape it does not know stops the build, so that no export is ever bound with a guessed marshalling.

usage: generate_dotnet.py EXPORT_TABLE INCLUDE_DIR OUTPUT_CS [OUTPUT_LAYOUT_CPP]
  OUTPUT_LAYOUT_CPP: a C++ program printing the size and field offsets of every record as the C
  compiler lays them out, for the test that compares them with the binding's.
"""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "python"))
import api_model  # noqa: E402

# C scalar -> (C# type, size in bytes).
SCALARS = {
    "int8_t": ("sbyte", 1), "uint8_t": ("byte", 1), "int16_t": ("short", 2), "uint16_t": ("ushort", 2),
    "int32_t": ("int", 4), "uint32_t": ("uint", 4), "int64_t": ("long", 8), "uint64_t": ("ulong", 8),
    "bool": ("bool", 1), "float": ("float", 4), "double": ("double", 8), "char": ("byte", 1),
    "TavikWChar": ("char", 2),
}
ENUM_BASES = {"int8_t": "sbyte", "uint8_t": "byte", "int16_t": "short", "uint16_t": "ushort",
              "int32_t": "int", "uint32_t": "uint"}
BOOL = "[MarshalAs(UnmanagedType.U1)] "
KEYWORDS = set("""abstract as base bool break byte case catch char checked class const continue decimal
default delegate do double else enum event explicit extern false finally fixed float for foreach goto
if implicit in int interface internal is lock long namespace new null object operator out override
params private protected public readonly ref return sbyte sealed short sizeof stackalloc static string
struct switch this throw true try typeof uint ulong unchecked unsafe ushort using virtual void volatile
while""".split())
# Members every family class has already.
RESERVED_MEMBERS = {"Dispose", "Handle", "Enter", "Leave", "Equals", "GetHashCode", "GetType", "ToString"}


def fail(message):
    raise SystemExit(f"generate_dotnet: {message}")


def ident(name):
    return "@" + name if name in KEYWORDS else name


def upper_first(name):
    return name[0].upper() + name[1:]


class Emitter:
    def __init__(self, model, enums, support):
        self.model, self.enums, self.support = model, enums, support
        self.out = []

    def w(self, text=""):
        self.out.append(text)

    def scalar(self, t):
        if t in self.enums:
            return t
        if t not in SCALARS:
            fail(f"no C# spelling for the C type {t}")
        return SCALARS[t][0]

    def size(self, t):
        return SCALARS[self.enums[t][0] if t in self.enums else t][1]

    def doc(self, name):
        """The header's reference comment of the function as the method's summary."""
        text = self.model.docs.get(name, "").replace("\\return", "Results:")
        text = text.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")
        lines = [f"<summary>{name}: "] + text.splitlines()
        lines[0] += lines.pop(1) if len(lines) > 1 else ""
        lines[-1] += "</summary>"
        for line in lines:
            self.w(f"        /// {line}")

    # -- constants and records ------------------------------------------------------------------

    def constants(self):
        for name, (base, members) in sorted(self.enums.items()):
            self.w(f"    /// <summary>Values of the header's {name}.</summary>")
            self.w(f"    public enum {name} : {ENUM_BASES[base]}")
            self.w("    {")
            for member, value in members:
                self.w(f"        {member} = {value},")
            self.w("    }")
            self.w()
        self.w("    /// <summary>The headers' other constants.</summary>")
        self.w("    public static class Constants")
        self.w("    {")
        for name, value in sorted(self.model.constants.items()):
            ctype = self.model.constant_types[name]
            if ctype not in self.enums:
                self.w(f"        public const {self.scalar(ctype)} {name} = {value};")
        self.w("    }")
        self.w()

    def records(self):
        for name, fields in sorted(self.model.structs.items()):
            pack = max(self.size(t) for _f, t, _n in fields)
            unicode = any(t == "TavikWChar" for _f, t, _n in fields)
            charset = ", CharSet = CharSet.Unicode" if unicode else ""
            self.w(f"    /// <summary>The record {name}, laid out as the C compiler does.</summary>")
            self.w(f"    [StructLayout(LayoutKind.Sequential, Pack = {pack}{charset})]")
            self.w(f"    public struct {name}")
            self.w("    {")
            for field, t, count in fields:
                cs = self.scalar(t)
                if count:
                    self.w(f"        [MarshalAs(UnmanagedType.ByValArray, SizeConst = {count})]")
                    self.w(f"        public {cs}[] {ident(field)};")
                else:
                    self.w(f"        {BOOL if t == 'bool' else ''}public {cs} {ident(field)};")
            self.w("    }")
            self.w()

    # -- the exact declarations -----------------------------------------------------------------

    def native_param(self, name, t, step):
        kind = step[0]
        n = ident(name)
        if t == "handle":
            return f"IntPtr {n}"
        if kind == "in":
            if t == "const char*":
                return f"[MarshalAs(UnmanagedType.LPStr)] string {n}"
            if t == "uint8_t*":  # a buffer handed back to the library's free function
                return f"IntPtr {n}"
            if t.endswith("*"):
                fail(f"no C# spelling for the in-parameter {name} ({t})")
            return f"{BOOL if t == 'bool' else ''}{self.scalar(t)} {n}"
        if kind in ("text", "bytes"):
            return f"[Out] byte[] {n}"
        if kind == "data":
            return f"[In] byte[] {n}"
        if kind == "buffer":
            return f"out IntPtr {n}"
        if kind == "record":
            return f"out {t[:-1]} {n}"
        if kind == "out" or (kind == "skip" and t.endswith("*")):
            base = t[:-1]
            return f"{BOOL if base == 'bool' else ''}out {self.scalar(base)} {n}"
        if kind == "skip":
            return f"{self.scalar(t)} {n}"
        fail(f"unknown step {step} for {name}")

    def native(self, plans):
        self.w("    /// <summary>The exact declaration of every exported function (stdcall on 32-bit Windows).</summary>")
        self.w("    public static class Native")
        self.w("    {")
        self.w("        /// <summary>The library's name: Tavik2.dll on Windows; map it to libtavik2.so elsewhere.</summary>")
        self.w('        public const string Library = "Tavik2";')
        self.w()
        for _ordinal, _family, name, result, params in self.model.functions:
            steps = plans.get(name, [("in", t) for _p, t in params])
            if params and params[0][1] == "handle":
                steps = [("in", "handle")] + steps
            args = ", ".join(self.native_param(p, t, s) for (p, t), s in zip(params, steps))
            if result == "ErrorCode":
                ret = "ErrorCode"
            elif result == "handle" or result in api_model.TEXT_RESULTS:
                ret = "IntPtr"  # a handle, or a static text the caller must not free
            elif result == "void":
                ret = "void"
            else:
                fail(f"no C# spelling for the result of {name} ({result})")
            if not self.model.twins[name]:
                self.w(f"        // Exported as _{name}@{self.model.arg_bytes[name]} only: the runtime of 32-bit Windows tries")
                self.w("        // that stdcall name when the plain one is missing; elsewhere the plain name exists.")
            self.w(f'        [DllImport(Library, CallingConvention = CallingConvention.StdCall, EntryPoint = "{name}")]')
            self.w(f"        public static extern {ret} {name}({args});")
        self.w("    }")
        self.w()

    # -- the friendly layer ---------------------------------------------------------------------

    def lookups(self, groups):
        for group, names in sorted(groups.items()):
            self.w(f"    /// <summary>The {group} message lookups: static texts of the library.</summary>")
            self.w(f"    public static class {group}")
            self.w("    {")
            for name, result, params in names:
                args = ", ".join(f"{self.scalar(t)} {ident(p)}" for p, t in params)
                call = ", ".join(ident(p) for p, _t in params)
                conv = "PtrToStringUni" if result == "const TavikWChar*" else "PtrToStringAnsi"
                self.doc(name)
                self.w(f"        public static string {name}({args})")
                self.w("        {")
                self.w(f"            return Marshal.{conv}(Native.{name}({call}));")
                self.w("        }")
            self.w("    }")
            self.w()

    def family(self, family, factory, release, ops, plans):
        self.w(f"    /// <summary>The {family} family: {factory} on construction, {release} once on")
        self.w("    /// Dispose or, failing that, when collected.</summary>")
        self.w(f"    public sealed class {family} : Family")
        self.w("    {")
        self.w(f"        sealed class {family}Handle : SafeHandle")
        self.w("        {")
        self.w(f"            internal {family}Handle(IntPtr value) : base(IntPtr.Zero, true) {{ SetHandle(value); }}")
        self.w("            public override bool IsInvalid { get { return handle == IntPtr.Zero; } }")
        self.w(f"            protected override bool ReleaseHandle() {{ Native.{release}(handle); return true; }}")
        self.w("        }")
        self.w()
        self.w(f'        public {family}() : base(new {family}Handle(Native.{factory}()), "{factory}") {{ }}')
        frees = {s[1] for n in ops for s in plans[n] if s[0] == "buffer"}
        for name, (result, params) in ops.items():
            if name in frees:
                continue  # the binding frees what the library allocated; callers never see the pointer
            if result != "ErrorCode":
                fail(f"{name}: an operation that returns {result}")
            self.w()
            self.operation(name, params, plans[name])
        self.w("    }")
        self.w()

    def operation(self, name, params, steps):
        method = upper_first(name.split("_", 1)[1])
        if method in RESERVED_MEMBERS:
            fail(f"{name} would hide the family member {method}")
        pairs = list(zip(params[1:], steps))
        ins, outs, pre, args, post = [], [], [], ["h_"], []
        texts = []
        for i, ((p, t), step) in enumerate(pairs):
            kind, n = step[0], ident(p)
            if kind == "skip":
                continue
            size = pairs[i + 1][0] if i + 1 < len(pairs) and pairs[i + 1][1][0] == "skip" else None
            if kind == "in":
                if t != "const char*" and t.endswith("*"):
                    fail(f"{name}: the in-parameter {p} ({t}) has no friendly form")
                ins.append(("string" if t == "const char*" else self.scalar(t), n))
                args.append(n)
            elif kind == "data":
                # null passes a null pointer, which the library refuses as any null argument
                ins.append(("byte[]", n))
                args += [n, f"{n} == null ? 0 : ({self.scalar(size[1])}){n}.Length"]
            elif kind == "bytes":
                stype = self.scalar(size[1])
                ins.append((stype, ident(size[0])))
                pre.append(f"            byte[] {p}_ = new byte[{ident(size[0])}];")
                args += [f"{p}_", ident(size[0])]
                outs.append(("byte[]", n, f"{p}_"))
            elif kind == "text":
                stype = self.scalar(size[1])
                texts.append((p, stype))
                args += [f"{p}_", f"{p}Size_"]
                outs.append(("string", n, f"Text({p}_)"))
            elif kind == "buffer":
                if step[1] is None:
                    fail(f"{name}: the library allocates {p} but the family has no function to free it")
                args += [f"out {p}_", f"out {size[0]}_"]
                pre.append(f"            IntPtr {p}_; {self.scalar(size[1][:-1])} {size[0]}_;")
                pre.append(f"            byte[] {p}Copy_ = null;")
                post.append((p, size[0], step[1]))
                outs.append(("byte[]", n, f"{p}Copy_"))
            elif kind in ("record", "out"):
                cs = t[:-1] if kind == "record" else self.scalar(t[:-1])
                pre.append(f"            {cs} {p}_;")
                args.append(f"out {p}_")
                outs.append((cs, n, f"{p}_"))
            else:
                fail(f"{name}: unknown step {step}")
        if len(outs) == 1:
            ret, sig = outs[0][0], [f"{t} {n}" for t, n in ins]
        else:
            ret, sig = "void", [f"{t} {n}" for t, n in ins] + [f"out {t} {n}" for t, n, _v in outs]
        call = f"Native.{name}({', '.join(args)})"
        self.doc(name)
        self.w(f"        public {ret} {method}({', '.join(sig)})")
        self.w("        {")
        for line in pre:
            self.w(line)
        self.w("            ErrorCode rc_;")
        body = "            "
        if texts:
            for p, stype in texts:
                self.w(f"            {stype} {p}Size_ = TextStart;")
                self.w(f"            byte[] {p}_;")
            self.w("            while (true)")
            self.w("            {")
            for p, stype in texts:
                # One byte more than the library is told, so the text always ends in a zero.
                self.w(f"                {p}_ = new byte[{p}Size_ + 1];")
            body = "                "
        self.w(f"{body}IntPtr h_ = Enter();")
        if not post:
            self.w(f"{body}try {{ rc_ = {call}; }}")
        else:
            self.w(f"{body}try")
            self.w(f"{body}{{")
            self.w(f"{body}    rc_ = {call};")
            for p, size, free in post:
                # The copy is made and the library's buffer freed while the handle is still held.
                self.w(f"{body}    if (rc_ == ErrorCode.ERR_SUCCESS && {p}_ != IntPtr.Zero)")
                self.w(f"{body}    {{")
                self.w(f"{body}        try {{ {p}Copy_ = Copy({p}_, {size}_); }}")
                self.w(f"{body}        finally {{ Native.{free}(h_, {p}_); }}")
                self.w(f"{body}    }}")
            self.w(f"{body}}}")
        self.w(f"{body}finally {{ Leave(); }}")
        if texts:
            cond = " || ".join(f"{p}Size_ >= TextLimit" for p, _s in texts)
            self.w(f"                if (rc_ != ErrorCode.ERR_BUFFER_SIZE || {cond}) break;")
            for p, _s in texts:
                self.w(f"                {p}Size_ *= 4;")
            self.w("            }")
        self.w(f'            Check(rc_, "{name}");')
        for p, _s, _f in post:
            self.w(f"            if ({p}Copy_ == null) {p}Copy_ = new byte[0];")
        if len(outs) == 1:
            self.w(f"            return {outs[0][2]};")
        else:
            for _t, n, value in outs:
                self.w(f"            {n} = {value};")
        self.w("        }")

    def emit(self):
        fams = api_model.families(self.model.functions)
        plans = {}
        for _f, _r, ops in fams.values():
            for name, (_res, params) in ops.items():
                plans[name] = api_model.plan(params, ops, self.model.structs)
        in_family = {n for _f, release, ops in fams.values() for n in ops} | \
                    {f for f, _r, _o in fams.values()} | {r for _f, r, _o in fams.values()}
        groups = {}
        for _o, group, name, result, params in self.model.functions:
            if name not in in_family:
                groups.setdefault(group, []).append((name, result, params))
        self.w("// Generated at build time from the export table and the public headers; do not edit.")
        self.w("// Tavik2.Native: the exact declaration of every exported function. The rest of namespace")
        self.w("// Tavik2: one IDisposable class per family, results checked, texts and buffers converted.")
        self.w()
        self.w(self.support.rstrip("\n"))
        self.w()
        self.w("namespace Tavik2")
        self.w("{")
        self.constants()
        self.records()
        self.native(plans)
        self.lookups(groups)
        for family, (factory, release, ops) in fams.items():
            self.family(family, factory, release, ops, plans)
        self.w("}")
        return "\n".join(self.out) + "\n"


def layout_program(model):
    lines = ["// Generated from the public headers: size and field offsets of every record, one per line.",
             "#include <cstddef>", "#include <cstdio>", "", "#include <tavik2/tavik2.h>", "",
             "int main() {"]
    for name, fields in sorted(model.structs.items()):
        lines.append(f'    std::printf("{name} %zu\\n", sizeof(Tavik2{name}));')
        for field, _t, _n in fields:
            lines.append(f'    std::printf("{name}.{field} %zu\\n", offsetof(Tavik2{name}, {field}));')
    lines += ["    return 0;", "}"]
    return "\n".join(lines) + "\n"


def enum_types(model):
    """The header enumerations and the integer typedefs that name a group of constants."""
    enums = dict(model.enums)
    for name, ctype in model.constant_types.items():
        if ctype not in SCALARS and ctype not in model.enums:
            base = api_model.resolve(ctype, model.aliases)
            enums.setdefault(ctype, (base, []))[1].append((name, model.constants[name]))
    return enums


def main():
    table, include_dir, output = sys.argv[1:4]
    enums = enum_types(api_model.read(table, include_dir))
    model = api_model.read(table, include_dir, keep=set(enums))
    with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "Support.cs"), encoding="utf-8") as f:
        support = f.read()
    text = Emitter(model, enums, support).emit()
    with open(output, "w", encoding="utf-8") as f:
        f.write(text)
    if len(sys.argv) > 4:
        with open(sys.argv[4], "w", encoding="utf-8") as f:
            f.write(layout_program(model))


if __name__ == "__main__":
    main()
