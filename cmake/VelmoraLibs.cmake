# velmora_add_folder_library(NAME DIR DEPS...)
# Every .cpp below src/DIR belongs to the library, except widget code, which
# lives in ui/ subfolders and is built into the application instead.
function(velmora_add_folder_library name dir)
  set(_root ${PROJECT_SOURCE_DIR}/src/${dir})
  # Matched below the folder only: a checkout inside some other "ui" folder
  # must not lose its core sources.
  file(GLOB_RECURSE _rel RELATIVE ${_root} CONFIGURE_DEPENDS ${_root}/*.cpp)
  list(FILTER _rel EXCLUDE REGEX "(^|/)ui/")
  list(TRANSFORM _rel PREPEND ${_root}/ OUTPUT_VARIABLE _srcs)
  if(_srcs)
    add_library(${name} STATIC ${_srcs})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_compile_options(${name} PRIVATE ${VELMORA_WARNINGS})
    target_link_libraries(${name} PUBLIC ${ARGN})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} INTERFACE ${ARGN})
  endif()
endfunction()
