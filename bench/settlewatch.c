/* settlewatch - time from exec until a viewer's window stops changing, that is
 * until its page and every miniature in its sidebar are drawn.
 *
 *   settlewatch [-t timeout_s] [-q quiet_ms] [-i poll_ms] [-w sidebar_px] [-g WxH] [-k key [-n title]]
 *               [-o last.ppm] -- cmd args...
 *
 * The window is the largest new viewable top-level window (>= 200 x 200) whose
 * _NET_WM_PID is the child's, or that has none (the display has no window
 * manager, so top-level windows are children of the root). Every poll_ms its
 * left sidebar_px columns (the whole window with -w 0) are grabbed with
 * XGetImage and compared with the previous grab; the settle time is the last
 * moment they changed, once they have stayed the same for quiet_ms. So the
 * figure is as fine as the polling (a grab takes some milliseconds too), and a
 * program that stops drawing for longer than quiet_ms before it is done would
 * be reported too early: the last grab is written to -o for a look.
 * As soon as the window is found, -g resizes it; -k sends it a key with
 * xdotool (for a viewer that starts with its sidebar closed), at once or, with
 * -n, as soon as the window's title contains that text (the document is loaded);
 * the window is not called settled before its key was sent.
 *
 * Prints one line: status=ok|timeout|exited t_window_ms=.. t_settled_ms=.. changes=.. geom=WxH
 * Only the forked child is signalled (SIGTERM, SIGKILL after 3 s).
 * Build: gcc -O2 -o settlewatch settlewatch.c -lX11
 */
#define _GNU_SOURCE
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <stdint.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

