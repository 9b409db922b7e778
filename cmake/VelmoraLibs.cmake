# velmora_add_folder_library(NAME DIR DEPS...)
# Every .cpp below src/DIR belongs to the library, except widget code, which
# lives in ui/ subfolders and is built into the application instead.
function(velmora_add_folder_library name dir)
  file(GLOB_RECURSE _srcs CONFIGURE_DEPENDS
       ${PROJECT_SOURCE_DIR}/src/${dir}/*.cpp)
  list(FILTER _srcs EXCLUDE REGEX "/ui/")
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
