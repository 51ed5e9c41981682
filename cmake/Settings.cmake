# Compiler settings shared by the product and its tests, not by third-party code.
add_library(vt_settings INTERFACE)
target_compile_options(vt_settings INTERFACE -Wall -Wextra)
# g++ 12 at -O3 reports overlapping copies inside std::string's operator+
# that cannot happen (a false positive of its restrict analysis).
target_compile_options(vt_settings INTERFACE -Wno-restrict)
target_include_directories(vt_settings INTERFACE ${PROJECT_SOURCE_DIR})
if(VT_WERROR)
  target_compile_options(vt_settings INTERFACE -Werror)
endif()
if(CMAKE_BUILD_TYPE STREQUAL "Debug")
  target_compile_definitions(vt_settings INTERFACE _GLIBCXX_ASSERTIONS)
endif()
if(VT_SANITIZE)
  target_compile_options(vt_settings INTERFACE
    -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
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
