# Cross build for Windows with Debian's mingw-w64. The toolchain file that includes this sets
# MINGW_ARCH. The release exes use the win32 threading model: its C++ runtime needs nothing
# newer than Windows XP (the posix model's thread library imports GetTickCount64). The unit
# tests use the posix model, which GoogleTest needs (PCMCONV_MINGW_THREADS=posix).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${MINGW_ARCH})
if(NOT PCMCONV_MINGW_THREADS)
  set(PCMCONV_MINGW_THREADS win32)
endif()
set(CMAKE_C_COMPILER ${MINGW_ARCH}-w64-mingw32-gcc-${PCMCONV_MINGW_THREADS})
set(CMAKE_CXX_COMPILER ${MINGW_ARCH}-w64-mingw32-g++-${PCMCONV_MINGW_THREADS})
set(CMAKE_RC_COMPILER ${MINGW_ARCH}-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_ARCH}-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
