# Cross build for 64-bit Windows: the test build on machines that cannot run 32-bit code.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)

# Debian's wine script always starts the 32-bit loader; 64-bit programs need their own.
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
