# 64-bit Windows with Debian's mingw-w64. The product is the 32-bit DLL
# (toolchain-mingw32.cmake); this build runs the same checks under a 64-bit
# Wine where the machine cannot execute 32-bit code (a kernel without IA-32
# emulation).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(KEYSTREL_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KEYSTREL_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KEYSTREL_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${KEYSTREL_MINGW_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${KEYSTREL_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
