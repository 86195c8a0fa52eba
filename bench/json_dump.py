# json.dumps (compact, UTF-8) of the 6 MB document 5 times, the peer of json_dump.zun.
import json
import data

data.main()
doc = json.loads(open(data.JSON_FILE, encoding="utf-8").read())
for _ in range(5):
    text = json.dumps(doc, ensure_ascii=False, separators=(",", ":"))
print(len(text))
