# The drawing seam on POSIX: Cairo image surfaces, with faces found through fontconfig and loaded by
# FreeType (Cairo's FreeType backend).
find_package(PkgConfig REQUIRED)
pkg_check_modules(KVR_DRAWING_DEPS REQUIRED IMPORTED_TARGET GLOBAL cairo cairo-ft fontconfig freetype2)
target_sources(kvr_platform PRIVATE
  ${CMAKE_CURRENT_SOURCE_DIR}/drawing_objects.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/posix/drawing_cairo.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/posix/drawing_masks.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/posix/drawing_strokes.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/posix/drawing_text.cpp
)
target_link_libraries(kvr_platform PRIVATE PkgConfig::KVR_DRAWING_DEPS)
