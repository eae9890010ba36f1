#!/usr/bin/env python3
"""Helper of the editor's end-to-end test: writes the test picture, reads a
window's pixels from the X server and sends a window the close request.

Only the standard library and libX11 (through ctypes) are used.

Commands:
  write-bmp PATH                 write the 96 x 64 test picture as a 24-bit BMP
  find WINDOW colour|grey SECS   wait up to SECS seconds until the window shows
                                 the picture (in colour, or as its grey map) at
                                 100 %; prints "x y" of its top-left corner
  shows WINDOW R G B yes|no SECS wait up to SECS seconds until the window shows
                                 at least MIN_AREA pixels of the colour (yes) or
                                 none (no); prints the count
  close WINDOW                   send WM_DELETE_WINDOW, as a close box does
"""
import ctypes
import ctypes.util
import os
import struct
import sys
import time

# The test picture: four 48 x 32 quadrants of known colours (R, G, B).
WIDTH, HEIGHT = 96, 64
QUADRANTS = {
    (0, 0): (200, 30, 40),  # top-left
    (1, 0): (30, 170, 60),  # top-right
    (0, 1): (40, 60, 210),  # bottom-left
    (1, 1): (230, 210, 30),  # bottom-right
}
# A byte goes through the float colour model and back to a truncated view
# byte, so a shown channel may lie a little below the byte written.
TOLERANCE = 3


def picture_colour(x, y):
    return QUADRANTS[(x * 2 // WIDTH, y * 2 // HEIGHT)]


def grey_of(rgb):
    # The grey map keeps the lightness (max + min) / 2 of each colour and
    # removes its chroma: the view shows that lightness on all three channels.
    return (max(rgb) + min(rgb)) / 2.0


def write_bmp(path):
    stride = (WIDTH * 3 + 3) // 4 * 4
    rows = []
    for y in range(HEIGHT - 1, -1, -1):  # bottom-up
        row = bytearray()
        for x in range(WIDTH):
            r, g, b = picture_colour(x, y)
            row += bytes((b, g, r))
        row += bytes(stride - len(row))
        rows.append(bytes(row))
    data = b"".join(rows)
    header = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(data), 0, 0, 14 + 40)
    info = struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + data)


# ---------------------------------------------------------------------------
# libX11


class XImage(ctypes.Structure):
    # The leading fields of Xlib's XImage, as far as they are read here.
    _fields_ = [
        ("width", ctypes.c_int),
        ("height", ctypes.c_int),
        ("xoffset", ctypes.c_int),
        ("format", ctypes.c_int),
        ("data", ctypes.c_void_p),
        ("byte_order", ctypes.c_int),
        ("bitmap_unit", ctypes.c_int),
        ("bitmap_bit_order", ctypes.c_int),
        ("bitmap_pad", ctypes.c_int),
        ("depth", ctypes.c_int),
        ("bytes_per_line", ctypes.c_int),
        ("bits_per_pixel", ctypes.c_int),
        ("red_mask", ctypes.c_ulong),
        ("green_mask", ctypes.c_ulong),
        ("blue_mask", ctypes.c_ulong),
    ]


class XWindowAttributes(ctypes.Structure):
    _fields_ = [
        ("x", ctypes.c_int),
        ("y", ctypes.c_int),
        ("width", ctypes.c_int),
        ("height", ctypes.c_int),
        ("border_width", ctypes.c_int),
        ("depth", ctypes.c_int),
        ("visual", ctypes.c_void_p),
        ("root", ctypes.c_ulong),
        ("class_", ctypes.c_int),
        ("bit_gravity", ctypes.c_int),
        ("win_gravity", ctypes.c_int),
        ("backing_store", ctypes.c_int),
        ("backing_planes", ctypes.c_ulong),
        ("backing_pixel", ctypes.c_ulong),
        ("save_under", ctypes.c_int),
        ("colormap", ctypes.c_ulong),
        ("map_installed", ctypes.c_int),
        ("map_state", ctypes.c_int),
        ("all_event_masks", ctypes.c_long),
        ("your_event_mask", ctypes.c_long),
        ("do_not_propagate_mask", ctypes.c_long),
        ("override_redirect", ctypes.c_int),
        ("screen", ctypes.c_void_p),
    ]


