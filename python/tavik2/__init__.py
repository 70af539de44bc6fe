"""tavik2: the panel computer's hardware from Python, through the library's exported functions.

Every family is a class (``tavik2.About()``, ``tavik2.AuxVersion()``, ...) whose methods carry the
operation names of the C interface. Out-parameters come back as return values (one value, or a tuple
in parameter order); texts are ``str``; records are dicts; a result code other than success raises
``Tavik2Error`` with the code and its message. Objects release their handle on ``close()``, at the end
of a ``with`` block or when collected.

The library is found through TAVIK2_LIBRARY (a path), else the one this package was built or
installed with. The function table is generated from the export table and the public headers.
"""
import ctypes
import os

from . import _functions, _location

_TYPES = {
    "int8_t": ctypes.c_int8, "uint8_t": ctypes.c_uint8, "int16_t": ctypes.c_int16,
    "uint16_t": ctypes.c_uint16, "int32_t": ctypes.c_int32, "uint32_t": ctypes.c_uint32,
    "int64_t": ctypes.c_int64, "uint64_t": ctypes.c_uint64, "bool": ctypes.c_bool,
    "float": ctypes.c_float, "double": ctypes.c_double, "char": ctypes.c_char,
    "TavikWChar": ctypes.c_uint16,
}
_TEXT_START = 256
_TEXT_LIMIT = 1 << 16

globals().update(_functions.CONSTANTS)


class Tavik2Error(Exception):
    """A result code other than success: ``code`` and the library's ``message`` for it."""

    def __init__(self, code, message, function=None):
        super().__init__(f"{function + ': ' if function else ''}{message} ({code})")
        self.code = code
        self.message = message
        self.function = function


def _load():
    path = os.environ.get("TAVIK2_LIBRARY") or _location.library_path()
    return ctypes.CDLL(path)


_lib = _load()


def _struct_type(name, cache={}):
    if name not in cache:
        fields = []
        for field, ftype, count in _functions.STRUCTS[name]:
            ctype = _TYPES[ftype]
            fields.append((field, ctype * count if count else ctype))
        cache[name] = type(name, (ctypes.Structure,), {"_fields_": fields})
    return cache[name]


def _ctype(t):
    if t == "handle":
        return ctypes.c_void_p
    if t in ("const char*", "char*"):
        return ctypes.c_char_p if t.startswith("const") else ctypes.POINTER(ctypes.c_char)
    if t.endswith("**"):
        return ctypes.POINTER(ctypes.POINTER(_TYPES[t[:-2]]))
    if t.endswith("*"):
        base = t[:-1].replace("const ", "")
        target = _struct_type(base) if base in _functions.STRUCTS else _TYPES[base]
        return ctypes.POINTER(target)
    return _TYPES[t]


def _bind(name, result, params):
    fn = getattr(_lib, name, None)
    if fn is None:
        return None
    fn.argtypes = [_ctype(t) for _, t in params]
    fn.restype = None if result == "void" else _ctype(result)
    return fn


def error_text(code):
    """The library's message for a result code."""
    return _lib.GetErrorStringA(code).decode("utf-8", "replace")


def _check(code, function):
    if code != 0:
        raise Tavik2Error(code, error_text(code), function)


