# The portable build (VT_PORTABLE, used by scripts/package): the command links
# libstdc++, libgcc and simdjson statically and needs nothing but glibc 2.34
# or later. simdjson is compiled from its Debian source package, unpacked by
# scripts/fetch-simdjson; the development build uses the shared library.
set(VT_SIMDJSON_SOURCE "" CACHE PATH
    "The unpacked simdjson source that the portable build compiles (scripts/fetch-simdjson)")
if(NOT EXISTS "${VT_SIMDJSON_SOURCE}/singleheader/simdjson.cpp")
  message(FATAL_ERROR "VT_PORTABLE needs VT_SIMDJSON_SOURCE: the directory that "
                      "scripts/fetch-simdjson prints, holding singleheader/simdjson.cpp")
endif()

# The library as Debian builds it, with the same public definitions.
find_package(Threads REQUIRED)
add_library(vt_simdjson STATIC ${VT_SIMDJSON_SOURCE}/singleheader/simdjson.cpp)
target_include_directories(vt_simdjson SYSTEM PUBLIC ${VT_SIMDJSON_SOURCE}/singleheader)
target_compile_definitions(vt_simdjson PUBLIC SIMDJSON_THREADS_ENABLED=1)
target_link_libraries(vt_simdjson PUBLIC Threads::Threads PRIVATE vt_hardening)
add_library(simdjson::simdjson ALIAS vt_simdjson)

# The static libstdc++ and libgcc of a newer glibc refer to two functions that
# glibc 2.34 lacks; cmake/portable_glibc.cc stands in for them. The link map,
# TARGET.map in the build tree, names every archive member linked in: the
# licence test (tests/package/licences) checks each has a copyright stanza.
function(vt_portable_executable target)
  target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/cmake/portable_glibc.cc)
  target_link_options(${target} PRIVATE -static-libstdc++ -static-libgcc
    LINKER:--wrap=arc4random LINKER:--wrap=_dl_find_object
    LINKER:-Map=$<TARGET_FILE_DIR:${target}>/${target}.map)
endfunction()

# The live view links Debian's ncursesw and its terminfo library statically
# (libncurses-dev). FindCurses, called by live/, keeps what is set here: the
# two archives, in the order the linker needs, and no forms library, which
# the view does not use. The terminfo database stays the system's: the
# library searches the folders compiled into it (/etc/terminfo, /lib/terminfo
# and /usr/share/terminfo) and $TERMINFO, $TERMINFO_DIRS and ~/.terminfo.
find_library(VT_NCURSESW_STATIC NAMES libncursesw.a REQUIRED)
find_library(VT_TINFO_STATIC NAMES libtinfo.a REQUIRED)
set(CURSES_NCURSES_LIBRARY ${VT_NCURSESW_STATIC} CACHE FILEPATH "ncursesw, statically" FORCE)
set(CURSES_EXTRA_LIBRARY ${VT_TINFO_STATIC} CACHE FILEPATH "tinfo, statically" FORCE)
set(CURSES_FORM_LIBRARY "" CACHE FILEPATH "no forms library" FORCE)
