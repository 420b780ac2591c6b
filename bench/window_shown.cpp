// Waits for a program's window to appear and to be drawn, for the launch-time comparison
// (startup_ab.sh).
//
// Usage: window_shown TITLE_PATTERN START_NS [TIMEOUT_MS]
//   TITLE_PATTERN  regular expression (ECMAScript) that a top-level window's title matches
//   START_NS       the launch moment in nanoseconds of the real-time clock (date +%s%N)
//   TIMEOUT_MS     how long to wait (default 15000)
// Prints "MAPPED_MS DRAWN_MS": milliseconds from START_NS until a matching window was viewable
// (what `xdotool search --onlyvisible` sees), and until it was also drawn. Exit status 1 when
// no such window was drawn in time, 2 for a bad command line or no display.
//
// A window is viewable as soon as the program maps it, which may be well before it has drawn
// anything: until then the screen shows what lay beneath, here the black root window of the
// private X server. So a window counts as drawn when nearly all pixels along its middle row and
// middle column are no longer black: neither program's window is black where it is drawn.
#include <xcb/xcb.h>

#include <time.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <regex>
#include <string>
#include <vector>

namespace {

template <typename T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;

template <typename T>
Reply<T> Own(T *reply) {
    return Reply<T>(reply, &std::free);
}

double NowNs() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<double>(now.tv_sec) * 1e9 + static_cast<double>(now.tv_nsec);
}

xcb_atom_t Atom(xcb_connection_t *connection, const char *name) {
    auto reply = Own(xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, static_cast<uint16_t>(std::strlen(name)), name),
        nullptr));
    return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

// The window's title: _NET_WM_NAME (UTF-8) when set, else WM_NAME.
std::string Title(xcb_connection_t *connection, xcb_window_t window, xcb_atom_t netWmName,
                  xcb_atom_t utf8) {
    for (const auto &[property, type] :
         {std::pair{netWmName, utf8},
          std::pair{xcb_atom_t{XCB_ATOM_WM_NAME}, xcb_atom_t{XCB_ATOM_ANY}}}) {
        auto reply = Own(xcb_get_property_reply(
            connection, xcb_get_property(connection, 0, window, property, type, 0, 1024), nullptr));
        if (reply && xcb_get_property_value_length(reply.get()) > 0) {
            return std::string(static_cast<const char *>(xcb_get_property_value(reply.get())),
                               static_cast<size_t>(xcb_get_property_value_length(reply.get())));
        }
    }
    return {};
}

// Share of non-black pixels in a strip of the window (32-bit pixels, as on the X server the
// script starts); 0 when the strip cannot be read.
double DrawnShare(xcb_connection_t *connection, xcb_window_t window, int16_t x, int16_t y,
                  uint16_t width, uint16_t height) {
    auto image = Own(xcb_get_image_reply(
        connection,
        xcb_get_image(connection, XCB_IMAGE_FORMAT_Z_PIXMAP, window, x, y, width, height, ~0u),
        nullptr));
    if (!image || image->depth < 24) {
        return 0;
    }
    const int length = xcb_get_image_data_length(image.get());
    const uint8_t *data = xcb_get_image_data(image.get());
    int pixels = 0;
    int drawn = 0;
    for (int i = 0; i + 3 < length; i += 4, ++pixels) {
        if ((data[i] | data[i + 1] | data[i + 2]) != 0) {
            ++drawn;
        }
    }
    return pixels > 0 ? static_cast<double>(drawn) / pixels : 0;
}

}  // namespace

int main(int argc, char *argv[]) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: window_shown TITLE_PATTERN START_NS [TIMEOUT_MS]\n");
        return 2;
    }
    const std::regex pattern(argv[1]);
    const double start = std::strtod(argv[2], nullptr);
    const double timeoutMs = argc > 3 ? std::strtod(argv[3], nullptr) : 15000;

    int screenNumber = 0;
    xcb_connection_t *connection = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(connection)) {
        std::fprintf(stderr, "window_shown: cannot open the display\n");
        return 2;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < screenNumber; ++i) {
        xcb_screen_next(&screens);
    }
    const xcb_window_t root = screens.data->root;
    const xcb_atom_t netWmName = Atom(connection, "_NET_WM_NAME");
    const xcb_atom_t utf8 = Atom(connection, "UTF8_STRING");

    double mappedMs = -1;
    const auto elapsedMs = [start] { return (NowNs() - start) / 1e6; };
    while (elapsedMs() < timeoutMs) {
        auto tree =
            Own(xcb_query_tree_reply(connection, xcb_query_tree(connection, root), nullptr));
        const int count = tree ? xcb_query_tree_children_length(tree.get()) : 0;
        const xcb_window_t *children = tree ? xcb_query_tree_children(tree.get()) : nullptr;
        for (int i = 0; i < count; ++i) {
            const xcb_window_t window = children[i];
            auto attributes = Own(xcb_get_window_attributes_reply(
                connection, xcb_get_window_attributes(connection, window), nullptr));
            if (!attributes || attributes->map_state != XCB_MAP_STATE_VIEWABLE) {
                continue;
            }
            if (!std::regex_search(Title(connection, window, netWmName, utf8), pattern)) {
                continue;
            }
            const double now = elapsedMs();
            if (mappedMs < 0) {
                mappedMs = now;
            }
            auto geometry = Own(
                xcb_get_geometry_reply(connection, xcb_get_geometry(connection, window), nullptr));
            if (!geometry || geometry->width < 4 || geometry->height < 4) {
                continue;
            }
            const double row =
                DrawnShare(connection, window, 0, static_cast<int16_t>(geometry->height / 2),
                           geometry->width, 1);
            const double column =
                DrawnShare(connection, window, static_cast<int16_t>(geometry->width / 2), 0, 1,
                           geometry->height);
            if (row >= 0.9 && column >= 0.9) {
                std::printf("%.0f %.0f\n", mappedMs, now);
                xcb_disconnect(connection);
                return 0;
            }
        }
        const timespec pause{0, 2 * 1000 * 1000};
        nanosleep(&pause, nullptr);
    }
    xcb_disconnect(connection);
    return 1;
}
