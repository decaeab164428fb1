# kvr-panel.exe: the host's shared sources with the Windows platform split (LoadLibraryA, the module's
# resources through its handle, a real "UIPCMAIN" server window, DIB-section drawing surfaces, a software
# compositor with PNG through stb). No live window and no audio capture on Windows.
set(KVR_HOST_DIR ${PROJECT_SOURCE_DIR}/host)

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
add_library(kvr_host_cli11 INTERFACE)
target_include_directories(kvr_host_cli11 SYSTEM INTERFACE ${KVR_HOST_HEADERS})

add_library(kvr_fsuipc_server STATIC ${KVR_HOST_DIR}/fsuipc/fsuipc_server.cpp ${KVR_HOST_DIR}/platform/win32/server_window.cpp)
target_link_libraries(kvr_fsuipc_server PUBLIC user32)

add_library(kvr_host_core STATIC
  ${KVR_HOST_DIR}/bitmap_info.cpp
  ${KVR_HOST_DIR}/input_file.cpp
  ${KVR_HOST_DIR}/module_loader.cpp
  ${KVR_HOST_DIR}/panel_config.cpp
  ${KVR_HOST_DIR}/panel_services.cpp
  ${KVR_HOST_DIR}/panel.cpp
  ${KVR_HOST_DIR}/panel_session.cpp
  ${KVR_HOST_DIR}/platform/win32/element_surface.cpp
  ${KVR_HOST_DIR}/platform/win32/executable_dir.cpp
  ${KVR_HOST_DIR}/platform/win32/module_library.cpp
)
target_link_libraries(kvr_host_core PUBLIC kvr_fsuipc_server gdi32 user32)

add_library(kvr_host_render STATIC
  ${KVR_HOST_DIR}/render/bitmap.cpp
  ${KVR_HOST_DIR}/render/gif_animation.cpp
  ${KVR_HOST_DIR}/render/frame_recorder.cpp
  ${KVR_HOST_DIR}/render/panel_window.cpp
  ${KVR_HOST_DIR}/platform/win32/panel_renderer.cpp
)
target_include_directories(kvr_host_render SYSTEM PRIVATE ${KVR_HOST_HEADERS}/stb)
target_link_libraries(kvr_host_render PUBLIC kvr_host_core)

kvr_add_present_subdirectories(traffic avionics scenario)

add_executable(kvr-panel ${KVR_HOST_DIR}/main.cpp ${KVR_HOST_DIR}/cli/commands.cpp ${KVR_HOST_DIR}/cli/run_command.cpp
               ${KVR_HOST_DIR}/platform/win32/platform_commands.cpp)
target_link_libraries(kvr-panel PRIVATE kvr_host_core kvr_host_render kvr_host_avionics kvr_host_scenario kvr_host_cli11)
add_dependencies(kvr-panel KVR_TCAS avertine)
target_compile_definitions(kvr-panel PRIVATE KVR_VERSION="${PROJECT_VERSION}")
