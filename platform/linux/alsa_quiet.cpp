// alsa-lib's error handler, replaced by one that says nothing.
#include "platform/linux/alsa_quiet.h"

#include <alsa/asoundlib.h>

namespace {

void alsa_error_ignore(const char*, int, const char*, int, const char*, ...) {}

}  // namespace

void alsa_errors_silence() { snd_lib_error_set_handler(alsa_error_ignore); }
