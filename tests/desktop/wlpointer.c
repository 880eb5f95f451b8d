// A pointer for Wayland desktops without input devices (headless sway): a virtual pointer
// (zwlr_virtual_pointer_v1) on the first output, in its own pixels, as a plugged-in mouse.
//
//   wlpointer click X Y    a left click
//   wlpointer move X Y
//   wlpointer hold         keeps a pointer in the seat until stopped
//
// A seat offers its clients a pointer only while it has one, and a client learns of a new one a
// moment later: whoever starts the desktop keeps one plugged in with `hold`, so that the clicks
// of the short-lived ones reach it. Exits 0 once the compositor has taken every event.
#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"

#include <linux/input-event-codes.h>
#include <wayland-client.h>

#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#pragma GCC diagnostic ignored "-Wunused-parameter" // listeners take every argument of an event

struct state
{
    struct zwlr_virtual_pointer_manager_v1 *manager;
    struct wl_output *output;
    int width, height; // the output's current mode
};

static void mode(void *data, struct wl_output *output, uint32_t flags, int32_t width,
                 int32_t height, int32_t refresh)
{
    struct state *state = data;
    if (flags & WL_OUTPUT_MODE_CURRENT) {
        state->width = width;
        state->height = height;
    }
}
static void geometry(void *data, struct wl_output *output, int32_t x, int32_t y, int32_t w,
                     int32_t h, int32_t subpixel, const char *make, const char *model, int32_t t)
{}
// Bound at version 1, the output sends these two events only.
static const struct wl_output_listener outputListener = {.geometry = geometry, .mode = mode};

static void global(void *data, struct wl_registry *registry, uint32_t name, const char *interface,
                   uint32_t version)
{
    struct state *state = data;
    if (strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0 && version >= 2) {
        state->manager =
            wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 2);
    } else if (strcmp(interface, wl_output_interface.name) == 0 && !state->output) {
        state->output = wl_registry_bind(registry, name, &wl_output_interface, 1);
        wl_output_add_listener(state->output, &outputListener, state);
    }
}
static void globalRemove(void *data, struct wl_registry *registry, uint32_t name) {}
static const struct wl_registry_listener registryListener = {global, globalRemove};

// Sends what is queued on `pointer` as one frame; false once the compositor has gone.
static int frame(struct wl_display *display, struct zwlr_virtual_pointer_v1 *pointer)
{
    zwlr_virtual_pointer_v1_frame(pointer);
    return wl_display_roundtrip(display) >= 0;
}

static uint32_t now(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (uint32_t)(t.tv_sec * 1000 + t.tv_nsec / 1000000);
}

// Whether `text` is a whole decimal number from `least` to `most`.
static int number(const char *text, long least, long most, long *value)
{
    char *end;
    *value = strtol(text, &end, 10);
    return *text && !*end && *value >= least && *value <= most;
}

int main(int argc, char **argv)
{
    const int hold = argc == 2 && strcmp(argv[1], "hold") == 0;
    const int click = argc == 4 && strcmp(argv[1], "click") == 0;
    const int move = argc == 4 && strcmp(argv[1], "move") == 0;
    long x = 0, y = 0;
    if (!hold && !((click || move) && number(argv[2], 0, LONG_MAX, &x) &&
                   number(argv[3], 0, LONG_MAX, &y))) {
        fputs("usage: wlpointer click X Y | move X Y | hold\n", stderr);
        return 2;
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
    if (!state.manager || !state.output || x >= state.width || y >= state.height) {
        fprintf(stderr, "wlpointer: no virtual pointer, no output, or %ld,%ld off its %dx%d\n", x,
                y, state.width, state.height);
        return 1;
    }
    struct zwlr_virtual_pointer_v1 *pointer =
        zwlr_virtual_pointer_manager_v1_create_virtual_pointer_with_output(state.manager, NULL,
                                                                           state.output);
    if (hold) {
        while (wl_display_dispatch(display) >= 0)
            ;
        return 0; // the compositor has gone
    }
    // The client under the pointer learns that it entered before the press comes.
    zwlr_virtual_pointer_v1_motion_absolute(pointer, now(), (uint32_t)x, (uint32_t)y,
                                            (uint32_t)state.width, (uint32_t)state.height);
    int done = frame(display, pointer);
    for (int pressed = 1; click && pressed >= 0; --pressed) {
        zwlr_virtual_pointer_v1_button(pointer, now(), BTN_LEFT,
                                       pressed ? WL_POINTER_BUTTON_STATE_PRESSED
                                               : WL_POINTER_BUTTON_STATE_RELEASED);
        done = frame(display, pointer) && done;
    }
    zwlr_virtual_pointer_v1_destroy(pointer);
    zwlr_virtual_pointer_manager_v1_destroy(state.manager);
    wl_output_destroy(state.output);
    wl_registry_destroy(registry);
    wl_display_disconnect(display);
    if (!done) {
        fputs("wlpointer: the compositor closed the connection\n", stderr);
    }
    return !done;
}
