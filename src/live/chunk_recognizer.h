#pragma once

#include "live/recognition_setup.h"
#include "live/source_shared.h"
#include "live/speech_chunk.h"
#include "live/subtitle_sinks.h"
#include "stt/stt_types.h"

namespace obs_sayline {

// Recognises one chunk on the calling worker: the loudness gate (for chunks that ask for it),
// the engine, the phantom filter and translation; a subtitle that survives goes to the sinks.
// The source's audio position advances by the chunk's length either way. Serialised per
// source; network calls happen outside every other lock. `chunk.samples` keeps its capacity.
void recognizeChunk(SourceShared& shared, const RecognitionSetup& setup,
                    const SubtitleSinks& sinks, SpeechChunk& chunk);

// What follows the engine for any recognised text: the phantom filter (empty, unsure or
// invented text goes no further), translation, and the subtitle to the sinks, placed at
// `startMs`..`endMs` on the audio clock. False when nothing was delivered. The caller holds the
// source's recognition lock.
bool finishRecognised(SourceShared& shared, const RecognitionSetup& setup,
                      const SubtitleSinks& sinks, SttResult& result, uint64_t startMs,
                      uint64_t endMs);

}  // namespace obs_sayline
