#!/usr/bin/env python3
"""Deterministic CAD-model documents for the benchmarks (standard library only).

  gen_model.py --mb N [--seed S] [--out FILE]           a model of about N MiB
  gen_model.py --twin-of FILE [--seed S] [--out FILE]   the same model, every
                 element's children and attributes in another order
  gen_model.py --changed-of FILE [--seed S] [--out FILE]  that twin (same seed,
                 same order) with one param value changed
  gen_model.py --xslt FILE      XSLT 1.0 sheet: a model to a flat parts list
  gen_model.py --xsd FILE       XSD that models, twins and changed twins meet

The same arguments always give the same bytes, on any Python 3. Without
--out the document goes to standard output. --xslt and --xsd may be given
with any of the others.
"""
import argparse
import os
import random
import sys
import xml.parsers.expat

MIB = 1 << 20
PMI_NS = "urn:quillxml:bench:pmi"
EXT_NS = "urn:quillxml:bench:ext"


class Rng:
    """Draws only through random(): of random.Random, only random() and
    seed() are promised to give the same numbers on every Python version."""

    def __init__(self, seed):
        self._random = random.Random(seed).random

    def int(self, low, high):  # low..high, both included
        return low + int(self._random() * (high - low + 1))

    def pick(self, items):
        return items[int(self._random() * len(items))]

    def chance(self, p):
        return self._random() < p

    def real(self, low, high):
        return low + self._random() * (high - low)

    def reorder(self, items):
        """Shuffles in place; two or more items never keep their order, so
        every such element of a twin really differs from its source."""
        n = len(items)
        if n < 2:
            return
        before = list(items)
        for i in range(n - 1, 0, -1):
            j = int(self._random() * (i + 1))
            items[i], items[j] = items[j], items[i]
        if items == before:
            items.append(items.pop(0))


def escape_text(s):
    return s.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;").replace("\r", "&#13;")


def escape_attr(s):
    return (escape_text(s).replace('"', "&quot;")
            .replace("\t", "&#9;").replace("\n", "&#10;"))


# ---- numbers as a CAD tool writes them ------------------------------------------

def short_number(x):
    """Up to three decimals, trailing zeros dropped: 12.5, 40, 0.05."""
    s = "%.3f" % x
    s = s.rstrip("0").rstrip(".")
    if s in ("-0", ""):
        s = "0"
    # The comparator benchmark spoils a twin by setting a param to -0.5: the
    # model itself must never hold that value.
    return "-0.55" if s == "-0.5" else s


def full_number(x):
    """Every digit of the double, as tools that round-trip write it:
    21.166666666666668, 0.30000000000000004."""
    return "%.17g" % x


def number(rng, low, high):
    x = rng.real(low, high)
    if rng.chance(0.35):
        # Derived values (inches converted, thirds and sevenths of a
        # micrometre) carry full precision.
        if high >= 1 and rng.chance(0.5):
            s = full_number(round(x / 25.4, 3) * 25.4)
        else:
            k = rng.pick((3, 7, 9)) * 1000
            s = full_number(round(x * k) / k)
        return "-0.55" if s == "-0.5" else s
    return short_number(x)


# ---- vocabulary -------------------------------------------------------------------

MATERIALS = ("S235JR", "C45E", "1.4301", "1.4404", "AlMg3", "AlSi10Mg", "EN AW-6082 T6",
             "CuZn39Pb3", "PA6-GF30", "POM-C", "Ti-6Al-4V", "EN-GJL-250", "42CrMo4")
PART_NAMES = ("Gehäuse", "Deckel", "Träger", "Welle", "Lagerschale", "Flansch", "Bügel",
              "pièce usinée", "tôle pliée", "équerre", "ménsula", "soporte", "engrenage",
              "bracket", "shaft", "housing", "spacer", "cover plate", "pin", "bushing",
              "軸受", "歯車", "板金", "ブラケット")
ASSEMBLY_NAMES = ("Antrieb", "Getriebestufe", "Rahmen", "Vorrichtung", "sous-ensemble moteur",
                  "bâti", "conjunto de guía", "drive unit", "fixture", "gearbox", "frame",
                  "conveyor module", "駆動部")
