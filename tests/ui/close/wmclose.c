/* wmclose: a tiny X client that does what a window manager's close button
 * does: it sends WM_PROTOCOLS / WM_DELETE_WINDOW to a client window.
 *
 *   wmclose list [PID]              every named client window (id, pid,
 *                                   viewable, name), of PID when given
 *   wmclose find PID NAME [MS]      waits up to MS (default 5000) for a
 *                                   viewable window of PID titled NAME and
 *                                   prints its id; exit 1 when none came
 *   wmclose close PID NAME          sends the close request to that window;
 *                                   exit 1 when there is none
 *   wmclose leader PID NAME         sends it to the client leader that window
 *                                   names (WM_CLIENT_LEADER), as a client that
 *                                   picks a window by its title alone may;
 *                                   prints the leader's id and title
 *   wmclose count NAME              how many windows, mapped or not, of any
 *                                   client, carry the title NAME
 *
 * Windows are searched through the whole tree, so client windows that a
 * window manager has reparented into its frames are found too. The pid is
 * taken from _NET_WM_PID, which Qt sets on every window it creates. */
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

static Atom a_pid, a_name, a_utf8, a_protocols, a_delete, a_leader;

static long window_pid(Display *d, Window w)
{
    Atom type;
    int format;
    unsigned long n, after;
    unsigned char *data = NULL;
    long pid = -1;
    if (XGetWindowProperty(d, w, a_pid, 0, 1, False, XA_CARDINAL, &type, &format, &n, &after,
                           &data) == Success &&
        data != NULL && n == 1 && format == 32)
        pid = (long)*(unsigned long *)data;
    if (data)
        XFree(data);
    return pid;
}

/* The window's title (UTF-8 _NET_WM_NAME, else WM_NAME) into buf; 0 when it has none. */
static int window_name(Display *d, Window w, char *buf, size_t size)
{
    Atom type;
    int format;
    unsigned long n, after;
    unsigned char *data = NULL;
    buf[0] = 0;
    if (XGetWindowProperty(d, w, a_name, 0, 256, False, a_utf8, &type, &format, &n, &after,
                           &data) == Success &&
        data != NULL && format == 8) {
        snprintf(buf, size, "%.*s", (int)n, (char *)data);
        XFree(data);
        return 1;
    }
    if (data)
        XFree(data);
    char *old = NULL;
    if (XFetchName(d, w, &old) && old) {
        snprintf(buf, size, "%s", old);
        XFree(old);
        return 1;
    }
    return 0;
}

static int viewable(Display *d, Window w)
{
    XWindowAttributes a;
    if (!XGetWindowAttributes(d, w, &a))
        return 0;
    return a.map_state == IsViewable;
}

typedef int (*visit_fn)(Display *, Window, void *);

/* Depth first over the tree; stops when fn returns non-zero. */
static int walk(Display *d, Window w, visit_fn fn, void *ctx)
{
    if (fn(d, w, ctx))
        return 1;
    Window root, parent, *children = NULL;
    unsigned int n = 0;
    if (!XQueryTree(d, w, &root, &parent, &children, &n))
        return 0;
    int stop = 0;
    for (unsigned int i = 0; i < n && !stop; ++i)
        stop = walk(d, children[i], fn, ctx);
    if (children)
        XFree(children);
    return stop;
}

struct query {
    long pid;
    const char *name;
    Window found;
};

static int print_one(Display *d, Window w, void *ctx)
{
    struct query *q = ctx;
    char name[1024];
    if (!window_name(d, w, name, sizeof name))
        return 0;
    const long pid = window_pid(d, w);
    if (q->pid > 0 && pid != q->pid)
        return 0;
    printf("0x%lx pid=%ld viewable=%d \"%s\"\n", (unsigned long)w, pid, viewable(d, w), name);
    return 0;
}

static int match_one(Display *d, Window w, void *ctx)
{
    struct query *q = ctx;
    char name[1024];
    if (window_pid(d, w) != q->pid || !window_name(d, w, name, sizeof name))
        return 0;
    if (strcmp(name, q->name) != 0 || !viewable(d, w))
        return 0;
    q->found = w;
    return 1;
}

static Window find(Display *d, long pid, const char *name)
{
    struct query q = {pid, name, None};
    walk(d, DefaultRootWindow(d), match_one, &q);
    return q.found;
}

