// kvxmldom: a small XML document object model for the engine's XML files
// (table dumps, table sets, event descriptions): load a document from a file
// or a text, walk and read its elements, build a new one and write it.
//
// Input is taken as UTF-8 and must be well formed. Document type
// declarations are refused, so no entity is ever defined or expanded and
// nothing outside the document is read. A reference to an entity other than
// the five predefined ones, or a character reference to no character (such
// as "&#0;"), is an error. Line ends inside texts are kept as they are
// written, so that a text with "\r\n" reads back unchanged; a text made only
// of white space is kept when it is the element's only content.
#ifndef KVXMLDOM_KVXMLDOM_H_
#define KVXMLDOM_KVXMLDOM_H_

#include <memory>
#include <vector>

#include "kvbase/kvbase.h"

namespace pugi {
struct xml_node_struct;
}

// An element of a KvDom, or the null node. A small value: copy it freely. It
// stays valid until its document is loaded again, started again or
// destroyed. Every call on the null node is harmless: getters give null or
// empty results and changes fail.
class KvDomNode {
 public:
  KvDomNode() = default;

  bool isNull() const { return node_ == nullptr; }

  // The element's name; the null string for the null node.
  KvbString getName() const;

  // The element's own text: its text and CDATA content, joined, without the
  // text of child elements. "" for an element without text; the null string
  // for the null node.
  KvbString getValue() const;

  // Sets `out` to the attribute's value and answers true when the element
  // has an attribute of exactly that name; otherwise answers false and
  // leaves `out` alone.
  bool getAttribute(const KvbString& name, KvbString& out) const;

  // The names of the element's attributes, in document order, through
  // `names` (cleared first).
  void getAttributeNames(std::vector<KvbString>& names) const;

  // Sets the attribute, replacing an earlier value. False for the null node
  // or a name that is not an XML name.
  bool setAttribute(const KvbString& name, const KvbString& value);

  // Appends a child element (with `text` as its text). The null node for
  // the null node or a name that is not an XML name.
  KvDomNode addChild(const KvbString& name);
  KvDomNode addChild(const KvbString& name, const KvbString& text);

  // Replaces the element's own text (a null or empty text removes it).
  // False for the null node.
  bool setValue(const KvbString& text);

  // The first child element and the next sibling element in document order;
  // texts, comments and processing instructions are skipped. Null at the
  // end.
  KvDomNode getFirstChild() const;
  KvDomNode getNextSibling() const;

  // The first child element named exactly `name`, or the null node.
  KvDomNode getChild(const KvbString& name) const;

  // The number of child elements.
  int getChildCount() const;

 private:
  friend class KvDom;
  explicit KvDomNode(pugi::xml_node_struct* node) : node_(node) {}
  pugi::xml_node_struct* node_ = nullptr;
};

// One XML document. Not copyable; use one object per thread.
class KvDom {
 public:
  KvDom();
  ~KvDom();
  KvDom(const KvDom&) = delete;
  KvDom& operator=(const KvDom&) = delete;

  // Replace the document with the one read from the file or the text.
  // False, with an empty document and an error text, when the file cannot
  // be read or the input is not a well-formed document (see above).
  bool loadFile(const KvbString& path);
  bool loadXML(const KvbString& text);

  // Replaces the document with an empty one whose root element is
  // `rootName`, and answers the root; the null node when the name is not an
  // XML name.
  KvDomNode startDocument(const KvbString& rootName);

  // Writes the document, with an XML declaration, as UTF-8 to `path`,
  // replacing the file; `pretty` indents it by two blanks per level. True
  // only when the whole document reached the file (see kvfileio).
  bool createFile(const KvbString& path, bool pretty);

  // Writes the document, with an XML declaration, to `out` as UTF-8 text;
  // `pretty` indents it as createFile does. False, leaving `out` alone,
  // when the document has no root element.
  bool saveXML(KvbString& out, bool pretty);

  // The root element, or the null node when there is none.
  KvDomNode getRoot() const;

  // The text of the last failure, "" when nothing has failed. A parse error
  // names its line and column (from 1) and its byte offset.
  const KvbString& getErrorMessage() const { return error_; }

 private:
  struct Document;
  bool loadBuffer(const char* data, size_t size, const char* source);
  std::unique_ptr<Document> document_;
  KvbString error_{""};
};

#endif  // KVXMLDOM_KVXMLDOM_H_
