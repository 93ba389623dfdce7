// kvxmldom: the DOM over pugixml. Input passes a screening scan first (no
// document type declarations, no unknown entity references, no NUL bytes),
// because pugixml skips a DOCTYPE silently and keeps an unknown reference
// as plain text. Files are read and written through kvfileio, so that only
// a regular file of bounded size is read and a failed write or flush is
// reported.
#include "kvxmldom/kvxmldom.h"

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <pugixml.hpp>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>

#include "kvfileio/kvfileio.h"

struct KvDom::Document {
  pugi::xml_document xml;
};

namespace {

// Parse options: CDATA and escapes as usual; no line-end normalisation, so
// that a "\r" written into a text reads back; a text made only of white
// space is kept when it is an element's only child (a value of " "). The
// input is parsed as a fragment because pugixml otherwise drops text outside
// the root and accepts several roots without a word; checkTopLevel refuses
// both.
constexpr unsigned kParseOptions =
    pugi::parse_cdata | pugi::parse_escapes | pugi::parse_wconv_attribute |
    pugi::parse_ws_pcdata_single | pugi::parse_fragment;

bool isNameStart(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' ||
         c == ':' || c >= 0x80;
}

bool isNameChar(unsigned char c) {
  return isNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

// An XML name, so that the written document can be read back. Bytes above
// 0x7F are taken as letters.
bool isXmlName(const KvbString& name) {
  const std::string& s = name.str();
  if (name.isNull() || s.empty() ||
      !isNameStart(static_cast<unsigned char>(s[0])))
    return false;
  for (unsigned char c : s)
    if (!isNameChar(c)) return false;
  return true;
}

// The length of a valid entity or character reference at s[i] ("&..."), or
// 0 when it is not one.
size_t referenceLength(std::string_view s, size_t i) {
  for (const char* entity : {"&amp;", "&lt;", "&gt;", "&quot;", "&apos;"}) {
    if (s.compare(i, std::strlen(entity), entity) == 0)
      return std::strlen(entity);
  }
  size_t j = i + 1;
  if (j >= s.size() || s[j] != '#') return 0;
  ++j;
  const bool hex = j < s.size() && s[j] == 'x';
  if (hex) ++j;
  const size_t firstDigit = j;
  unsigned long value = 0;
  for (; j < s.size(); ++j) {
    const char c = s[j];
    int digit;
    if (c >= '0' && c <= '9')
      digit = c - '0';
    else if (hex && c >= 'a' && c <= 'f')
      digit = c - 'a' + 10;
    else if (hex && c >= 'A' && c <= 'F')
      digit = c - 'A' + 10;
    else
      break;
    value = value * (hex ? 16 : 10) + static_cast<unsigned long>(digit);
    if (value > 0x10FFFF) return 0;
  }
  if (j == firstDigit || j >= s.size() || s[j] != ';') return 0;
  if (value == 0 || (value >= 0xD800 && value <= 0xDFFF)) return 0;
  return j + 1 - i;
}

struct ScanError {
  size_t offset;
  const char* what;
};

// Screens the raw input for what pugixml would accept silently. Comments,
// CDATA sections and processing instructions are skipped; references are
// checked in texts and attribute values. Malformations that pugixml reports
// itself are left to it. Answers true when the input passes.
bool screen(std::string_view s, ScanError* error) {
  auto fail = [error](size_t offset, const char* what) {
    *error = ScanError{offset, what};
    return false;
  };
  auto skipTo = [&s](size_t from, const char* end) {
    const size_t at = s.find(end, from);
    return at == std::string_view::npos ? s.size() : at + std::strlen(end);
  };
  size_t i = 0;
  while (i < s.size()) {
    const char c = s[i];
    if (c == '\0') return fail(i, "NUL byte in the document");
    if (c == '&') {
      const size_t length = referenceLength(s, i);
      if (length == 0) return fail(i, "invalid entity or character reference");
      i += length;
      continue;
    }
    if (c != '<') {
      ++i;
      continue;
    }
    if (s.compare(i, 4, "<!--") == 0) {
      i = skipTo(i + 4, "-->");
    } else if (s.compare(i, 9, "<![CDATA[") == 0) {
      i = skipTo(i + 9, "]]>");
    } else if (s.compare(i, 2, "<?") == 0) {
      i = skipTo(i + 2, "?>");
    } else if (s.compare(i, 2, "<!") == 0) {
      std::string keyword(s.substr(i + 2, 7));
      for (char& k : keyword) k = static_cast<char>(k & ~0x20);
      if (keyword == "DOCTYPE")
        return fail(i, "document type declarations are not accepted");
      i += 2;
    } else {
      // A start or end tag: walk to its ">", checking attribute values.
      for (++i; i < s.size() && s[i] != '>' && s[i] != '<'; ++i) {
        if (s[i] == '\0') return fail(i, "NUL byte in the document");
        if (s[i] != '"' && s[i] != '\'') continue;
        const char quote = s[i];
        for (++i; i < s.size() && s[i] != quote; ++i) {
          if (s[i] == '\0') return fail(i, "NUL byte in the document");
          if (s[i] == '<') return fail(i, "'<' in an attribute value");
          if (s[i] == '&') {
            const size_t length = referenceLength(s, i);
            if (length == 0)
              return fail(i, "invalid entity or character reference");
            i += length - 1;
          }
        }
        if (i == s.size()) break;
      }
      if (i < s.size() && s[i] == '>') ++i;
    }
  }
  return true;
}

bool isWhiteSpace(const char* text) {
  for (; *text; ++text)
    if (*text != ' ' && *text != '\t' && *text != '\r' && *text != '\n')
      return false;
  return true;
}

// A document has exactly one root element and no text beside it.
bool checkTopLevel(const pugi::xml_document& document, size_t size,
                   ScanError* error) {
  bool root = false;
  for (pugi::xml_node node : document.children()) {
    const ptrdiff_t offset = node.offset_debug();
    const size_t at = offset >= 0 ? static_cast<size_t>(offset) : 0;
    if (node.type() == pugi::node_element) {
      if (root) {
        *error = ScanError{at, "more than one root element"};
        return false;
      }
      root = true;
    } else if ((node.type() == pugi::node_pcdata ||
                node.type() == pugi::node_cdata) &&
               !isWhiteSpace(node.value())) {
      *error = ScanError{at, "text outside the root element"};
      return false;
    }
  }
  if (!root) *error = ScanError{size, "no root element"};
  return root;
}

std::string describePosition(std::string_view s, size_t offset) {
  if (offset > s.size()) offset = s.size();
  size_t line = 1;
  size_t lineStart = 0;
  for (size_t i = 0; i < offset; ++i) {
    if (s[i] == '\n') {
      ++line;
      lineStart = i + 1;
    }
  }
  return "line " + std::to_string(line) + ", column " +
         std::to_string(offset - lineStart + 1) + " (offset " +
         std::to_string(offset) + ")";
}

// Hands pugixml's output to a kvfileio text file and keeps the first error.
class FileWriter : public pugi::xml_writer {
 public:
  explicit FileWriter(NpFioTextFile* file) : file_(file) {}
  void write(const void* data, size_t size) override {
    if (error_ != NP_FIO_OK) return;
    const long written = np_fio_text_write(
        file_, static_cast<const char*>(data), static_cast<long>(size));
    if (written < 0) error_ = static_cast<int>(-written);
  }
  int error() const { return error_; }

 private:
  NpFioTextFile* file_;
  int error_ = NP_FIO_OK;
};

}  // namespace

// ---------------------------------------------------------------------------
// KvDomNode

KvbString KvDomNode::getName() const {
  if (!node_) return KvbString();
  return KvbString(pugi::xml_node(node_).name());
}

KvbString KvDomNode::getValue() const {
  if (!node_) return KvbString();
  std::string text;
  for (pugi::xml_node child : pugi::xml_node(node_).children()) {
    if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata)
      text += child.value();
  }
  return KvbString(std::move(text));
}

