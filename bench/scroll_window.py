#!/usr/bin/python3
"""Times scrolling a list pane of the running program from outside it, as its user scrolls it.

  scroll_window.py X Y WIDTH HEIGHT BAR_X BAR_Y STEPS

X Y WIDTH HEIGHT is the pane's table on the screen, BAR_X BAR_Y a point on its vertical scroll
bar's handle. Through the X server's test extension, as a mouse and a keyboard would, it gives
STEPS wheel notches down, a click on a row then STEPS presses of Page Down and of Page Up, then
presses the handle and drags it down a pixel at a time (STEPS moves at most, up to the bar's
end). Each step is timed from the event until the pane's row numbers on the screen have
changed: the input taken, the rows painted and shown. Prints, per kind, the steps painted, the
median, the 95th percentile and the slowest in milliseconds; exits 1 when a step was not
painted within a second.
"""
import ctypes
import ctypes.util
import sys
import time

x11 = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
xtst = ctypes.CDLL(ctypes.util.find_library("Xtst") or "libXtst.so.6")


class XImage(ctypes.Structure):
    _fields_ = [("width", ctypes.c_int), ("height", ctypes.c_int), ("xoffset", ctypes.c_int),
                ("format", ctypes.c_int), ("data", ctypes.c_void_p), ("byte_order", ctypes.c_int),
                ("bitmap_unit", ctypes.c_int), ("bitmap_bit_order", ctypes.c_int),
                ("bitmap_pad", ctypes.c_int), ("depth", ctypes.c_int),
                ("bytes_per_line", ctypes.c_int), ("bits_per_pixel", ctypes.c_int)]


x11.XOpenDisplay.restype = ctypes.c_void_p
x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
x11.XDefaultRootWindow.restype = ctypes.c_ulong
x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
x11.XGetImage.restype = ctypes.POINTER(XImage)
x11.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int, ctypes.c_uint,
                          ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
x11.XFree.argtypes = [ctypes.c_void_p]
x11.XFlush.argtypes = [ctypes.c_void_p]
x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
x11.XKeysymToKeycode.restype = ctypes.c_ubyte
x11.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
xtst.XTestFakeButtonEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]
xtst.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]
xtst.XTestFakeMotionEvent.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int, ctypes.c_int, ctypes.c_ulong]

ALL_PLANES = 0xFFFFFFFF
Z_PIXMAP = 2
PAGE_DOWN, PAGE_UP = 0xFF56, 0xFF55


class screen:
    def __init__(self, box):
        self.d = x11.XOpenDisplay(None)
        if not self.d:
            sys.exit("no display")
        self.root = x11.XDefaultRootWindow(self.d)
        self.box = box

    def numbers(self):
        """The pixels of the pane's row-number band, as bytes."""
        x, y, w, h = self.box
        image = x11.XGetImage(self.d, self.root, x, y, w, h, ALL_PLANES, Z_PIXMAP)
        if not image:
            sys.exit("the screen could not be read")
        im = image.contents
        pixels = ctypes.string_at(im.data, im.bytes_per_line * im.height)
        x11.XFree(ctypes.c_void_p(im.data))
        x11.XFree(image)
        return pixels

    def step(self, send):
        """Milliseconds from `send` until the band changes; None when it did not within a second."""
        before = self.numbers()
        start = time.monotonic()
        send()
        x11.XFlush(self.d)
        while time.monotonic() - start < 1.0:
            if self.numbers() != before:
                return (time.monotonic() - start) * 1000
        return None

    def button(self, b, down):
        xtst.XTestFakeButtonEvent(self.d, b, down, 0)

    def key(self, keysym):
        code = x11.XKeysymToKeycode(self.d, keysym)
        xtst.XTestFakeKeyEvent(self.d, code, 1, 0)
        xtst.XTestFakeKeyEvent(self.d, code, 0, 0)

    def move(self, x, y):
        xtst.XTestFakeMotionEvent(self.d, -1, x, y, 0)
        x11.XSync(self.d, 0)


def summary(kind, times, steps):
    done = sorted(t for t in times if t is not None)
    if not done:
        print(f"{kind:<14} no step painted")
        return
    median = done[len(done) // 2]
    p95 = done[min(len(done) - 1, int(len(done) * 0.95))]
    print(f"{kind:<14} {len(done)}/{steps} painted  median {median:.2f} ms  95% {p95:.2f} ms  slowest {done[-1]:.2f} ms")


def main(argv):
    if len(argv) != 8:
        sys.exit(__doc__)
    x, y, w, h, bar_x, bar_y, steps = (int(a) for a in argv[1:])
    # The row numbers stand in the band's first few dozen pixels; between the rows and the
    # number band's edge, every step changes some of them.
    s = screen((x + 2, y + 2, min(60, w - 4), h - 4))
    settle = 0.03  # between steps, so that each starts from a quiet window
    failed = False

    s.move(x + w // 2, y + h // 2)
    time.sleep(0.3)
    wheel = []
    for _ in range(steps):
        wheel.append(s.step(lambda: (s.button(5, 1), s.button(5, 0))))
        time.sleep(settle)

    # A click on a row gives the pane the keyboard and a current row.
    s.button(1, 1), s.button(1, 0)
    x11.XFlush(s.d)
    time.sleep(0.5)
    down = []
    for _ in range(steps):
        down.append(s.step(lambda: s.key(PAGE_DOWN)))
        time.sleep(settle)
    up = []
    for _ in range(steps):
        up.append(s.step(lambda: s.key(PAGE_UP)))
        time.sleep(settle)

    # The handle, pressed and dragged down a pixel a step; once it stands at the bar's end the
    # view stops moving, so steps without a change there end the drag.
    s.move(bar_x, bar_y)
    time.sleep(0.2)
    s.button(1, 1)
    x11.XFlush(s.d)
    time.sleep(0.2)
    drag = []
    at = bar_y
    for _ in range(steps):
        at += 1
        t = s.step(lambda: s.move(bar_x, at))
        if t is None:
            break
        drag.append(t)
        time.sleep(settle)
    s.button(1, 0)
    x11.XFlush(s.d)

    for kind, times in (("wheel", wheel), ("Page Down", down), ("Page Up", up)):
        summary(kind, times, steps)
        failed |= None in times
    summary("handle drag", drag, len(drag))
    failed |= len(drag) < 10
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
