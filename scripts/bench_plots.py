#!/usr/bin/env python3
"""Draws one SVG per benchmark from the texts scripts/bench.sh leaves in its results folder:
ours and the peer (or baseline) side by side, by row count, on a logarithmic time axis, with
the ratio over each group. Only the standard library: the SVG is written by hand.

    bench_plots.py RESULTS_DIR PLOTS_DIR
"""
import math
import os
import re
import sys

COLOURS = ["#1f77b4", "#ff7f0e", "#2ca02c", "#d62728", "#9467bd", "#8c564b"]


def esc(text):
    return str(text).replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")


def fmt_secs(s):
    return "%.0f ms" % (s * 1000) if s < 1 else "%.3g s" % s


def bar_chart(path, title, subtitle, groups, series, values, ratios):
    """groups: x labels; series: bar names; values[g][s]: seconds or None; ratios[g]: text."""
    width, height = 760, 420
    left, right, top, bottom = 70, 20, 70, 80
    plot_w, plot_h = width - left - right, height - top - bottom
    present = [v for row in values for v in row if v]
    lo = 10 ** math.floor(math.log10(min(present)))
    hi = 10 ** math.ceil(math.log10(max(present)))
    if hi / lo < 100:
        hi = lo * 100

    def y(v):
        return top + plot_h * (1 - (math.log10(v) - math.log10(lo)) / (math.log10(hi) - math.log10(lo)))

    out = ['<svg xmlns="http://www.w3.org/2000/svg" width="%d" height="%d" font-family="sans-serif" '
           'font-size="12">' % (width, height),
           '<rect width="100%" height="100%" fill="white"/>',
           '<text x="%d" y="24" font-size="16" font-weight="bold">%s</text>' % (left, esc(title)),
           '<text x="%d" y="44" fill="#555">%s</text>' % (left, esc(subtitle))]
    decade = lo
    while decade <= hi * 1.001:  # grid and labels at each power of ten
        out.append('<line x1="%d" x2="%d" y1="%.1f" y2="%.1f" stroke="#ddd"/>' % (left, left + plot_w, y(decade), y(decade)))
        out.append('<text x="%d" y="%.1f" text-anchor="end">%s</text>' % (left - 6, y(decade) + 4, fmt_secs(decade)))
        decade *= 10
    out.append('<line x1="%d" x2="%d" y1="%d" y2="%d" stroke="#333"/>' % (left, left + plot_w, top + plot_h, top + plot_h))
    group_w = plot_w / len(groups)
    bar_w = min(60, group_w * 0.8 / len(series))
    for g, label in enumerate(groups):
        x0 = left + g * group_w + (group_w - bar_w * len(series)) / 2
        for s in range(len(series)):
            v = values[g][s]
            if not v:
                continue
            x = x0 + s * bar_w
            out.append('<rect x="%.1f" y="%.1f" width="%.1f" height="%.1f" fill="%s"/>'
                       % (x, y(v), bar_w - 4, top + plot_h - y(v), COLOURS[s % len(COLOURS)]))
            out.append('<text x="%.1f" y="%.1f" text-anchor="middle" font-size="10">%s</text>'
                       % (x + (bar_w - 4) / 2, y(v) - 4, fmt_secs(v)))
        cx = left + g * group_w + group_w / 2
        out.append('<text x="%.1f" y="%d" text-anchor="middle">%s</text>' % (cx, top + plot_h + 18, esc(label)))
        if ratios[g]:
            out.append('<text x="%.1f" y="%d" text-anchor="middle" font-weight="bold">%s</text>'
                       % (cx, top + plot_h + 36, esc(ratios[g])))
    for s, name in enumerate(series):  # legend
        lx = left + s * 180
        out.append('<rect x="%d" y="%d" width="12" height="12" fill="%s"/>' % (lx, height - 22, COLOURS[s % len(COLOURS)]))
        out.append('<text x="%d" y="%d">%s</text>' % (lx + 16, height - 12, esc(name)))
    out.append("</svg>")
    with open(path, "w") as f:
        f.write("\n".join(out) + "\n")
    print("wrote", path)


