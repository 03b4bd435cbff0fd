"""lxml side of the services benchmark: etree.tostring and etree.fromstring
of the same document, timed like services.lsp (inputs read untimed).

  lxml_reference.py STEP model.xml
"""
import sys
import time

from lxml import etree


def timed(work):
    cpu, wall = time.process_time(), time.perf_counter()
    value = work()
    return time.process_time() - cpu, time.perf_counter() - wall, value


def main():
    step, path = sys.argv[1], sys.argv[2]
    if step == "serialize":
        tree = etree.parse(path)
        cpu, wall, text = timed(lambda: etree.tostring(tree))
        detail = len(text)
    else:
        with open(path, "rb") as f:
            data = f.read()
        cpu, wall, root = timed(lambda: etree.fromstring(data))
        detail = "ok" if root is not None else "failed"
    print(f"{step} {cpu:.6f} {wall:.6f} {detail}")


if __name__ == "__main__":
    main()
