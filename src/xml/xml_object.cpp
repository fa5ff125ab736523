#include "xml/xml_object.h"

#include "platform/files.h"
#include "support/file_utils.h"
#include "support/short_string.h"
#include "xml/xml_scanner.h"
#include "xml/xml_text.h"

namespace support {
namespace {

constexpr std::string_view kDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n";

bool IsNameChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_' || c == ':';
}

}  // namespace

TXMLObject::~TXMLObject() {
  DestroyChildren();
}

// Children are taken out of the tree before they are destroyed, so no
// destructor ever has children of its own to destroy: a deep tree cannot
// exhaust the stack.
void TXMLObject::DestroyChildren() {
  std::vector<std::unique_ptr<TXMLObject>> pending = std::move(children_);
  children_.clear();
  while (!pending.empty()) {
    std::unique_ptr<TXMLObject> node = std::move(pending.back());
    pending.pop_back();
    for (auto& child : node->children_) pending.push_back(std::move(child));
    node->children_.clear();
  }
}

void TXMLObject::Clear() {
  DestroyChildren();
  attributes_.clear();
  text_.clear();
  name_.clear();
}

void TXMLObject::SetName(std::string_view name) {
  name_ = ShortString(name);
}

void TXMLObject::AddAttribute(std::string_view name, std::string_view value, bool escape) {
  const std::string shortValue = ShortString(value);
  if (shortValue.empty()) return;
  attributes_.push_back({ShortString(name), escape ? EncodeXMLEntities(shortValue) : shortValue});
}

TXMLObject* TXMLObject::AddChild(std::string_view name, std::string_view text, bool escape) {
  children_.push_back(std::make_unique<TXMLObject>());
  TXMLObject* child = children_.back().get();
  child->name_ = ShortString(name);
  if (!text.empty()) child->SetText(text, escape);
  return child;
}

void TXMLObject::SetText(std::string_view text, bool escape) {
  text_ = escape ? EncodeXMLEntities(text) : std::string(text);
}

std::string TXMLObject::GetXML(bool lineBreaks, bool declaration) const {
  std::string out;
  if (declaration) out = kDeclaration;
  const auto hasContent = [](const TXMLObject* node) {
    return !node->children_.empty() || !node->text_.empty();
  };
  const auto open = [&](const TXMLObject* node) {
    if (node->name_.empty()) {
      out += node->text_;
      return;
    }
    out += '<';
    out += node->name_;
    for (const auto& attribute : node->attributes_) {
      out += ' ';
      out += attribute.Name;
      out += "=\"";
      out += attribute.Value;
      out += '"';
    }
    if (hasContent(node)) {
      out += '>';
      out += node->text_;
    } else {
      out += "/>";
      if (lineBreaks) out += "\r\n";
    }
  };
  const auto close = [&](const TXMLObject* node) {
    if (node->name_.empty() || !hasContent(node)) return;
    out += "</";
    out += node->name_;
    out += '>';
    if (lineBreaks) out += "\r\n";
  };

  // Depth-first with an explicit stack: the depth of a parsed tree is the
  // document's to choose.
  struct Frame {
    const TXMLObject* node;
    std::size_t next;
  };
  std::vector<Frame> stack;
  open(this);
  stack.push_back({this, 0});
  while (!stack.empty()) {
    Frame& top = stack.back();
    if (top.next < top.node->children_.size()) {
      const TXMLObject* child = top.node->children_[top.next++].get();
      open(child);
      stack.push_back({child, 0});
    } else {
      close(top.node);
      stack.pop_back();
    }
  }
  return out;
}

// One pass over the document with the open elements on an explicit stack. The
// reading is lenient: an end tag closes whatever element is open, whatever its
// name; a start tag ends at the first ">" outside its quoted values, while a
// tag that does not start with a name character (declaration, comment,
// DOCTYPE, CDATA) is skipped up to its first ">"; and an element that ends up
// with children keeps only them, not its text.
bool TXMLObject::ParseXML(std::string_view document) {
  std::vector<TXMLObject*> open{this};
  // Text of an element that already has children would be dropped at its end.
  const auto appendText = [](TXMLObject* node, std::string_view text) {
    if (node->children_.empty()) node->text_.append(text);
  };
  std::size_t textStart = 0;
  bool stopped = false;
  while (textStart < document.size()) {
    const std::size_t lt = document.find('<', textStart);
    if (lt == std::string_view::npos) break;
    TXMLObject* current = open.back();
    appendText(current, document.substr(textStart, lt - textStart));
    const bool startTag = lt + 1 < document.size() && IsNameChar(document[lt + 1]);
    const std::size_t gt = startTag ? XMLTagEnd(document, lt) : document.find('>', lt + 1);
    if (gt == std::string_view::npos) {
      stopped = true;  // the document ends inside a tag
      break;
    }
    const std::string_view tag = document.substr(lt, gt - lt + 1);
    textStart = gt + 1;

    if (tag[1] == '/') {
      // An end tag at the outermost level ends the document.
      if (open.size() == 1) {
        stopped = true;
        break;
      }
      if (!current->children_.empty()) current->text_.clear();
      open.pop_back();
      continue;
    }
    if (!startTag) continue;
    std::size_t nameEnd = 2;
    while (nameEnd < tag.size() - 1 && IsNameChar(tag[nameEnd])) ++nameEnd;

    TXMLObject* child = current->AddChild(tag.substr(1, nameEnd - 1));
    // Values come back decoded and are stored re-encoded; empty ones are dropped.
    for (const auto& attribute : XMLTagAttributes(tag))
      child->AddAttribute(attribute.Name, attribute.Value, true);
    const bool empty = tag.size() >= 3 && tag[tag.size() - 2] == '/';
    if (!empty) open.push_back(child);
  }
  if (!stopped && textStart < document.size()) appendText(open.back(), document.substr(textStart));
  for (TXMLObject* node : open)
    if (!node->children_.empty()) node->text_.clear();
  return !stopped && open.size() == 1;
}

bool TXMLObject::LoadFromFile(const std::string& fileName) {
  const std::string content = LoadFileToString(fileName);
  if (content.empty()) return false;
  ParseXML(content);
  return true;
}

bool TXMLObject::SaveToFile(const std::string& fileName, bool lineBreaks, bool declaration) const {
  if (fileName.empty() || platform::DirectoryExists(fileName)) return false;
  return ReplaceFileContent(fileName, GetXML(lineBreaks, declaration));
}

std::string TXMLObject::GetText(bool decode) const {
  return decode ? DecodeXMLEntities(text_) : text_;
}

std::string TXMLObject::GetAttribute(std::string_view name, bool decode) const {
  const std::string wanted = ShortString(name);
  for (const auto& attribute : attributes_)
    if (attribute.Name == wanted)
      return ShortString(decode ? DecodeXMLEntities(attribute.Value) : attribute.Value);
  return "";
}

TXMLObject* TXMLObject::FindChild(std::string_view name) const {
  const std::string wanted = ShortString(name);
  for (const auto& child : children_)
    if (child->name_ == wanted) return child.get();
  return nullptr;
}

std::string TXMLObject::ChildText(std::string_view name) const {
  const TXMLObject* child = FindChild(name);
  return child ? child->GetText(true) : std::string();
}

std::string ChildText(const TXMLObject* node, std::string_view name) {
  return node ? node->ChildText(name) : std::string();
}

}  // namespace support