static double now_ms(void) {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

static int ignore_x_error(Display* d, XErrorEvent* e) {
  (void)d;
  (void)e;
  return 0;
}

static Window* before;
static unsigned before_count;

static int existed_before(Window w) {
  for (unsigned i = 0; i < before_count; i++)
    if (before[i] == w) return 1;
  return 0;
}

/* 1 when the window names a process other than pid. */
static int belongs_elsewhere(Display* d, Window w, pid_t pid) {
  Atom atom = XInternAtom(d, "_NET_WM_PID", False), type;
  int format;
  unsigned long count, after;
  unsigned char* data = NULL;
  if (XGetWindowProperty(d, w, atom, 0, 1, False, XA_CARDINAL, &type, &format, &count, &after, &data) != Success ||
      !data)
    return 0;
  int other = count == 1 && format == 32 && *(long*)data != (long)pid;
  XFree(data);
  return other;
}

static Window find_window(Display* d, pid_t pid, int* width, int* height) {
  Window root_return, parent, *children = NULL, best = 0;
  unsigned count = 0;
  long best_area = 0;
  if (!XQueryTree(d, DefaultRootWindow(d), &root_return, &parent, &children, &count)) return 0;
  for (unsigned i = 0; i < count; i++) {
    XWindowAttributes a;
    if (existed_before(children[i]) || !XGetWindowAttributes(d, children[i], &a)) continue;
    if (a.map_state != IsViewable || a.width < 200 || a.height < 200) continue;
    if (belongs_elsewhere(d, children[i], pid)) continue;
    if ((long)a.width * a.height > best_area) {
      best_area = (long)a.width * a.height;
      best = children[i];
      *width = a.width;
      *height = a.height;
    }
  }
  if (children) XFree(children);
  return best;
}

static int title_contains(Display* d, Window w, const char* text) {
  char* name = NULL;
  int found = XFetchName(d, w, &name) && name && strstr(name, text);
  if (name) XFree(name);
  return found;
}

static void write_ppm(const char* path, XImage* image) {
  FILE* f = fopen(path, "wb");
  if (!f) return;
  fprintf(f, "P6\n%d %d\n255\n", image->width, image->height);
  for (int y = 0; y < image->height; y++)
    for (int x = 0; x < image->width; x++) {
      unsigned long p = XGetPixel(image, x, y);
      unsigned char rgb[3] = {(unsigned char)(p >> 16), (unsigned char)(p >> 8), (unsigned char)p};
      fwrite(rgb, 1, 3, f);
    }
  fclose(f);
}

static void stop_child(pid_t pid) {
  kill(pid, SIGTERM);
  for (int i = 0; i < 300; i++) {
    if (waitpid(pid, NULL, WNOHANG) == pid) return;
    usleep(10000);
  }
  kill(pid, SIGKILL);
  waitpid(pid, NULL, 0);
}

int main(int argc, char** argv) {
  double timeout_s = 60, quiet_ms = 3000, poll_ms = 20;
  int sidebar = 0, opt, want_width = 0, want_height = 0;
  const char *out = NULL, *key = NULL, *title = NULL;
  while ((opt = getopt(argc, argv, "t:q:i:w:o:g:k:n:")) != -1) {
    switch (opt) {
      case 't':
        timeout_s = atof(optarg);
        break;
      case 'q':
        quiet_ms = atof(optarg);
        break;
      case 'i':
        poll_ms = atof(optarg);
        break;
      case 'w':
        sidebar = atoi(optarg);
        break;
      case 'o':
        out = optarg;
        break;
      case 'g':
        sscanf(optarg, "%dx%d", &want_width, &want_height);
        break;
      case 'k':
        key = optarg;
        break;
      case 'n':
        title = optarg;
        break;
      default:
        return 2;
    }
  }
  if (optind >= argc) {
    fprintf(stderr, "usage: settlewatch [options] -- cmd args...\n");
    return 2;
  }
  Display* d = XOpenDisplay(NULL);
  if (!d) {
    fprintf(stderr, "settlewatch: no display\n");
    return 2;
  }
  XSetErrorHandler(ignore_x_error);
  Window root_return, parent;
  XQueryTree(d, DefaultRootWindow(d), &root_return, &parent, &before, &before_count);

  double t0 = now_ms();
  pid_t pid = fork();
  if (pid == 0) {
    execvp(argv[optind], argv + optind);
    _exit(127);
  }
  Window w = 0;
  int width = 0, height = 0, changes = 0;
  double t_window = -1, t_last = -1;
  XImage* previous = NULL;
  const char* status = "timeout";
  while (now_ms() - t0 < timeout_s * 1000) {
    if (waitpid(pid, NULL, WNOHANG) == pid) {
      status = "exited";
      pid = 0;
      break;
    }
    if (!w) {
      w = find_window(d, pid, &width, &height);
      if (w) {
        t_window = now_ms() - t0;
        if (want_width > 0 && want_height > 0) {
          XResizeWindow(d, w, (unsigned)want_width, (unsigned)want_height);
          XSync(d, False);
        }
      }
    }
    if (w && key && (!title || title_contains(d, w, title))) {
      char command[256];
      snprintf(command, sizeof command, "xdotool windowfocus %lu key --window %lu %s", (unsigned long)w,
               (unsigned long)w, key);
      if (system(command) != 0) fprintf(stderr, "settlewatch: %s failed\n", command);
      key = NULL;
    }
    if (w) {
      XWindowAttributes a;
      if (!XGetWindowAttributes(d, w, &a) || a.map_state != IsViewable) { /* gone: look again */
        w = 0;
        continue;
      }
      width = a.width;
      height = a.height;
      int grab = sidebar > 0 && sidebar < width ? sidebar : width;
      XImage* image = XGetImage(d, w, 0, 0, grab, height, AllPlanes, ZPixmap);
      double t = now_ms() - t0;
      if (!image) { /* resized between the two calls */
        usleep((useconds_t)(poll_ms * 1000));
        continue;
      }
      size_t bytes = (size_t)image->bytes_per_line * image->height;
      if (!previous || previous->width != image->width || memcmp(previous->data, image->data, bytes)) {
        changes++;
        t_last = t;
      }
      if (previous) XDestroyImage(previous);
      previous = image;
      if (!key && t - t_last >= quiet_ms) { /* never before the key was sent */
        status = "ok";
        break;
      }
    }
    usleep((useconds_t)(poll_ms * 1000));
  }
  if (out && previous) write_ppm(out, previous);
  if (pid) stop_child(pid);
  printf("status=%s t_window_ms=%.1f t_settled_ms=%.1f changes=%d geom=%dx%d\n", status, t_window, t_last, changes,
         width, height);
  return 0;
}
