# Memory in use stays near the live size while short-lived data churns
# (heavy: every allocation collects under the stress build).
zun_python_test(memory_churn tests/memory_churn.py LABELS heavy)
