// Asks a top-level window to close the way a window manager's close button does: a
// WM_DELETE_WINDOW client message under WM_PROTOCOLS. The application decides what happens
// next (OBS saves and shuts down), unlike destroying the window or killing its client.
//
//   sayline_close_window WINDOW_ID        (decimal or 0x hex, as xdotool prints it)

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s WINDOW_ID\n", argv[0]);
        return 2;
    }
    char* end = nullptr;
    const unsigned long id = std::strtoul(argv[1], &end, 0);
    if (!end || *end != '\0' || id == 0) {
        std::fprintf(stderr, "close-window: not a window id: %s\n", argv[1]);
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "close-window: cannot open the display (DISPLAY unset?)\n");
        return 1;
    }
    const Window window = static_cast<Window>(id);
    const Atom protocols = XInternAtom(display, "WM_PROTOCOLS", False);
    const Atom deleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);

    // A window that does not take part in the protocol would only be destroyed by a window
    // manager: say so instead of pretending it was asked.
    Atom* supported = nullptr;
    int count = 0;
    bool takesPart = false;
    if (XGetWMProtocols(display, window, &supported, &count)) {
        for (int i = 0; i < count; ++i) takesPart = takesPart || supported[i] == deleteWindow;
        XFree(supported);
    }
    if (!takesPart) {
        std::fprintf(stderr, "close-window: window 0x%lx does not accept WM_DELETE_WINDOW\n", id);
        XCloseDisplay(display);
        return 1;
    }

    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = protocols;
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(deleteWindow);
    event.xclient.data.l[1] = CurrentTime;
    const Status sent = XSendEvent(display, window, False, NoEventMask, &event);
    XSync(display, False);
    XCloseDisplay(display);
    if (!sent) {
        std::fprintf(stderr, "close-window: XSendEvent to 0x%lx failed\n", id);
        return 1;
    }
    return 0;
}
