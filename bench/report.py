#!/usr/bin/env python3
"""Turns the output of bench/run into a report people read.

    report.py LOG REPORT.md REPORT.svg

Reads what every benchmark group printed (each group's own format, after its
"== group" line), writes a Markdown table of every figure against its
baseline (libxml2, lxml or the bytecode floor) and an SVG chart of the
ratios, and prints the table. Lines it does not know are left out; a group
that printed nothing it knows gives no rows rather than an error.
"""
import html
import math
import re
import sys
from dataclasses import dataclass
from typing import Optional

NUM = r"([0-9]+(?:\.[0-9]+)?)"
# The Lisp steps by the functions they time.
LISP_STEPS = {"read": "READ-XML", "walk": "element walk", "parse": "PARSE-XML", "write": "WRITE-XML",
              "to-list": "DOCUMENT-TO-LIST", "read-list": "READ-XML-LIST"}


@dataclass
class Figure:
    group: str
    name: str
    ours: str  # as printed, with its unit
    baseline: str  # what it is measured against
    theirs: str
    ratio: Optional[float]  # ours / baseline as the group reports it
    goal: Optional[float]
    want: str = "<="  # ratio <= goal, or >= for speeds

    def met(self) -> Optional[bool]:
        if self.ratio is None or self.goal is None:
            return None
        return self.ratio <= self.goal if self.want == "<=" else self.ratio >= self.goal


def seconds(value: str) -> str:
    return f"{float(value):.3f} s"


def ratio_of(ours: float, theirs: float) -> Optional[float]:
    return ours / theirs if theirs > 0 else None


# ---- one parser per group: lines of that group -> figures -------------------------

def parse_compare(lines):
    load = None
    for line in lines:
        if m := re.match(rf"load one \(createDocument\)\s+{NUM} s", line):
            load = m.group(1)
        elif m := re.match(rf"(compare, digest pairing)\s+{NUM} s\s+\S+\s+ratio {NUM} \(limit {NUM}\)", line):
            yield Figure("compare", "compare a model with its twin", seconds(m.group(2)),
                         "loading one (createDocument)", seconds(load) if load else "-",
                         float(m.group(3)), float(m.group(4)))


def parse_engine_dom(lines):
    times = {}
    for line in lines:
        if m := re.match(rf"median: xmlReadFile {NUM} s, {NUM} MB; DOM load {NUM} s, {NUM} MB", line):
            times = {"time": (m.group(3), m.group(1), "s"), "memory": (m.group(4), m.group(2), "MB")}
        elif m := re.match(rf"(load time|memory) ratio DOM/libxml2:\s+{NUM} \(target <= {NUM}\)", line):
            key = "time" if m.group(1) == "load time" else "memory"
            ours, theirs, unit = times.get(key, ("-", "-", ""))
            yield Figure("engine_dom", f"DOM load, {key}", f"{ours} {unit}", "libxml2 xmlReadFile",
                         f"{theirs} {unit}", float(m.group(2)), float(m.group(3)))


def parse_engine_sax(lines):
    for line in lines:
        if m := re.match(rf"(.+?)\s+engine {NUM} s \(wall {NUM}\)\s+libxml2 {NUM} s \(wall {NUM}\)\s+"
                         rf"ratio {NUM} \(want (>=|<=) {NUM}\)", line):
            yield Figure("engine_sax", m.group(1), seconds(m.group(2)), "libxml2", seconds(m.group(4)),
                         float(m.group(6)), float(m.group(8)), m.group(7))
        elif m := re.match(rf"(.+?)\s+engine {NUM} s \(wall {NUM}\), {NUM} x libxml2", line):
            yield Figure("engine_sax", m.group(1), seconds(m.group(2)), "libxml2", "-", float(m.group(4)), None)


def parse_engine_xslt(lines):
    for line in lines:
        if m := re.match(rf"(.+?)\s+direct\s+{NUM} s\s+engine\s+{NUM} s\s+ratio {NUM}", line):
            yield Figure("engine_xslt", m.group(1), seconds(m.group(3)), "libxml2/libxslt directly",
                         seconds(m.group(2)), float(m.group(4)), None)


