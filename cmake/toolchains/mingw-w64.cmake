# Shared by the two mingw-w64 toolchain files, which set KVR_MINGW_TRIPLE and the processor first.
# Debian's -posix compilers give std::thread and std::mutex, which googletest needs; the runtime is linked
# statically (see the top-level list), so nothing of mingw's is needed at run time.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${KVR_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KVR_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${KVR_MINGW_TRIPLE}-windres)
set(CMAKE_DLLTOOL ${KVR_MINGW_TRIPLE}-dlltool)
set(CMAKE_FIND_ROOT_PATH /usr/${KVR_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