DESCRIPTIONS = ("Gefräst aus dem Vollen, Kanten gebrochen 0,5 × 45°",
                "Pièce de série, ébavurée, traitement de surface anodisé",
                "Pieza mecanizada, tolerancias generales ISO 2768-mK",
                "Machined from bar stock; surface roughness Ra 0.8 µm on bearing seats",
                "Laser cut and bent sheet, deburred",
                "Cast blank, faces machined after stress relief",
                "熱処理 HRC 58–62, 研削仕上げ",
                "Spritzguss, Wandstärke 2,5 mm, Entformungsschräge 1°",
                "Welded frame, stress relieved; weld seams a = 4 mm")
NOTES = ("Oberfläche Ra 1,6 µm", "entgraten & reinigen", "voir plan n° 4711",
         "Rz < 6.3 µm on sealing faces", "Gewinde mit Loctite 243 sichern",
         "tolérance de planéité 0,02 mm", "revisar después del montaje",
         "torque 25 N·m", "material certificate 3.1 required", "焼入れ不要",
         "check against datum A–B")
LABELS = ("Pos. ", "Item ", "Rep. ", "No. ")
REVISIONS = tuple("ABCDEFGH")
FINISHES = ("anodised", "zinc-plated", "powder-coated", "blank", "passivated", "brüniert")
FEATURES = {  # type: the params it takes (name, low, high, unit)
    "extrude": (("depth", 1, 120, "mm"), ("draft", 0, 5, "deg"), ("offset", -20, 20, "mm")),
    "revolve": (("angle", 10, 360, "deg"), ("axis_offset", -50, 50, "mm")),
    "hole": (("diameter", 1, 40, "mm"), ("depth", 1, 80, "mm"), ("x", -200, 200, "mm"),
             ("y", -200, 200, "mm"), ("countersink", 60, 120, "deg")),
    "fillet": (("radius", 0.2, 25, "mm"), ("setback", 0, 5, "mm")),
    "chamfer": (("distance", 0.2, 10, "mm"), ("angle", 15, 75, "deg")),
    "pattern": (("count", 2, 24, None), ("pitch", 2, 100, "mm"), ("angle", 0, 360, "deg")),
    "shell": (("thickness", 0.5, 8, "mm"), ("tolerance", 0.001, 0.1, "mm")),
    "sketch": (("width", 5, 400, "mm"), ("height", 5, 400, "mm"), ("rotation", 0, 360, "deg")),
}
FEATURE_TYPES = tuple(FEATURES)
TOLERANCES = ("flatness", "parallelism", "perpendicularity", "position", "circularity", "profile")


class Counter:
    def __init__(self):
        self.part = self.feature = 0


def attrs_text(pairs):
    return "".join(' %s="%s"' % (name, escape_attr(value)) for name, value in pairs)


def leaf(out, pad, tag, pairs, text=None):
    if text is None:
        out.append("%s<%s%s/>\n" % (pad, tag, attrs_text(pairs)))
    else:
        out.append("%s<%s%s>%s</%s>\n" % (pad, tag, attrs_text(pairs), escape_text(text), tag))


def header(out, rng, seed, mb):
    out.append("  <header>\n")
    leaf(out, "    ", "label", [], "Benchmark model %d" % seed)
    leaf(out, "    ", "description", [("lang", "de")],
         "Maschinenbaugruppe für Lasttests, etwa %s MiB — modèle généré" % short_number(mb))
    leaf(out, "    ", "units", [("length", "mm"), ("angle", "deg"), ("mass", "kg")])
    leaf(out, "    ", "property", [("name", "created"),
                                    ("value", "2024-%02d-%02dT%02d:%02d:00Z" % (
                                        rng.int(1, 12), rng.int(1, 28), rng.int(0, 23), rng.int(0, 59)))])
    leaf(out, "    ", "property", [("name", "author"), ("value", "J. Müller")])
    leaf(out, "    ", "property", [("name", "tolerance"), ("value", full_number(0.1 / 3))])
    leaf(out, "    ", "note", [], "Maße in mm, Winkel in Grad; 寸法単位 mm")
    out.append("  </header>\n")


