# The product: 32-bit Windows through MinGW-w64 (posix thread model).
set(CMAKE_SYSTEM_PROCESSOR x86)
set(QUILLMARK_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/wine-run.sh;win32")
