# A second compiler for the same target: clang for x86_64-w64-mingw32 with the mingw-w64 headers,
# GCC's libstdc++ of the posix variant and lld. Used by scripts/test so that code only GCC accepts
# fails there too.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VELLOQUIN_CLANG_TARGET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET ${VELLOQUIN_CLANG_TARGET})
set(CMAKE_CXX_COMPILER_TARGET ${VELLOQUIN_CLANG_TARGET})
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Debian's clang does not find the mingw-w64 GCC's C++ library by itself (its folder is named
# "12-posix", not a bare version).
file(GLOB VELLOQUIN_MINGW_GCC_DIRS LIST_DIRECTORIES true /usr/lib/gcc/x86_64-w64-mingw32/*-posix)
list(SORT VELLOQUIN_MINGW_GCC_DIRS)
list(GET VELLOQUIN_MINGW_GCC_DIRS -1 VELLOQUIN_MINGW_GCC_DIR)
set(VELLOQUIN_LIBSTDCXX ${VELLOQUIN_MINGW_GCC_DIR}/include/c++)
set(CMAKE_CXX_FLAGS_INIT
    "-isystem ${VELLOQUIN_LIBSTDCXX} -isystem ${VELLOQUIN_LIBSTDCXX}/x86_64-w64-mingw32 -isystem ${VELLOQUIN_LIBSTDCXX}/backward")
# libstdc++'s threads come from winpthreads, linked statically like the rest; lld takes an archive
# wherever it stands on the command line.
set(VELLOQUIN_CLANG_LINK "-fuse-ld=lld -L${VELLOQUIN_MINGW_GCC_DIR} -lpthread")
set(CMAKE_EXE_LINKER_FLAGS_INIT ${VELLOQUIN_CLANG_LINK})
set(CMAKE_SHARED_LINKER_FLAGS_INIT ${VELLOQUIN_CLANG_LINK})
set(CMAKE_MODULE_LINKER_FLAGS_INIT ${VELLOQUIN_CLANG_LINK})
