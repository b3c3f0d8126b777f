#pragma once

#include <cstdint>
#include <exception>
#include <type_traits>
#include <utility>

namespace obs_sayline {

// Logs the exception that reached a host callback's boundary: Error "Exception in <callback>:
// <text>" (tag "Plugin"), or "Unknown exception in <callback>" when it carries no text.
void logCallbackException(const char* callback, const std::exception* error) noexcept;

// The one exception boundary of every callback the host calls (source callbacks, the audio
// callback, property callbacks and buttons, module load and unload): nothing thrown inside
// `body` reaches the host's C code. On an exception the line above is logged and `neutral`
// is returned.
template <typename Result, typename Body>
Result guardCallback(const char* callback, Result neutral, Body&& body) noexcept {
    try {
        return std::forward<Body>(body)();
    } catch (const std::exception& e) {
        logCallbackException(callback, &e);
    } catch (...) {
        logCallbackException(callback, nullptr);
    }
    return neutral;
}

template <typename Body>
void guardCallback(const char* callback, Body&& body) noexcept {
    try {
        std::forward<Body>(body)();
    } catch (const std::exception& e) {
        logCallbackException(callback, &e);
    } catch (...) {
        logCallbackException(callback, nullptr);
    }
}

// Fault injection for the tests that prove the boundaries hold: a callback named in the
// environment variable SAYLINE_FAULT_INJECTION (comma-separated, e.g. "render,audio") throws
// once inside its boundary. The variable is read at module load and at every update (so a
// test can arm faults through an update); the hot callbacks only test a bit.
enum class Fault : uint32_t {
    Load = 1u << 0,
    Unload = 1u << 1,
    Create = 1u << 2,
    Destroy = 1u << 3,
    Update = 1u << 4,
    Defaults = 1u << 5,
    Properties = 1u << 6,
    Activate = 1u << 7,
    Deactivate = 1u << 8,
    Render = 1u << 9,
    Audio = 1u << 10,
    Button = 1u << 11,
    Modified = 1u << 12,
    Size = 1u << 13,
    Name = 1u << 14,
};

// Reads SAYLINE_FAULT_INJECTION and arms the faults it names (control thread).
void armFaultsFromEnvironment();

// Throws std::runtime_error("injected fault in <callback>") when `fault` is armed, and disarms
// it. One atomic load when nothing is armed.
void injectFault(Fault fault);

}  // namespace obs_sayline