/* Windows come and go while the tree is walked: a window that vanished
 * between the listing and the look at it is skipped, not fatal. */
static int ignore_errors(Display *d, XErrorEvent *e)
{
    (void)d;
    (void)e;
    return 0;
}

static void send_close(Display *d, Window w)
{
    XEvent e;
    memset(&e, 0, sizeof e);
    e.xclient.type = ClientMessage;
    e.xclient.window = w;
    e.xclient.message_type = a_protocols;
    e.xclient.format = 32;
    e.xclient.data.l[0] = (long)a_delete;
    e.xclient.data.l[1] = CurrentTime;
    XSendEvent(d, w, False, NoEventMask, &e);
    XSync(d, False);
}

static Window client_leader(Display *d, Window w)
{
    Atom type;
    int format;
    unsigned long n, after;
    unsigned char *data = NULL;
    Window leader = None;
    if (XGetWindowProperty(d, w, a_leader, 0, 1, False, XA_WINDOW, &type, &format, &n, &after,
                           &data) == Success &&
        data != NULL && n == 1 && format == 32)
        leader = (Window) * (unsigned long *)data;
    if (data)
        XFree(data);
    return leader;
}

static int count_one(Display *d, Window w, void *ctx)
{
    struct query *q = ctx;
    char name[1024];
    if (window_name(d, w, name, sizeof name) && strcmp(name, q->name) == 0)
        q->pid++;
    return 0;
}

static void sleep_ms(long ms)
{
    struct timespec ts = {ms / 1000, (ms % 1000) * 1000000L};
    nanosleep(&ts, NULL);
}

int main(int argc, char **argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: wmclose list [PID] | find PID NAME [MS] | close PID NAME | leader PID NAME | count NAME\n");
        return 2;
    }
    Display *d = XOpenDisplay(NULL);
    if (d == NULL) {
        fprintf(stderr, "wmclose: cannot open display\n");
        return 2;
    }
    XSetErrorHandler(ignore_errors);
    a_pid = XInternAtom(d, "_NET_WM_PID", False);
    a_name = XInternAtom(d, "_NET_WM_NAME", False);
    a_utf8 = XInternAtom(d, "UTF8_STRING", False);
    a_protocols = XInternAtom(d, "WM_PROTOCOLS", False);
    a_delete = XInternAtom(d, "WM_DELETE_WINDOW", False);
    a_leader = XInternAtom(d, "WM_CLIENT_LEADER", False);

    int rc = 2;
    if (strcmp(argv[1], "list") == 0) {
        struct query q = {argc > 2 ? atol(argv[2]) : 0, NULL, None};
        walk(d, DefaultRootWindow(d), print_one, &q);
        rc = 0;
    } else if (strcmp(argv[1], "find") == 0 && argc >= 4) {
        const long limit = argc > 4 ? atol(argv[4]) : 5000;
        Window w = None;
        for (long waited = 0;; waited += 10) {
            w = find(d, atol(argv[2]), argv[3]);
            if (w != None || waited >= limit)
                break;
            sleep_ms(10);
        }
        if (w != None)
            printf("0x%lx\n", (unsigned long)w);
        rc = w != None ? 0 : 1;
    } else if (strcmp(argv[1], "close") == 0 && argc >= 4) {
        const Window w = find(d, atol(argv[2]), argv[3]);
        if (w != None) {
            send_close(d, w);
            printf("0x%lx\n", (unsigned long)w);
            rc = 0;
        } else {
            rc = 1;
        }
    } else if (strcmp(argv[1], "leader") == 0 && argc >= 4) {
        const Window w = find(d, atol(argv[2]), argv[3]);
        const Window leader = w != None ? client_leader(d, w) : None;
        if (leader != None) {
            char name[1024];
            if (!window_name(d, leader, name, sizeof name))
                name[0] = 0;
            send_close(d, leader);
            printf("0x%lx \"%s\"\n", (unsigned long)leader, name);
            rc = 0;
        } else {
            rc = 1;
        }
    } else if (strcmp(argv[1], "count") == 0 && argc >= 3) {
        struct query q = {0, argv[2], None};
        walk(d, DefaultRootWindow(d), count_one, &q);
        printf("%ld\n", q.pid);
        rc = 0;
    } else {
        fprintf(stderr, "wmclose: unknown command\n");
    }
    XCloseDisplay(d);
    return rc;
}
