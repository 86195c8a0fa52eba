# The twin of draw_scene.zun: the same scene made by the same generator, drawn
# with the cairo calls the draw pass makes (python3-cairo, Debian's python3.11).
import math
import time

import cairo

seed = 1


def rand(n):
    global seed
    seed = (seed * 75 + 74) % 65537
    return seed % n


def colour():
    return (rand(256) / 255, rand(256) / 255, rand(256) / 255)


def at_point():
    return (rand(800), rand(600))


scene = []
for _ in range(250):
    scene.append(("fill-pen", colour()))
    scene.append(("pen", colour()))
    for _ in range(2):
        kind = rand(4)
        if kind == 0:
            p = at_point()
            scene.append(("box", p, (p[0] + 1 + rand(100), p[1] + 1 + rand(100))))
        elif kind == 1:
            scene.append(("line", at_point(), at_point()))
        elif kind == 2:
            scene.append(("circle", at_point(), 1 + rand(50)))
        else:
            scene.append(("triangle", at_point(), at_point(), at_point()))
state = []
for i in range(1, 10001):
    k = i % 3
    if k == 0:
        state.append(("pen", colour()))
    elif k == 1:
        state.append(("line-width", 1 + rand(5)))
    else:
        state.append(("line-join", (cairo.LINE_JOIN_MITER, cairo.LINE_JOIN_ROUND, cairo.LINE_JOIN_BEVEL)[rand(3)]))

surface = cairo.ImageSurface(cairo.FORMAT_ARGB32, 800, 600)


def begin():
    c = cairo.Context(surface)
    c.set_line_join(cairo.LINE_JOIN_MITER)
    c.set_miter_limit(10)
    c.set_fill_rule(cairo.FILL_RULE_EVEN_ODD)
    return c


def paint(c, pen, fill, fillable=True):
    if fillable and fill:
        c.set_source_rgb(*fill)
        c.fill_preserve()
    c.set_source_rgb(*pen)
    c.stroke_preserve()
    c.new_path()


def draw_scene():
    c = begin()
    pen, fill = (0, 0, 0), None
    for cmd in scene:
        kind = cmd[0]
        if kind == "fill-pen":
            fill = cmd[1]
        elif kind == "pen":
            pen = cmd[1]
        elif kind == "box":
            (x1, y1), (x2, y2) = cmd[1], cmd[2]
            c.rectangle(min(x1, x2), min(y1, y2), abs(x2 - x1), abs(y2 - y1))
            paint(c, pen, fill)
        elif kind == "line":
            c.move_to(*cmd[1])
            c.line_to(*cmd[2])
            paint(c, pen, fill, False)
        elif kind == "circle":
            (x, y), r = cmd[1], cmd[2]
            c.save()
            c.translate(x, y)
            c.scale(r, r)
            c.arc(0, 0, 1, 0, 2 * math.pi)
            c.restore()
            paint(c, pen, fill)
        else:
            c.move_to(*cmd[1])
            c.line_to(*cmd[2])
            c.line_to(*cmd[3])
            c.close_path()
            paint(c, pen, fill)
    surface.flush()


def draw_state():
    c = begin()
    for cmd in state:
        if cmd[0] == "line-width":
            c.set_line_width(cmd[1])
        elif cmd[0] == "line-join":
            c.set_line_join(cmd[1])
        else:
            c.set_source_rgb(*cmd[1])
    surface.flush()


def plain_box():
    c = begin()
    c.rectangle(300, 200, 200, 100)
    c.set_source_rgb(1, 0, 0)
    c.fill_preserve()
    c.set_source_rgb(0, 0, 0)
    c.stroke()
    surface.flush()


def time_of(runs, fn, *args):
    t = time.perf_counter()
    for _ in range(runs):
        fn(*args)
    return (time.perf_counter() - t) / runs


print("scene", time_of(20, draw_scene))
print("state", time_of(20, draw_state))
print("box", time_of(200, plain_box))
