# A compiler cache, where Debian's ccache is installed (VT_CCACHE, on by
# default): one cache for every build tree and clone on the machine, under
# /var/cache/vorlane-top/ like the systemd test's root. A new machine fills
# it on its first build; a build without ccache compiles as before.
#
# Depend mode (CCACHE_DEPEND) takes the included files from the compiler's
# dependency file instead of running the preprocessor first: a miss then costs
# a twelfth more than compiling without ccache, where it cost two fifths more.
#
# ccache hashes the paths below the source tree relative to the build folder
# (base_dir) and not that folder itself (NOHASHDIR), and the prefix map names
# the source tree "." in the line tables and __FILE__: so an object is the
# same in any clone, and a clone in a new folder hits the cache of an earlier
# one.
option(VT_CCACHE "Compile through ccache where it is installed" ON)
find_program(VT_CCACHE_PROGRAM ccache)
set(VT_CCACHE_DIR /var/cache/vorlane-top/ccache CACHE PATH "The compiler cache's folder")
if(VT_CCACHE AND VT_CCACHE_PROGRAM)
  set(launcher env CCACHE_DIR=${VT_CCACHE_DIR} CCACHE_BASEDIR=${PROJECT_SOURCE_DIR}
      CCACHE_NOHASHDIR=1 CCACHE_DEPEND=1 ${VT_CCACHE_PROGRAM})
  set(CMAKE_CXX_COMPILER_LAUNCHER ${launcher})
  add_compile_options(-ffile-prefix-map=${PROJECT_SOURCE_DIR}=.)
endif()
