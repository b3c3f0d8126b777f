#include "host/harness/test_sources.h"

#include <graphics/vec4.h>
#include <obs.h>

#include <atomic>
#include <cstdint>

namespace obs_sayline::test {

namespace {

// The audio source needs no state of its own: libobs buffers what obs_source_output_audio
// hands it. Its data pointer is just the source, since create must not return null.
void* audioCreate(obs_data_t*, obs_source_t* source) { return source; }
void audioDestroy(void*) {}
const char* audioName(void*) { return "Sayline Test Audio"; }

struct ColorData {
    std::atomic<uint32_t> color{0xFFFFFFFF};
    std::atomic<uint32_t> width{64};
    std::atomic<uint32_t> height{64};
};

void colorUpdate(void* data, obs_data_t* settings) {
    auto* d = static_cast<ColorData*>(data);
    d->color = static_cast<uint32_t>(obs_data_get_int(settings, "color"));
    d->width = static_cast<uint32_t>(obs_data_get_int(settings, "width"));
    d->height = static_cast<uint32_t>(obs_data_get_int(settings, "height"));
}

void colorDefaults(obs_data_t* settings) {
    obs_data_set_default_int(settings, "color", 0xFFFFFFFF);
    obs_data_set_default_int(settings, "width", 64);
    obs_data_set_default_int(settings, "height", 64);
}

void* colorCreate(obs_data_t* settings, obs_source_t*) {
    auto* d = new ColorData;
    colorUpdate(d, settings);
    return d;
}

void colorDestroy(void* data) { delete static_cast<ColorData*>(data); }
const char* colorName(void*) { return "Sayline Test Color"; }
uint32_t colorWidth(void* data) { return static_cast<ColorData*>(data)->width; }
uint32_t colorHeight(void* data) { return static_cast<ColorData*>(data)->height; }

void colorRender(void* data, gs_effect_t*) {
    auto* d = static_cast<ColorData*>(data);
    gs_effect_t* solid = obs_get_base_effect(OBS_EFFECT_SOLID);
    gs_eparam_t* param = gs_effect_get_param_by_name(solid, "color");
    struct vec4 colour;
    vec4_from_rgba(&colour, d->color);
    gs_effect_set_vec4(param, &colour);
    while (gs_effect_loop(solid, "Solid")) gs_draw_sprite(nullptr, 0, d->width, d->height);
}

}  // namespace

void registerTestSources() {
    obs_source_info audio{};
    audio.id = kTestAudioSourceId;
    audio.type = OBS_SOURCE_TYPE_INPUT;
    audio.output_flags = OBS_SOURCE_AUDIO;
    audio.get_name = audioName;
    audio.create = audioCreate;
    audio.destroy = audioDestroy;
    obs_register_source(&audio);

    obs_source_info color{};
    color.id = kTestColorSourceId;
    color.type = OBS_SOURCE_TYPE_INPUT;
    color.output_flags = OBS_SOURCE_VIDEO | OBS_SOURCE_CUSTOM_DRAW;
    color.get_name = colorName;
    color.create = colorCreate;
    color.destroy = colorDestroy;
    color.update = colorUpdate;
    color.get_defaults = colorDefaults;
    color.get_width = colorWidth;
    color.get_height = colorHeight;
    color.video_render = colorRender;
    obs_register_source(&color);
}

}  // namespace obs_sayline::test