def read(path):
    return open(path).read() if os.path.exists(path) else ""


def peer_phases(results):
    """{(rows, peer): {phase: median seconds}} from the peers' results.md."""
    out = {}
    for line in read(os.path.join(results, "peers", "results.md")).splitlines():
        cells = [c.strip() for c in line.strip().strip("|").split("|")]
        if len(cells) < 8 or not cells[0].isdigit():
            continue
        phases = dict((k, float(v.rstrip("s"))) for k, v in re.findall(r"(\S+)=([\d.]+s)", cells[7]))
        phases["wall"] = float(cells[2])
        out[(int(cells[0]), cells[1])] = phases
    return out


def dataset_plot(results, plots, peers):
    ours = {}  # (case, rows) -> median seconds
    for line in read(os.path.join(results, "dataset_bench.txt")).splitlines():
        f = line.split()
        if len(f) >= 4 and f[0] in ("xml-save", "xml-load") and f[1].isdigit():
            ours[(f[0], int(f[1]))] = float(f[2])
    for case, phase in (("xml-save", "save"), ("xml-load", "load")):
        rows = sorted(n for (c, n) in ours if c == case)
        if not rows:
            continue
        values, ratios = [], []
        for n in rows:
            theirs = peers.get((n, case), {}).get(phase)
            values.append([ours[(case, n)], theirs])
            ratios.append("%.1fx" % (theirs / ours[(case, n)]) if theirs else "")
        bar_chart(os.path.join(plots, "dataset-%s.svg" % case), "XML data packet: %s" % case[4:],
                  "in-process median seconds (log scale), by rows; ratio = peer / ours", [str(n) + " rows" for n in rows],
                  ["ours", "Free Pascal peer"], values, ratios)


def pdb_plot(results, plots, peers):
    text = read(os.path.join(results, "pdb_bench.txt"))
    m = re.search(r"TSV -> PREVRETI.pdb, (\d+) rows.*?ours\s+wall ([\d.]+) s.*?Perl peer\s+wall ([\d.]+) s", text, re.S)
    if not m:
        return
    n, ours, theirs = int(m.group(1)), float(m.group(2)), float(m.group(3))
    bar_chart(os.path.join(plots, "pdb-prevreti.svg"), "Palm conversion: TSV -> PREVRETI.pdb",
              "whole process, median wall seconds (log scale); ratio = peer / ours", ["%d rows" % n],
              ["ours", "Perl Palm::PDB peer"], [[ours, theirs]], ["%.1fx" % (theirs / ours)])


def derive_plot(results, plots):
    cpu = {}  # (name, scale) -> seconds
    for line in read(os.path.join(results, "derive_bench.txt")).splitlines():
        m = re.match(r"BM_(\w+)/(\d+)/\S*\s+([\d.]+) ms\s+([\d.]+) ms", line)
        if m:
            cpu[(m.group(1), int(m.group(2)))] = float(m.group(3)) / 1000
    scales = sorted({s for (_, s) in cpu})
    if not scales:
        return
    names = ["Derive", "SaveXml", "SaveBinary"]
    values = [[cpu.get((b, s)) for b in names] for s in scales]
    ratios = ["derive/XML save %.2fx" % (v[0] / v[1]) if v[0] and v[1] else "" for v in values]
    bar_chart(os.path.join(plots, "derive.svg"), "Derivations beside saving the same tables",
              "wall seconds per run (log scale), by scale (1 = 485,000 rows)", ["scale %d" % s for s in scales],
              ["derivations", "XML save", "binary save"], values, ratios)


