# 64-bit Windows, a twin for tests on machines that cannot run 32-bit code, with Debian's mingw-w64.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(KVR_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
