# The cross build for Windows with Debian's MinGW-w64 (the -posix thread
# model, which std::mutex and GoogleTest need), included by the toolchain file
# of each processor after it sets MINGW_PREFIX. Tests run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
find_program(MINGW_CC  ${MINGW_PREFIX}-gcc-posix)
find_program(MINGW_CXX ${MINGW_PREFIX}-g++-posix)
find_program(MINGW_RC  ${MINGW_PREFIX}-windres)
if(NOT MINGW_CC OR NOT MINGW_CXX OR NOT MINGW_RC)
  message(FATAL_ERROR
    "MinGW-w64 was not found (${MINGW_PREFIX}-g++-posix, -windres). "
    "Install ${MINGW_PACKAGE}, or run scripts/install-deps.sh.")
endif()

set(CMAKE_C_COMPILER   ${MINGW_CC})
set(CMAKE_CXX_COMPILER ${MINGW_CXX})
set(CMAKE_RC_COMPILER  ${MINGW_RC})

set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# The executables import only system DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh)
