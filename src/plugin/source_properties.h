#pragma once

#include <obs.h>

#include <string>

namespace obs_sayline {

// Text of the sheet's info row.
std::string propertiesInfoText();

// Key pages of the services; empty when a value has none.
const char* sttKeyPage(const std::string& engine);
const char* translationKeyPage(const std::string& provider);

// Label of the key-page buttons for the chosen engine or provider.
const char* sttButtonLabel(const std::string& engine);
const char* translationButtonLabel(const std::string& provider);

// Host callbacks: the property sheet, its buttons and the two lists' modified-callbacks.
obs_properties_t* subtitle_source_properties(void* data);
bool open_stt_site_clicked(obs_properties_t* props, obs_property_t* property, void* data);
bool open_trans_site_clicked(obs_properties_t* props, obs_property_t* property, void* data);
bool test_stt_server_clicked(obs_properties_t* props, obs_property_t* property, void* data);
bool test_translation_clicked(obs_properties_t* props, obs_property_t* property, void* data);
bool status_refresh_clicked(obs_properties_t* props, obs_property_t* property, void* data);
bool stt_engine_modified(obs_properties_t* props, obs_property_t* property, obs_data_t* settings);
bool translation_provider_modified(obs_properties_t* props, obs_property_t* property,
                                   obs_data_t* settings);

}  // namespace obs_sayline
