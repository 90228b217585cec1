"""Turns Google Benchmark's JSON output into the table of scripts/bench and
build/bench/results.json: one object per measurement."""
import json
import sys

PIPELINES = {
    "BM_ContinuousRead": ("continuous read", "BM_RawReadcard"),
    "BM_ContinuousWrite": ("continuous write", "BM_RawWritecard"),
    "BM_TextFileWrite": ("text file", "BM_RawWritecard"),
}


def main(source, target):
    runs = json.load(open(source, encoding="utf-8"))["benchmarks"]
    raw = {r["name"].split("/")[0]: r["cards_per_s"] for r in runs if r["name"].startswith("BM_Raw")}
    results = []
    for name, rate in sorted(raw.items()):
        results.append({"pipeline": "raw " + name[len("BM_Raw"):].lower(), "build": "headless",
                        "cards": None, "cards_per_s": rate, "ratio_to_raw": 1.0,
                        "tail_ratio": None})
    for r in runs:
        base = r["name"].split("/")[0]
        if base == "BM_ReadTextFile":
            results.append({"pipeline": "read 10 MB file", "build": "headless",
                            "cards": int(r["lines"]), "cards_per_s": r["lines_per_s"],
                            "ratio_to_raw": None, "tail_ratio": None,
                            "ms": r["real_time"]})
            continue
        if base not in PIPELINES:
            continue
        label, ceiling = PIPELINES[base]
        results.append({
            "pipeline": label, "build": "headless", "cards": int(r["cards"]),
            "cards_per_s": r["cards_per_s"],
            "ratio_to_raw": r["cards_per_s"] / raw[ceiling] if ceiling in raw else None,
            "tail_ratio": r["tail_ratio"],
            "first1000_us": r["first1000_us"], "last1000_us": r["last1000_us"],
        })
    json.dump(results, open(target, "w", encoding="utf-8"), indent=2)

    print(f"{'pipeline':<20}{'build':<10}{'cards':>8}{'cards/s':>12}{'to raw':>9}{'tail':>7}")
    for r in results:
        cards = "" if r["cards"] is None else f"{r['cards']:,}"
        ratio = "" if r["ratio_to_raw"] is None else f"{r['ratio_to_raw']:.3f}"
        tail = "" if r["tail_ratio"] is None else f"{r['tail_ratio']:.2f}"
        print(f"{r['pipeline']:<20}{r['build']:<10}{cards:>8}{r['cards_per_s']:>12,.0f}{ratio:>9}{tail:>7}")
    print(f"(figures also in {target})")


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
