// The start of kvr-panel live's sound: the sound libraries kept quiet, and the default output device tried
// once, so that a machine without one is told so in one line instead of the libraries' own error lines.
#pragma once

namespace kvr::host {

// Keeps OpenAL Soft's log and ALSA's error messages out of the terminal for the rest of the process. Must
// run before the process's first OpenAL call (OpenAL reads its log level then). A variable the user set
// (ALSOFT_LOGLEVEL) is left as it is.
void QuietSoundLibraries();

// Whether OpenAL opens its default playback device (then closed again at once).
bool DefaultSoundDeviceOpens();

}  // namespace kvr::host
