#include "ui/language_file.h"

#include <algorithm>

#include "support/file_utils.h"
#include "support/short_string.h"
#include "support/text_fields.h"
#include "xml/xml_object.h"

namespace ui {
namespace {

using support::TXMLObject;

// Which property of a control a CLASS value stands for.
enum class TextKind {
  None,            // not translated
  Caption,         // a control's caption
  MenuCaption,     // a menu item's caption
  PanelText,       // the dynamic panel's own text
  ComboItems,      // the entries of a combo box
  HeaderSections,  // the sections of a header list
  ListColumns,     // the columns of a list view
};

constexpr size_t kMaxListColumns = 16;
constexpr char kListViewClass[] = "tcustomlistview";

// The kind of a class name in lower case.
TextKind KindOf(const std::string& lowerClass) {
  static const char* const captions[] = {"tlabel",    "tradiobutton", "tbutton",
                                         "tcheckbox", "ttabsheet",    "tgroupbox"};
  static const char* const listViews[] = {kListViewClass, "textlistviewmanagement",
                                          "tdfsenhlistview", "tdfsextlistview"};
  for (const char* c : captions)
    if (lowerClass == c) return TextKind::Caption;
  for (const char* c : listViews)
    if (lowerClass == c) return TextKind::ListColumns;
  if (lowerClass == "tmenuitem") return TextKind::MenuCaption;
  if (lowerClass == "tdynpanel") return TextKind::PanelText;
  if (lowerClass == "tcombobox") return TextKind::ComboItems;
  if (lowerClass == "tadvancedheaderlist") return TextKind::HeaderSections;
  return TextKind::None;
}

// The entries one per line (each ending in CR LF), the whole trimmed.
std::string JoinedLines(const std::vector<std::string>& items, size_t limit) {
  std::string text;
  for (size_t i = 0; i < items.size() && i < limit; ++i) text += items[i] + "\r\n";
  return support::TrimBlanks(text);
}

// Lines split at LF, trimmed of blanks and control characters, empty ones dropped.
std::vector<std::string> SplitTrimmedLines(const std::string& text) {
  std::vector<std::string> lines;
  support::SplitToList(text, '\n', lines, true);
  return lines;
}

// The text a control exports, and the CLASS value it is written under.
std::string ExportedText(const TComponent& component, TextKind kind) {
  switch (kind) {
    case TextKind::Caption:
    case TextKind::MenuCaption:
      return component.Caption();
    case TextKind::PanelText:
      return component.Text();
    case TextKind::ComboItems:
    case TextKind::HeaderSections:
      return JoinedLines(component.Items(), component.Items().size());
    case TextKind::ListColumns:
      return JoinedLines(component.Items(), kMaxListColumns);
    case TextKind::None:
      break;
  }
  return "";
}

void ExportForm(const TForm& form, TXMLObject& forms) {
  TXMLObject* node = forms.AddChild("FORM", "", false);
  node->AddAttribute("ID", form.ClassName(), true);
  node->AddAttribute("CAPTION", form.Caption(), true);
  for (const auto& component : form.Components()) {
    const std::string cls = support::LowerCase(component->ClassName());
    const TextKind kind = KindOf(cls);
    if (kind == TextKind::None) continue;
    const std::string text = ExportedText(*component, kind);
    if (text.empty()) continue;
    TXMLObject* item = node->AddChild("ITEM", "", false);
    item->AddAttribute("ID", component->Name(), true);
    item->AddAttribute("CLASS", kind == TextKind::ListColumns ? kListViewClass : cls, true);
    const bool lines = kind == TextKind::ComboItems || kind == TextKind::HeaderSections ||
                       kind == TextKind::ListColumns;
    item->AddAttribute(lines ? "ITEMSTEXT" : "CAPTION", text, true);
    if (!component->Hint().empty()) item->AddAttribute("HINT", component->Hint(), true);
  }
}

void ExportStrings(const support::TMessageTable& table, TXMLObject& application) {
  TXMLObject* strings = application.AddChild("STRINGS", "", false);
  TXMLObject* string = strings->AddChild("STRING", "", false);
  string->AddAttribute("ID", "TStrings", true);
  for (const auto& entry : table.Entries) {
    TXMLObject* item = string->AddChild("ITEM", "", false);
    item->AddAttribute("ID", entry.Identifier, true);
    // Attribute values pass through short strings; longer texts go as content.
    if (entry.Variable->size() > support::kShortStringMax) {
      item->SetText(*entry.Variable, true);
    } else {
      item->AddAttribute("VALUE", *entry.Variable, true);
    }
  }
}

// Sets lines[i] into entry i; more lines than entries do not fit.
bool ApplyLines(TComponent& component, const std::vector<std::string>& lines, size_t count) {
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i >= count) return false;
    component.SetItem(static_cast<int>(i), lines[i]);
  }
  return true;
}

