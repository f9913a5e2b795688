// The walk streams through libxml2's SAX2 parser, so that a document of a
// hundred thousand objects never stands in memory as a tree (the parser
// alone, without even the reader's node per element, takes half the time);
// only the copy that leaves elements out builds one. libxml2's own texts are
// English; the mapper gets a German sentence for the kind of fault and the
// line.
#include "platform/xml/Xml.h"

#include <libxml/SAX2.h>
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <algorithm>
#include <climits>
#include <exception>
#include <memory>
#include <mutex>

#include "platform/text/Encoding.h"

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

namespace {

// One walk's state, the parser's user data. No exception may cross
// libxml2's C frames: what the visitor throws is kept, the parser stopped,
// and the exception thrown again once the parser has returned.
struct WalkState {
  explicit WalkState(Visitor& v) : visitor(v), deepest(v.Depth()) {}
  Visitor& visitor;
  xmlParserCtxt* parser = nullptr;
  int deepest;
  int depth = -1;  // of the innermost open element
  // The text gathered for each open element that gathers it, innermost last.
  std::vector<std::string> texts;
  Attributes attributes;
  FirstError error;
  bool doctype = false;
  std::exception_ptr thrown;

  bool Reported(int d) const { return deepest < 0 || d <= deepest; }
  bool Gathers(int d) const { return deepest < 0 || d < deepest; }
  void Stop() { xmlStopParser(parser); }
};

WalkState& StateOf(void* user) {
  return *static_cast<WalkState*>(user);
}

std::string QualifiedName(const xmlChar* prefix, const xmlChar* localname) {
  return prefix ? Text(prefix) + ":" + Text(localname) : Text(localname);
}

// An attribute's value. Without the substitution of entities, which no
// document here needs, the parser resolves every reference in a value but
// hands "&" on as "&#38;", as the tree builder expects it.
void AssignValue(std::string& value, const xmlChar* begin, const xmlChar* end) {
  value.assign(reinterpret_cast<const char*>(begin), static_cast<size_t>(end - begin));
  constexpr std::string_view kAmpersand = "&#38;";
  size_t at = value.find(kAmpersand);
  if (at == std::string::npos) return;
  std::string decoded = value.substr(0, at);
  while (at != std::string::npos) {
    decoded += '&';
    const size_t next = value.find(kAmpersand, at + kAmpersand.size());
    decoded.append(value, at + kAmpersand.size(),
                   (next == std::string::npos ? value.size() : next) - at - kAmpersand.size());
    at = next;
  }
  value = std::move(decoded);
}

void OnStart(void* user, const xmlChar* localname, const xmlChar* prefix, const xmlChar*, int,
             const xmlChar**, int count, int, const xmlChar** fields) {
  WalkState& w = StateOf(user);
  const int d = ++w.depth;
  if (w.thrown || !w.Reported(d)) return;
  try {
    w.attributes.resize(static_cast<size_t>(count));
    // Five pointers an attribute: localname, prefix, URI, value, value end.
    for (int i = 0; i < count; ++i) {
      const xmlChar** f = fields + 5 * i;
      Attribute& a = w.attributes[static_cast<size_t>(i)];
      a.name = QualifiedName(f[1], f[0]);
      AssignValue(a.value, f[3], f[4]);
    }
    w.visitor.Start(d, QualifiedName(prefix, localname), w.attributes);
    if (w.Gathers(d)) w.texts.emplace_back();
  } catch (...) {
    w.thrown = std::current_exception();
    w.Stop();
  }
}

void OnEnd(void* user, const xmlChar* localname, const xmlChar* prefix, const xmlChar*) {
  WalkState& w = StateOf(user);
  const int d = w.depth--;
  if (w.thrown || !w.Reported(d)) return;
  try {
    std::string text;
    if (w.Gathers(d)) {
      text = std::move(w.texts.back());
      w.texts.pop_back();
    }
    w.visitor.End(d, QualifiedName(prefix, localname), text);
  } catch (...) {
    w.thrown = std::current_exception();
    w.Stop();
  }
}

void OnText(void* user, const xmlChar* text, int length) {
  WalkState& w = StateOf(user);
  if (w.thrown || w.depth < 0 || !w.Gathers(w.depth)) return;
  try {
    w.texts.back().append(reinterpret_cast<const char*>(text), static_cast<size_t>(length));
  } catch (...) {
    w.thrown = std::current_exception();
    w.Stop();
  }
}

// A CDATA section as XML means it. libxml2's push parser hands it on as
// it stands, where its tree builder (and the standard) has every line end
// (CR LF, a CR alone) as LF and refuses a byte sequence no UTF-8 writer
// makes (an overlong form); the walk does the same. A section the parser
// hands on in pieces, which only one larger than the piece of the document
// it has yet seen is, keeps a CR LF cut between two pieces as two line ends.
void OnCdata(void* user, const xmlChar* text, int length) {
  WalkState& w = StateOf(user);
  if (w.thrown) return;
  const std::string_view bytes(reinterpret_cast<const char*>(text), static_cast<size_t>(length));
  if (!platform::text::IsValidUtf8(bytes)) {
    if (!w.error.set) w.error = {true, XML_ERR_INVALID_CHAR, xmlSAX2GetLineNumber(w.parser)};
    w.Stop();
    return;
  }
  if (bytes.find('\r') == std::string_view::npos) {
    OnText(user, text, length);
    return;
  }
  std::string lines;
  lines.reserve(bytes.size());
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] != '\r') {
      lines += bytes[i];
      continue;
    }
    lines += '\n';
    if (i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
  }
  OnText(user, reinterpret_cast<const xmlChar*>(lines.data()), static_cast<int>(lines.size()));
}

