# The Windows SDK of the win32 build (target `sdk`, part of the default build):
#
#   build/win32/sdk/bin/Tavik2.dll
#   build/win32/sdk/include/tavik2/*.h
#   build/win32/sdk/lib/libTavik2.dll.a   MinGW import library (i686-w64-mingw32-dlltool)
#   build/win32/sdk/lib/Tavik2.lib        MSVC import library (lld-link)
#   build/win32/sdk/dotnet/Tavik2.cs      the .NET binding (generated, dotnet/CMakeLists.txt)
#   build/win32/sdk/dotnet/Tavik2.Net.csproj  its project: .NET Framework 4.8 and .NET 8, x86
#   build/win32/Tavik2-sdk-<version>.zip  the same folder as an archive
#
# Both import libraries come from the export table. The DLL exports each function as "_Name@N"
# (and most also as "Name"); a caller's compiler refers to a stdcall function as "_Name@N", so each
# library maps that symbol to the DLL's "_Name@N" export, imported by name.

find_program(TAVIK_DLLTOOL NAMES i686-w64-mingw32-dlltool REQUIRED)
# llvm-dlltool (LLVM 14) cannot keep the leading underscore of an i386 import name; lld-link's
# import-library mode, given the name in MSVC's .def form, does.
find_program(TAVIK_LLD_LINK NAMES lld-link lld-link-14 REQUIRED)

set(TAVIK_SDK_DIR "${CMAKE_BINARY_DIR}/sdk")
set(TAVIK_SDK_ZIP "${CMAKE_BINARY_DIR}/Tavik2-sdk-${PROJECT_VERSION}.zip")

# .def files of the import libraries, one line per built export:
#   MinGW (dlltool adds the leading underscore of the symbol):  Name@N @ordinal == _Name@N
#   MSVC  (the name given is symbol and import name at once):   _Name@N @ordinal
tavik_read_exports("${TAVIK_BUILT_GROUPS}" sdk_rows)
set(mingw_def "LIBRARY Tavik2.dll\nEXPORTS\n")
set(msvc_def "LIBRARY Tavik2.dll\nEXPORTS\n")
foreach(row IN LISTS sdk_rows)
  string(REPLACE "|" ";" f "${row}")
  list(GET f 0 ord)
  list(GET f 2 name)
  list(GET f 3 bytes)
  string(APPEND mingw_def "    ${name}@${bytes} @${ord} == _${name}@${bytes}\n")
  string(APPEND msvc_def "    _${name}@${bytes} @${ord}\n")
endforeach()
set(mingw_def_file "${CMAKE_BINARY_DIR}/generated/Tavik2-mingw-import.def")
set(msvc_def_file "${CMAKE_BINARY_DIR}/generated/Tavik2-msvc-import.def")
file(CONFIGURE OUTPUT "${mingw_def_file}" CONTENT "${mingw_def}" @ONLY)
file(CONFIGURE OUTPUT "${msvc_def_file}" CONTENT "${msvc_def}" @ONLY)

file(GLOB sdk_headers CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/include/tavik2/*.h")
set(sdk_dll "${TAVIK_SDK_DIR}/bin/Tavik2.dll")
set(sdk_mingw_lib "${TAVIK_SDK_DIR}/lib/libTavik2.dll.a")
set(sdk_msvc_lib "${TAVIK_SDK_DIR}/lib/Tavik2.lib")

add_custom_command(OUTPUT "${sdk_mingw_lib}"
  COMMAND ${CMAKE_COMMAND} -E make_directory "${TAVIK_SDK_DIR}/lib"
  COMMAND ${TAVIK_DLLTOOL} -m i386 -d "${mingw_def_file}" -D Tavik2.dll -l "${sdk_mingw_lib}"
  DEPENDS "${mingw_def_file}" VERBATIM
  COMMENT "MinGW import library libTavik2.dll.a")
add_custom_command(OUTPUT "${sdk_msvc_lib}"
  COMMAND ${CMAKE_COMMAND} -E make_directory "${TAVIK_SDK_DIR}/lib"
  COMMAND ${TAVIK_LLD_LINK} /machine:x86 "/def:${msvc_def_file}" "/out:${sdk_msvc_lib}"
  DEPENDS "${msvc_def_file}" VERBATIM
  COMMENT "MSVC import library Tavik2.lib")
add_custom_command(OUTPUT "${sdk_dll}" "${TAVIK_SDK_DIR}/include/tavik2/tavik2.h"
  COMMAND ${CMAKE_COMMAND} -E rm -rf "${TAVIK_SDK_DIR}/include"
  COMMAND ${CMAKE_COMMAND} -E make_directory "${TAVIK_SDK_DIR}/bin" "${TAVIK_SDK_DIR}/include/tavik2"
  COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:tavik2> "${sdk_dll}"
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${sdk_headers} "${TAVIK_SDK_DIR}/include/tavik2/"
  DEPENDS tavik2 $<TARGET_FILE:tavik2> ${sdk_headers} VERBATIM
  COMMENT "SDK folder: Tavik2.dll and the public headers")
set(sdk_dotnet "${TAVIK_SDK_DIR}/dotnet/Tavik2.cs" "${TAVIK_SDK_DIR}/dotnet/Tavik2.Net.csproj")
add_custom_command(OUTPUT ${sdk_dotnet}
  COMMAND ${CMAKE_COMMAND} -E make_directory "${TAVIK_SDK_DIR}/dotnet"
  COMMAND ${CMAKE_COMMAND} -E copy_if_different "${TAVIK_DOTNET_SOURCE}"
    "${CMAKE_SOURCE_DIR}/dotnet/Tavik2.Net.csproj" "${TAVIK_SDK_DIR}/dotnet/"
  DEPENDS tavik2_dotnet "${TAVIK_DOTNET_SOURCE}" "${CMAKE_SOURCE_DIR}/dotnet/Tavik2.Net.csproj" VERBATIM
  COMMENT "SDK folder: the .NET binding")
add_custom_command(OUTPUT "${TAVIK_SDK_ZIP}"
  COMMAND ${CMAKE_COMMAND} -E tar cf "${TAVIK_SDK_ZIP}" --format=zip bin include lib dotnet
  WORKING_DIRECTORY "${TAVIK_SDK_DIR}"
  DEPENDS "${sdk_dll}" "${sdk_mingw_lib}" "${sdk_msvc_lib}" ${sdk_dotnet} VERBATIM
  COMMENT "SDK archive Tavik2-sdk-${PROJECT_VERSION}.zip")
add_custom_target(sdk ALL DEPENDS "${sdk_dll}" "${sdk_mingw_lib}" "${sdk_msvc_lib}" ${sdk_dotnet} "${TAVIK_SDK_ZIP}")