def feature(out, rng, n):
    kind = rng.pick(FEATURE_TYPES)
    pairs = [("id", "F%07d" % n), ("type", kind), ("name", "%s%d" % (kind.capitalize(), n % 97 + 1))]
    if rng.chance(0.15):
        pairs.append(("suppressed", rng.pick(("true", "false"))))
    out.append("      <feature%s>\n" % attrs_text(pairs))
    params = FEATURES[kind]
    for name, low, high, unit in params[:rng.int(min(2, len(params)), len(params))]:
        p = [("name", name),
             ("value", str(rng.int(low, high)) if unit is None else number(rng, low, high))]
        if unit:
            p.append(("unit", unit))
        if unit == "mm" and rng.chance(0.25):
            p.append(("tol", short_number(rng.real(0.005, 0.2))))
        leaf(out, "        ", "param", p)
    if rng.chance(0.1):
        leaf(out, "        ", "note", [], rng.pick(NOTES))
    out.append("      </feature>\n")


def part(out, rng, counter):
    counter.part += 1
    pairs = [("id", "P%07d" % counter.part), ("name", rng.pick(PART_NAMES)),
             ("material", rng.pick(MATERIALS)), ("mass", full_number(rng.real(0.01, 40)))]
    if rng.chance(0.4):
        pairs.append(("finish", rng.pick(FINISHES)))
    out.append("    <part%s>\n" % attrs_text(pairs))
    leaf(out, "      ", "description", [], rng.pick(DESCRIPTIONS))
    for _ in range(rng.int(2, 8)):
        counter.feature += 1
        feature(out, rng, counter.feature)
    if rng.chance(0.2):
        leaf(out, "      ", "pmi:tolerance", [("type", rng.pick(TOLERANCES)),
                                                ("value", short_number(rng.real(0.005, 0.1))),
                                                ("datum", rng.pick(("A", "B", "C", "A-B")))])
    if rng.chance(0.15):
        leaf(out, "      ", "note", [], rng.pick(NOTES))
    out.append("    </part>\n")


def assembly(out, rng, counter, n):
    ident = "A%05d" % n
    parts = rng.int(3, 10)
    pairs = [("id", ident), ("name", rng.pick(ASSEMBLY_NAMES)), ("revision", rng.pick(REVISIONS))]
    if rng.chance(0.5):
        pairs.append(("quantity", str(rng.int(1, 4))))
    out.append("  <assembly%s>\n" % attrs_text(pairs))
    if n % 5 == 1:
        out.append("    <!-- %s: %d parts, checked -->\n" % (ident, parts))
    leaf(out, "    ", "label", [], rng.pick(LABELS) + str(n))
    if rng.chance(0.3):
        leaf(out, "    ", "description", [], rng.pick(DESCRIPTIONS))
    if n % 7 == 3:
        # A namespace declared where it is used, as plug-ins write their data.
        leaf(out, "    ", "ext:source", [("xmlns:ext", EXT_NS), ("system", "PDM"),
                                          ("ref", "%s-%04d" % (ident, rng.int(0, 9999)))])
    for _ in range(parts):
        part(out, rng, counter)
    out.append("  </assembly>\n")


def write_model(mb, seed, out):
    rng = Rng(seed)
    target = int(mb * MIB)
    head = []
    head.append('<?xml version="1.0" encoding="UTF-8"?>\n')
    head.append("<!-- CAD model for the quillxml benchmarks: seed %d, about %s MiB -->\n"
                % (seed, short_number(mb)))
    head.append('<model id="M%d" name="Prüfstand %d" units="mm" version="4.2" xmlns:pmi="%s">\n'
                % (seed, seed, PMI_NS))
    header(head, rng, seed, mb)
    tail = "</model>\n".encode()
    chunk = "".join(head).encode()
    out.write(chunk)
    size = len(chunk) + len(tail)
    counter = Counter()
    n = 0
    while n == 0 or size < target:
        n += 1
        lines = []
        assembly(lines, rng, counter, n)
        chunk = "".join(lines).encode()
        out.write(chunk)
        size += len(chunk)
    out.write(tail)


# ---- twins ------------------------------------------------------------------------

class Node:
    __slots__ = ("tag", "attrs", "children", "text")

    def __init__(self, tag, attrs):
        self.tag, self.attrs, self.children, self.text = tag, attrs, [], []