bool KvDomNode::getAttribute(const KvbString& name, KvbString& out) const {
  if (!node_ || name.isNull()) return false;
  const pugi::xml_attribute attribute =
      pugi::xml_node(node_).attribute(name.asCstr());
  if (!attribute) return false;
  out = KvbString(attribute.value());
  return true;
}

void KvDomNode::getAttributeNames(std::vector<KvbString>& names) const {
  names.clear();
  if (!node_) return;
  for (pugi::xml_attribute attribute : pugi::xml_node(node_).attributes())
    names.emplace_back(attribute.name());
}

bool KvDomNode::setAttribute(const KvbString& name, const KvbString& value) {
  if (!node_ || !isXmlName(name)) return false;
  pugi::xml_node node(node_);
  pugi::xml_attribute attribute = node.attribute(name.asCstr());
  if (!attribute) attribute = node.append_attribute(name.asCstr());
  return attribute && attribute.set_value(value.asCstr());
}

KvDomNode KvDomNode::addChild(const KvbString& name) {
  if (!node_ || !isXmlName(name)) return KvDomNode();
  pugi::xml_node child = pugi::xml_node(node_).append_child(name.asCstr());
  return KvDomNode(child.internal_object());
}

KvDomNode KvDomNode::addChild(const KvbString& name, const KvbString& text) {
  KvDomNode child = addChild(name);
  if (!child.isNull() && !child.setValue(text)) return KvDomNode();
  return child;
}

bool KvDomNode::setValue(const KvbString& text) {
  if (!node_) return false;
  pugi::xml_node node(node_);
  for (pugi::xml_node child = node.first_child(); child;) {
    const pugi::xml_node next = child.next_sibling();
    if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata)
      node.remove_child(child);
    child = next;
  }
  if (text.isEmpty()) return true;
  pugi::xml_node data = node.prepend_child(pugi::node_pcdata);
  return data && data.set_value(text.asCstr());
}

