"""The tkinter twin of bench/gui_bench.zun: "events" (20,000 button presses
generated on a frame and counted by a binding) and "start" (Tk, a 300x200
frame, update). Prints "case seconds" like the zun side."""
import sys
import time
import tkinter

case = sys.argv[1] if len(sys.argv) > 1 else "events"
t = time.perf_counter()
root = tkinter.Tk()
frame = tkinter.Frame(root, width=300, height=200)
frame.pack()
root.update()
if case == "start":
    print("start", time.perf_counter() - t)
if case == "events":
    count = [0]

    def pressed(_):
        count[0] += 1

    frame.bind("<ButtonPress-1>", pressed)
    t = time.perf_counter()
    for _ in range(20000):
        frame.event_generate("<ButtonPress-1>", x=5, y=6, when="tail")
    root.update()
    print("events", time.perf_counter() - t)
    if count[0] != 20000:
        print("counted", count[0])
        sys.exit(1)