def read_tree(path):
    """Elements keep qualified names and declarations as written (no
    namespace processing): a twin must carry the same prefixes. Values:
    comments before the root, the root, comments after it."""
    parser = xml.parsers.expat.ParserCreate("UTF-8")
    parser.ordered_attributes = True
    parser.buffer_text = True
    stack, before, after = [], [], []
    root = []

    def start(tag, flat):
        node = Node(tag, [(flat[i], flat[i + 1]) for i in range(0, len(flat), 2)])
        if stack:
            stack[-1].children.append(node)
        else:
            root.append(node)
        stack.append(node)

    def end(tag):
        node = stack.pop()
        text = "".join(node.text)
        if node.children:
            if text.strip():
                raise SystemExit("gen_model: %s: mixed content in <%s> cannot be reordered" % (path, tag))
            node.text = None
        else:
            node.text = text or None

    def characters(data):
        if stack:
            stack[-1].text.append(data)

    def comment(data):
        if stack:
            stack[-1].children.append(data)
        else:
            (after if root else before).append(data)

    parser.StartElementHandler = start
    parser.EndElementHandler = end
    parser.CharacterDataHandler = characters
    parser.CommentHandler = comment
    try:
        with open(path, "rb") as f:
            parser.ParseFile(f)
    except (OSError, xml.parsers.expat.ExpatError) as e:
        raise SystemExit("gen_model: %s: %s" % (path, e))
    return before, root[0], after


def change_one_value(root, rng, path):
    """Gives one param a different value, still a valid number."""
    params = []
    todo = [root]
    while todo:
        node = todo.pop()
        if node.tag == "param":
            params.append(node)
        todo.extend(c for c in node.children if isinstance(c, Node))
    if not params:
        raise SystemExit("gen_model: %s: no param to change" % path)
    params.sort(key=lambda p: p.attrs)  # the choice must not hang on document order
    node = rng.pick(params)
    for i, (name, value) in enumerate(node.attrs):
        if name == "value":
            try:
                new = short_number(float(value) + rng.int(1, 9))
            except ValueError:
                new = value + "1"
            node.attrs[i] = (name, new)
            return
    raise SystemExit("gen_model: %s: a param without a value" % path)


def write_twin(source, seed, out, change=False):
    before, root, after = read_tree(source)
    if change:
        # Its own stream: the reordering stays that of the plain twin.
        change_one_value(root, Rng(seed * 7919 + 17), source)
    rng = Rng(seed)
    lines = ['<?xml version="1.0" encoding="UTF-8"?>\n']
    lines.extend("<!--%s-->\n" % c for c in before)

    def emit(node, pad):
        if not isinstance(node, Node):
            lines.append("%s<!--%s-->\n" % (pad, node))
            return
        rng.reorder(node.attrs)
        rng.reorder(node.children)
        start = "%s<%s%s" % (pad, node.tag, attrs_text(node.attrs))
        if node.children:
            lines.append(start + ">\n")
            inner = pad + "  "
            for child in node.children:
                emit(child, inner)
            lines.append("%s</%s>\n" % (pad, node.tag))
        elif node.text is None:
            lines.append(start + "/>\n")
        else:
            lines.append("%s>%s</%s>\n" % (start, escape_text(node.text), node.tag))
        if len(lines) > 4096:
            out.write("".join(lines).encode())
            del lines[:]

    emit(root, "")
    lines.extend("<!--%s-->\n" % c for c in after)
    out.write("".join(lines).encode())


# ---- style sheet and schema -------------------------------------------------------