def _method(family, name, result, params):
    fn = _bind(name, result, params)
    steps = _functions.PLANS[name]
    n_in = sum(1 for s in steps if s[0] in ("in", "data") or s[0] == "bytes")

    def call(self, *args):
        if len(args) != n_in:
            raise TypeError(f"{name} takes {n_in} argument(s), {len(args)} given")
        inputs = iter(args)
        argv, outs = [self._handle], []
        text_at = None
        for k, step in enumerate(steps):
            kind = step[0]
            if kind == "skip":
                continue
            if kind == "in":
                value = next(inputs)
                if params[k + 1][1] == "const char*":
                    value = None if value is None else os.fsencode(value)
                argv.append(value)
            elif kind == "data":
                data = bytes(next(inputs))
                argv += [ctypes.cast(ctypes.c_char_p(data), ctypes.POINTER(ctypes.c_uint8)), len(data)]
            elif kind == "bytes":
                size = int(next(inputs))
                buf = (ctypes.c_uint8 * size)()
                argv += [buf, size]
                outs.append(("bytes", buf))
            elif kind == "text":
                text_at = len(argv)
                buf = ctypes.create_string_buffer(_TEXT_START)
                argv += [buf, _TEXT_START]
                outs.append(("text", text_at))
            elif kind == "buffer":
                ptr, size = ctypes.POINTER(ctypes.c_uint8)(), ctypes.c_uint32()
                argv += [ctypes.byref(ptr), ctypes.byref(size)]
                outs.append(("buffer", ptr, size, step[1]))
            elif kind == "record":
                rec = _struct_type(step[1])()
                argv.append(ctypes.byref(rec))
                outs.append(("record", rec))
            else:
                cell = _TYPES[step[1]]()
                argv.append(ctypes.byref(cell))
                outs.append(("out", cell))
        while True:
            code = fn(*argv)
            if result == "void":
                code = 0
            # A text that does not fit is asked for again with a larger buffer.
            if code == ERR_BUFFER_SIZE and text_at is not None and argv[text_at + 1] < _TEXT_LIMIT:
                size = argv[text_at + 1] * 4
                argv[text_at], argv[text_at + 1] = ctypes.create_string_buffer(size), size
                continue
            break
        if result != "int32_t":
            return code if result != "void" else None
        _check(code, name)
        values = []
        for out in outs:
            if out[0] == "text":
                values.append(argv[out[1]].value.decode("utf-8", "replace"))
            elif out[0] == "bytes":
                values.append(bytes(out[1]))
            elif out[0] == "buffer":
                _, ptr, size, free = out
                values.append(ctypes.string_at(ptr, size.value) if ptr else b"")
                if ptr and free:
                    getattr(self, free.split("_", 1)[1])(ptr)
            elif out[0] == "record":
                rec = out[1]
                values.append({f: (list(v) if not isinstance(v, (int, float, bool)) else v)
                               for f, v in ((f, getattr(rec, f)) for f, *_ in rec._fields_)})
            else:
                values.append(out[1].value)
        if not values:
            return None
        return values[0] if len(values) == 1 else tuple(values)

    call.__name__ = name.split("_", 1)[1]
    call.__qualname__ = f"{family}.{call.__name__}"
    call.__doc__ = f"{name}({', '.join(p for p, _ in params[1:])})"
    return call


class _Family:
    _factory = None
    _release = None

    def __init__(self):
        if self._factory is None:
            raise Tavik2Error(ERR_NOT_SUPPORTED, error_text(ERR_NOT_SUPPORTED), type(self).__name__)
        self._handle = self._factory()
        if not self._handle:
            raise Tavik2Error(ERR_MEMORY_ALLOCATION, error_text(ERR_MEMORY_ALLOCATION), type(self).__name__)

    def close(self):
        if getattr(self, "_handle", None):
            self._release(self._handle)
            self._handle = None

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def __del__(self):
        try:
            self.close()
        except Exception:
            pass


def _families():
    signatures = {name: (result, params) for _o, _f, name, result, params in _functions.FUNCTIONS}
    built = {}
    for family, (factory, release, operations) in _functions.FAMILIES.items():
        attrs = {"__doc__": f"The {family} family; built: {hasattr(_lib, factory)}."}
        factory_fn = _bind(factory, "handle", [])
        if factory_fn is not None:
            attrs["_factory"] = staticmethod(factory_fn)
            attrs["_release"] = staticmethod(_bind(release, "void", [("handle", "handle")]))
        for name in operations:
            if hasattr(_lib, name):
                attrs[name.split("_", 1)[1]] = _method(family, name, *signatures[name])
        built[family] = type(family, (_Family,), attrs)
    return built


_lib.GetErrorStringA.restype = ctypes.c_char_p
_lib.GetErrorStringA.argtypes = [ctypes.c_int32]
_classes = _families()
globals().update(_classes)
# The families this build of the library provides.
FAMILIES = sorted(k for k, v in _classes.items() if v._factory is not None)


def _lookup(name):
    fn = getattr(_lib, name)
    fn.restype, fn.argtypes = ctypes.c_char_p, [ctypes.c_int32]
    return lambda code: fn(code).decode("utf-8", "replace")


hw_error_status_text = _lookup("GetHwErrorStatusStringA")
startup_reason_text = _lookup("GetStartupReasonStringA")
