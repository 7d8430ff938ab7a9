/* Drops a file on an X11 window the way a file manager does (the XDND
 * protocol), for the end-to-end scripts: xdotool cannot drag files.
 * Usage: xdnd_drop WINDOW PATH. Exit 0 once the window has taken the drop. */
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

static Display *display;
static Window source, target;
static Atom xdnd_enter, xdnd_position, xdnd_status, xdnd_drop, xdnd_finished;
static Atom xdnd_selection, xdnd_copy, uri_list;

static void send(Atom type, long l1, long l2, long l3, long l4) {
  XEvent e;
  memset(&e, 0, sizeof e);
  e.xclient.type = ClientMessage;
  e.xclient.display = display;
  e.xclient.window = target;
  e.xclient.message_type = type;
  e.xclient.format = 32;
  e.xclient.data.l[0] = (long)source;
  e.xclient.data.l[1] = l1;
  e.xclient.data.l[2] = l2;
  e.xclient.data.l[3] = l3;
  e.xclient.data.l[4] = l4;
  XSendEvent(display, target, False, NoEventMask, &e);
  XFlush(display);
}

/* The file's URI, with every byte outside the unreserved set escaped. */
static void to_uri(const char *path, char *out, size_t size) {
  size_t n = (size_t)snprintf(out, size, "file://");
  for (const unsigned char *p = (const unsigned char *)path; *p && n + 4 < size; p++) {
    if ((*p >= 'a' && *p <= 'z') || (*p >= 'A' && *p <= 'Z') || (*p >= '0' && *p <= '9') ||
        strchr("/-_.~", *p))
      out[n++] = (char)*p;
    else
      n += (size_t)snprintf(out + n, size - n, "%%%02X", *p);
  }
  snprintf(out + n, size - n, "\r\n");
}

/* Waits up to 5 s for a ClientMessage of the given type, serving the
 * selection (the file's URI) meanwhile. */
static int wait_for(Atom type, const char *uri) {
  for (int waited = 0; waited < 500; waited++) {
    while (XPending(display)) {
      XEvent e;
      XNextEvent(display, &e);
      if (e.type == ClientMessage && e.xclient.message_type == type) return 1;
      if (e.type == SelectionRequest) {
        XSelectionRequestEvent *r = &e.xselectionrequest;
        XEvent reply;
        memset(&reply, 0, sizeof reply);
        reply.xselection.type = SelectionNotify;
        reply.xselection.requestor = r->requestor;
        reply.xselection.selection = r->selection;
        reply.xselection.target = r->target;
        reply.xselection.time = r->time;
        reply.xselection.property = None;
        if (r->target == uri_list && r->property != None) {
          XChangeProperty(display, r->requestor, r->property, uri_list, 8, PropModeReplace,
                          (const unsigned char *)uri, (int)strlen(uri));
          reply.xselection.property = r->property;
        }
        XSendEvent(display, r->requestor, False, NoEventMask, &reply);
        XFlush(display);
      }
    }
    struct timespec ten_ms = {0, 10000000};
    nanosleep(&ten_ms, NULL);
  }
  return 0;
}

int main(int argc, char **argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: xdnd_drop WINDOW PATH\n");
    return 2;
  }
  display = XOpenDisplay(NULL);
  if (display == NULL) {
    fprintf(stderr, "xdnd_drop: no display\n");
    return 1;
  }
  target = (Window)strtoul(argv[1], NULL, 0);
  source = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 1, 1, 0, 0, 0);
  xdnd_enter = XInternAtom(display, "XdndEnter", False);
  xdnd_position = XInternAtom(display, "XdndPosition", False);
  xdnd_status = XInternAtom(display, "XdndStatus", False);
  xdnd_drop = XInternAtom(display, "XdndDrop", False);
  xdnd_finished = XInternAtom(display, "XdndFinished", False);
  xdnd_selection = XInternAtom(display, "XdndSelection", False);
  xdnd_copy = XInternAtom(display, "XdndActionCopy", False);
  uri_list = XInternAtom(display, "text/uri-list", False);
  XSetSelectionOwner(display, xdnd_selection, source, CurrentTime);

  char uri[8192];
  to_uri(argv[2], uri, sizeof uri);
  int x = 0, y = 0;
  Window child;
  XTranslateCoordinates(display, target, DefaultRootWindow(display), 20, 20, &x, &y, &child);

  send(xdnd_enter, 5L << 24, (long)uri_list, None, None);
  send(xdnd_position, 0, ((long)x << 16) | y, CurrentTime, (long)xdnd_copy);
  if (!wait_for(xdnd_status, uri)) {
    fprintf(stderr, "xdnd_drop: the window did not answer\n");
    return 1;
  }
  send(xdnd_drop, 0, CurrentTime, 0, 0);
  if (!wait_for(xdnd_finished, uri)) {
    fprintf(stderr, "xdnd_drop: the drop was not finished\n");
    return 1;
  }
  XCloseDisplay(display);
  return 0;
}
