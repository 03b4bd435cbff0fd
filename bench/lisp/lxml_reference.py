"""The lxml side of the Lisp benchmark: the same step on the same file.

  lxml_reference.py STEP model.xml out.xml

prints "<step> <cpu seconds> <wall seconds> <count>", like bench.lsp.
"""
import sys
import time

from lxml import etree


def timed(work):
    cpu, wall = time.process_time(), time.perf_counter()
    value = work()
    return time.process_time() - cpu, time.perf_counter() - wall, value


def walk(tree):
    count = 0
    for element in tree.getroot().iter():
        element.tag
        element.attrib.items()
        element.text
        count += isinstance(element.tag, str)
    return count


def parse_counting(path):
    events = 0
    for event, element in etree.iterparse(path, events=("start", "end")):
        if event == "start":
            element.tag
            element.attrib.items()
        else:
            element.text
        events += 1
    return events


def main():
    step, path, out = sys.argv[1], sys.argv[2], sys.argv[3]
    if step == "read":
        result = timed(lambda: etree.parse(path))
        count = 1
    elif step == "walk":
        tree = etree.parse(path)
        result = timed(lambda: walk(tree))
        count = result[2]
    elif step == "parse":
        result = timed(lambda: parse_counting(path))
        count = result[2]
    elif step == "write":
        tree = etree.parse(path)
        result = timed(lambda: tree.write(out, pretty_print=True, encoding="UTF-8",
                                          xml_declaration=True))
        count = 1
    else:
        raise SystemExit("unknown step " + step)
    print("%s %.4f %.4f %d" % (step, result[0], result[1], count))


main()
