// The build fails when a declaration's argument bytes disagree with the export table.
#include "frame/abi_check.h"
#include "tavik2/tavik2.h"

#define TAVIK_EXPORT(ordinal, group, name, bytes, twin) TAVIK_ABI_ASSERT_ARG_BYTES(name, bytes);
#include "frame/export_table.inc"
#undef TAVIK_EXPORT
