#pragma once

#include <obs.h>
#include <signal.h>

#include <functional>
#include <string>
#include <vector>

#include "support/host_log_capture.h"

namespace obs_sayline::test {

// Canvas of the headless host: small enough for Mesa's software renderer to keep up.
constexpr uint32_t kHostCanvasWidth = 1280;
constexpr uint32_t kHostCanvasHeight = 720;
constexpr uint32_t kHostFps = 30;
constexpr uint32_t kHostAudioRate = 48000;

// The host's own FreeType text source ("text_ft2_source").
constexpr const char* kFreetypeModulePath =
    "/usr/lib/x86_64-linux-gnu/obs-plugins/text-freetype2.so";
constexpr const char* kFreetypeDataPath = "/usr/share/obs/obs-plugins/text-freetype2";

// One real libobs per test process: started by the harness's main() before the tests run,
// shut down after them. Tests reach it through ObsHost::instance().
class ObsHost {
public:
    static ObsHost& instance();

    // Starts libobs (video through libobs-opengl, audio), registers the harness's test sources,
    // loads the freshly built module and the FreeType text module. On failure, says why.
    bool start(std::string* error);
    // obs_shutdown (which unloads every module), then the display connection.
    void stop();
    bool running() const { return running_; }

    // The host's FreeType plug-in cannot be loaded a second time into one process; a host
    // started again can do without it.
    void setLoadTextModule(bool load) { loadTextModule_ = load; }

    // Loads one of the host's own plug-ins from the system folders ("obs-x264", "obs-ffmpeg"),
    // for the tests that need it; a plug-in already loaded is not loaded again.
    bool loadHostPlugin(const std::string& name, std::string* error);

    // Changes the canvas (base and output size); nothing may be reading frames meanwhile.
    bool resetCanvas(uint32_t width, uint32_t height);

    obs_module_t* saylineModule() const { return sayline_; }
    bool freetypeLoaded() const { return freetype_ != nullptr; }

    // Host log lines written while the host started (including the module's load lines).
    const std::vector<HostLogLine>& startupLines() const { return startupLines_; }
    // The SIGSEGV action in place just before the module was loaded.
    const struct sigaction& segvActionBeforeLoad() const { return segvBeforeLoad_; }

    // Checks that can only run after obs_shutdown (module unload). Each returns an empty
    // string when satisfied, otherwise what went wrong; main() fails the run on any message.
    void addAfterShutdownCheck(std::string name, std::function<std::string()> check);
    bool runAfterShutdownChecks();

private:
    ObsHost() = default;

    bool running_ = false;
    bool loadTextModule_ = true;
    void* display_ = nullptr;
    obs_module_t* sayline_ = nullptr;
    obs_module_t* freetype_ = nullptr;
    std::vector<std::string> hostPlugins_;
    std::vector<HostLogLine> startupLines_;
    struct sigaction segvBeforeLoad_ {};
    std::vector<std::pair<std::string, std::function<std::string()>>> afterShutdown_;
};

}  // namespace obs_sayline::test
