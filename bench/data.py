# Writes the documents the data benchmarks read (json, csv), the same bytes on
# every run: about 6 MB of JSON and 5 MB of CSV under the temporary folder.
import csv
import json
import os
import random
import tempfile

FOLDER = os.path.join(tempfile.gettempdir(), "zun-bench")
JSON_FILE = os.path.join(FOLDER, "doc.json")
CSV_FILE = os.path.join(FOLDER, "table.csv")

WORDS = ["alpha", "beta", "gamma", "delta", "épée", "naïve", "Zürich", "東京", "данные", "😀 ok",
         'say "hi"', "back\\slash", "tab\there", "line\nbreak", "plain text"]


def text(rng):
    return " ".join(rng.choice(WORDS) for _ in range(rng.randint(1, 4)))


def record(rng, i):
    return {
        "id": i,
        "name": text(rng),
        "score": rng.randint(-40000, 40000) / 4,
        "tags": [[rng.randint(0, 999), text(rng)], [rng.random() < 0.5, None], []],
        "flags": {"on": True, "off": False, "none": None},
    }


def main():
    os.makedirs(FOLDER, exist_ok=True)
    rng = random.Random(27)
    if not os.path.exists(JSON_FILE):
        doc = [record(rng, i) for i in range(25000)]
        with open(JSON_FILE, "w", encoding="utf-8") as f:
            json.dump(doc, f, ensure_ascii=False, indent=1)
    if not os.path.exists(CSV_FILE):
        with open(CSV_FILE, "w", encoding="utf-8", newline="") as f:
            w = csv.writer(f, lineterminator="\n")
            w.writerow(["id", "name", "score", "note", "city"])
            for i in range(78000):
                w.writerow([i, text(rng).replace("\t", " "), rng.randint(0, 99999) / 4, text(rng), rng.choice(WORDS)])


if __name__ == "__main__":
    main()
