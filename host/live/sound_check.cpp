#include "host/live/sound_check.h"

#include <AL/alc.h>
#include <dlfcn.h>

#include <cstdlib>

namespace kvr::host {
namespace {

// ALSA's error handler type (snd_lib_error_handler_t); ALSA calls it for every message it would print.
using AlsaErrorHandler = void (*)(const char* file, int line, const char* function, int err, const char* fmt, ...);

void IgnoreAlsaError(const char*, int, const char*, int, const char*, ...) {}

}  // namespace

void QuietSoundLibraries() {
  setenv("ALSOFT_LOGLEVEL", "0", /*overwrite=*/0);  // OpenAL Soft: no log at all
  // OpenAL Soft loads ALSA at run time; loading it first here gives both the same library, so the handler
  // set now is the one ALSA uses for OpenAL. The library stays loaded for the handler to stay in place.
  // Without ALSA installed there is nothing to quiet.
  void* alsa = dlopen("libasound.so.2", RTLD_NOW | RTLD_LOCAL);
  if (alsa == nullptr) return;
  using SetHandler = int (*)(AlsaErrorHandler);
  if (auto set = reinterpret_cast<SetHandler>(dlsym(alsa, "snd_lib_error_set_handler"))) set(&IgnoreAlsaError);
}

bool DefaultSoundDeviceOpens() {
  ALCdevice* device = alcOpenDevice(nullptr);
  if (device == nullptr) return false;
  alcCloseDevice(device);
  return true;
}

}  // namespace kvr::host
