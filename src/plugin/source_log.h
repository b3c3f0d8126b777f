#pragma once

#include <obs.h>

#include "core/logger.h"

namespace obs_sayline {

// A Sayline source's own log lines say which source they are about, as OBS's filters prefix
// theirs, so a log with several sources can be read: "Sayline source 'Subtitles' shown".
// The name is read at each line, so a renamed source is named as it is now.
void logSource(LogLevel level, obs_source_t* source, const char* format, ...)
    SAYLINE_PRINTF_FORMAT(3, 4);

}  // namespace obs_sayline