// Any document type definition, where entity bombs live, ends the walk
// before one of its declarations is used.
void OnDoctype(void* user, const xmlChar*, const xmlChar*, const xmlChar*) {
  WalkState& w = StateOf(user);
  w.doctype = true;
  w.Stop();
}

struct ParserFreer {
  void operator()(xmlParserCtxt* p) const { xmlFreeParserCtxt(p); }
};

}  // namespace

void Walk(std::string_view bytes, const std::string& file, Visitor& visitor) {
  InitOnce();
  CheckSize(bytes, file);
  xmlSAXHandler handler{};
  handler.initialized = XML_SAX2_MAGIC;
  handler.startElementNs = OnStart;
  handler.endElementNs = OnEnd;
  handler.characters = OnText;
  handler.ignorableWhitespace = OnText;
  handler.cdataBlock = OnCdata;
  handler.internalSubset = OnDoctype;
  WalkState state(visitor);
  std::unique_ptr<xmlParserCtxt, ParserFreer> parser(
      xmlCreatePushParserCtxt(&handler, &state, nullptr, 0, nullptr));
  if (!parser) Fail(file, {});
  state.parser = parser.get();
  xmlCtxtUseOptions(parser.get(), kOptions);
  // The structured handler is the thread's: set for this parse only.
  xmlSetStructuredErrorFunc(&state.error, Record);
  // In pieces: the parser copies what it is given into a buffer of its own.
  constexpr size_t kPiece = 256 * 1024;
  int rc = 0;
  for (size_t at = 0; rc == 0;) {
    const size_t n = std::min(kPiece, bytes.size() - at);
    const bool last = at + n == bytes.size();
    rc = xmlParseChunk(parser.get(), bytes.data() + at, static_cast<int>(n), last ? 1 : 0);
    at += n;
    if (last || state.thrown || state.doctype) break;
  }
  xmlSetStructuredErrorFunc(nullptr, nullptr);
  if (state.thrown) std::rethrow_exception(state.thrown);
  if (state.doctype) RefuseDoctype(file);
  if (rc != 0 || !parser->wellFormed || state.error.set) Fail(file, state.error);
}

std::string WithoutRootChildren(
    std::string_view bytes, const std::string& file,
    const std::function<bool(const std::string& name, const Attributes& attributes)>& drop) {
  InitOnce();
  CheckSize(bytes, file);
  FirstError error;
  // The structured handler is the thread's: set for this parse only.
  xmlSetStructuredErrorFunc(&error, Record);
  std::unique_ptr<xmlDoc, DocFreer> doc(
      xmlReadMemory(bytes.data(), static_cast<int>(bytes.size()), nullptr, nullptr, kOptions));
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
