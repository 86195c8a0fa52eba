# JSON and CSV codecs: the JSON test suite and the CSV texts judged by
# python3's json and csv modules.
zun_python_test(json_suite tests/json_suite.py)
zun_python_test(csv_oracle tests/csv_oracle.py)
