# HTML reference of the public headers: `cmake --build <dir> --target api_reference` when Doxygen is
# installed (scripts/install-deps.sh installs it); the pages go to <build>/docs/api/html. The reference
# shows the C spelling of the headers. Every exported function must be documented: an undocumented
# one, or a comment that does not match its declaration, fails the build of the reference (and the
# test api_reference_complete).
find_package(Doxygen QUIET)
if(DOXYGEN_FOUND)
  set(DOXYGEN_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/docs/api")
  set(DOXYGEN_PROJECT_NAME "Tavik2")
  set(DOXYGEN_PROJECT_NUMBER "${PROJECT_VERSION}")
  set(DOXYGEN_EXTRACT_ALL NO)
  set(DOXYGEN_QUIET YES)
  set(DOXYGEN_WARN_IF_UNDOCUMENTED YES)
  set(DOXYGEN_WARN_IF_DOC_ERROR YES)
  set(DOXYGEN_WARN_AS_ERROR FAIL_ON_WARNINGS)
  set(DOXYGEN_OPTIMIZE_OUTPUT_FOR_C YES)
  set(DOXYGEN_TYPEDEF_HIDES_STRUCT YES)
  set(DOXYGEN_GENERATE_LATEX NO)
  set(DOXYGEN_FULL_PATH_NAMES NO)
  set(DOXYGEN_MACRO_EXPANSION YES)
  set(DOXYGEN_EXPAND_ONLY_PREDEF YES)
  set(DOXYGEN_PREDEFINED "TAVIK_API=" "TAVIK_CALL=" "TAVIK_LAYOUT_CHECK(cond,name)=")
  # Linkage and layout-check helpers of defs.h are not part of the reference.
  set(DOXYGEN_EXCLUDE_SYMBOLS "TAVIK_API" "TAVIK_CALL" "TAVIK_EXTERN_C" "TAVIK_LAYOUT_CHECK")
  file(MAKE_DIRECTORY "${DOXYGEN_OUTPUT_DIRECTORY}") # doxygen creates only the last level
  doxygen_add_docs(api_reference ${CMAKE_SOURCE_DIR}/include/tavik2 COMMENT "HTML reference of the public headers")
  if(TAVIK_BUILD_TESTS)
    add_test(NAME api_reference_complete
      COMMAND ${DOXYGEN_EXECUTABLE} ${CMAKE_CURRENT_BINARY_DIR}/Doxyfile.api_reference
      WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}/include/tavik2)
    set_tests_properties(api_reference_complete PROPERTIES TIMEOUT 120)
  endif()
endif()
