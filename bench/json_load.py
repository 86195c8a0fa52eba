# json.loads of the 6 MB document (bench/data.py writes it) 5 times, the peer of json_load.zun.
import json
import data

data.main()
text = open(data.JSON_FILE, encoding="utf-8").read()
for _ in range(5):
    doc = json.loads(text)
print(len(doc))
print(len(doc[0]["tags"]))
