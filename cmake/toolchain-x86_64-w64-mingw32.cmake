# Cross build for Windows with Debian's MinGW-w64 (POSIX thread model, for std::thread).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TVD_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TVD_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TVD_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TVD_MINGW_TRIPLE}-windres)
# libpng is cross-built by scripts/setup.sh into deps/; zlib comes from libz-mingw-w64-dev.
set(CMAKE_FIND_ROOT_PATH /usr/${TVD_MINGW_TRIPLE} ${CMAKE_CURRENT_LIST_DIR}/../deps/mingw64)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Static libraries only: the deliverables carry their runtime.
set(CMAKE_FIND_LIBRARY_SUFFIXES .a)
# libz.dll.a also ends in .a: ask for the static zlib by name.
set(ZLIB_USE_STATIC_LIBS ON)
