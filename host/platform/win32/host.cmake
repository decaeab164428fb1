# kvr-panel.exe: the host's shared targets with the Windows platform split (LoadLibraryA, the module's
# resources through its handle, a real "UIPCMAIN" server window, DIB-section drawing surfaces, a software
# compositor with PNG through stb). No live window and no audio capture on Windows.

# Header-only libraries of the build machine. The cross toolchain's find root leaves /usr out, and /usr/include
# as a whole would bring glibc's headers: a folder of links to exactly these three.
set(KVR_HOST_HEADERS ${CMAKE_BINARY_DIR}/host-headers)
file(MAKE_DIRECTORY ${KVR_HOST_HEADERS})
foreach(pair "CLI;libcli11-dev" "toml++;libtomlplusplus-dev" "stb;libstb-dev")
  list(GET pair 0 dir)
  list(GET pair 1 package)
  if(NOT EXISTS /usr/include/${dir})
    message(FATAL_ERROR "kvr-panel.exe needs /usr/include/${dir}: install ${package} (tools/setup.sh does)")
  endif()
  file(CREATE_LINK /usr/include/${dir} ${KVR_HOST_HEADERS}/${dir} SYMBOLIC)
endforeach()
add_library(tomlplusplus::tomlplusplus INTERFACE IMPORTED)
target_include_directories(tomlplusplus::tomlplusplus SYSTEM INTERFACE ${KVR_HOST_HEADERS})
target_compile_definitions(tomlplusplus::tomlplusplus INTERFACE TOML_HEADER_ONLY=1)
add_library(CLI11::CLI11 INTERFACE IMPORTED)
target_include_directories(CLI11::CLI11 SYSTEM INTERFACE ${KVR_HOST_HEADERS})

set(KVR_HOST_CORE_PLATFORM_SOURCES
  platform/win32/element_surface.cpp
  platform/win32/executable_dir.cpp
  platform/win32/module_library.cpp
)
set(KVR_HOST_CORE_PLATFORM_LIBS gdi32 user32)

set(KVR_HOST_PLATFORM_FOLDERS)
set(KVR_HOST_PLATFORM_COMMANDS)
# The commands this platform adds to kvr-panel: none.
set(KVR_HOST_COMMAND_SOURCES platform/win32/platform_commands.cpp)
