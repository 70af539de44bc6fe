# Installs the build into a fresh prefix, then builds the example application against the installed
# package twice -- with find_package(Tavik2) and with pkg-config -- as C++ and as C, and runs all four
# on a fresh unit.
# Also checks that the installed tavikctl and Python package use the installed library, and builds the
# C# example with the installed .NET binding and runs it under Mono against the installed library.
# Arguments: BUILD_DIR, SOURCE_DIR, WORK_DIR, CXX, CC, LIBDIR, PYTHON, PYTHON_DIR, MCS, MONO.
file(REMOVE_RECURSE "${WORK_DIR}")
set(prefix "${WORK_DIR}/prefix")

function(run what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${what} failed (${rc}):\n${out}\n${err}")
  endif()
  set(last_output "${out}" PARENT_SCOPE)
endfunction()

run("install" ${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${prefix}")
foreach(f include/tavik2/tavik2.h bin/tavikctl share/tavik/profiles/default.json share/tavik/dotnet/Tavik2.cs
          ${LIBDIR}/cmake/Tavik2/Tavik2Config.cmake ${LIBDIR}/pkgconfig/tavik2.pc)
  if(NOT EXISTS "${prefix}/${f}")
    message(FATAL_ERROR "not installed: ${f}")
  endif()
endforeach()
# Installed files must not point back into the source or build tree.
file(GLOB_RECURSE package_files "${prefix}/${LIBDIR}/cmake/*" "${prefix}/${LIBDIR}/pkgconfig/*")
foreach(f IN LISTS package_files)
  file(READ "${f}" text)
  foreach(tree "${SOURCE_DIR}" "${BUILD_DIR}")
    string(FIND "${text}" "${tree}" at)
    if(NOT at EQUAL -1)
      message(FATAL_ERROR "${f} refers to ${tree}")
    endif()
  endforeach()
endforeach()

# The example runs against a fresh simulated unit of its own, from outside the build tree.
set(ENV{TAVIK_HOME} "${WORK_DIR}/home")
set(ENV{TAVIK_TIME_SCALE} 1000)

# check_example(<command>...): runs the example and checks its lines.
function(check_example)
  run("${ARGV}" ${ARGV})
  foreach(line "library " "supervisor firmware " "unit serial ")
    string(FIND "${last_output}" "${line}" at)
    if(at EQUAL -1)
      message(FATAL_ERROR "${exe} printed no '${line}':\n${last_output}")
    endif()
  endforeach()
endfunction()

# find_package(Tavik2)
run("configure example" ${CMAKE_COMMAND} -S "${SOURCE_DIR}/examples/unit_info" -B "${WORK_DIR}/cmake-build"
  -G Ninja -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_CXX_COMPILER=${CXX} -DCMAKE_C_COMPILER=${CC}
  -DCMAKE_BUILD_RPATH=${prefix}/${LIBDIR})
run("build example" ${CMAKE_COMMAND} --build "${WORK_DIR}/cmake-build")
check_example("${WORK_DIR}/cmake-build/unit_info")
check_example("${WORK_DIR}/cmake-build/unit_info_c")

# pkg-config
find_program(PKG_CONFIG pkg-config REQUIRED)
set(ENV{PKG_CONFIG_PATH} "${prefix}/${LIBDIR}/pkgconfig")
run("pkg-config" ${PKG_CONFIG} --cflags --libs tavik2)
string(STRIP "${last_output}" flags)
separate_arguments(flags UNIX_COMMAND "${flags}")
run("pkg-config build" ${CXX} -std=c++11 "${SOURCE_DIR}/examples/unit_info/unit_info.cpp" ${flags}
  "-Wl,-rpath,${prefix}/${LIBDIR}" -o "${WORK_DIR}/unit_info_pc")
check_example("${WORK_DIR}/unit_info_pc")
run("pkg-config C build" ${CC} -std=c99 -pedantic -Wall -Wextra -Werror "${SOURCE_DIR}/examples/unit_info/unit_info.c"
  ${flags} "-Wl,-rpath,${prefix}/${LIBDIR}" -o "${WORK_DIR}/unit_info_c_pc")
check_example("${WORK_DIR}/unit_info_c_pc")

# C#: the installed binding, the library name mapped to the installed library (with Mono only).
if(EXISTS "${prefix}/share/tavik/dotnet/Tavik2.cs" AND MCS AND MONO)
  run("C# build" ${MCS} -nologo -warnaserror+ "-out:${WORK_DIR}/unit_info_cs.exe"
    "${SOURCE_DIR}/examples/unit_info/unit_info.cs" "${prefix}/share/tavik/dotnet/Tavik2.cs")
  file(WRITE "${WORK_DIR}/unit_info_cs.exe.config"
    "<configuration><dllmap dll=\"Tavik2\" target=\"${prefix}/${LIBDIR}/libtavik2.so.2\" /></configuration>\n")
  check_example(${MONO} "${WORK_DIR}/unit_info_cs.exe")
elseif(NOT EXISTS "${prefix}/share/tavik/dotnet/Tavik2.cs")
  message(FATAL_ERROR "the .NET binding was not installed")
endif()

# The installed tavikctl finds its library.
run("installed tavikctl" "${prefix}/bin/tavikctl" versions)

# The installed Python package loads the installed library.
set(ENV{PYTHONPATH} "${prefix}/${PYTHON_DIR}")
unset(ENV{TAVIK2_LIBRARY})
run("installed Python package" ${PYTHON} -c
  "import os, tavik2\nassert tavik2.AuxVersion().getSSVersion() == (1, 3, 0, 0)\nprint(os.path.realpath(tavik2._lib._name))")
get_filename_component(expected "${prefix}/${LIBDIR}" REALPATH)
string(FIND "${last_output}" "${expected}/" at)
if(NOT at EQUAL 0)
  message(FATAL_ERROR "the installed Python package loaded ${last_output}")
endif()
