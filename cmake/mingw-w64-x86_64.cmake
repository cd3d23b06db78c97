# Cross build of the Windows console programs with Debian's MinGW-w64 (g++-mingw-w64-x86-64).
# Use: cmake -S . -B build-mingw -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(HPKIT_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${HPKIT_MINGW_PREFIX}-gcc)
set(CMAKE_CXX_COMPILER ${HPKIT_MINGW_PREFIX}-g++)
set(CMAKE_RC_COMPILER ${HPKIT_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${HPKIT_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Static runtime: the .exe files need no MinGW DLLs beside them and run on any
# Windows (and under Wine) as they are.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
