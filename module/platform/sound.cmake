# The sound seam on POSIX: OpenAL Soft for the output, mmap for recording files.
target_sources(kvr_platform PRIVATE
  ${CMAKE_CURRENT_SOURCE_DIR}/posix/sound_openal.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/posix/sound_file.cpp
)
target_link_libraries(kvr_platform PUBLIC openal)
