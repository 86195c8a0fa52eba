# The debugger, tracers and profiler at the console, through a pipe and a pty.
zun_python_test(tools_transcript tests/tools_transcript.py)
