# HTTP requests go through libcurl, opened on the first request.
find_package(CURL REQUIRED)
zun_lazy_library(services/curl_lazy.cpp ZUN_SONAME_CURL ${CURL_LIBRARY} "${CURL_INCLUDE_DIRS}")

# Requests, url! actions, URL parsing and the download cache against a
# loopback server of our own.
# Many zun runs: left out of the sanitizer and collector-stress run.
zun_python_test(http tests/http_test.py LABELS heavy)
set_tests_properties(zun.http PROPERTIES TIMEOUT 300)
