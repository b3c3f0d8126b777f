#include "plugin/audio_source_list.h"

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "plugin/callback_guard.h"
#include "plugin/locale_text.h"
#include "plugin/settings_keys.h"

namespace obs_sayline {
namespace {

std::vector<std::string> audioSourceNames() {
    std::vector<std::string> names;
    obs_enum_sources(
        [](void* param, obs_source_t* source) {
            return guardCallback("audio source list", true, [&] {
                const char* name = obs_source_get_name(source);
                if (name && *name && (obs_source_get_output_flags(source) & OBS_SOURCE_AUDIO)) {
                    static_cast<std::vector<std::string>*>(param)->push_back(name);
                }
                return true;
            });
        },
        &names);
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return std::lexicographical_compare(
            a.begin(), a.end(), b.begin(), b.end(),
            [](unsigned char x, unsigned char y) { return std::tolower(x) < std::tolower(y); });
    });
    return names;
}

}  // namespace

void addAudioSourceList(obs_properties_t* props, const std::string& chosen) {
    obs_property_t* list =
        obs_properties_add_list(props, keys::kAudioSource, localText("AudioSource"),
                                OBS_COMBO_TYPE_LIST, OBS_COMBO_FORMAT_STRING);
    obs_property_list_add_string(list, localText("AudioSource.Program"), values::kProgramAudio);
    const std::vector<std::string> names = audioSourceNames();
    for (const std::string& name : names) {
        obs_property_list_add_string(list, name.c_str(), name.c_str());
    }
    if (!chosen.empty() && std::find(names.begin(), names.end(), chosen) == names.end()) {
        const std::string missing = chosen + " " + localText("AudioSource.Missing");
        obs_property_list_add_string(list, missing.c_str(), chosen.c_str());
    }
}

}  // namespace obs_sayline
