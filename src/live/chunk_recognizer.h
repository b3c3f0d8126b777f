#pragma once

#include "live/recognition_setup.h"
#include "live/source_shared.h"
#include "live/speech_chunk.h"
#include "live/subtitle_sinks.h"

namespace obs_sayline {

// Recognises one chunk on the calling worker: the loudness gate (for chunks that ask for it),
// the engine, the phantom filter and translation; a subtitle that survives goes to the sinks.
// The source's audio position advances by the chunk's length either way. Serialised per
// source; network calls happen outside every other lock. `chunk.samples` keeps its capacity.
void recognizeChunk(SourceShared& shared, const RecognitionSetup& setup,
                    const SubtitleSinks& sinks, SpeechChunk& chunk);

}  // namespace obs_sayline
