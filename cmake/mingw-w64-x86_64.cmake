# Cross build for 64-bit Windows with Debian's mingw-w64 (posix threads, so that std::mutex and
# std::thread exist). Everything links statically: the programs need no DLL but Windows' own.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(FAS_MINGW_HOST x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${FAS_MINGW_HOST}-gcc-posix)
set(CMAKE_CXX_COMPILER ${FAS_MINGW_HOST}-g++-posix)
set(CMAKE_RC_COMPILER ${FAS_MINGW_HOST}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${FAS_MINGW_HOST})
if(DEFINED ENV{FAS_WINDOWS_PREFIX})
  list(APPEND CMAKE_FIND_ROOT_PATH "$ENV{FAS_WINDOWS_PREFIX}")
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# CMake brackets libraries it found by path with -Bstatic ... -Bdynamic: end static, so that the
# C++ runtime and winpthread the driver adds last are linked in too.
set(CMAKE_LINK_SEARCH_END_STATIC ON)
# Windows 10 and later: the wide file, mutex and console calls the server uses.
add_compile_definitions(_WIN32_WINNT=0x0A00 UNICODE _UNICODE)
