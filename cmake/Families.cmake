# Each subsystem registers its sources and the export groups it builds. The export table lists
# every function of the interface; only the groups registered here are exported by the library.

define_property(GLOBAL PROPERTY TAVIK_CORE_SOURCES BRIEF_DOCS "system sources" FULL_DOCS "portable system sources")
define_property(GLOBAL PROPERTY TAVIK_BUILT_GROUPS BRIEF_DOCS "export groups" FULL_DOCS "export groups built so far")

# tavik_sources(file...): portable system sources of the library.
function(tavik_sources)
  foreach(f IN LISTS ARGN)
    get_filename_component(abs "${f}" ABSOLUTE)
    set_property(GLOBAL APPEND PROPERTY TAVIK_CORE_SOURCES "${abs}")
  endforeach()
endfunction()

# tavik_family(group...): export groups (families) whose functions the library now defines.
function(tavik_family)
  set_property(GLOBAL APPEND PROPERTY TAVIK_BUILT_GROUPS ${ARGN})
endfunction()
