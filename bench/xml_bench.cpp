// Reading generated XML documents of 1 MB and 10 MB in several shapes. The
// bytes-per-second figure stays flat from 1 MB to 10 MB when reading time grows
// in proportion to size.
#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <utility>

#include "xml/xml_object.h"
#include "xml/xml_scanner.h"
#include "xml/xml_text.h"

namespace {

enum Shape {
  kSmallElements,   // a flat list of small items, as in a language file
  kLongText,        // one element with a long text full of references
  kManyAttributes,  // items with several attributes each
  kOneHugeTag,      // a single start tag holding every attribute
  kDeepNesting,     // every element inside the previous one
};

const char* const kShapeNames[] = {"small_elements", "long_text", "many_attributes", "one_huge_tag",
                                   "deep_nesting"};

std::string Generate(Shape shape, std::size_t size) {
  std::string doc;
  doc.reserve(size + 256);
  switch (shape) {
    case kSmallElements:
      doc = "<STRINGS>";
      for (int i = 0; doc.size() < size; ++i)
        doc += "<ITEM ID=\"c" + std::to_string(i) + "\">text " + std::to_string(i) + "</ITEM>\r\n";
      doc += "</STRINGS>";
      break;
    case kLongText:
      doc = "<TEXT>";
      while (doc.size() < size)
        doc += "Mail &amp; more &lt;b&gt; caf\xC3\xA9 &#65;&#x42; plain words. ";
      doc += "</TEXT>";
      break;
    case kManyAttributes:
      doc = "<FORM>";
      for (int i = 0; doc.size() < size; ++i)
        doc +=
            "<ITEM ID=\"Button" + std::to_string(i) +
            "\" CLASS=\"tbutton\" CAPTION=\"&amp;Next &gt;\" HINT=\"caf\xC3\xA9\" TAG=\"7\"/>\r\n";
      doc += "</FORM>";
      break;
    case kOneHugeTag:
      doc = "<a";
      for (int i = 0; doc.size() < size; ++i) doc += " n" + std::to_string(i) + "=\"v&amp;w\"";
      doc += "/>";
      break;
    case kDeepNesting: {
      const std::size_t depth = size / 7;
      for (std::size_t i = 0; i < depth; ++i) doc += "<a>";
      for (std::size_t i = 0; i < depth; ++i) doc += "</a>";
      break;
    }
  }
  return doc;
}

const std::string& Document(Shape shape, std::size_t size) {
  static std::map<std::pair<int, std::size_t>, std::string> cache;
  auto& doc = cache[{shape, size}];
  if (doc.empty()) doc = Generate(shape, size);
  return doc;
}

void BM_ParseXML(benchmark::State& state) {
  const auto shape = static_cast<Shape>(state.range(0));
  const std::string& doc = Document(shape, static_cast<std::size_t>(state.range(1)) << 20);
  for (auto _ : state) {
    support::TXMLObject root;
    root.ParseXML(doc);
    benchmark::DoNotOptimize(root.Children().size());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * doc.size()));
  state.SetLabel(kShapeNames[shape]);
}

void BM_GetXML(benchmark::State& state) {
  const auto shape = static_cast<Shape>(state.range(0));
  const std::string& doc = Document(shape, static_cast<std::size_t>(state.range(1)) << 20);
  support::TXMLObject root;
  root.ParseXML(doc);
  std::size_t written = 0;
  for (auto _ : state) {
    const std::string xml = root.GetXML(true, true);
    written = xml.size();
    benchmark::DoNotOptimize(xml.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * written));
  state.SetLabel(kShapeNames[shape]);
}

void BM_ScanAllItems(benchmark::State& state) {
  const std::string& doc =
      Document(kManyAttributes, static_cast<std::size_t>(state.range(0)) << 20);
  for (auto _ : state) {
    support::TXMLScanner scanner;
    scanner.Data = doc;
    std::string tag;
    std::size_t attributes = 0;
    for (bool ok = support::XMLFindFirst(scanner, "ITEM", false, true, tag); ok;
         ok = support::XMLFindNext(scanner, true, false, tag))
      attributes += support::XMLTagAttributes(tag).size();
    benchmark::DoNotOptimize(attributes);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * doc.size()));
}

void BM_DecodeEntities(benchmark::State& state) {
  const std::string& doc = Document(kLongText, static_cast<std::size_t>(state.range(0)) << 20);
  for (auto _ : state) benchmark::DoNotOptimize(support::DecodeXMLEntities(doc).size());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * doc.size()));
}

void ShapesAndSizes(benchmark::internal::Benchmark* b) {
  for (int shape = kSmallElements; shape <= kDeepNesting; ++shape)
    for (int megabytes : {1, 10}) b->Args({shape, megabytes});
}

BENCHMARK(BM_ParseXML)->Apply(ShapesAndSizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GetXML)->Apply(ShapesAndSizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScanAllItems)->Arg(1)->Arg(10)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeEntities)->Arg(1)->Arg(10)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
