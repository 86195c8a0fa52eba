# Help and completion.

# The download page `about/debug` names when the build carries no
# version-control data.
set(ZUN_DOWNLOAD_PAGE "https://example.org/zun/download/" CACHE STRING
    "Address of the download page shown by about/debug")
target_compile_definitions(zunrt PRIVATE ZUN_DOWNLOAD_PAGE="${ZUN_DOWNLOAD_PAGE}")

# Help output against golden transcripts, and the global listings' shape.
zun_python_test(help_transcripts tests/help_transcripts.py)
# to-UTC-date and to-local-date against python's datetime under fixed zones.
zun_python_test(date_zones tests/date_zones.py)
# The terminal console's line editor on a pseudo-terminal; its keystroke
# timing is too tight for the sanitizer and collector-stress run.
zun_python_test(line_editor_pty tests/line_editor_pty.py LABELS heavy)