def stacked_chart(path, title, subtitle, groups, parts, values, notes):
    """groups: x labels; parts: names of the stacked pieces; values[g][p]: seconds (linear)."""
    width, height = 760, 420
    left, right, top, bottom = 70, 20, 70, 80
    plot_w, plot_h = width - left - right, height - top - bottom
    hi = max(sum(v or 0 for v in row) for row in values) * 1.1
    out = ['<svg xmlns="http://www.w3.org/2000/svg" width="%d" height="%d" font-family="sans-serif" '
           'font-size="12">' % (width, height),
           '<rect width="100%" height="100%" fill="white"/>',
           '<text x="%d" y="24" font-size="16" font-weight="bold">%s</text>' % (left, esc(title)),
           '<text x="%d" y="44" fill="#555">%s</text>' % (left, esc(subtitle)),
           '<line x1="%d" x2="%d" y1="%d" y2="%d" stroke="#333"/>' % (left, left + plot_w, top + plot_h, top + plot_h)]
    group_w = plot_w / len(groups)
    bar_w = min(90, group_w * 0.6)
    for g, label in enumerate(groups):
        x = left + g * group_w + (group_w - bar_w) / 2
        base = 0.0
        for p, v in enumerate(values[g]):
            if not v:
                continue
            y0, y1 = top + plot_h * (1 - base / hi), top + plot_h * (1 - (base + v) / hi)
            out.append('<rect x="%.1f" y="%.1f" width="%.1f" height="%.1f" fill="%s"/>'
                       % (x, y1, bar_w, y0 - y1, COLOURS[p % len(COLOURS)]))
            out.append('<text x="%.1f" y="%.1f" text-anchor="middle" font-size="10" fill="white">%s</text>'
                       % (x + bar_w / 2, (y0 + y1) / 2 + 4, fmt_secs(v)))
            base += v
        cx = x + bar_w / 2
        out.append('<text x="%.1f" y="%d" text-anchor="middle">%s</text>' % (cx, top + plot_h + 18, esc(label)))
        if notes[g]:
            out.append('<text x="%.1f" y="%d" text-anchor="middle" font-weight="bold">%s</text>'
                       % (cx, top + plot_h + 36, esc(notes[g])))
    for p, name in enumerate(parts):  # legend
        lx = left + p * 180
        out.append('<rect x="%d" y="%d" width="12" height="12" fill="%s"/>' % (lx, height - 22, COLOURS[p % len(COLOURS)]))
        out.append('<text x="%d" y="%d">%s</text>' % (lx + 16, height - 12, esc(name)))
    out.append("</svg>")
    with open(path, "w") as f:
        f.write("\n".join(out) + "\n")
    print("wrote", path)


def median(xs):
    xs = sorted(xs)
    n = len(xs)
    return (xs[n // 2] if n % 2 else (xs[n // 2 - 1] + xs[n // 2]) / 2) if n else None


def export_plot(results, plots):
    """The whole export per target: the server's share, the client's, and beside them the
    server's share and a raw fsynced write of the same files (the floor)."""
    runs = {}  # target -> [(server, client, raw)] in seconds
    for line in read(os.path.join(results, "export_bench.txt")).splitlines():
        m = re.match(r"(eeePC|Palm): run \d+: [\d.]+ ms button to alert, server calls ([\d.]+) ms.*"
                     r"client ([\d.]+) ms; raw fsynced write .*: ([\d.]+) ms", line)
        if m:
            runs.setdefault(m.group(1), []).append(tuple(float(m.group(k)) / 1000 for k in (2, 3, 4)))
    if not runs:
        return
    groups, values, notes = [], [], []
    for target in ("eeePC", "Palm"):
        if target not in runs:
            continue
        server, client, raw = (median([r[k] for r in runs[target]]) for k in range(3))
        groups += [target + " export", target + " floor"]
        values += [[server, client, None], [server, None, raw]]
        notes += ["client %.2fx the raw write" % (client / raw), ""]
    stacked_chart(os.path.join(plots, "export.svg"), "The whole export per target",
                  "medians, seconds: server calls, then the client's share or a raw fsynced write of its files",
                  groups, ["server", "client", "raw fsynced write"], values, notes)


def main():
    results, plots = sys.argv[1], sys.argv[2]
    os.makedirs(plots, exist_ok=True)
    peers = peer_phases(results)
    dataset_plot(results, plots, peers)
    pdb_plot(results, plots, peers)
    derive_plot(results, plots)
    export_plot(results, plots)


if __name__ == "__main__":
    main()
