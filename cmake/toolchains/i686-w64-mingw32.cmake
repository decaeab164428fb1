# Cross-compiling for 32-bit Windows (the artefact a simulator user installs) with
# Debian's mingw-w64. The -posix compilers give std::thread and std::mutex, which googletest needs; the
# runtime is linked statically (see the top-level list), so nothing of mingw's is needed at run time.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(KVR_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_C_COMPILER ${KVR_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KVR_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${KVR_MINGW_TRIPLE}-windres)
set(CMAKE_DLLTOOL ${KVR_MINGW_TRIPLE}-dlltool)
set(CMAKE_FIND_ROOT_PATH /usr/${KVR_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
