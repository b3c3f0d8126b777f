#include "dock/sayline_dock.h"

#include <obs-frontend-api.h>
#include <obs.h>
#include <util/config-file.h>

#include <QAction>
#include <QApplication>
#include <QDateTime>
#include <QDockWidget>
#include <QMainWindow>
#include <QPointer>
#include <QTimer>

#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/logger.h"
#include "dock/dock_model.h"
#include "dock/dock_panel.h"
#include "plugin/callback_guard.h"
#include "plugin/source_controls.h"
#include "plugin/source_registration.h"
#include "plugin/status_properties.h"
#include "sinks/dock/dock_feed.h"

// OBS 30 made docks by id (the front end owns the dock around our widget); OBS 29 takes a
// QDockWidget of ours.
#if LIBOBS_API_MAJOR_VER >= 30
#define SAYLINE_DOCK_BY_ID 1
#else
#define SAYLINE_DOCK_BY_ID 0
#endif

namespace obs_sayline {
namespace {

constexpr const char* kDockId = "sayline_dock";
constexpr const char* kDockTitle = "Sayline";
// At most ten updates a second.
constexpr int kRefreshMs = 100;
// Whether the dock has been shown once in this OBS configuration: a newly added module shows
// it; after that the front end's saved layout decides.
constexpr const char* kConfigSection = "Sayline";
constexpr const char* kConfigOffered = "DockOffered";
constexpr const char* kSpeakerKey = "speaker_name";
constexpr int kOfferedWidth = 440;  // pixels

struct DockHost {
    QPointer<DockPanel> panel;
#if !SAYLINE_DOCK_BY_ID
    QPointer<QDockWidget> dock;
    QPointer<QAction> action;
#endif
    DockModel model;
    bool eventsInstalled = false;
};

std::unique_ptr<DockHost> host;  // UI thread only

uintptr_t keyOf(obs_source_t* source) { return reinterpret_cast<uintptr_t>(source); }

bool isSayline(obs_source_t* source) {
    const char* id = obs_source_get_unversioned_id(source);
    return id && std::strcmp(id, kSourceId) == 0;
}

DockSourceRow rowOf(obs_source_t* source) {
    DockSourceRow row;
    row.source = keyOf(source);
    const char* name = obs_source_get_name(source);
    row.name = name ? name : "";
    if (obs_data_t* settings = obs_source_get_settings(source)) {
        const char* speaker = obs_data_get_string(settings, kSpeakerKey);
        row.speaker = speaker ? speaker : "";
        obs_data_release(settings);
    }
    StatusReport report;
    calldata_t call;
    calldata_init(&call);
    if (proc_handler_call(obs_source_get_proc_handler(source), kGetStatusProc, &call)) {
        const char* text = calldata_string(&call, "text");
        const char* code = calldata_string(&call, "code");
        report.sentence = text ? text : "";
        if (code) statusCodeFromName(code, report.code);
    }
    calldata_free(&call);
    row.status = statusRowText(report);
    row.mark = statusMark(report.code);
    row.paused = report.code == StatusCode::Paused;
    return row;
}

std::vector<DockSourceRow> currentRows() {
    std::vector<DockSourceRow> rows;
    obs_enum_sources(
        [](void* param, obs_source_t* source) {
            if (isSayline(source)) static_cast<std::vector<DockSourceRow>*>(param)->push_back(rowOf(source));
            return true;
        },
        &rows);
    return rows;
}

// Runs `procedure` on the source with `key`, if it is still there.
void callOnSource(uintptr_t key, const char* procedure, calldata_t* call) {
    struct Search {
        uintptr_t key;
        obs_source_t* found;
    } search{key, nullptr};
    obs_enum_sources(
        [](void* param, obs_source_t* source) {
            auto* s = static_cast<Search*>(param);
            if (keyOf(source) != s->key || !isSayline(source)) return true;
            s->found = obs_source_get_ref(source);
            return false;
        },
        &search);
    if (!search.found) return;
    proc_handler_call(obs_source_get_proc_handler(search.found), procedure, call);
    obs_source_release(search.found);
}

std::string clockTime(std::chrono::system_clock::time_point at) {
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(at.time_since_epoch()).count();
    return QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(ms))
        .toString(QStringLiteral("HH:mm:ss"))
        .toStdString();
}

void refresh() {
    if (!host || !host->panel) return;
    host->model.setSources(currentRows());
    for (FeedLine& fed : DockFeed::instance().take()) {
        DockLine line;
        line.source = fed.source;
        line.time = clockTime(fed.at);
        line.original = std::move(fed.original);
        line.translation = std::move(fed.translation);
        line.interim = fed.interim;
        host->model.add(std::move(line));
    }
    host->panel->showModel(host->model);
}

config_t* frontendConfig() {
#if LIBOBS_API_MAJOR_VER >= 31
    return obs_frontend_get_user_config();
#else
    return obs_frontend_get_global_config();
#endif
}

// A module newly added shows its dock once; the front end keeps whether it stays shown.
void offerOnce() {
    if (!host || !host->panel) return;
    config_t* config = frontendConfig();
    if (config && config_get_bool(config, kConfigSection, kConfigOffered)) return;
#if SAYLINE_DOCK_BY_ID
    auto* dock = qobject_cast<QDockWidget*>(host->panel->parentWidget());
#else
    QDockWidget* dock = host->dock;
#endif
    auto* main = static_cast<QMainWindow*>(obs_frontend_get_main_window());
    if (dock && main) {
        dock->setFloating(false);
        main->addDockWidget(Qt::RightDockWidgetArea, dock);
        dock->setVisible(true);
        dock->raise();
        // Room for a transcript line.
        main->resizeDocks({dock}, {kOfferedWidth}, Qt::Horizontal);
    }
    if (config) config_set_bool(config, kConfigSection, kConfigOffered, true);
    logInfoTag("Dock", "Sayline dock shown (first start with the module)");
}

void takeDown() {
    if (!host) return;
    DockFeed::instance().close();
#if SAYLINE_DOCK_BY_ID
    // The front end owns the dock and our widget in it.
    if (host->panel) obs_frontend_remove_dock(kDockId);
#else
    delete host->action.data();
    delete host->dock.data();  // and the panel, its child
#endif
    host->panel.clear();
}

void onFrontendEvent(obs_frontend_event event) {
    switch (event) {
        case OBS_FRONTEND_EVENT_FINISHED_LOADING:
            offerOnce();
            break;
        case OBS_FRONTEND_EVENT_EXIT:
            // Before the main window goes: the widgets are ours to delete while our code is
            // still loaded.
            takeDown();
            break;
        default:
            break;
    }
}

void dock_frontend_event(enum obs_frontend_event event, void*) {
    guardCallback("dock_frontend_event", [&] { onFrontendEvent(event); });
}

DockActions sourceActions() {
    DockActions actions;
    actions.setPaused = [](uintptr_t key, bool paused) {
        calldata_t call;
        calldata_init(&call);
        calldata_set_bool(&call, "paused", paused);
        callOnSource(key, kSetPausedProc, &call);
        calldata_free(&call);
        refresh();
    };
    actions.clear = [](uintptr_t key) {
        calldata_t call;
        calldata_init(&call);
        callOnSource(key, kClearSubtitleProc, &call);
        calldata_free(&call);
    };
    return actions;
}

}  // namespace

