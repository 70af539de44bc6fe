# Fails when a file of the system code includes an operating-system header.
file(GLOB_RECURSE files
  ${ROOT}/src/frame/* ${ROOT}/src/lighting/* ${ROOT}/src/power/* ${ROOT}/src/signals/*
  ${ROOT}/src/identity/* ${ROOT}/src/firmware/* ${ROOT}/src/video/* ${ROOT}/include/*)
set(bad "")
foreach(f IN LISTS files)
  if(f MATCHES "\\.(h|hpp|cpp|inc)$")
    file(STRINGS "${f}" hits REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"](windows|winbase|winioctl|winsvc|shlobj|unistd|pthread|semaphore|fcntl|dlfcn|sys/[a-z_]+)\\.h[>\"]")
    if(hits)
      list(APPEND bad "${f}: ${hits}")
    endif()
  endif()
endforeach()
if(bad)
  string(REPLACE ";" "\n" bad "${bad}")
  message(FATAL_ERROR "OS headers in the system code:\n${bad}")
endif()
message(STATUS "system code is free of OS headers (${CMAKE_MATCH_COUNT} checked)")
