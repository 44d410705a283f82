// SPDX-License-Identifier: GPL-3.0-or-later
// Start to the first frame with text: starts the program given and prints, in milliseconds,
// the time from its start to the first picture of one of its top-level windows that holds
// text (at least MinTinte dark pixels), then ends the program. Each top-level window is
// watched from its creation with the X DAMAGE extension, so no picture drawn after the map
// is missed; each change is read back from the server. Prints nothing and fails after 10 s.
// Usage: erstesbild PROGRAM [ARGUMENT...]

#include <xcb/damage.h>
#include <xcb/xcb.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Dark pixels that make text: letters of a caption are many more; a frame's light grey lines
// and the background are none.
constexpr int MinTinte = 30;
constexpr int Dunkel = 0x60;

double Jetzt() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// Whether the drawable's picture holds text; false where it cannot be read (not viewable).
bool HatText(xcb_connection_t* c, xcb_drawable_t d, int breite, int hoehe) {
    const xcb_get_image_cookie_t k =
        xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, d, 0, 0, static_cast<uint16_t>(breite),
                      static_cast<uint16_t>(hoehe), ~0U);
    const std::unique_ptr<xcb_get_image_reply_t, decltype(&std::free)> bild(
        xcb_get_image_reply(c, k, nullptr), &std::free);
    if (!bild || bild->depth != 24) {
        return false;
    }
    const uint8_t* p = xcb_get_image_data(bild.get());
    const int n = xcb_get_image_data_length(bild.get()) / 4;
    int tinte = 0;
    for (int i = 0; i < n; ++i, p += 4) {
        if (p[0] < Dunkel && p[1] < Dunkel && p[2] < Dunkel && ++tinte >= MinTinte) {
            return true;
        }
    }
    return false;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs("Usage: erstesbild PROGRAM [ARGUMENT...]\n", stderr);
        return 2;
    }
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c) != 0) {
        std::fputs("erstesbild: no X display\n", stderr);
        return 1;
    }
    const std::unique_ptr<xcb_damage_query_version_reply_t, decltype(&std::free)> version(
        xcb_damage_query_version_reply(c, xcb_damage_query_version(c, 1, 1), nullptr), &std::free);
    const xcb_query_extension_reply_t* ext = xcb_get_extension_data(c, &xcb_damage_id);
    if (!version || ext == nullptr || ext->present == 0) {
        std::fputs("erstesbild: the X server has no DAMAGE extension\n", stderr);
        return 1;
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const uint32_t maske = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_request_check(c, xcb_change_window_attributes_checked(c, root, XCB_CW_EVENT_MASK, &maske));

    const double start = Jetzt();
    const pid_t kind = fork();
    if (kind == 0) {
        execvp(argv[1], argv + 1);
        _exit(127);
    }
    int status = 1;
    const double ende = start + 10;
    pollfd pfd{xcb_get_file_descriptor(c), POLLIN, 0};
    while (Jetzt() < ende && status != 0) {
        xcb_generic_event_t* e = xcb_poll_for_event(c);
        if (e == nullptr) {
            if (xcb_connection_has_error(c) != 0) {
                break;
            }
            poll(&pfd, 1, 100);
            continue;
        }
        const uint8_t art = e->response_type & 0x7f;
        if (art == XCB_CREATE_NOTIFY) {
            const auto* n = reinterpret_cast<xcb_create_notify_event_t*>(e);
            if (n->parent == root) {
                xcb_damage_create(c, xcb_generate_id(c), n->window,
                                  XCB_DAMAGE_REPORT_LEVEL_NON_EMPTY);
                xcb_flush(c);
            }
        } else if (art == ext->first_event + XCB_DAMAGE_NOTIFY) {
            const auto* n = reinterpret_cast<xcb_damage_notify_event_t*>(e);
            xcb_damage_subtract(c, n->damage, XCB_NONE, XCB_NONE);
            if (HatText(c, n->drawable, n->geometry.width, n->geometry.height)) {
                std::printf("%.3f\n", (Jetzt() - start) * 1000);
                status = 0;
            }
        }
        std::free(e);
    }
    kill(kind, SIGTERM);
    waitpid(kind, nullptr, 0);
    xcb_disconnect(c);
    return status;
}