def parse_lisp(lines):
    cpu = {}
    for line in lines:
        if m := re.match(rf"(read|walk|parse|write)\s+{NUM}\s+{NUM}\s+{NUM}\s+{NUM}\s+(\S+)\s+\S+\s+(\S+)$", line):
            step, ours, theirs = m.group(1), m.group(2), m.group(3)
            cpu[step] = float(ours)
            ratio = float(m.group(6)) if m.group(6) != "-" else None
            goal = float(m.group(7)) if m.group(7) != "-" else None
            yield Figure("lisp", f"{LISP_STEPS[step]} (CPU)", seconds(ours), "lxml", seconds(theirs), ratio, goal)
        elif m := re.search(rf"walk floor: .* takes {NUM} s CPU(?:.*goal {NUM})?", line):
            floor = float(m.group(1))
            if "walk" in cpu:
                yield Figure("lisp", "element walk (CPU)", seconds(cpu["walk"]),
                             "bytecode floor (the same walk over plain lists)", seconds(floor),
                             ratio_of(cpu["walk"], floor), float(m.group(2)) if m.group(2) else None)
        elif m := re.search(rf"walk: clearing the cache afterwards \(frees the tree\): {NUM} s CPU", line):
            yield Figure("lisp", "CLEAR-XML-CACHE after the walk, freeing the tree (CPU)", seconds(m.group(1)),
                         "-", "-", None, None)
        elif m := re.match(rf"(to-list|read-list)\s+{NUM} s CPU \(.*\), (\S+) x lxml (\w+), goal {NUM}", line):
            ratio = float(m.group(3)) if m.group(3) != "-" else None
            yield Figure("lisp", f"{LISP_STEPS[m.group(1)]} (CPU)", seconds(m.group(2)), f"lxml {m.group(4)}", "-",
                         ratio, float(m.group(5)))
        elif m := re.match(rf"calls: {NUM} ns CPU per call", line):
            yield Figure("lisp", "call of a handler that does nothing", f"{m.group(1)} ns", "-", "-", None, None)
        elif m := re.search(rf"{NUM} x the element-by-element Lisp walk \(goal at most {NUM}\)", line):
            yield Figure("lisp", "DOCUMENT-TO-LIST (CPU)", "-", "the Lisp element walk", "-",
                         float(m.group(1)), float(m.group(2)))


def parse_lisp_services(lines):
    for line in lines:
        if m := re.match(rf"(serialize|deserialize|compare)\s+{NUM}\s+{NUM}\s+(\S+)\s+{NUM}", line):
            baseline = "READ-XML of one" if m.group(1) == "compare" else "lxml"
            ratio = float(m.group(4)) if m.group(4) != "-" else None
            yield Figure("lisp_services", f"{m.group(1).upper()}-XML (CPU)", seconds(m.group(2)), baseline,
                         seconds(m.group(3)), ratio, float(m.group(5)))
        elif m := re.match(rf"root-tag\s+{NUM} us CPU.*\(goal: under {NUM} us\)", line):
            yield Figure("lisp_services", "GET-ROOT-TAG on a 100 MB file", f"{m.group(1)} us", "goal",
                         f"{m.group(2)} us", None, None)


def parse_model(lines):
    for line in lines:
        if m := re.match(rf"(\S.*?)\s+model\s+{NUM} s\s+libxml2\s+{NUM} s\s+ratio\s+{NUM}\s+\(limit {NUM}\)", line):
            yield Figure("model", m.group(1), seconds(m.group(2)), "libxml2", seconds(m.group(3)),
                         float(m.group(4)), float(m.group(5)))
        elif m := re.match(rf"(\S.*?)\s+floor\s+{NUM} s\s+libxml2\s+{NUM} s\s+ratio\s+{NUM}\s+\(information", line):
            yield Figure("model", m.group(1), seconds(m.group(2)), "libxml2", seconds(m.group(3)),
                         float(m.group(4)), None)


def parse_scaling(lines):
    for line in lines:
        if m := re.match(rf"(\S.*?)\s+(\d+) MB\s+{NUM} s\s+(\d+) MB\s+{NUM} s\s+ratio\s+{NUM}\s+\(limit {NUM}\)",
                         line):
            yield Figure("scaling", f"{m.group(1)}, {m.group(2)} MB", seconds(m.group(3)),
                         f"the same on {m.group(4)} MB", seconds(m.group(5)), float(m.group(6)), float(m.group(7)))


def parse_model_xslt(lines):
    side, times = None, {"model": {}, "lxml": {}}
    for line in lines:
        if line.startswith("model ("):
            side = "model"
        elif line.startswith("lxml "):
            side = "lxml"
        elif (m := re.match(rf"\s+(\w+) {NUM}$", line)) and side:
            times[side][m.group(1)] = float(m.group(2))
        elif m := re.match(rf"ratio (xslt|xsd)\s+\((.+?)\)\s+model/lxml: {NUM}\s+\(goal <= {NUM}\)", line):
            kind = m.group(1)
            steps = ("xslt_compile", "xslt_transform") if kind == "xslt" else ("xsd_compile", "xsd_validate")
            ours = sum(times["model"].get(s, 0.0) for s in steps)
            theirs = sum(times["lxml"].get(s, 0.0) for s in steps)
            yield Figure("model_xslt", f"{kind.upper()} ({m.group(2)})", seconds(ours), "lxml",
                         seconds(theirs), float(m.group(3)), float(m.group(4)))


PARSERS = {
    "compare": parse_compare,
    "engine_dom": parse_engine_dom,
    "engine_sax": parse_engine_sax,
    "engine_xslt": parse_engine_xslt,
    "lisp": parse_lisp,
    "lisp_services": parse_lisp_services,
    "model": parse_model,
    "model_xslt": parse_model_xslt,
    "scaling": parse_scaling,
}


