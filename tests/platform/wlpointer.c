// SPDX-License-Identifier: GPL-3.0-or-later
/* A pointer for a headless wlroots compositor, which has no input devices: moves, clicks and drags through a
 * virtual pointer, in the layout's logical coordinates.
 *   wlpointer WIDTH HEIGHT move X Y
 *   wlpointer WIDTH HEIGHT drag X1 Y1 X2 Y2      (left button, in small steps)
 * WIDTH × HEIGHT is the layout's bounding box. */
#include "virtual-pointer-client.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <wayland-client.h>

static struct zwlr_virtual_pointer_manager_v1 *manager;
static struct wl_seat *seat;

static void global(void *data, struct wl_registry *registry, uint32_t name, const char *interface,
                   uint32_t version)
{
    (void)data;
    (void)version;
    if (strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0)
        manager = wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1);
    else if (strcmp(interface, wl_seat_interface.name) == 0 && !seat)
        seat = wl_registry_bind(registry, name, &wl_seat_interface, 1);
}

static void global_remove(void *data, struct wl_registry *registry, uint32_t name)
{
    (void)data;
    (void)registry;
    (void)name;
}

static const struct wl_registry_listener listener = {global, global_remove};

static uint32_t now_ms(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (uint32_t)(t.tv_sec * 1000 + t.tv_nsec / 1000000);
}

static void pause_ms(long ms)
{
    struct timespec t = {ms / 1000, (ms % 1000) * 1000000};
    nanosleep(&t, NULL);
}

static struct wl_display *display;
static struct zwlr_virtual_pointer_v1 *pointer;
static uint32_t width, height;

static void move_to(uint32_t x, uint32_t y)
{
    zwlr_virtual_pointer_v1_motion_absolute(pointer, now_ms(), x, y, width, height);
    zwlr_virtual_pointer_v1_frame(pointer);
    wl_display_roundtrip(display);
    pause_ms(30);
}

static void button(int pressed)
{
    zwlr_virtual_pointer_v1_button(pointer, now_ms(), 0x110 /* BTN_LEFT */, pressed ? 1 : 0);
    zwlr_virtual_pointer_v1_frame(pointer);
    wl_display_roundtrip(display);
    pause_ms(60);
}

int main(int argc, char **argv)
{
    if (argc < 6) {
        fprintf(stderr, "usage: wlpointer WIDTH HEIGHT move X Y | drag X1 Y1 X2 Y2\n");
        return 2;
    }
    width = (uint32_t)atoi(argv[1]);
    height = (uint32_t)atoi(argv[2]);
    display = wl_display_connect(NULL);
    if (!display) {
        fprintf(stderr, "wlpointer: no Wayland display\n");
        return 1;
    }
    struct wl_registry *registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &listener, NULL);
    wl_display_roundtrip(display);
    if (!manager) {
        fprintf(stderr, "wlpointer: the compositor offers no virtual pointer\n");
        return 1;
    }
    pointer = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(manager, seat);
    wl_display_roundtrip(display);
    /* Clients learn of the new pointer first. */
    pause_ms(200);
    if (strcmp(argv[3], "move") == 0) {
        move_to((uint32_t)atoi(argv[4]), (uint32_t)atoi(argv[5]));
    } else if (strcmp(argv[3], "drag") == 0 && argc == 8) {
        const int x1 = atoi(argv[4]), y1 = atoi(argv[5]), x2 = atoi(argv[6]), y2 = atoi(argv[7]);
        move_to((uint32_t)x1, (uint32_t)y1);
        button(1);
        for (int step = 1; step <= 10; ++step)
            move_to((uint32_t)(x1 + (x2 - x1) * step / 10), (uint32_t)(y1 + (y2 - y1) * step / 10));
        button(0);
    } else {
        fprintf(stderr, "wlpointer: unknown command %s\n", argv[3]);
        return 2;
    }
    zwlr_virtual_pointer_v1_destroy(pointer);
    zwlr_virtual_pointer_manager_v1_destroy(manager);
    if (seat)
        wl_seat_destroy(seat);
    wl_registry_destroy(registry);
    wl_display_roundtrip(display);
    wl_display_disconnect(display);
    return 0;
}
