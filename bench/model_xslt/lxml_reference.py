#!/usr/bin/env python3
"""The same work as model_xslt_bench with lxml: prints "name seconds" lines,
the best CPU time of RUNS for each step. The input is parsed once, blank
text dropped as the model's engine does, and is not part of any figure."""
import sys
import time

from lxml import etree


def best(runs, step):
    times = []
    result = None
    for _ in range(runs):
        start = time.process_time()
        result = step()
        times.append(time.process_time() - start)
    return min(times), result


def main():
    model, sheet, schema = sys.argv[1:4]
    runs = int(sys.argv[4]) if len(sys.argv) > 4 else 3
    document = etree.parse(model, etree.XMLParser(remove_blank_text=True))

    compile_s, transform = best(runs, lambda: etree.XSLT(etree.parse(sheet)))
    transform_s, _ = best(runs, lambda: transform(document))
    schema_s, validator = best(runs, lambda: etree.XMLSchema(etree.parse(schema)))
    validate_s, valid = best(runs, lambda: validator.validate(document))
    if not valid:
        sys.exit("invalid: %s" % validator.error_log)
    for name, seconds in (("xslt_compile", compile_s), ("xslt_transform", transform_s),
                          ("xsd_compile", schema_s), ("xsd_validate", validate_s)):
        print("%s %.4f" % (name, seconds))


if __name__ == "__main__":
    main()
