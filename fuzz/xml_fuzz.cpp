// The XML walk on any bytes: whatever it is given, it either reports a
// document whose elements open and close in order, no deeper than the
// visitor asks, or refuses it with an XmlError; what the visitor throws
// arrives as thrown. A document it takes is reported element for element,
// attribute for attribute and text for text as libxml2's tree builder reads
// the same bytes. The first byte chooses the depth the visitor wants, the
// second the element at which it throws.
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "platform/xml/Xml.h"

namespace {

struct Halt {};

std::string Text(const xmlChar* text) {
  return text ? std::string(reinterpret_cast<const char*>(text)) : std::string();
}

std::string Qualified(const xmlNs* ns, const xmlChar* name) {
  return ns && ns->prefix ? Text(ns->prefix) + ":" + Text(name) : Text(name);
}

std::string Opened(int depth, const std::string& name, const platform::xml::Attributes& a) {
  std::string line = std::to_string(depth) + "<" + name;
  for (const platform::xml::Attribute& attribute : a) {
    line += " " + attribute.name + "=" + attribute.value;
  }
  return line;
}

std::string Closed(int depth, const std::string& name, const std::string& text) {
  return std::to_string(depth) + ">" + name + "|" + text;
}

class Checker : public platform::xml::Visitor {
 public:
  Checker(int deepest, int halt_at) : deepest_(deepest), halt_at_(halt_at) {}
  void Start(int depth, const std::string& name, const platform::xml::Attributes& a) override {
    if (depth != static_cast<int>(open_.size())) std::abort();
    if (deepest_ >= 0 && depth > deepest_) std::abort();
    if (++started_ == halt_at_) throw Halt{};
    open_.push_back(name);
    events.push_back(Opened(depth, name, a));
  }
  void End(int depth, const std::string& name, const std::string& text) override {
    if (open_.empty() || open_.back() != name) std::abort();
    open_.pop_back();
    if (depth != static_cast<int>(open_.size())) std::abort();
    if (depth == deepest_ && !text.empty()) std::abort();
    events.push_back(Closed(depth, name, text));
  }
  int Depth() const override { return deepest_; }
  bool Balanced() const { return open_.empty(); }

  std::vector<std::string> events;

 private:
  int deepest_;
  int halt_at_;
  int started_ = 0;
  std::vector<std::string> open_;
};

// The same events from the tree libxml2 builds of the document.
void TreeEvents(xmlDoc* doc, xmlNode* node, int depth, int deepest,
                std::vector<std::string>& events) {
  platform::xml::Attributes attributes;
  for (xmlAttr* a = node->properties; a; a = a->next) {
    xmlChar* value = xmlNodeListGetString(doc, a->children, 1);
    attributes.push_back({Qualified(a->ns, a->name), Text(value)});
    xmlFree(value);
  }
  const std::string name = Qualified(node->ns, node->name);
  events.push_back(Opened(depth, name, attributes));
  std::string text;
  for (xmlNode* child = node->children; child; child = child->next) {
    if (child->type == XML_ELEMENT_NODE) {
      if (deepest < 0 || depth < deepest) TreeEvents(doc, child, depth + 1, deepest, events);
    } else if (child->type == XML_TEXT_NODE || child->type == XML_CDATA_SECTION_NODE) {
      text += Text(child->content);
    }
  }
  events.push_back(Closed(depth, name, depth == deepest ? std::string() : text));
}

void Quiet(void*, xmlErrorPtr) {}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const int deepest = static_cast<int>(data[0] % 5) - 1;
  const int halt_at = data[1] % 8;  // 0: never
  const std::string_view bytes(reinterpret_cast<const char*>(data + 2), size - 2);
  Checker walk(deepest, halt_at);
  try {
    platform::xml::Walk(bytes, "f.xml", walk);
  } catch (const platform::xml::XmlError&) {
    return 0;
  } catch (const Halt&) {
    return 0;
  }
  if (!walk.Balanced()) std::abort();
  if (halt_at != 0) return 0;
  xmlSetStructuredErrorFunc(nullptr, Quiet);
  xmlDoc* doc = xmlReadMemory(bytes.data(), static_cast<int>(bytes.size()), nullptr, nullptr,
                              XML_PARSE_NONET);
  xmlSetStructuredErrorFunc(nullptr, nullptr);
  if (!doc || doc->intSubset || !xmlDocGetRootElement(doc)) std::abort();
  std::vector<std::string> tree;
  TreeEvents(doc, xmlDocGetRootElement(doc), 0, deepest, tree);
  xmlFreeDoc(doc);
  // The tree lists an element's start before its children, the walk too;
  // both list its end after them.
  if (tree != walk.events) std::abort();
  return 0;
}
