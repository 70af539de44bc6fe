# Runs the example built against the SDK under wine and checks what it printed.
# Arguments: RUN (wine-run.sh), PREFIX, EXE, VERSION (the library's version).
execute_process(COMMAND "${RUN}" run "${PREFIX}" "${EXE}" RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
message("${out}${err}")
if(rc EQUAL 77)
  message("wine programs are skipped")
  return()
endif()
# The calls reach the DLL through the import library: the library's version comes back.
string(FIND "${out}" "library ${VERSION}\n" at)
if(at EQUAL -1)
  message(FATAL_ERROR "unit_info.exe did not print 'library ${VERSION}' (exit status ${rc})")
endif()
if(rc EQUAL 0)
  foreach(line "supervisor firmware " "unit serial ")
    string(FIND "${out}" "${line}" at)
    if(at EQUAL -1)
      message(FATAL_ERROR "unit_info.exe printed no '${line}'")
    endif()
  endforeach()
elseif(NOT "${out}${err}" MATCHES "supervisor firmware version: [^\n]+ \\(1\\)")
  # Without a unit the only acceptable failure is the driver's absence (ERR_OPEN_FAILED, 1).
  message(FATAL_ERROR "unit_info.exe failed (exit status ${rc}) other than for want of the unit's driver")
endif()
