#pragma once

#include <obs.h>

#include <cstdint>

namespace obs_sayline {

// Display name of the source type in the host's "Add Source" list.
constexpr const char* kSourceDisplayName = "Sayline";

// Host callbacks of the Sayline source: name, create, destroy, size, activate, deactivate.
const char* subtitle_source_get_name(void* typeData);
void* subtitle_source_create(obs_data_t* settings, obs_source_t* source);
void subtitle_source_destroy(void* data);
uint32_t subtitle_source_get_width(void* data);
uint32_t subtitle_source_get_height(void* data);
void subtitle_source_activate(void* data);
void subtitle_source_deactivate(void* data);
// The host is shutting down: called for the source type before the remaining sources go.
void subtitle_source_free_type_data(void* typeData);

// Whether the host has begun its shutdown (since this module was loaded).
bool hostShuttingDown();
// Module load: a host started again in the same process.
void resetHostShutdown();

}  // namespace obs_sayline
