# The same sources for 64-bit Windows: where the kernel cannot execute 32-bit
# programs, and so cannot run 32-bit Wine, the Windows-side tests run this build.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(QUILLMARK_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/wine-run.sh;win64")
