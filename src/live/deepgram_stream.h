#pragma once

#include <memory>

#include "live/recognition_setup.h"
#include "live/source_shared.h"
#include "live/stream_queues.h"
#include "live/streaming_recognition.h"
#include "sinks/subtitle_sinks.h"

namespace obs_sayline {

// The stream worker's body: one WebSocket to Deepgram's live recognition for the whole
// capture. Sends what the outbox holds as it comes (audio as binary messages, a pause as
// Finalize), KeepAlive in silence, and CloseStream once the capture stopped; shows the line
// being spoken through the sinks and hands finished lines to the line queue. A dropped
// connection is opened again with the retry policy's back-off and the circuit breaker; a
// refused key, a refused request or a missing key end the stream. Returns once the stream is
// closed (at most `closeWait` after the stop), the stream ended, or the worker was cancelled;
// the line queue is closed then.
void runDeepgramStream(StreamState& state, const StreamingSetup& streaming,
                       const RecognitionSetup& setup, SourceShared& shared,
                       const SubtitleSinks& sinks);

}  // namespace obs_sayline
