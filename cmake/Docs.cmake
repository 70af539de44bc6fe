# HTML reference of the public headers: `cmake --build <dir> --target api_reference` when Doxygen is
# installed (apt-get install doxygen); the pages go to <build>/docs/api/html.
find_package(Doxygen QUIET)
if(DOXYGEN_FOUND)
  set(DOXYGEN_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/docs/api")
  set(DOXYGEN_PROJECT_NAME "Tavik2")
  set(DOXYGEN_EXTRACT_ALL YES)
  set(DOXYGEN_GENERATE_LATEX NO)
  set(DOXYGEN_MACRO_EXPANSION YES)
  set(DOXYGEN_PREDEFINED "TAVIK_API=" "TAVIK_CALL=")
  doxygen_add_docs(api_reference ${CMAKE_SOURCE_DIR}/include/tavik2 COMMENT "HTML reference of the public headers")
endif()