# The comments sit inside the root: the engine's TRANSFORM-XML refuses a
# style sheet with a comment before its root element.
XSLT = """<?xml version="1.0" encoding="UTF-8"?>
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform"
                xmlns:pmi="%(pmi)s" exclude-result-prefixes="pmi">
  <!-- A model as a flat parts list. Parts and materials are sorted and sums
       rounded, so a model and its reordered twin give the same output. -->
  <xsl:output method="xml" encoding="UTF-8" indent="yes"/>
  <xsl:key name="by-material" match="part" use="@material"/>

  <xsl:template match="/model">
    <parts-list model="{@id}" name="{@name}" units="{header/units/@length}"
                parts="{count(assembly/part)}" features="{count(assembly/part/feature)}">
      <materials>
        <xsl:for-each select="assembly/part[generate-id() = generate-id(key('by-material', @material)[1])]">
          <xsl:sort select="@material"/>
          <xsl:variable name="same" select="key('by-material', @material)"/>
          <material name="{@material}" parts="{count($same)}"
                    mass="{format-number(sum($same/@mass), '0.000')}"/>
        </xsl:for-each>
      </materials>
      <xsl:apply-templates select="assembly/part">
        <xsl:sort select="@id"/>
      </xsl:apply-templates>
    </parts-list>
  </xsl:template>

  <xsl:template match="part">
    <part id="{@id}" assembly="{../@id}" position="{../label}" name="{@name}"
          material="{@material}" mass="{format-number(@mass, '0.000')}">
      <xsl:if test="@finish">
        <xsl:attribute name="finish"><xsl:value-of select="@finish"/></xsl:attribute>
      </xsl:if>
      <xsl:attribute name="holes"><xsl:value-of select="count(feature[@type = 'hole'])"/></xsl:attribute>
      <xsl:attribute name="params"><xsl:value-of select="count(feature/param)"/></xsl:attribute>
      <xsl:if test="pmi:tolerance">
        <xsl:attribute name="tolerances"><xsl:value-of select="count(pmi:tolerance)"/></xsl:attribute>
      </xsl:if>
      <xsl:value-of select="normalize-space(description)"/>
    </part>
  </xsl:template>
</xsl:stylesheet>
""" % {"pmi": PMI_NS}

XSD = """<?xml version="1.0" encoding="UTF-8"?>
<xs:schema xmlns:xs="http://www.w3.org/2001/XMLSchema">
  <!-- CAD models of the benchmarks. Children come in any order (a reordered
       twin is the same model); elements of other namespaces (tolerances,
       plug-in data) are let through unchecked. -->
  <xs:element name="model">
    <xs:complexType>
      <xs:choice minOccurs="0" maxOccurs="unbounded">
        <xs:element name="header" type="header"/>
        <xs:element name="assembly" type="assembly"/>
      </xs:choice>
      <xs:attribute name="id" type="xs:ID" use="required"/>
      <xs:attribute name="name" type="xs:string" use="required"/>
      <xs:attribute name="units" type="lengthUnit"/>
      <xs:attribute name="version" type="xs:token"/>
    </xs:complexType>
  </xs:element>

  <xs:complexType name="header">
    <xs:choice minOccurs="0" maxOccurs="unbounded">
      <xs:element name="label" type="xs:string"/>
      <xs:element name="description" type="text"/>
      <xs:element name="note" type="xs:string"/>
      <xs:element name="units">
        <xs:complexType>
          <xs:attribute name="length" type="lengthUnit" use="required"/>
          <xs:attribute name="angle" type="angleUnit" use="required"/>
          <xs:attribute name="mass" type="xs:token"/>
        </xs:complexType>
      </xs:element>
      <xs:element name="property">
        <xs:complexType>
          <xs:attribute name="name" type="xs:NCName" use="required"/>
          <xs:attribute name="value" type="xs:string" use="required"/>
        </xs:complexType>
      </xs:element>
    </xs:choice>
  </xs:complexType>

  <xs:complexType name="assembly">
    <xs:choice minOccurs="0" maxOccurs="unbounded">
      <xs:element name="label" type="xs:string"/>
      <xs:element name="description" type="text"/>
      <xs:element name="note" type="xs:string"/>
      <xs:element name="part" type="part"/>
      <xs:any namespace="##other" processContents="skip"/>
    </xs:choice>
    <xs:attribute name="id" type="xs:ID" use="required"/>
    <xs:attribute name="name" type="xs:string" use="required"/>
    <xs:attribute name="revision" type="xs:token"/>
    <xs:attribute name="quantity" type="xs:positiveInteger"/>
  </xs:complexType>

  <xs:complexType name="part">
    <xs:choice minOccurs="0" maxOccurs="unbounded">
      <xs:element name="description" type="text"/>
      <xs:element name="note" type="xs:string"/>
      <xs:element name="feature" type="feature"/>
      <xs:any namespace="##other" processContents="skip"/>
    </xs:choice>
    <xs:attribute name="id" type="xs:ID" use="required"/>
    <xs:attribute name="name" type="xs:string" use="required"/>
    <xs:attribute name="material" type="xs:string" use="required"/>
    <xs:attribute name="mass" type="xs:double" use="required"/>
    <xs:attribute name="finish" type="xs:string"/>
  </xs:complexType>

  <xs:complexType name="feature">
    <xs:choice minOccurs="0" maxOccurs="unbounded">
      <xs:element name="param" type="param"/>
      <xs:element name="note" type="xs:string"/>
    </xs:choice>
    <xs:attribute name="id" type="xs:ID" use="required"/>
    <xs:attribute name="type" type="featureType" use="required"/>
    <xs:attribute name="name" type="xs:string"/>
    <xs:attribute name="suppressed" type="xs:boolean"/>
  </xs:complexType>

  <xs:complexType name="param">
    <xs:attribute name="name" type="xs:NCName" use="required"/>
    <xs:attribute name="value" type="xs:double" use="required"/>
    <xs:attribute name="unit" type="unit"/>
    <xs:attribute name="tol" type="xs:double"/>
  </xs:complexType>

  <xs:complexType name="text">
    <xs:simpleContent>
      <xs:extension base="xs:string">
        <xs:attribute name="lang" type="xs:language"/>
      </xs:extension>
    </xs:simpleContent>
  </xs:complexType>

  <xs:simpleType name="featureType">
    <xs:restriction base="xs:token">
%(types)s
    </xs:restriction>
  </xs:simpleType>
  <xs:simpleType name="lengthUnit">
    <xs:restriction base="xs:token">
      <xs:enumeration value="mm"/>
      <xs:enumeration value="in"/>
    </xs:restriction>
  </xs:simpleType>
  <xs:simpleType name="angleUnit">
    <xs:restriction base="xs:token">
      <xs:enumeration value="deg"/>
      <xs:enumeration value="rad"/>
    </xs:restriction>
  </xs:simpleType>
  <xs:simpleType name="unit">
    <xs:union memberTypes="lengthUnit angleUnit"/>
  </xs:simpleType>
</xs:schema>
""" % {"types": "\n".join('      <xs:enumeration value="%s"/>' % t for t in FEATURE_TYPES)}


