# 32-bit Windows. 32-bit programs cannot execute on the build machines, so
# this toolchain has no emulator: its programs are built, not run.
set(HTA_MINGW_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw.cmake)
