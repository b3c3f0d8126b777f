#include "plugin/source_registration.h"

#include <obs-module.h>

#include "plugin/source_defaults.h"
#include "plugin/source_lifecycle.h"
#include "plugin/source_properties.h"
#include "plugin/source_settings.h"
#include "plugin/scene_render.h"

namespace obs_sayline {

obs_source_info makeSourceInfo() {
    obs_source_info info{};
    info.id = kSourceId;
    info.type = OBS_SOURCE_TYPE_INPUT;
    info.output_flags = OBS_SOURCE_VIDEO | OBS_SOURCE_CUSTOM_DRAW;
    info.get_name = subtitle_source_get_name;
    info.create = subtitle_source_create;
    info.destroy = subtitle_source_destroy;
    info.get_width = subtitle_source_get_width;
    info.get_height = subtitle_source_get_height;
    info.get_defaults = subtitle_source_defaults;
    info.get_properties = subtitle_source_properties;
    info.update = subtitle_source_update;
    info.activate = subtitle_source_activate;
    info.deactivate = subtitle_source_deactivate;
    info.video_tick = subtitle_source_tick;
    info.video_render = subtitle_source_render;
    // The host frees type data first thing in its shutdown, before it destroys the sources
    // that are left: that is how a destroy knows not to wait for a busy worker.
    static int typeData = 0;
    info.type_data = &typeData;
    info.free_type_data = subtitle_source_free_type_data;
    return info;
}

void registerSaylineSource() {
    static obs_source_info info = makeSourceInfo();
    // The size of the record in the headers we were built against: the host reads only that
    // much, so an older host never reads past our record.
    obs_register_source_s(&info, sizeof(struct obs_source_info));
}

}  // namespace obs_sayline
