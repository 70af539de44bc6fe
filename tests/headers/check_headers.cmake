# Compiles one translation unit per public header, and one with tavik2/tavik2.h that uses the types of
# both languages' spelling, as C99 and as C++11 with -pedantic -Wall -Wextra -Werror.
# Arguments: INCLUDE_DIR, WORK_DIR, CC, CXX.
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
file(GLOB headers RELATIVE "${INCLUDE_DIR}" "${INCLUDE_DIR}/tavik2/*.h")

set(units)
foreach(h IN LISTS headers)
  string(MAKE_C_IDENTIFIER "${h}" name)
  file(WRITE "${WORK_DIR}/${name}.c" "#include <${h}>\n")
  list(APPEND units "${WORK_DIR}/${name}.c")
endforeach()

# Handles, records and constants spelled one way for both languages; the records' layout is what
# the library writes.
file(WRITE "${WORK_DIR}/use_all.c" [=[
#include <tavik2/tavik2.h>
#include <stddef.h>

typedef char check_status_size[sizeof(Tavik2UpgradeStatus) == 12 ? 1 : -1];
typedef char check_status_result[offsetof(Tavik2UpgradeStatus, result) == 8 ? 1 : -1];
typedef char check_timer_size[sizeof(Tavik2BatteryTimer) == 36 ? 1 : -1];
typedef char check_times_size[sizeof(Tavik2DiagnosticTimes) == 28 ? 1 : -1];
typedef char check_header_size[sizeof(Tavik2RawFrameHeader) == 256 ? 1 : -1];
typedef char check_error_size[sizeof(ErrorCode) == 4 ? 1 : -1];
typedef char check_bool_size[sizeof(bool) == 1 ? 1 : -1];

int use_all(void);
int use_all(void) {
    Tavik2FirmwareUpgrade* upgrade = GetFirmwareUpgrade();
    Tavik2UpgradeStatus status;
    bool present = false;
    Tavik2Battery* battery = GetBattery();
    ErrorCode rc = FirmwareUpgrade_getUpgradeStatus(upgrade, &status, false);
    if (rc == ERR_SUCCESS && status.action == UPGRADE_DONE) rc = Battery_isBatteryPresent(battery, &present);
    Battery_release(battery);
    FirmwareUpgrade_release(upgrade);
    return rc == ERR_CODE_COUNT || RAW_FRAME_BUFFER_SIZE < RAW_FIELD_BUFFER_SIZE || GetErrorStringW(0) == 0;
}
]=])
list(APPEND units "${WORK_DIR}/use_all.c")

set(strict -pedantic -Wall -Wextra -Werror -fsyntax-only "-I${INCLUDE_DIR}")
foreach(language c99 c++11)
  if(language STREQUAL "c99")
    set(command "${CC}" -std=c99 -x c ${strict})
  else()
    set(command "${CXX}" -std=c++11 -x c++ ${strict})
  endif()
  execute_process(COMMAND ${command} ${units} WORKING_DIRECTORY "${WORK_DIR}"
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "the public headers do not compile as ${language}:\n${out}\n${err}")
  endif()
  message(STATUS "${language}: every public header compiles")
endforeach()
