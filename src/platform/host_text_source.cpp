#include "platform/host_text_source.h"

namespace obs_sayline::platform {

uint32_t hostTextColor(uint32_t color) {
#ifdef _WIN32
    return color;
#else
    return color | 0xFF000000u;
#endif
}

long long hostFontSize(long long size) {
#ifndef _WIN32
    if (size > kFreeTypeMaxFontPx) return kFreeTypeMaxFontPx;
#endif
    return size;
}

void writeTextFont(obs_data_t* settings, const HostFont& host) {
    obs_data_t* font = obs_data_create();
    obs_data_set_string(font, "face", host.face.face.c_str());
    obs_data_set_string(font, "style", host.face.style.c_str());
    obs_data_set_int(font, "size", host.size);
    obs_data_set_int(font, "flags", host.face.flags);
    obs_data_set_obj(settings, "font", font);
    obs_data_release(font);
}

void writeTextColor(obs_data_t* settings, uint32_t color) {
#ifdef _WIN32
    obs_data_set_int(settings, "color", color);
#else
    // FreeType draws a gradient from color1 to color2.
    obs_data_set_int(settings, "color1", color);
    obs_data_set_int(settings, "color2", color);
#endif
}

void writeTextOutline(obs_data_t* settings, bool on, int size, uint32_t color) {
    obs_data_set_bool(settings, "outline", on);
#ifdef _WIN32
    obs_data_set_int(settings, "outline_size", size);
    obs_data_set_int(settings, "outline_color", color);
#else
    (void)size;
    (void)color;
#endif
}

void writeTextBackground(obs_data_t* settings, bool writeColor, uint32_t color, int opacity) {
#ifdef _WIN32
    if (writeColor) obs_data_set_int(settings, "bk_color", color);
    obs_data_set_int(settings, "bk_opacity", opacity);
#else
    (void)settings;
    (void)writeColor;
    (void)color;
    (void)opacity;
#endif
}

void writeTextAlignment(obs_data_t* settings, int alignment) {
#ifdef _WIN32
    int align = 0;
    if (alignment == 0) align = 1;
    if (alignment == 2) align = 2;
    obs_data_set_int(settings, "align", align);
#else
    (void)settings;
    (void)alignment;
#endif
}

void writeTextBoxLayout(obs_data_t* settings, uint32_t width, uint32_t height) {
#ifdef _WIN32
    obs_data_set_string(settings, "align", "center");
    obs_data_set_string(settings, "valign", "center");
    obs_data_set_bool(settings, "extents", true);
    obs_data_set_int(settings, "extents_cx", width);
    obs_data_set_int(settings, "extents_cy", height);
    obs_data_set_bool(settings, "extents_wrap", true);
#else
    (void)width;
    (void)height;
    obs_data_set_bool(settings, "drop_shadow", false);
    writeTextWrap(settings, 0);
    obs_data_set_bool(settings, "antialiasing", true);
#endif
}

void writeTextWrap(obs_data_t* settings, uint32_t width) {
#ifdef _WIN32
    (void)settings;
    (void)width;
#else
    obs_data_set_int(settings, "custom_width", width);
    obs_data_set_bool(settings, "word_wrap", width > 0);
#endif
}

}  // namespace obs_sayline::platform
