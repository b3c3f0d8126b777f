#pragma once

#include <obs.h>

#include <string>

#include "live/connection_check.h"
#include "sinks/youtube/test_caption.h"

namespace obs_sayline {

struct SubtitleSourceData;

// The sheet's YouTube caption rows, under the closed caption rows: on/off, the caption URL
// (a password field: it carries the stream's key), the time offset, the "Test caption" button
// with its outcome, and the delivery statistics while captions are on.
void addYouTubeRows(obs_properties_t* props, const SubtitleSourceData* record);

// What the outcome row says of YouTube's answer to a test caption.
ConnectionCheck testCaptionCheck(const TestCaptionAnswer& answer);

// Host callback: posts one test caption (on a module worker) to the URL the sheet shows.
bool test_youtube_caption_clicked(obs_properties_t* props, obs_property_t* property, void* data);

}  // namespace obs_sayline
