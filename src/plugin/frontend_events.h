#pragma once

#include <memory>

namespace obs_sayline {

class TranscriptSink;
class YouTubeCaptionSink;

// The front end's recording (start, stop, pause), passed on to every transcript sink, and its
// streaming (start, stop), passed on to every YouTube caption sink. Without a front end (a
// headless host) nothing ever arrives: transcripts follow the sources alone, and YouTube
// captions take the time a source is on air for the stream.

// Module load and unload: the front end's event callback.
void installFrontendEvents();
void removeFrontendEvents();

// Makes `sink` hear about recordings from now on, starting with the one under way, if any.
// Held weakly: a sink that is gone is forgotten.
void followRecordings(const std::shared_ptr<TranscriptSink>& sink);

// Makes `sink` post while the host streams, starting with the stream under way, if any; where
// there is no front end to tell, while its source is on air. Held weakly.
void followStreaming(const std::shared_ptr<YouTubeCaptionSink>& sink);

}  // namespace obs_sayline
