# Cross build for 64-bit Windows with Debian's mingw-w64 (POSIX thread model).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CORVALIN_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${CORVALIN_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${CORVALIN_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${CORVALIN_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${CORVALIN_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The fast engine has functions for AVX2, chosen at run time. GCC cannot
# align a Win64 stack frame to the 32 bytes such vectors spill to, so the
# assembler makes every aligned vector move an unaligned one (the same speed
# on aligned data).
set(CMAKE_C_FLAGS_INIT "-Wa,-muse-unaligned-vector-move")
set(CMAKE_CXX_FLAGS_INIT "-Wa,-muse-unaligned-vector-move")
