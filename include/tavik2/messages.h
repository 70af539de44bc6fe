/// \file
/// Texts for result codes, hardware error codes and start-up reason codes. No handle, no hardware
/// access, no state; safe from any thread at any time. Every text is static: never free or modify it.
/// None of these functions fails or returns null.
#pragma once

#include "defs.h"

/// Message of a result code 0..ERR_CODE_COUNT-1 (see error_code.h), narrow; any other code gives
/// "Unknown error code".
TAVIK_API const char* TAVIK_CALL GetErrorStringA(int32_t code);
/// Same text as GetErrorStringA, UTF-16.
TAVIK_API const TavikWChar* TAVIK_CALL GetErrorStringW(int32_t code);

/// Text of a hardware error code from Diagnostic_getHwErrorStatus; only the low 16 bits count,
/// codes from 132 on give "Unknown error code". Exported under its decorated name only.
TAVIK_API const char* TAVIK_CALL GetHwErrorStatusStringA(int32_t code);
/// Same text as GetHwErrorStatusStringA, UTF-16. Exported under its decorated name only.
TAVIK_API const TavikWChar* TAVIK_CALL GetHwErrorStatusStringW(int32_t code);

/// Text of a start-up reason code from Diagnostic_getStartupReason; only the low 16 bits count,
/// unknown codes give "Unknown". Exported under its decorated name only.
TAVIK_API const char* TAVIK_CALL GetStartupReasonStringA(int32_t code);
/// Same text as GetStartupReasonStringA, UTF-16. Exported under its decorated name only.
TAVIK_API const TavikWChar* TAVIK_CALL GetStartupReasonStringW(int32_t code);
