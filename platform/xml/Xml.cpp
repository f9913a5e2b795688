// The walk streams through libxml2's reader, so that a document of a
// hundred thousand objects never stands in memory as a tree; only the copy
// that leaves elements out builds one. libxml2's own texts are English;
// the mapper gets a German sentence for the kind of fault and the line.
#include "platform/xml/Xml.h"

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlreader.h>

#include <climits>
#include <memory>
#include <mutex>

namespace platform::xml {
namespace {

constexpr int kOptions = XML_PARSE_NONET;

void InitOnce() {
  static std::once_flag once;
  std::call_once(once, [] { xmlInitParser(); });
}

std::string Text(const xmlChar* text) {
  return text ? std::string(reinterpret_cast<const char*>(text)) : std::string();
}

// The first error the parser met: its kind and line.
struct FirstError {
  bool set = false;
  int code = 0;
  int line = 0;
};

void Record(void* user, xmlErrorPtr error) {
  auto* first = static_cast<FirstError*>(user);
  if (first->set || !error || error->level < XML_ERR_ERROR) return;
  first->set = true;
  first->code = error->code;
  first->line = error->line;
}

std::string Kind(int code) {
  switch (code) {
    case XML_ERR_DOCUMENT_EMPTY:
      return "ist leer";
    case XML_ERR_DOCUMENT_END:
      return "hat Inhalt hinter dem Ende des Dokuments";
    case XML_ERR_TAG_NAME_MISMATCH:
    case XML_ERR_TAG_NOT_FINISHED:
    case XML_ERR_LTSLASH_REQUIRED:
    case XML_ERR_GT_REQUIRED:
      return "hat ein Element, das nicht richtig geschlossen ist";
    case XML_ERR_DOCUMENT_START:
      return "endet mitten im Dokument";
    case XML_ERR_INVALID_CHAR:
    case XML_ERR_INVALID_CHARREF:
    case XML_ERR_INVALID_ENCODING:
    case XML_ERR_UNSUPPORTED_ENCODING:
      return "enthält Zeichen, die nicht zu ihrer Kodierung passen";
    case XML_ERR_UNDECLARED_ENTITY:
    case XML_WAR_UNDECLARED_ENTITY:
    case XML_ERR_ENTITYREF_SEMICOL_MISSING:
      return "enthält einen unbekannten Verweis (&...;)";
    case XML_ERR_ATTRIBUTE_NOT_STARTED:
    case XML_ERR_ATTRIBUTE_NOT_FINISHED:
    case XML_ERR_ATTRIBUTE_WITHOUT_VALUE:
    case XML_ERR_ATTRIBUTE_REDEFINED:
    case XML_ERR_LT_IN_ATTRIBUTE:
      return "hat ein fehlerhaftes Attribut";
    default:
      return "ist kein wohlgeformtes XML";
  }
}

[[noreturn]] void Fail(const std::string& file, const FirstError& error) {
  std::string text = "Die XML-Datei " + file + " " + Kind(error.set ? error.code : 0);
  if (error.set && error.line > 0) text += " (Zeile " + std::to_string(error.line) + ")";
  throw XmlError(text + ".");
}

[[noreturn]] void RefuseDoctype(const std::string& file) {
  throw XmlError("Die XML-Datei " + file +
                 " enthält eine Dokumenttypdefinition; solche Dateien werden nicht gelesen.");
}

void CheckSize(std::string_view bytes, const std::string& file) {
  if (bytes.size() > static_cast<size_t>(INT_MAX)) {
    throw XmlError("Die XML-Datei " + file + " ist zu groß.");
  }
  if (bytes.find_first_not_of(" \t\r\n") == std::string_view::npos) {
    throw XmlError("Die XML-Datei " + file + " ist leer.");
  }
}

struct ReaderCloser {
  void operator()(xmlTextReader* r) const { xmlFreeTextReader(r); }
};
struct DocFreer {
  void operator()(xmlDoc* d) const { xmlFreeDoc(d); }
};

}  // namespace

const std::string* Find(const Attributes& attributes, std::string_view name) {
  for (const Attribute& a : attributes) {
    if (a.name == name) return &a.value;
  }
  return nullptr;
}

void Walk(std::string_view bytes, const std::string& file, Visitor& visitor) {
  InitOnce();
  CheckSize(bytes, file);
  std::unique_ptr<xmlTextReader, ReaderCloser> reader(xmlReaderForMemory(
      bytes.data(), static_cast<int>(bytes.size()), nullptr, nullptr, kOptions));
  if (!reader) Fail(file, {});
  FirstError error;
  xmlTextReaderSetStructuredErrorHandler(reader.get(), Record, &error);
  // The text gathered for each open element, innermost last.
  std::vector<std::string> texts;
  Attributes attributes;
  const int deepest = visitor.Depth();
  xmlTextReader* r = reader.get();
  int rc = xmlTextReaderRead(r);
  while (rc == 1) {
    bool advanced = false;  // the reader stands on the next node already
    switch (xmlTextReaderNodeType(r)) {
      case XML_READER_TYPE_DOCUMENT_TYPE:
        RefuseDoctype(file);
      case XML_READER_TYPE_ELEMENT: {
        const int depth = xmlTextReaderDepth(r);
        const std::string name = Text(xmlTextReaderConstName(r));
        const bool empty = xmlTextReaderIsEmptyElement(r) == 1;
        attributes.clear();
        while (xmlTextReaderMoveToNextAttribute(r) == 1) {
          attributes.push_back({Text(xmlTextReaderConstName(r)), Text(xmlTextReaderConstValue(r))});
        }
        xmlTextReaderMoveToElement(r);
        visitor.Start(depth, name, attributes);
        if (empty) {
          visitor.End(depth, name, std::string());
        } else if (depth == deepest) {
          // Past its subtree in one step: the reader checks it, nobody
          // gathers it.
          rc = xmlTextReaderNext(r);
          if (rc < 0 || error.set) Fail(file, error);
          visitor.End(depth, name, std::string());
          advanced = true;
        } else {
          texts.emplace_back();
        }
        break;
      }
      case XML_READER_TYPE_END_ELEMENT: {
        std::string text;
        if (!texts.empty()) {
          text = std::move(texts.back());
          texts.pop_back();
        }
        visitor.End(xmlTextReaderDepth(r), Text(xmlTextReaderConstName(r)), text);
        break;
      }
      case XML_READER_TYPE_TEXT:
      case XML_READER_TYPE_CDATA:
      case XML_READER_TYPE_WHITESPACE:
      case XML_READER_TYPE_SIGNIFICANT_WHITESPACE:
        if (!texts.empty()) texts.back() += Text(xmlTextReaderConstValue(r));
        break;
      case XML_READER_TYPE_ENTITY_REFERENCE:
        // Only a document type definition declares entities of its own.
        RefuseDoctype(file);
      default:
        break;
    }
    if (!advanced) rc = xmlTextReaderRead(r);
  }
  if (rc != 0 || error.set) Fail(file, error);
}

std::string WithoutRootChildren(
    std::string_view bytes, const std::string& file,
    const std::function<bool(const std::string& name, const Attributes& attributes)>& drop) {
  InitOnce();
  CheckSize(bytes, file);
  FirstError error;
  // The structured handler is the thread's: set for this parse only.
  xmlSetStructuredErrorFunc(&error, Record);
  std::unique_ptr<xmlDoc, DocFreer> doc(xmlReadMemory(
      bytes.data(), static_cast<int>(bytes.size()), nullptr, nullptr, kOptions));
  xmlSetStructuredErrorFunc(nullptr, nullptr);
  if (!doc || error.set) Fail(file, error);
  if (doc->intSubset || doc->extSubset) RefuseDoctype(file);
  xmlNode* root = xmlDocGetRootElement(doc.get());
  if (!root) Fail(file, error);
  Attributes attributes;
  for (xmlNode* child = root->children; child;) {
    xmlNode* next = child->next;
    if (child->type == XML_ELEMENT_NODE) {
      attributes.clear();
      for (xmlAttr* a = child->properties; a; a = a->next) {
        xmlChar* value = xmlNodeListGetString(doc.get(), a->children, 1);
        attributes.push_back({Text(a->name), Text(value)});
        xmlFree(value);
      }
      if (drop(Text(child->name), attributes)) {
        // The line break and indentation before the next element go with it.
        if (next && next->type == XML_TEXT_NODE && xmlIsBlankNode(next)) {
          xmlNode* blank = next;
          next = next->next;
          xmlUnlinkNode(blank);
          xmlFreeNode(blank);
        }
        xmlUnlinkNode(child);
        xmlFreeNode(child);
      }
    }
    child = next;
  }
  xmlChar* out = nullptr;
  int size = 0;
  xmlDocDumpMemory(doc.get(), &out, &size);
  if (!out) throw XmlError("Die XML-Datei " + file + " kann nicht neu geschrieben werden.");
  std::string result(reinterpret_cast<const char*>(out), static_cast<size_t>(size));
  xmlFree(out);
  return result;
}

}  // namespace platform::xml