def tidy(name: str) -> str:
    """One space between words, without a repeated "(engine / libxml2)"."""
    name = re.sub(r"\s*\(engine / libxml2\)", "", name)
    return re.sub(r"\s+", " ", name).strip()


def figures_of(text: str):
    groups, current = {}, None
    for line in text.splitlines():
        if m := re.match(r"== (\S+)$", line):
            current = m.group(1)
            groups[current] = []
        elif current:
            groups[current].append(line)
    for group, lines in groups.items():
        parser = PARSERS.get(group)
        if parser:
            for figure in parser(lines):
                figure.name = tidy(figure.name)
                yield figure


# ---- output ------------------------------------------------------------------------

def markdown(figures) -> str:
    rows = ["| group | figure | ours | baseline | baseline's | ratio | goal | |",
            "|---|---|---:|---|---:|---:|---:|---|"]
    for f in figures:
        ratio = f"{f.ratio:.2f}" if f.ratio is not None else "-"
        goal = f"{f.want} {f.goal:g}" if f.goal is not None else "-"
        verdict = {True: "met", False: "**missed**", None: ""}[f.met()]
        cells = [f.group, f.name, f.ours, f.baseline, f.theirs, ratio, goal, verdict]
        rows.append("| " + " | ".join(c.replace("|", "\\|") for c in cells) + " |")
    return "\n".join(rows) + "\n"


LOW, HIGH = 1 / 8, 32  # the chart's range of ratios; beyond it bars are cut


def svg(figures) -> str:
    shown = [f for f in figures if f.ratio is not None and f.ratio > 0]
    labels = [f"{f.group}: {f.name}" for f in shown]
    notes = [f"{f.ratio:.2f} x {f.baseline}" for f in shown]
    char_w = 6.8  # a 12 px sans-serif character, generously
    label_w = 20 + char_w * max((len(t) for t in labels), default=10)
    plot_w, row_h, top = 440, 22, 46
    width = label_w + plot_w + 20 + char_w * max((len(t) for t in notes), default=10)
    height = top + row_h * len(shown) + 40

    def x(ratio):
        r = min(max(ratio, LOW), HIGH)
        return label_w + plot_w * (math.log2(r) - math.log2(LOW)) / (math.log2(HIGH) - math.log2(LOW))

    out = [f'<svg xmlns="http://www.w3.org/2000/svg" width="{width}" height="{height}" '
           f'font-family="sans-serif" font-size="12">',
           f'<rect width="{width}" height="{height}" fill="white"/>',
           '<text x="10" y="20" font-size="15" font-weight="bold">Benchmarks: ours against the baseline '
           '(ratio, log scale)</text>',
           '<text x="10" y="36" fill="#555">green: goal met, red: missed, grey: no goal; '
           'the black tick is the goal, the dashed line equality</text>']
    tick = LOW
    while tick <= HIGH:
        tx = x(tick)
        out.append(f'<line x1="{tx:.1f}" y1="{top - 4}" x2="{tx:.1f}" y2="{top + row_h * len(shown)}" '
                   f'stroke="#ddd"/>')
        out.append(f'<text x="{tx:.1f}" y="{top + row_h * len(shown) + 16}" text-anchor="middle" '
                   f'fill="#555">{tick:g}</text>')
        tick *= 2
    for i, f in enumerate(shown):
        y = top + i * row_h
        colour = {True: "#3a9a4a", False: "#c8413a", None: "#999"}[f.met()]
        out.append(f'<text x="{label_w - 8:.1f}" y="{y + 15}" text-anchor="end">{html.escape(labels[i])}</text>')
        x0, x1 = x(1.0), x(f.ratio)
        out.append(f'<rect x="{min(x0, x1):.1f}" y="{y + 4}" width="{max(abs(x1 - x0), 1):.1f}" '
                   f'height="{row_h - 8}" fill="{colour}"/>')
        end = max(x0, x1, x(f.goal) if f.goal is not None else 0)
        out.append(f'<text x="{end + 6:.1f}" y="{y + 15}" fill="#333">{html.escape(notes[i])}</text>')
        if f.goal is not None:
            gx = x(f.goal)
            out.append(f'<line x1="{gx:.1f}" y1="{y + 1}" x2="{gx:.1f}" y2="{y + row_h - 1}" '
                       f'stroke="black" stroke-width="2"/>')
    out.append(f'<line x1="{x(1.0):.1f}" y1="{top - 4}" x2="{x(1.0):.1f}" y2="{top + row_h * len(shown)}" '
               f'stroke="black" stroke-dasharray="4 3"/>')
    out.append("</svg>")
    return "\n".join(out) + "\n"


def main(argv):
    if len(argv) != 4:
        sys.stderr.write(__doc__)
        return 2
    with open(argv[1], encoding="utf-8", errors="replace") as log:
        figures = list(figures_of(log.read()))
    table = markdown(figures)
    with open(argv[2], "w", encoding="utf-8") as md:
        md.write(table)
    with open(argv[3], "w", encoding="utf-8") as chart:
        chart.write(svg(figures))
    print(table, end="")
    print(f"\n{len(figures)} figures; chart: {argv[3]}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
