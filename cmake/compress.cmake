# Compression: deflate, inflate and the zlib and gzip framings.

# Interop with python3's zlib and gzip modules and the gzip tool, both ways.
zun_python_test(compress_oracle tests/compress_oracle.py)
# The same over the Canterbury files, with our deflate output pinned.
zun_python_test(compress_oracle_corpus tests/compress_oracle.py LABELS heavy ARGS --corpus)
