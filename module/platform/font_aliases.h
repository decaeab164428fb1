// Faces that the panel's machine has and a machine of ours may lack, each mapped to a face of the same
// kind that Debian installs; shared by the drawing layers of both platforms. `advancePerCell` > 0 sets the
// stand-in's width so that its digit "0" advances that fraction of the cell height, as the replaced
// face's does: text boxes and centred labels then keep their proportions. Lucida Console advances 0.6 of
// its cell (DejaVu Sans Mono only 0.52); the seven-segment stand-in is far wider (0.82) than a face whose
// four digits with 3 pixels of spacing fit a 50 x 17 window, so it is narrowed to half its cell height.
#pragma once

namespace kvr::platform {

struct FaceAlias {
  const char* requested;
  const char* family;
  double advancePerCell;
};

inline constexpr FaceAlias kFaceAliases[] = {
    {"Lucida Console", "DejaVu Sans Mono", 0.6},
    {"Quartz", "DSEG7 Classic", 0.5},
};

}  // namespace kvr::platform
