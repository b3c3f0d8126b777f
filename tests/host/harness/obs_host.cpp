#include "host/harness/obs_host.h"

#include <X11/Xlib.h>
#include <dlfcn.h>
#include <link.h>
#include <obs-module.h>
#include <obs-nix-platform.h>
#include <unistd.h>

#include <cstdio>

#include "host/harness/test_sources.h"

namespace obs_sayline::test {

ObsHost& ObsHost::instance() {
    static ObsHost host;
    return host;
}

namespace {

const char* videoResetText(int code) {
    switch (code) {
        case OBS_VIDEO_NOT_SUPPORTED:
            return "not supported";
        case OBS_VIDEO_INVALID_PARAM:
            return "invalid parameter";
        case OBS_VIDEO_CURRENTLY_ACTIVE:
            return "currently active";
        case OBS_VIDEO_MODULE_NOT_FOUND:
            return "graphics module not found";
        default:
            return "failed";
    }
}

bool openModule(const char* path, const char* dataPath, obs_module_t** out, std::string* error) {
    obs_module_t* module = nullptr;
    int rc = obs_open_module(&module, path, dataPath);
    if (rc != MODULE_SUCCESS) {
        *error = std::string("obs_open_module(") + path + ") failed with " + std::to_string(rc);
        return false;
    }
    if (!obs_init_module(module)) {
        *error = std::string("obs_init_module(") + path + ") returned false";
        return false;
    }
    *out = module;
    return true;
}

// Keeps every loaded library mapped after obs_shutdown unloads the modules and graphics
// drivers, so the leak checker at exit can still name the code behind an allocation.
void pinLoadedLibraries() {
    dl_iterate_phdr(
        [](struct dl_phdr_info* info, size_t, void*) {
            if (info->dlpi_name && info->dlpi_name[0]) {
                dlopen(info->dlpi_name, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
            }
            return 0;
        },
        nullptr);
}

// BGRA in the sRGB colour space: what Mesa's software renderer reads back.
int resetVideo(uint32_t width, uint32_t height) {
    obs_video_info ovi{};
    ovi.graphics_module = "libobs-opengl";
    ovi.fps_num = kHostFps;
    ovi.fps_den = 1;
    ovi.base_width = ovi.output_width = width;
    ovi.base_height = ovi.output_height = height;
    ovi.output_format = VIDEO_FORMAT_BGRA;
    ovi.colorspace = VIDEO_CS_SRGB;
    ovi.range = VIDEO_RANGE_FULL;
    ovi.adapter = 0;
    ovi.gpu_conversion = true;
    ovi.scale_type = OBS_SCALE_BICUBIC;
    return obs_reset_video(&ovi);
}

}  // namespace

bool ObsHost::loadHostPlugin(const std::string& name, std::string* error) {
    for (const auto& loaded : hostPlugins_) {
        if (loaded == name) return true;
    }
    const std::string path = "/usr/lib/x86_64-linux-gnu/obs-plugins/" + name + ".so";
    const std::string data = "/usr/share/obs/obs-plugins/" + name;
    obs_module_t* module = nullptr;
    if (!openModule(path.c_str(), data.c_str(), &module, error)) return false;
    hostPlugins_.push_back(name);
    return true;
}

bool ObsHost::resetCanvas(uint32_t width, uint32_t height) {
    return resetVideo(width, height) == OBS_VIDEO_SUCCESS;
}

bool ObsHost::start(std::string* error) {
    if (running_) return true;
    HostLogCapture::instance();  // capture from the very first host line

    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        *error = "cannot open the X display (DISPLAY unset?); run the host tests under xvfb-run";
        return false;
    }
    display_ = display;
    obs_set_nix_platform(OBS_NIX_PLATFORM_X11_EGL);
    obs_set_nix_platform_display(display);

    if (!obs_startup("en-US", nullptr, nullptr)) {
        *error = "obs_startup failed";
        return false;
    }
    running_ = true;

    const int videoRc = resetVideo(kHostCanvasWidth, kHostCanvasHeight);
    if (videoRc != OBS_VIDEO_SUCCESS) {
        *error = std::string("obs_reset_video: ") + videoResetText(videoRc);
        return false;
    }

    obs_audio_info oai{};
    oai.samples_per_sec = kHostAudioRate;
    oai.speakers = SPEAKERS_STEREO;
    if (!obs_reset_audio(&oai)) {
        *error = "obs_reset_audio failed";
        return false;
    }

    registerTestSources();

    sigaction(SIGSEGV, nullptr, &segvBeforeLoad_);
    if (!openModule(SAYLINE_MODULE_PATH, SAYLINE_MODULE_DATA_PATH, &sayline_, error)) {
        return false;
    }
    if (loadTextModule_ && access(kFreetypeModulePath, R_OK) == 0) {
        if (!openModule(kFreetypeModulePath, kFreetypeDataPath, &freetype_, error)) return false;
    }

    startupLines_ = HostLogCapture::instance().lines();
    return true;
}

void ObsHost::stop() {
    if (running_) {
        pinLoadedLibraries();
        obs_shutdown();
        running_ = false;
        sayline_ = nullptr;
        freetype_ = nullptr;
        hostPlugins_.clear();
    }
    if (display_) {
        XCloseDisplay(static_cast<Display*>(display_));
        display_ = nullptr;
    }
}

void ObsHost::addAfterShutdownCheck(std::string name, std::function<std::string()> check) {
    afterShutdown_.emplace_back(std::move(name), std::move(check));
}

bool ObsHost::runAfterShutdownChecks() {
    bool ok = true;
    for (auto& [name, check] : afterShutdown_) {
        std::string problem = check();
        if (problem.empty()) {
            std::fprintf(stderr, "[after shutdown] %s: OK\n", name.c_str());
        } else {
            std::fprintf(stderr, "[after shutdown] %s: FAILED\n%s\n", name.c_str(),
                         problem.c_str());
            ok = false;
        }
    }
    return ok;
}

}  // namespace obs_sayline::test
