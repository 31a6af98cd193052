// The XML engine over arbitrary bytes: parsed whole and streamed in small
// chunks, with handlers that refuse, split attributes, free and cancel as the
// readers do. Both ways must build the same tree.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "container/VoxXML.h"

namespace {

using namespace gridlark;

void Dump(const TVoXMLItem& item, std::string& out) {
  out += item.Name;
  out += '=';
  out += WideToUtf8(item.ValueText());
  out += '~';
  out += WideToUtf8(item.Text());
  out += '^';
  out += WideToUtf8(item.Tail());
  out += item.AttributesText;
  out += '[';
  for (const auto& child : item.Items) Dump(*child, out);
  out += ']';
}

std::string Run(const uint8_t* data, size_t size, size_t chunk) {
  TVoXMLEngine e;
  e.AttributesAutoProcess = size > 0 && data[0] % 2 == 0;
  int closed = 0;
  std::string events;
  e.OnTag = [&](TVoXMLEngine&, TVoXMLItem* parent, const TVoXMLTag& tag, bool& accept) {
    WideString value;
    tag.FindAttribute("r", value);
    events += WideToUtf8(tag.Value()) + WideToUtf8(tag.Text()) + WideToUtf8(tag.Attributes()) + WideToUtf8(value);
    accept = tag.Name().size() != 1 || tag.Name() == "c";
    if (tag.Name() == "v") parent->Items.Clear();
  };
  e.OnAfterTag = [&](TVoXMLEngine&, TVoXMLItem*& node, bool& cancel) {
    node->ProcessAttributes();
    if (TVoXMLItem* found = node->FindItem("r")) events += WideToUtf8(found->AttributeValue());
    events += "/" + node->Name;
    if (node->Name == "c") TVoXMLItem::Free(node);
    cancel = ++closed > 1000;
  };
  std::string bytes(reinterpret_cast<const char*>(data), size);
  if (chunk == 0) {
    e.ParseXML(bytes);
  } else {
    e.ReadChunk = chunk;
    TSpanStream s(std::span(data, size));
    // Size 0 would look for a UTF-16 mark, which ParseXML does not.
    e.LoadXML(int64_t(size), &s);
  }
  std::string out = events;
  Dump(*e.RootItem(), out);
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // LoadXML drops a trailing ESC, which ParseXML keeps.
  const size_t n = size > 0 && data[size - 1] == 0x1B ? size - 1 : size;
  const std::string whole = Run(data, n, 0);
  const std::string streamed = Run(data, size, 1 + size % 7);
  if (whole != streamed) std::abort();
  // The byte-order-mark path.
  TVoXMLEngine e;
  TSpanStream s(std::span(data, size));
  e.LoadXML(0, &s);
  return 0;
}
