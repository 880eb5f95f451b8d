// A pointer for Wayland desktops without input devices (headless sway): moves to a point of the
// first output and clicks there through a virtual pointer (zwlr_virtual_pointer_v1), as a mouse
// plugged into the seat would.
//
//   wlpointer click X Y [BUTTON]   BUTTON 1 left (the default), 2 middle, 3 right
//   wlpointer move X Y
//   wlpointer hold                 keeps a pointer in the seat until stopped
//
// A seat offers its clients a pointer only while it has one: a client learns of a new one a
// moment later, and misses the clicks of a pointer that came and went meanwhile. So whoever
// starts the desktop keeps one plugged in with `hold`, and the clicks come from a second one.
// X and Y are in the output's own pixels. Exits 0 once the compositor has taken every event.
#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"

#include <linux/input-event-codes.h>
#include <wayland-client.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

struct state
{
    struct zwlr_virtual_pointer_manager_v1 *manager;
    struct wl_output *output;
    int width, height; // the output's current mode
};

static void mode(void *data, struct wl_output *output, uint32_t flags, int32_t width,
                 int32_t height, int32_t refresh)
{
    (void)output;
    (void)refresh;
    struct state *state = data;
    if (flags & WL_OUTPUT_MODE_CURRENT) {
        state->width = width;
        state->height = height;
    }
}
static void geometry(void *data, struct wl_output *output, int32_t x, int32_t y, int32_t w,
                     int32_t h, int32_t subpixel, const char *make, const char *model,
                     int32_t transform)
{
    (void)data, (void)output, (void)x, (void)y, (void)w, (void)h, (void)subpixel, (void)make,
        (void)model, (void)transform;
}
static void done(void *data, struct wl_output *output)
{
    (void)data, (void)output;
}
static void scale(void *data, struct wl_output *output, int32_t factor)
{
    (void)data, (void)output, (void)factor;
}
static const struct wl_output_listener outputListener = {
    .geometry = geometry, .mode = mode, .done = done, .scale = scale};

static void global(void *data, struct wl_registry *registry, uint32_t name, const char *interface,
                   uint32_t version)
{
    struct state *state = data;
    if (strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0 && version >= 2) {
        state->manager =
            wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 2);
    } else if (strcmp(interface, wl_output_interface.name) == 0 && !state->output) {
        state->output = wl_registry_bind(registry, name, &wl_output_interface, 2);
        wl_output_add_listener(state->output, &outputListener, state);
    }
}
static void globalRemove(void *data, struct wl_registry *registry, uint32_t name)
{
    (void)data, (void)registry, (void)name;
}
static const struct wl_registry_listener registryListener = {.global = global,
                                                             .global_remove = globalRemove};

static uint32_t now(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (uint32_t)(t.tv_sec * 1000 + t.tv_nsec / 1000000);
}

static int usage(void)
{
    fputs("usage: wlpointer click X Y [1|2|3]\n       wlpointer move X Y\n       wlpointer hold\n",
          stderr);
    return 2;
}

int main(int argc, char **argv)
{
    const int hold = argc == 2 && strcmp(argv[1], "hold") == 0;
    const int click = argc >= 4 && argc <= 5 && strcmp(argv[1], "click") == 0;
    if (!hold && !click && (argc != 4 || strcmp(argv[1], "move") != 0)) {
        return usage();
    }
    char *end = "";
    const long x = hold ? 0 : strtol(argv[2], &end, 10);
    const int xValid = *end == '\0';
    const long y = hold ? 0 : strtol(argv[3], &end, 10);
    const int yValid = *end == '\0';
    const uint32_t buttons[] = {BTN_LEFT, BTN_MIDDLE, BTN_RIGHT};
    const long button = argc == 5 ? strtol(argv[4], &end, 10) : 1;
    if (!xValid || !yValid || x < 0 || y < 0 || button < 1 || button > 3 || *end != '\0') {
        return usage();
    }

    struct wl_display *display = wl_display_connect(NULL);
    if (!display) {
        fputs("wlpointer: cannot connect to the Wayland display\n", stderr);
        return 1;
    }
    struct state state = {0};
    struct wl_registry *registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &registryListener, &state);
    wl_display_roundtrip(display); // the globals
    wl_display_roundtrip(display); // the output's mode
    if (!state.manager || !state.output || state.width <= 0 || state.height <= 0) {
        fputs("wlpointer: the compositor offers no virtual pointer or no output\n", stderr);
        return 1;
    }
    if (x >= state.width || y >= state.height) {
        fprintf(stderr, "wlpointer: %ld,%ld is off the %dx%d output\n", x, y, state.width,
                state.height);
        return 1;
    }

    struct zwlr_virtual_pointer_v1 *pointer =
        zwlr_virtual_pointer_manager_v1_create_virtual_pointer_with_output(state.manager, NULL,
                                                                           state.output);
    if (hold) {
        while (wl_display_dispatch(display) >= 0) {
        }
        return 0; // the compositor has gone
    }
    zwlr_virtual_pointer_v1_motion_absolute(pointer, now(), (uint32_t)x, (uint32_t)y,
                                            (uint32_t)state.width, (uint32_t)state.height);
    zwlr_virtual_pointer_v1_frame(pointer);
    // The client under the pointer learns that it entered before the press comes.
    wl_display_roundtrip(display);
    if (click) {
        const uint32_t code = buttons[button - 1];
        zwlr_virtual_pointer_v1_button(pointer, now(), code, WL_POINTER_BUTTON_STATE_PRESSED);
        zwlr_virtual_pointer_v1_frame(pointer);
        wl_display_roundtrip(display);
        zwlr_virtual_pointer_v1_button(pointer, now(), code, WL_POINTER_BUTTON_STATE_RELEASED);
        zwlr_virtual_pointer_v1_frame(pointer);
    }
    const int failed = wl_display_roundtrip(display) < 0;
    zwlr_virtual_pointer_v1_destroy(pointer);
    zwlr_virtual_pointer_manager_v1_destroy(state.manager);
    wl_output_destroy(state.output);
    wl_registry_destroy(registry);
    wl_display_disconnect(display);
    if (failed) {
        fputs("wlpointer: the compositor closed the connection\n", stderr);
    }
    return failed;
}
