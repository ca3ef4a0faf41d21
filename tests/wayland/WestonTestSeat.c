/* A weston module that gives the compositor one seat with a keyboard and a
 * pointer. The headless backend has no input devices and so no wl_seat, and
 * a Wayland client without a seat has no clipboard and no window that takes
 * the keyboard focus. Loaded with --modules=/path/weston-test-seat.so; the
 * devices never send events, the tests drive the window inside the client. */
#include <libweston/libweston.h>
#include <stdlib.h>

/* Exported by libweston for its backends, not declared by its public
 * headers. */
void weston_seat_init(struct weston_seat* seat, struct weston_compositor* compositor, const char* name);
int weston_seat_init_pointer(struct weston_seat* seat);
int weston_seat_init_keyboard(struct weston_seat* seat, struct xkb_keymap* keymap);

WL_EXPORT int wet_module_init(struct weston_compositor* compositor, int* argc, char* argv[])
{
    (void)argc;
    (void)argv;
    /* The seat lives as long as the compositor. */
    struct weston_seat* seat = calloc(1, sizeof *seat);
    if (seat == NULL)
        return -1;
    weston_seat_init(seat, compositor, "tamboro-test");
    if (weston_seat_init_pointer(seat) < 0 || weston_seat_init_keyboard(seat, NULL) < 0)
        return -1;
    return 0;
}
