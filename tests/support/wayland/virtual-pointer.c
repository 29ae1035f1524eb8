// Moves and clicks the pointer of a Wayland compositor through its virtual pointer protocol
// (zwlr_virtual_pointer_manager_v1, offered by wlroots compositors such as sway), as a mouse
// on the seat would: the events pass through the compositor to whichever surface is under the
// pointer. Commands come from the arguments or, without any, one a line from stdin, where each
// is answered with "ok" once the compositor has handled it:
//   move X Y      the pointer to X,Y in the output's logical pixels
//   press         the left button down
//   release       the left button up
//   click         press and release
//   doubleclick   two clicks in quick succession
//   globals       prints the interfaces the compositor offers, one a line
// Exits 2 when the compositor offers no virtual pointer.
#define _POSIX_C_SOURCE 200809L

#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"

#include <linux/input-event-codes.h>
#include <stdbool.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <wayland-client.h>

struct session {
    struct wl_display* display;
    struct wl_seat* seat;
    struct wl_output* output;
    struct zwlr_virtual_pointer_manager_v1* manager;
    uint32_t managerVersion;
    struct zwlr_virtual_pointer_v1* pointer;
    int32_t modeWidth, modeHeight, scale;
    bool listGlobals;
};

static uint32_t nowMs(void) {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (uint32_t)(now.tv_sec * 1000 + now.tv_nsec / 1000000);
}

static void outputGeometry(void* data, struct wl_output* output, int32_t x, int32_t y, int32_t width, int32_t height,
                           int32_t subpixel, const char* make, const char* model, int32_t transform) {
    (void)data, (void)output, (void)x, (void)y, (void)width, (void)height, (void)subpixel, (void)make, (void)model,
        (void)transform;
}

static void outputMode(void* data, struct wl_output* output, uint32_t flags, int32_t width, int32_t height,
                       int32_t refresh) {
    (void)output, (void)refresh;
    struct session* session = data;
    if (flags & WL_OUTPUT_MODE_CURRENT) {
        session->modeWidth = width;
        session->modeHeight = height;
    }
}

static void outputDone(void* data, struct wl_output* output) { (void)data, (void)output; }

static void outputScale(void* data, struct wl_output* output, int32_t factor) {
    (void)output;
    ((struct session*)data)->scale = factor;
}

// Bound at version 2 at most: no name or description events.
static const struct wl_output_listener outputListener = {
    .geometry = outputGeometry, .mode = outputMode, .done = outputDone, .scale = outputScale};

static void globalAdded(void* data, struct wl_registry* registry, uint32_t name, const char* interface,
                        uint32_t version) {
    struct session* session = data;
    if (session->listGlobals)
        printf("%s %u\n", interface, version);
    if (strcmp(interface, wl_seat_interface.name) == 0 && !session->seat) {
        session->seat = wl_registry_bind(registry, name, &wl_seat_interface, 1);
    } else if (strcmp(interface, wl_output_interface.name) == 0 && !session->output) {
        session->output = wl_registry_bind(registry, name, &wl_output_interface, version < 2 ? version : 2);
        wl_output_add_listener(session->output, &outputListener, session);
    } else if (strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0) {
        session->managerVersion = version < 2 ? version : 2;
        session->manager =
            wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, session->managerVersion);
    }
}

static void globalRemoved(void* data, struct wl_registry* registry, uint32_t name) {
    (void)data, (void)registry, (void)name;
}

static const struct wl_registry_listener registryListener = {.global = globalAdded, .global_remove = globalRemoved};

static void button(struct session* session, enum wl_pointer_button_state state) {
    zwlr_virtual_pointer_v1_button(session->pointer, nowMs(), BTN_LEFT, state);
    zwlr_virtual_pointer_v1_frame(session->pointer);
}

static void click(struct session* session) {
    button(session, WL_POINTER_BUTTON_STATE_PRESSED);
    button(session, WL_POINTER_BUTTON_STATE_RELEASED);
}

