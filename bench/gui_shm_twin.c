/* The C twin of bench/gui_bench.zun's "upload": an 800x600 frame copied into
 * a MIT-SHM image and put on a window with XShmPutImage, then a round trip,
 * 200 times. Prints "upload seconds-per-frame".
 * cc -O2 gui_shm_twin.c -lX11 -lXext */
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <time.h>

enum { W = 800, H = 600, FRAMES = 200 };

static double now(void) {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

static void round_trip(Display* dpy, Window win) {
    Window root, child;
    int rx, ry, x, y;
    unsigned mask;
    XQueryPointer(dpy, win, &root, &child, &rx, &ry, &x, &y, &mask);
}

int main(void) {
    Display* dpy = XOpenDisplay(NULL);
    if (!dpy || !XShmQueryExtension(dpy)) return 1;
    int screen = DefaultScreen(dpy);
    Window win = XCreateSimpleWindow(dpy, RootWindow(dpy, screen), 0, 0, W, H, 0, 0, 0xFFFFFF);
    XMapWindow(dpy, win);
    GC gc = XCreateGC(dpy, win, 0, NULL);
    XShmSegmentInfo seg;
    XImage* img = XShmCreateImage(dpy, DefaultVisual(dpy, screen), DefaultDepth(dpy, screen), ZPixmap, NULL,
                                  &seg, W, H);
    seg.shmid = shmget(IPC_PRIVATE, (size_t)img->bytes_per_line * H, IPC_CREAT | 0600);
    seg.shmaddr = img->data = shmat(seg.shmid, NULL, 0);
    seg.readOnly = False;
    XShmAttach(dpy, &seg);
    XSync(dpy, False);
    shmctl(seg.shmid, IPC_RMID, NULL);
    uint32_t* frame = malloc((size_t)W * H * 4);
    for (int i = 0; i < W * H; i++) frame[i] = 0xFFFFFFFF;
    round_trip(dpy, win);
    double t = now();
    for (int n = 0; n < FRAMES; n++) {
        for (int y = 0; y < H; y++) memcpy(img->data + y * img->bytes_per_line, frame + y * W, W * 4);
        XShmPutImage(dpy, win, gc, img, 0, 0, 0, 0, W, H, False);
        round_trip(dpy, win);
    }
    printf("upload %.9f\n", (now() - t) / FRAMES);
    XShmDetach(dpy, &seg);
    shmdt(seg.shmaddr);
    XCloseDisplay(dpy);
    return 0;
}
