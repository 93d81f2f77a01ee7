# Windows 32-bit, the release target. Its programs run here under Wine's 32-bit loader, the
# i386 code emulated by qemu-user (tests/install_deps.sh sets that up).
set(MINGW_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine)
