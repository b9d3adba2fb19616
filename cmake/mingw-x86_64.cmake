# Cross build of the same code for 64-bit Windows, so that the Windows tests
# can run under 64-bit Wine on machines that cannot execute 32-bit programs.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(MINGW_PREFIX x86_64-w64-mingw32)
set(MINGW_PACKAGE g++-mingw-w64-x86-64-posix)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