void installSaylineDock() {
    if (host) return;
    auto* main = static_cast<QMainWindow*>(obs_frontend_get_main_window());
    // No front end (a headless host, obs without its window): no dock.
    if (!main || !qobject_cast<QApplication*>(QCoreApplication::instance())) return;
    host = std::make_unique<DockHost>();
    auto* panel = new DockPanel(sourceActions());
    panel->setObjectName(QStringLiteral("sayline_dock_panel"));
#if SAYLINE_DOCK_BY_ID
    if (!obs_frontend_add_dock_by_id(kDockId, kDockTitle, panel)) {
        delete panel;
        host.reset();
        logWarningTag("Dock", "The front end refused the Sayline dock");
        return;
    }
#else
    auto* dock = new QDockWidget(main);
    dock->setObjectName(QString::fromLatin1(kDockId));
    dock->setWindowTitle(QString::fromLatin1(kDockTitle));
    dock->setWidget(panel);
    main->addDockWidget(Qt::RightDockWidgetArea, dock);
    dock->setVisible(false);
    host->dock = dock;
    host->action = static_cast<QAction*>(obs_frontend_add_dock(dock));
#endif
    host->panel = panel;
    auto* timer = new QTimer(panel);
    QObject::connect(timer, &QTimer::timeout, panel, [] {
        guardCallback("dock_refresh", [] { refresh(); });
    });
    timer->start(kRefreshMs);
    DockFeed::instance().open();
    obs_frontend_add_event_callback(dock_frontend_event, nullptr);
    host->eventsInstalled = true;
    logInfoTag("Dock", "Sayline dock added (View > Docks > Sayline)");
}

void removeSaylineDock() {
    if (!host) return;
    takeDown();
    if (host->eventsInstalled) obs_frontend_remove_event_callback(dock_frontend_event, nullptr);
    host.reset();
}

}  // namespace obs_sayline
