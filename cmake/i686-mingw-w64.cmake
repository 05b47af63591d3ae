# Cross build of the 32-bit Windows program.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)

# Tests built for Windows are run by CTest through Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
