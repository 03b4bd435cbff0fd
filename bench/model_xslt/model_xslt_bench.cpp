// Times the sample style sheet and the sample schema through the model.
//   model_xslt_bench MODEL.xml SHEET.xsl SCHEMA.xsd [RUNS]
// Prints "name seconds" lines, the best CPU time of RUNS for each step, and
// the time to read the model's root tag. The input document is loaded once
// and is not part of any figure.
#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/XmlSmartPtr.h"
#include "model/TrelDOMDocument.h"
#include "model/TrelDOMElement.h"
#include "model/TrelXSDValidator.h"
#include "model/TrelXSLTProcessor.h"
#include "model/XML_UTILITIES.h"
#include "platform/host/ux_string.h"
#include "model/XmlObjectFactory.h"

namespace {

// Process CPU time: the machine is shared, and CPU time is far less
// disturbed by other load than wall time.
double now() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

std::wstring wide(char const* s) {
  std::wstring out;
  for (; *s; ++s) out += static_cast<wchar_t>(static_cast<unsigned char>(*s));
  return out;
}

// Best CPU time of `runs` calls of step(); false as soon as one fails.
template <class Step>
bool best(int runs, double& seconds, Step step) {
  seconds = 1e30;
  for (int i = 0; i < runs; ++i) {
    double start = now();
    if (!step()) return false;
    double took = now() - start;
    if (took < seconds) seconds = took;
  }
  return true;
}

template <class T>
bool exists(XmlSmartPtr<T> const& p) {
  return static_cast<T*>(p) != nullptr;
}

void report(char const* name, double seconds) { std::printf("%s %.4f\n", name, seconds); }

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: %s MODEL.xml SHEET.xsl SCHEMA.xsd [RUNS]\n", argv[0]);
    return 2;
  }
  std::wstring model = wide(argv[1]), sheet = wide(argv[2]), schema = wide(argv[3]);
  int runs = argc > 4 ? std::atoi(argv[4]) : 3;
  XmlObjectFactory* factory = XmlObjectFactory::getInstance();

  XmlSmartPtr<TrelDOMDocument> input(factory->createDocument(model.c_str()));
  if (!input) {
    std::fprintf(stderr, "cannot load %s\n", argv[1]);
    return 1;
  }

  double compile = 0, transform = 0, schemaLoad = 0, validate = 0;
  XmlSmartPtr<TrelXSLTProcessor> processor;
  bool ok = best(runs, compile, [&] {
    processor = factory->createXSLTProcessor(sheet.c_str());
    return exists(processor);
  });
  ok = ok && best(runs, transform, [&] {
    XmlSmartPtr<TrelDOMDocument> result(processor->transform(input));
    return exists(result);
  });
  XmlSmartPtr<TrelXSDValidator> validator;
  ok = ok && best(runs, schemaLoad, [&] {
    validator = factory->createXSDValidator(schema.c_str());
    return exists(validator);
  });
  ok = ok && best(runs, validate, [&] {
    std::wstring errors;
    bool valid = validator->validateDocument(input, errors);
    if (!valid) std::fprintf(stderr, "invalid: %ls\n", errors.c_str());
    return valid;
  });
  // Reading the root tag stops at the first start tag, whatever the size.
  double rootTag = 0;
  ok = ok && best(runs, rootTag, [&] {
    wchar_t* tag = XML_UTILITIES::getRootTag(model.c_str());
    ux_strfree(tag);
    return tag != nullptr;
  });
  if (!ok) {
    std::fprintf(stderr, "a step failed\n");
    return 1;
  }
  report("xslt_compile", compile);
  report("xslt_transform", transform);
  report("xsd_compile", schemaLoad);
  report("xsd_validate", validate);
  report("root_tag", rootTag);
  return 0;
}