KvDomNode KvDomNode::getFirstChild() const {
  if (!node_) return KvDomNode();
  return KvDomNode(pugi::xml_node(node_)
                       .find_child([](pugi::xml_node n) {
                         return n.type() == pugi::node_element;
                       })
                       .internal_object());
}

KvDomNode KvDomNode::getNextSibling() const {
  if (!node_) return KvDomNode();
  pugi::xml_node sibling = pugi::xml_node(node_).next_sibling();
  while (sibling && sibling.type() != pugi::node_element)
    sibling = sibling.next_sibling();
  return KvDomNode(sibling.internal_object());
}

KvDomNode KvDomNode::getChild(const KvbString& name) const {
  if (!node_ || name.isNull()) return KvDomNode();
  return KvDomNode(
      pugi::xml_node(node_).child(name.asCstr()).internal_object());
}

int KvDomNode::getChildCount() const {
  if (!node_) return 0;
  int count = 0;
  for (pugi::xml_node child : pugi::xml_node(node_).children())
    if (child.type() == pugi::node_element) ++count;
  return count;
}

// ---------------------------------------------------------------------------
// KvDom

KvDom::KvDom() : document_(new Document) {}

KvDom::~KvDom() = default;

bool KvDom::loadBuffer(const char* data, size_t size, const char* source) {
  document_->xml.reset();
  const std::string_view input(data, size);
  const std::string prefix =
      source ? std::string(source) + ": " : std::string();

  ScanError scan{};
  if (!screen(input, &scan)) {
    error_ = KvbString(prefix + "XML error at " +
                       describePosition(input, scan.offset) + ": " + scan.what);
    return false;
  }
  const pugi::xml_parse_result result = document_->xml.load_buffer(
      data, size, kParseOptions, pugi::encoding_utf8);
  if (!result) {
    const size_t offset =
        result.offset > 0 ? static_cast<size_t>(result.offset) : 0;
    error_ =
        KvbString(prefix + "XML error at " + describePosition(input, offset) +
                  ": " + result.description());
    document_->xml.reset();
    return false;
  }
  if (!checkTopLevel(document_->xml, size, &scan)) {
    error_ = KvbString(prefix + "XML error at " +
                       describePosition(input, scan.offset) + ": " + scan.what);
    document_->xml.reset();
    return false;
  }
  return true;
}

bool KvDom::loadXML(const KvbString& text) {
  return loadBuffer(text.asCstr(), text.length(), nullptr);
}

bool KvDom::loadFile(const KvbString& path) {
  document_->xml.reset();
  char* data = nullptr;
  size_t size = 0;
  const int code = np_fio_read_file(path.asCstr(), &data, &size);
  if (code != NP_FIO_OK) {
    error_ = KvbString("Cannot read XML file '" + path.str() +
                       "': " + np_fio_errdesc(code));
    return false;
  }
  const bool loaded = loadBuffer(data, size, path.asCstr());
  std::free(data);
  return loaded;
}

KvDomNode KvDom::startDocument(const KvbString& rootName) {
  document_->xml.reset();
  if (!isXmlName(rootName)) {
    error_ = KvbString("Not an XML element name: '" + rootName.str() + "'");
    return KvDomNode();
  }
  return KvDomNode(
      document_->xml.append_child(rootName.asCstr()).internal_object());
}

bool KvDom::createFile(const KvbString& path, bool pretty) {
  if (!document_->xml.document_element()) {
    error_ = KvbString("Cannot write XML file '" + path.str() +
                       "': the document has no root element");
    return false;
  }
  NpFioTextFile* file = nullptr;
  int code = np_fio_text_open(path.asCstr(),
                              NP_FIO_WRITE | NP_FIO_CREATE | NP_FIO_TRUNC,
                              NP_FIO_ENC_UTF8, NP_FIO_LE_ASIS, &file);
  if (code == NP_FIO_OK) {
    FileWriter writer(file);
    document_->xml.save(writer, "  ",
                        pretty ? pugi::format_indent : pugi::format_raw,
                        pugi::encoding_utf8);
    const int closeCode = np_fio_text_close(file);
    code = writer.error() != NP_FIO_OK ? writer.error() : closeCode;
  }
  if (code != NP_FIO_OK) {
    error_ = KvbString("Cannot write XML file '" + path.str() +
                       "': " + np_fio_errdesc(code));
    return false;
  }
  return true;
}

bool KvDom::saveXML(KvbString& out, bool pretty) {
  if (!document_->xml.document_element()) {
    error_ =
        KvbString("Cannot write XML text: the document has no root element");
    return false;
  }
  std::ostringstream text;
  document_->xml.save(text, "  ",
                      pretty ? pugi::format_indent : pugi::format_raw,
                      pugi::encoding_utf8);
  out = KvbString(text.str());
  return true;
}

KvDomNode KvDom::getRoot() const {
  return KvDomNode(document_->xml.document_element().internal_object());
}