// Runs one command; false with a message on stderr when it is not one.
static bool run(struct session* session, int count, char** words) {
    const char* verb = count > 0 ? words[0] : "";
    if (strcmp(verb, "move") == 0 && count == 3) {
        const int32_t scale = session->scale > 0 ? session->scale : 1;
        const uint32_t width = (uint32_t)(session->modeWidth / scale), height = (uint32_t)(session->modeHeight / scale);
        const long x = strtol(words[1], NULL, 10), y = strtol(words[2], NULL, 10);
        if (x < 0 || y < 0 || (uint32_t)x >= width || (uint32_t)y >= height) {
            fprintf(stderr, "move: %ld,%ld is outside the output's %ux%u\n", x, y, width, height);
            return false;
        }
        zwlr_virtual_pointer_v1_motion_absolute(session->pointer, nowMs(), (uint32_t)x, (uint32_t)y, width, height);
        zwlr_virtual_pointer_v1_frame(session->pointer);
    } else if (strcmp(verb, "press") == 0 && count == 1) {
        button(session, WL_POINTER_BUTTON_STATE_PRESSED);
    } else if (strcmp(verb, "release") == 0 && count == 1) {
        button(session, WL_POINTER_BUTTON_STATE_RELEASED);
    } else if (strcmp(verb, "click") == 0 && count == 1) {
        click(session);
    } else if (strcmp(verb, "doubleclick") == 0 && count == 1) {
        click(session);
        click(session);
    } else if (strcmp(verb, "globals") == 0 && count == 1) {
        session->listGlobals = true;
        struct wl_registry* registry = wl_display_get_registry(session->display);
        wl_registry_add_listener(registry, &registryListener, session);
        wl_display_roundtrip(session->display);
        wl_registry_destroy(registry);
        session->listGlobals = false;
    } else {
        fprintf(stderr, "unknown command: %s (with %d arguments)\n", verb, count - 1);
        return false;
    }
    // Handled by the compositor once the round trip returns.
    return wl_display_roundtrip(session->display) >= 0;
}

int main(int argc, char** argv) {
    struct session session = {0};
    session.display = wl_display_connect(NULL);
    if (!session.display) {
        fprintf(stderr, "no Wayland display to connect to\n");
        return 1;
    }
    struct wl_registry* registry = wl_display_get_registry(session.display);
    wl_registry_add_listener(registry, &registryListener, &session);
    wl_display_roundtrip(session.display);
    wl_display_roundtrip(session.display);  // the output's mode
    if (argc == 2 && strcmp(argv[1], "globals") == 0)
        return run(&session, 1, argv + 1) ? 0 : 1;
    if (!session.manager) {
        fprintf(stderr, "the compositor offers no zwlr_virtual_pointer_manager_v1\n");
        return 2;
    }
    if (!session.output || session.modeWidth <= 0) {
        fprintf(stderr, "the compositor shows no output\n");
        return 1;
    }
    session.pointer = session.managerVersion >= 2
                          ? zwlr_virtual_pointer_manager_v1_create_virtual_pointer_with_output(
                                session.manager, session.seat, session.output)
                          : zwlr_virtual_pointer_manager_v1_create_virtual_pointer(session.manager, session.seat);
    wl_display_roundtrip(session.display);

    int status = 0;
    if (argc > 1) {
        // Arguments: commands one after another, each verb followed by its numbers.
        for (int i = 1; i < argc && status == 0;) {
            int count = 1;
            while (i + count < argc &&
                   (argv[i + count][0] == '-' || (argv[i + count][0] >= '0' && argv[i + count][0] <= '9')))
                ++count;
            status = run(&session, count, argv + i) ? 0 : 1;
            i += count;
        }
    } else {
        char line[256];
        while (fgets(line, sizeof line, stdin)) {
            char* words[4];
            int count = 0;
            for (char* word = strtok(line, " \t\r\n"); word && count < 4; word = strtok(NULL, " \t\r\n"))
                words[count++] = word;
            if (count == 0)
                continue;
            printf(run(&session, count, words) ? "ok\n" : "error\n");
            fflush(stdout);
        }
    }
    zwlr_virtual_pointer_v1_destroy(session.pointer);
    zwlr_virtual_pointer_manager_v1_destroy(session.manager);
    wl_display_roundtrip(session.display);
    wl_display_disconnect(session.display);
    return status;
}
