// The complete public interface of Tavik2.dll: every interface family and the message lookups.
//
// Each family is obtained from its factory GetFamily(), used through Family_operation(handle, ...)
// and given back with Family_release(handle). Handles are opaque; every operation returns an
// ErrorCode, rejects a null handle with ERR_INVALID_PARAMETER (9) and writes its out-parameters
// only on success. Nothing is thrown across the interface.
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