# ---- command line -----------------------------------------------------------------

def main(argv=None):
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    what = ap.add_mutually_exclusive_group()
    what.add_argument("--mb", type=float, help="write a model of about MB MiB")
    what.add_argument("--twin-of", metavar="FILE", help="write the reordered twin of FILE")
    what.add_argument("--changed-of", metavar="FILE",
                      help="write the reordered twin of FILE with one param value changed")
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--out", metavar="FILE", help="where the document goes (default: standard output)")
    ap.add_argument("--xslt", metavar="FILE", help="write the parts-list style sheet")
    ap.add_argument("--xsd", metavar="FILE", help="write the model schema")
    args = ap.parse_args(argv)
    document = args.mb is not None or args.twin_of or args.changed_of
    if not document and not args.xslt and not args.xsd:
        ap.error("nothing to write: give --mb, --twin-of, --changed-of, --xslt or --xsd")
    if args.mb is not None and not args.mb > 0:
        ap.error("--mb must be positive")

    for path, text in ((args.xslt, XSLT), (args.xsd, XSD)):
        if path:
            with open(path, "wb") as f:
                f.write(text.encode())
    if not document:
        return 0
    # Written aside and renamed: the bench scripts take an existing file as
    # done, so an interrupted run must not leave half a document behind.
    temporary = args.out + ".part" if args.out else None
    out = open(temporary, "wb") if args.out else sys.stdout.buffer
    try:
        if args.mb is not None:
            write_model(args.mb, args.seed, out)
        else:
            write_twin(args.twin_of or args.changed_of, args.seed, out, change=bool(args.changed_of))
    except BaseException:
        if args.out:
            out.close()
            os.unlink(temporary)
        raise
    if args.out:
        out.close()
        os.replace(temporary, args.out)
    return 0


if __name__ == "__main__":
    sys.exit(main())
