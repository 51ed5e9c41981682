# Hardening, as Debian builds its packages (dpkg-buildflags with
# hardening=+all): position-independent executables, read-only relocations
# bound at start, stack protection, checked libc calls and control-flow
# protection. Shared by the product, its tests and the static simdjson of the
# portable build. The checked libc calls need optimisation, and are left to
# the sanitizers where those run.
set(CMAKE_POSITION_INDEPENDENT_CODE ON)
include(CheckPIESupported)
check_pie_supported()
add_library(vt_hardening INTERFACE)
target_compile_options(vt_hardening INTERFACE -fstack-protector-strong -fstack-clash-protection
  -fcf-protection -Wformat -Werror=format-security)
if(NOT VT_SANITIZE AND NOT VT_FUZZ)
  target_compile_definitions(vt_hardening INTERFACE $<$<NOT:$<CONFIG:Debug>>:_FORTIFY_SOURCE=2>)
endif()
target_link_options(vt_hardening INTERFACE LINKER:-z,relro LINKER:-z,now)

# Compiler settings shared by the product and its tests, not by third-party code.
add_library(vt_settings INTERFACE)
target_link_libraries(vt_settings INTERFACE vt_hardening)
target_compile_options(vt_settings INTERFACE -Wall -Wextra)
target_include_directories(vt_settings INTERFACE ${PROJECT_SOURCE_DIR})
if(VT_WERROR)
  target_compile_options(vt_settings INTERFACE -Werror)
endif()
if(CMAKE_BUILD_TYPE STREQUAL "Debug")
  target_compile_definitions(vt_settings INTERFACE _GLIBCXX_ASSERTIONS)
endif()
if(VT_SANITIZE)
  # -Og keeps the instrumented build quick to compile (a third less than -O1,
  # and less than -O0, which leaves more code to instrument) and its reports
  # exact; the library's own checks catch what the sanitizers cannot see.
  # Reports need only line tables (-g1), a third cheaper to build than -g.
  target_compile_options(vt_settings INTERFACE -Og -g1
    -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_compile_definitions(vt_settings INTERFACE _GLIBCXX_ASSERTIONS)
  target_link_options(vt_settings INTERFACE -fsanitize=address,undefined)
endif()

# One static library per folder: every .cc file of the folder belongs to it.
function(vt_library name)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cc)
  if(sources)
    vt_batched(sources ${name} ${sources})
    add_library(${name} STATIC ${sources})
    target_link_libraries(${name} PUBLIC vt_settings ${ARGN})
  else()
    add_library(${name} INTERFACE)
    target_link_libraries(${name} INTERFACE vt_settings ${ARGN})
  endif()
endfunction()