// False when the item does not fit the control, which ends the load.
bool ApplyItem(const TXMLObject& item, TComponent& component) {
  const TextKind kind = KindOf(support::LowerCase(item.GetAttribute("CLASS", true)));
  if (kind == TextKind::None) return true;
  if (KindOf(support::LowerCase(component.ClassName())) != kind) return false;
  switch (kind) {
    case TextKind::Caption:
    case TextKind::MenuCaption:
      component.SetCaption(item.GetAttribute("CAPTION", true));
      break;
    case TextKind::PanelText:
      component.SetText(item.GetAttribute("CAPTION", true));
      break;
    case TextKind::ComboItems:
      component.SetItems(support::SplitLines(item.GetAttribute("ITEMSTEXT", true)));
      component.SetItemIndex(0);
      break;
    case TextKind::HeaderSections:
      if (!ApplyLines(component, SplitTrimmedLines(item.GetAttribute("ITEMSTEXT", true)),
                      component.Items().size()))
        return false;
      break;
    case TextKind::ListColumns:
      if (!ApplyLines(component, SplitTrimmedLines(item.GetAttribute("ITEMSTEXT", true)),
                      std::min(component.Items().size(), kMaxListColumns)))
        return false;
      break;
    case TextKind::None:
      break;
  }
  component.SetHint(item.GetAttribute("HINT", true));
  return true;
}

// False when an item ended the load.
bool ApplyForms(const TXMLObject& forms, const TApplicationForms& application) {
  for (const auto& node : forms.Children()) {
    const std::string id = node->GetAttribute("ID", true);
    auto form = std::find_if(application.begin(), application.end(),
                             [&](const TForm* f) { return f && f->ClassName() == id; });
    if (form == application.end()) continue;
    (*form)->SetCaption(node->GetAttribute("CAPTION", true));
    for (const auto& item : node->Children()) {
      TComponent* component = (*form)->Find(item->GetAttribute("ID", true));
      if (component && !ApplyItem(*item, *component)) return false;
    }
  }
  return true;
}

void ApplyStrings(const TXMLObject& string, support::TMessageTable* table) {
  for (const auto& item : string.Children()) {
    const std::string id = item->GetAttribute("ID", true);
    if (!item->GetText(false).empty()) {
      support::SetMessage(id, item->GetText(true), table);
    } else {
      support::SetMessage(id, item->GetAttribute("VALUE", true), table);
    }
  }
}

}  // namespace

bool ExportLanguage(const std::string& fileName, const TApplicationForms& forms, bool withStrings,
                    const std::string& extraText, support::TMessageTable* table) {
  const std::string name = support::ShortString(fileName);
  if (name.empty()) return false;

  TXMLObject root;
  TXMLObject* application = root.AddChild("APPLICATION", "", false);
  TXMLObject* formsNode = application->AddChild("FORMS", "", false);
  for (const TForm* form : forms)
    if (form && !form->Name().empty()) ExportForm(*form, *formsNode);
  if (withStrings) ExportStrings(table ? *table : support::DefaultMessageTable(), *application);
  if (!extraText.empty()) application->AddChild("", extraText, false);

  // Written beside the file and renamed over it, so a failed write leaves no half file.
  return root.SaveToFile(name, true, true);
}

bool LoadLanguage(const std::string& fileName, const TApplicationForms& forms, bool withStrings,
                  support::TMessageTable* table) {
  const std::string name = support::ShortString(fileName);
  if (name.empty()) return false;
  const std::string content = support::LoadFileToString(name);
  if (content.empty()) return false;
  TXMLObject root;
  // An element left open (an ITEM without its "/") takes in everything after
  // it: that is reported, though what could be read is still applied.
  const bool complete = root.ParseXML(content);

  const TXMLObject* application = root.FindChild("APPLICATION");
  if (!application) return complete;
  if (const TXMLObject* formsNode = application->FindChild("FORMS"))
    if (!ApplyForms(*formsNode, forms)) return complete;
  if (withStrings) {
    if (const TXMLObject* strings = application->FindChild("STRINGS"))
      if (const TXMLObject* string = strings->FindChild("STRING")) ApplyStrings(*string, table);
  }
  return complete;
}

}  // namespace ui
