# Cross-build for 64-bit Windows with MinGW-w64 (Debian's g++-mingw-w64-x86-64-posix).
#   cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw64.cmake
# The posix thread model gives std::thread and std::mutex. libgcc, libstdc++ and winpthread
# are linked statically, so the programs and the converter DLLs run on Windows (and under
# Wine) without the compiler's DLLs beside them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(FLASHWRIGHT_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${FLASHWRIGHT_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${FLASHWRIGHT_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${FLASHWRIGHT_MINGW_PREFIX}-windres)

# Libraries are looked for in build-win-deps/mingw64 first (SQLite, built by tools/win-deps
# from Debian's source), then in MinGW's own tree (zlib: Debian's libz-mingw-w64-dev).
set(FLASHWRIGHT_WIN_DEPS ${CMAKE_CURRENT_LIST_DIR}/../build-win-deps/mingw64)
cmake_path(NORMAL_PATH FLASHWRIGHT_WIN_DEPS)
set(CMAKE_FIND_ROOT_PATH ${FLASHWRIGHT_WIN_DEPS} /usr/${FLASHWRIGHT_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Static libraries only: Debian ships no zlib1.dll for MinGW, and the programs need no DLLs
# beside them.
set(ZLIB_USE_STATIC_LIBS ON)

# winpthread is linked whole and statically (-Wl,-Bstatic around -lpthread) so that no
# libwinpthread-1.dll is needed at run time.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++ -Wl,-Bstatic,--whole-archive -lwinpthread -Wl,--no-whole-archive,-Bdynamic")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++ -Wl,-Bstatic,--whole-archive -lwinpthread -Wl,--no-whole-archive,-Bdynamic")

# The tests run under Wine when CMake runs them (test discovery, ctest).
find_program(FLASHWRIGHT_WINE NAMES wine64 wine)
if(FLASHWRIGHT_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${FLASHWRIGHT_WINE})
endif()
