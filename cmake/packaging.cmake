# The Debian package (scripts/package.sh runs cpack on a Release tree): the module in the host's
# system plug-in folder, its data beside the host's own plug-ins' data, and the documentation
# Debian asks for. The package's libraries are not listed here: dpkg-shlibdeps reads them off
# the module, so whatever it comes to link is packaged right.
#
# The install rules belong to the component "deb" and stay out of a plain `cmake --install`
# (scripts/install.sh keeps its own layout).

if(NOT CMAKE_SYSTEM_NAME STREQUAL "Linux")
  return()
endif()

# Where this host looks for plug-ins and their data, as its own configuration header says
# (Debian: lib/x86_64-linux-gnu/obs-plugins and share/obs under /usr).
set(SAYLINE_DEB_PLUGIN_DESTINATION "lib/${CMAKE_LIBRARY_ARCHITECTURE}/obs-plugins")
set(SAYLINE_DEB_DATA_DESTINATION "share/obs")
get_target_property(_sayline_obs_includes OBS::libobs INTERFACE_INCLUDE_DIRECTORIES)
find_file(SAYLINE_OBSCONFIG_H obsconfig.h PATHS ${_sayline_obs_includes} NO_DEFAULT_PATH)
if(SAYLINE_OBSCONFIG_H)
  file(STRINGS "${SAYLINE_OBSCONFIG_H}" _sayline_obs_layout
       REGEX "^#define OBS_(PLUGIN_DESTINATION|DATA_PATH) ")
  foreach(_line IN LISTS _sayline_obs_layout)
    if(_line MATCHES "OBS_PLUGIN_DESTINATION \"([^\"]+)\"")
      set(SAYLINE_DEB_PLUGIN_DESTINATION "${CMAKE_MATCH_1}")
    elseif(_line MATCHES "OBS_DATA_PATH \"([^\"]+)\"")
      set(SAYLINE_DEB_DATA_DESTINATION "${CMAKE_MATCH_1}")
    endif()
  endforeach()
endif()

set(SAYLINE_DEB_DIR "${CMAKE_SOURCE_DIR}/packaging/debian")
set(SAYLINE_DEB_DOC_DESTINATION "share/doc/${PROJECT_NAME}")

# The changelog's newest entry is the package's version: a version bump without an entry fails
# here rather than in lintian.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${SAYLINE_DEB_DIR}/changelog")
file(STRINGS "${SAYLINE_DEB_DIR}/changelog" _sayline_changelog_top LIMIT_COUNT 1)
if(NOT _sayline_changelog_top MATCHES "^${PROJECT_NAME} \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "packaging/debian/changelog starts with \"${_sayline_changelog_top}\"; "
                      "add an entry for ${PROJECT_NAME} (${PROJECT_VERSION})")
endif()
# Debian ships changelogs compressed to the maximum, without a time stamp in the gzip header.
find_program(SAYLINE_GZIP gzip REQUIRED)
set(_sayline_changelog_gz "${CMAKE_BINARY_DIR}/packaging/changelog.gz")
file(MAKE_DIRECTORY "${CMAKE_BINARY_DIR}/packaging")
execute_process(COMMAND "${SAYLINE_GZIP}" -9 -n -c "${SAYLINE_DEB_DIR}/changelog"
                OUTPUT_FILE "${_sayline_changelog_gz}" COMMAND_ERROR_IS_FATAL ANY)

install(TARGETS obs-sayline LIBRARY DESTINATION "${SAYLINE_DEB_PLUGIN_DESTINATION}"
        PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ
        COMPONENT deb EXCLUDE_FROM_ALL)
install(DIRECTORY data/ DESTINATION "${SAYLINE_DEB_DATA_DESTINATION}/obs-plugins/${PROJECT_NAME}"
        FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ
        COMPONENT deb EXCLUDE_FROM_ALL)
install(FILES "${SAYLINE_DEB_DIR}/copyright" "${_sayline_changelog_gz}"
        DESTINATION "${SAYLINE_DEB_DOC_DESTINATION}"
        PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ
        COMPONENT deb EXCLUDE_FROM_ALL)
if(EXISTS "${SAYLINE_DEB_DIR}/lintian-overrides")
  install(FILES "${SAYLINE_DEB_DIR}/lintian-overrides"
          DESTINATION share/lintian/overrides RENAME "${PROJECT_NAME}"
          PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ
          COMPONENT deb EXCLUDE_FROM_ALL)
endif()

set(CPACK_GENERATOR "DEB")
set(CPACK_SOURCE_GENERATOR "")
set(CPACK_PACKAGE_NAME "${PROJECT_NAME}")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_VENDOR "Sayline")
set(CPACK_PACKAGE_CONTACT "Sayline maintainers <maintainers@users.noreply.c-seed-7344f104.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "live subtitles for OBS Studio from cloud speech recognition")
string(CONCAT CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Sayline is a source for OBS Studio that listens to the program audio or to\n"
    "one source, sends the speech to a speech-to-text service (Whisper API or a\n"
    "compatible server of one's own, Google Speech-to-Text, Deepgram, also live\n"
    "streaming), optionally translates it (DeepL, Google Translate, Gemini) and\n"
    "draws the text as subtitles in the scene. It can also send the text as\n"
    "closed captions with the stream and write SRT or WebVTT transcripts beside\n"
    "the recording.")
# Only the component above; the directory, the project and "/" are what cpack installs from.
set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};${PROJECT_NAME};deb;/")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_FILE_NAME "DEB-DEFAULT")
set(CPACK_DEBIAN_PACKAGE_SECTION "video")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
# The application that loads the module, which no library link names, from the major version
# of the host library built against: the host refuses a module made for a newer one. Every
# library the module links comes from dpkg-shlibdeps and is appended to this.
if(libobs_VERSION_MAJOR)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "obs-studio (>= ${libobs_VERSION_MAJOR})")
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "obs-studio")
endif()
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE "xz")
include(CPack)
