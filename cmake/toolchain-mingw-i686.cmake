# Windows 32-bit, the release target. A 32-bit exe cannot run on these machines (the kernel
# runs no 32-bit code): no emulator.
set(MINGW_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
