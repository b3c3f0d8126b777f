#pragma once

#include <memory>

namespace obs_sayline {

class TranscriptSink;

// The front end's recording (start, stop, pause), passed on to every transcript sink. Without a
// front end (a headless host) nothing ever arrives and transcripts follow the sources alone.

// Module load and unload: the front end's event callback.
void installRecordingEvents();
void removeRecordingEvents();

// Makes `sink` hear about recordings from now on, starting with the one under way, if any.
// Held weakly: a sink that is gone is forgotten.
void followRecordings(const std::shared_ptr<TranscriptSink>& sink);

}  // namespace obs_sayline
