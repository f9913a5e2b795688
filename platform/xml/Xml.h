// XML documents read with libxml2, never by searching for strings: a
// comment or a CDATA section that holds markup, attributes in another
// order, another encoding of the same text are the parser's business. The
// parser never reaches beyond the bytes it is given: no network, no
// external entities, and a document type definition (where entity bombs
// live) is refused.
//
// Errors are XmlError in German, naming the file and the line.
#pragma once

#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace platform::xml {

class XmlError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct Attribute {
  std::string name;
  std::string value;  // entities resolved, UTF-8
};
using Attributes = std::vector<Attribute>;

// The value of an attribute, or nullptr.
const std::string* Find(const Attributes& attributes, std::string_view name);

// What a walk over a document reports, element by element in document
// order. Texts are UTF-8 whatever the document's encoding.
class Visitor {
 public:
  virtual ~Visitor() = default;
  // An element begins; the root has depth 0.
  virtual void Start(int depth, const std::string& name, const Attributes& attributes) = 0;
  // It ends, with the text directly inside it (text and CDATA sections
  // joined, that of its child elements left out).
  virtual void End(int depth, const std::string& name, const std::string& text) = 0;
  // The deepest elements the visitor wants; those below are parsed (the
  // document must be well-formed all the same) but not reported, and the
  // elements at this depth end without their text. -1: every element.
  virtual int Depth() const { return -1; }
};

// Walks the document in `bytes`; `file` names it in errors. Throws XmlError
// when the document is not well-formed or carries a document type
// definition.
void Walk(std::string_view bytes, const std::string& file, Visitor& visitor);

// A copy of the document without those children of the root element for
// which drop(name, attributes) answers true, in the document's own
// encoding; all else as the parser read it. Throws XmlError as Walk.
std::string WithoutRootChildren(
    std::string_view bytes, const std::string& file,
    const std::function<bool(const std::string& name, const Attributes& attributes)>& drop);

}  // namespace platform::xml
