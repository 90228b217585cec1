"""Turns Google Benchmark's JSON output, and the rows of the window benchmark
under Wine, into the table of scripts/bench and build/bench/results.json: one
object per measurement.
Usage: bench_table.py HEADLESS.json RESULTS.json [WINDOW.json ...]"""
import json
import sys

PIPELINES = {
    "BM_ContinuousRead": ("continuous read", "BM_RawReadcard"),
    "BM_ContinuousWrite": ("continuous write", "BM_RawWritecard"),
    "BM_TextFileWrite": ("text file", "BM_RawWritecard"),
}


# Window rows measured against the headless ceiling of their library call.
WINDOW_CEILING = {
    "continuous read": "BM_RawReadcard",
    "continuous write": "BM_RawWritecard",
    "text file": "BM_RawWritecard",
    "raw readcard": "BM_RawReadcard",
}


def window_rows(path, raw):
    rows = []
    for r in json.load(open(path, encoding="utf-8")):
        ceiling = WINDOW_CEILING.get(r["pipeline"].split(",")[0])
        rate = r.get("cards_per_s")
        r["ratio_to_raw"] = rate / raw[ceiling] if rate and ceiling in raw else None
        rows.append(r)
    return rows


def main(source, target, *window):
    runs = json.load(open(source, encoding="utf-8"))["benchmarks"]
    raw = {r["name"].split("/")[0]: r["cards_per_s"] for r in runs if r["name"].startswith("BM_Raw")}
    results = []
    for name, rate in sorted(raw.items()):
        results.append({"pipeline": "raw " + name[len("BM_Raw"):].lower(), "build": "headless",
                        "cards": None, "cards_per_s": rate, "ratio_to_raw": 1.0,
                        "tail_ratio": None})
    # The pipelines run several batches: their row is the median batch, with
    # the smallest and largest tail beside it.
    spread = {}
    for r in runs:
        if r.get("run_type") == "aggregate":
            spread.setdefault(r["run_name"], {})[r["aggregate_name"]] = r
    for r in runs:
        base = r["name"].split("/")[0]
        if r.get("run_type") == "aggregate" and r.get("aggregate_name") != "median":
            continue
        if base == "BM_ReadTextFile":
            results.append({"pipeline": "read 10 MB file", "build": "headless",
                            "cards": int(r["lines"]), "cards_per_s": r["lines_per_s"],
                            "ratio_to_raw": None, "tail_ratio": None,
                            "ms": r["real_time"]})
            continue
        if base not in PIPELINES:
            continue
        label, ceiling = PIPELINES[base]
        row = {
            "pipeline": label, "build": "headless", "cards": int(r["cards"]),
            "cards_per_s": r["cards_per_s"],
            "ratio_to_raw": r["cards_per_s"] / raw[ceiling] if ceiling in raw else None,
            "tail_ratio": r["tail_ratio"],
            "first1000_us": r["first1000_us"], "last1000_us": r["last1000_us"],
            "stall_ms": r.get("stall_ms"),
        }
        batches = spread.get(r.get("run_name"), {})
        if "min" in batches and "max" in batches:
            row["batches"] = int(r["repetitions"])
            row["tail_min"] = batches["min"]["tail_ratio"]
            row["tail_max"] = batches["max"]["tail_ratio"]
            row["stall_ms_max"] = batches["max"]["stall_ms"]
        results.append(row)
    for path in window:
        results.extend(window_rows(path, raw))
    json.dump(results, open(target, "w", encoding="utf-8"), indent=2)

    def cell(r, key, fmt):
        return "" if r.get(key) is None else format(r[key], fmt)

    def tail_range(r):
        if r.get("tail_min") is None:
            return ""
        return f"{r['tail_min']:.2f}-{r['tail_max']:.2f}"

    print(f"{'pipeline':<32}{'build':<10}{'cards':>8}{'cards/s':>12}{'to raw':>9}{'tail':>7}"
          f"{'tail range':>12}{'click ms':>10}{'start ms':>10}")
    for r in results:
        print(f"{r['pipeline']:<32}{r['build']:<10}{cell(r, 'cards', ','):>8}{cell(r, 'cards_per_s', ',.0f'):>12}"
              f"{cell(r, 'ratio_to_raw', '.4f'):>9}{cell(r, 'tail_ratio', '.2f'):>7}{tail_range(r):>12}"
              f"{cell(r, 'click_ms', '.1f'):>10}{cell(r, 'startup_ms', '.0f'):>10}")
    for r in results:
        if r.get("startup_ratio") is not None:
            print(f"start-up ({r['build']}): {r['startup_ms']:.0f} ms to a shown main window, "
                  f"{r['startup_ratio']:.2f} times an empty window of the same size in the same run")
    print(f"(figures also in {target})")


if __name__ == "__main__":
    main(*sys.argv[1:])
