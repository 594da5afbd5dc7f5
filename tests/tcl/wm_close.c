/* wm_close WINDOW: asks an X window to close, as a window manager does when
 * the user clicks its close box: a WM_DELETE_WINDOW client message. The
 * windows tests run on an X server without a window manager.
 *
 *   wm_close 0x200386
 */
#include <stdio.h>
#include <stdlib.h>

#include <X11/Xlib.h>

int main(int argc, char **argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: wm_close WINDOW\n");
        return 2;
    }
    char *end = NULL;
    unsigned long window = strtoul(argv[1], &end, 0);
    if (end == argv[1] || *end != '\0' || window == 0) {
        fprintf(stderr, "wm_close: not a window id: %s\n", argv[1]);
        return 2;
    }
    Display *display = XOpenDisplay(NULL);
    if (display == NULL) {
        fprintf(stderr, "wm_close: cannot open the display\n");
        return 1;
    }
    XEvent event = {0};
    event.xclient.type = ClientMessage;
    event.xclient.window = (Window)window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = (long)XInternAtom(display, "WM_DELETE_WINDOW", False);
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, (Window)window, False, NoEventMask, &event);
    XCloseDisplay(display);
    return 0;
}
