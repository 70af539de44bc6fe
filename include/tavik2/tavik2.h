/// \file
/// The complete public interface of Tavik2.dll / libtavik2.so: every interface family and the
/// message lookups. Include this header from C (C99 or later) or C++ (C++11 or later).
///
/// \mainpage Tavik2 reference
///
/// Each family is obtained from its factory GetFamily(), used through Family_operation(handle, ...)
/// and given back with Family_release(handle). Handles are opaque (see defs.h for the C and C++
/// spellings of the types). Nothing is thrown across the interface.
///
/// Conventions that hold for every operation unless its own comment says otherwise:
/// - It returns an ErrorCode. A null, released or foreign handle gives ERR_INVALID_PARAMETER; an
///   allocation failure inside gives ERR_MEMORY_ALLOCATION and any other unexpected internal failure
///   ERR_COMMAND_FAILED.
/// - Out-parameters are written only on success; on failure they are left untouched.
/// - A null out-pointer or text argument gives ERR_INVALID_PARAMETER, except where the comment says
///   the pointer is not checked (then it must not be null).
/// - "Driver codes" are the outcomes of a request to the auxiliary driver: ERR_OPEN_FAILED (the
///   driver could not be opened), ERR_IOCTRL_FAILED (the request failed) and ERR_BUFFER_SIZE (the
///   reply had an unexpected size).
/// - "Text out": a zero-terminated text is copied into buffer; length is the buffer size in bytes,
///   terminating zero included. Too small: ERR_BUFFER_SIZE; null buffer: ERR_INVALID_PARAMETER.
/// - Factories return null when the object could not be allocated. A release of a null, released or
///   foreign handle does nothing.
#pragma once

#include "defs.h"
#include "error_code.h"
#include "messages.h"

#include "about.h"
#include "adc.h"
#include "aux_version.h"
#include "backlight.h"
#include "battery.h"
#include "buzzer.h"
#include "can_setting.h"
#include "config.h"
#include "diagnostic.h"
#include "dig_io.h"
#include "firmware_upgrade.h"
#include "front_led.h"
#include "lightsensor.h"
#include "power.h"
#include "power_mgr.h"
#include "smart.h"
#include "tavik_private.h"
#include "telematics.h"
#include "touch_screen.h"
#include "touch_screen_calib.h"
#include "video.h"
