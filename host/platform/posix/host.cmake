# kvr-panel on Linux: dlopen and the ELF file's own resources, drawing surfaces as HostSurface records,
# the FSUIPC server window in the in-process window registry, audio capture, and the live window.
find_package(CLI11 CONFIG REQUIRED)

set(KVR_HOST_CORE_PLATFORM_SOURCES
  platform/posix/elf_file.cpp
  platform/posix/audio_capture.cpp
  platform/posix/element_surface.cpp
  platform/posix/executable_dir.cpp
  platform/posix/module_library.cpp
)
# The host links the system libraries the module draws and sounds with, so that they stay loaded for the
# process's life when the module is unloaded, as a simulator's own drawing and sound libraries do.
find_package(PkgConfig REQUIRED)
pkg_check_modules(KVR_HOST_SYSTEM_LIBS REQUIRED IMPORTED_TARGET cairo cairo-ft fontconfig freetype2)
set(KVR_HOST_CORE_PLATFORM_LIBS kvr_windows openal PkgConfig::KVR_HOST_SYSTEM_LIBS ${CMAKE_DL_LIBS})

set(KVR_HOST_PLATFORM_FOLDERS live eval compare manual)
set(KVR_HOST_PLATFORM_COMMANDS kvr_host_live kvr_host_eval kvr_host_manual)
# The commands this platform adds to kvr-panel (live, encounters, eval, manual) and a run's audio and profile.
set(KVR_HOST_COMMAND_SOURCES platform/posix/platform_commands.cpp)
