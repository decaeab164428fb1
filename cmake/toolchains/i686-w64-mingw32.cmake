# 32-bit Windows, the artefact a simulator user installs, with Debian's mingw-w64.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(KVR_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
