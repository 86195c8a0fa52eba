# HTTP requests go through libcurl.
find_package(CURL REQUIRED)
target_link_libraries(zunrt PUBLIC CURL::libcurl)

# Requests, url! actions, URL parsing and the download cache against a
# loopback server of our own.
# Many zun runs: left out of the sanitizer and collector-stress run.
zun_python_test(http tests/http_test.py LABELS heavy)
set_tests_properties(zun.http PROPERTIES TIMEOUT 300)
