#pragma once

#include <obs.h>

namespace obs_sayline {

// Host video_tick callback (graphics thread): everything that changes what the scene shows
// happens here, as in the host's own text source: a changed look, the subtitle taken, its
// parts in turn and its expiry, written into the row text sources; the status drawn in the
// scene.
void subtitle_source_tick(void* data, float seconds);

// Host video_render callback (graphics thread): draws what the rows and the status hold, and
// nothing else.
void subtitle_source_render(void* data, gs_effect_t* effect);

}  // namespace obs_sayline
