# JSON and CSV codecs: the JSON test suite (read twice, heavy under the
# sanitizers) and the CSV texts judged by
# python3's json and csv modules.
zun_python_test(json_suite tests/json_suite.py LABELS heavy)
zun_python_test(csv_oracle tests/csv_oracle.py)
# A JSON object and array past what the value stack holds at once (slow under
# the collector stress build).
set_property(TEST zun.json_large APPEND PROPERTY LABELS heavy)
# load-json, load-csv and their round trips on arbitrary bytes.
zun_fuzzer(json_csv_fuzz tests/fuzz/json_csv_fuzz.cpp)