class XClientMessageEvent(ctypes.Structure):
    _fields_ = [
        ("type", ctypes.c_int),
        ("serial", ctypes.c_ulong),
        ("send_event", ctypes.c_int),
        ("display", ctypes.c_void_p),
        ("window", ctypes.c_ulong),
        ("message_type", ctypes.c_ulong),
        ("format", ctypes.c_int),
        ("l", ctypes.c_long * 5),
    ]


class XEvent(ctypes.Union):
    _fields_ = [("xclient", XClientMessageEvent), ("pad", ctypes.c_long * 24)]


IS_VIEWABLE = 2
Z_PIXMAP = 2
CLIENT_MESSAGE = 33
ALL_PLANES = ctypes.c_ulong(-1 & 0xFFFFFFFFFFFFFFFF)


def load_x11():
    name = ctypes.util.find_library("X11") or "libX11.so.6"
    x = ctypes.CDLL(name)
    x.XOpenDisplay.restype = ctypes.c_void_p
    x.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x.XCloseDisplay.argtypes = [ctypes.c_void_p]
    x.XGetWindowAttributes.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(XWindowAttributes)]
    x.XGetImage.restype = ctypes.POINTER(XImage)
    x.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                            ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
    x.XDestroyImage.argtypes = [ctypes.POINTER(XImage)]
    x.XInternAtom.restype = ctypes.c_ulong
    x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                             ctypes.POINTER(XEvent)]
    x.XFlush.argtypes = [ctypes.c_void_p]
    x.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
    # A window that vanishes between two requests must not end the helper.
    handler_type = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)
    x._ignore_errors = handler_type(lambda d, e: 0)
    x.XSetErrorHandler.argtypes = [handler_type]
    x.XSetErrorHandler(x._ignore_errors)
    return x


def open_display(x):
    dpy = x.XOpenDisplay(None)
    if not dpy:
        sys.exit("x_helper: cannot open display %r" % os.environ.get("DISPLAY"))
    return dpy


def grab_window(x, dpy, window):
    """The window's pixels as (width, height, rows of (r, g, b) tuples), or None."""
    attrs = XWindowAttributes()
    if not x.XGetWindowAttributes(dpy, window, ctypes.byref(attrs)):
        return None
    if attrs.map_state != IS_VIEWABLE or attrs.width <= 0 or attrs.height <= 0:
        return None
    img = x.XGetImage(dpy, window, 0, 0, attrs.width, attrs.height, ALL_PLANES, Z_PIXMAP)
    if not img:
        return None
    try:
        im = img.contents
        if im.bits_per_pixel != 32:
            sys.exit("x_helper: %d bits per pixel not handled" % im.bits_per_pixel)
        raw = ctypes.string_at(im.data, im.bytes_per_line * im.height)
        big = im.byte_order == 1

        def shift(mask):
            s = 0
            while mask and not (mask & 1):
                mask >>= 1
                s += 1
            return s

        rs, gs, bs = shift(im.red_mask), shift(im.green_mask), shift(im.blue_mask)
        rows = []
        fmt = (">" if big else "<") + "%dI" % im.width
        for y in range(im.height):
            start = y * im.bytes_per_line
            words = struct.unpack_from(fmt, raw, start)
            rows.append([((v >> rs) & 255, (v >> gs) & 255, (v >> bs) & 255) for v in words])
        return im.width, im.height, rows
    finally:
        x.XDestroyImage(img)


def close_to(a, b, tol):
    return all(abs(p - q) <= tol for p, q in zip(a, b))


