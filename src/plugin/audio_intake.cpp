#include "plugin/audio_intake.h"

#include "plugin/subtitle_source_data.h"

namespace obs_sayline {

void stopCapture(SubtitleSourceData& data) {
    // Nothing connects to the host's audio output yet, so there is nothing to disconnect.
    data.capturing.store(false);
}

}  // namespace obs_sayline