def check_at(rows, ox, oy, mode):
    """Empty string when the picture is shown at (ox, oy), else the first fault."""
    for y in range(HEIGHT):
        row = rows[oy + y]
        for x in range(WIDTH):
            got = row[ox + x]
            want = picture_colour(x, y)
            if mode == "colour":
                if not close_to(got, want, TOLERANCE):
                    return "pixel (%d, %d) is %s, expected %s" % (x, y, got, want)
            else:
                grey = grey_of(want)
                if max(got) - min(got) > 2:
                    return "pixel (%d, %d) is %s, not grey" % (x, y, got)
                if any(abs(c - grey) > TOLERANCE for c in got):
                    return "pixel (%d, %d) is %s, expected grey %.1f" % (x, y, got, grey)
    return ""


def find_picture(rows, width, height, mode):
    """(x, y, fault): the picture's top-left corner, or fault text."""
    first = picture_colour(0, 0)
    key = first if mode == "colour" else (round(grey_of(first)),) * 3
    fault = "no pixel of the top-left quadrant's colour %s" % (key,)
    for oy in range(0, height - HEIGHT + 1):
        row = rows[oy]
        for ox in range(0, width - WIDTH + 1):
            if close_to(row[ox], key, TOLERANCE):
                problem = check_at(rows, ox, oy, mode)
                if not problem:
                    return ox, oy, ""
                fault = "candidate at (%d, %d): %s" % (ox, oy, problem)
    return None, None, fault


def cmd_find(window, mode, seconds):
    x = load_x11()
    dpy = open_display(x)
    deadline = time.monotonic() + seconds
    fault = "window not viewable"
    while True:
        grabbed = grab_window(x, dpy, window)
        if grabbed is not None:
            width, height, rows = grabbed
            ox, oy, fault = find_picture(rows, width, height, mode)
            if not fault:
                print(ox, oy)
                return 0
            fault = "window %dx%d: %s" % (width, height, fault)
        if time.monotonic() >= deadline:
            print("x_helper: picture (%s) not found in window 0x%x: %s" % (mode, window, fault),
                  file=sys.stderr)
            return 1
        time.sleep(0.2)


# A colour counts as shown when at least this many pixels have it.
MIN_AREA = 16


def cmd_shows(window, rgb, wanted, seconds):
    x = load_x11()
    dpy = open_display(x)
    deadline = time.monotonic() + seconds
    count = -1
    while True:
        grabbed = grab_window(x, dpy, window)
        if grabbed is not None:
            _, _, rows = grabbed
            count = sum(1 for row in rows for px in row if close_to(px, rgb, TOLERANCE))
            if (count >= MIN_AREA) == wanted:
                print(count)
                return 0
        if time.monotonic() >= deadline:
            print("x_helper: window 0x%x shows %d pixels of %s, expected %s" %
                  (window, count, rgb, "some" if wanted else "none"), file=sys.stderr)
            return 1
        time.sleep(0.2)


def cmd_close(window):
    x = load_x11()
    dpy = open_display(x)
    ev = XEvent()
    ev.xclient.type = CLIENT_MESSAGE
    ev.xclient.window = window
    ev.xclient.message_type = x.XInternAtom(dpy, b"WM_PROTOCOLS", 0)
    ev.xclient.format = 32
    ev.xclient.l[0] = x.XInternAtom(dpy, b"WM_DELETE_WINDOW", 0)
    ev.xclient.l[1] = 0  # CurrentTime
    # Event mask 0: the event goes to the client that created the window.
    if not x.XSendEvent(dpy, window, 0, 0, ctypes.byref(ev)):
        print("x_helper: XSendEvent failed", file=sys.stderr)
        return 1
    x.XSync(dpy, 0)
    x.XCloseDisplay(dpy)
    return 0


def main(argv):
    if len(argv) == 3 and argv[1] == "write-bmp":
        write_bmp(argv[2])
        return 0
    if len(argv) == 5 and argv[1] == "find" and argv[3] in ("colour", "grey"):
        return cmd_find(int(argv[2], 0), argv[3], float(argv[4]))
    if len(argv) == 8 and argv[1] == "shows" and argv[6] in ("yes", "no"):
        rgb = tuple(int(v) for v in argv[3:6])
        return cmd_shows(int(argv[2], 0), rgb, argv[6] == "yes", float(argv[7]))
    if len(argv) == 3 and argv[1] == "close":
        return cmd_close(int(argv[2], 0))
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
