#include "ui/core/window_builder.h"

#include <cwchar>
#include <cwctype>
#include <utility>
#include <vector>

#include "ui/control/attribute_parsing.h"
#include "ui/control/box.h"
#include "ui/control/button.h"
#include "ui/control/check_box.h"
#include "ui/control/child_box.h"
#include "ui/control/control.h"
#include "ui/control/label.h"
#include "ui/control/linear_layout.h"
#include "ui/control/option.h"
#include "ui/control/progress.h"
#include "ui/control/rich_edit.h"
#include "ui/control/scroll_bar.h"
#include "ui/control/scrollable_box.h"
#include "ui/control/tab_box.h"
#include "ui/control/tile_layout.h"
#include "ui/core/window.h"

namespace ui {

namespace {

// Skins may include each other; a file that includes itself must end.
constexpr int kMaxIncludeDepth = 16;
int g_include_depth = 0;

bool Is(const wchar_t* a, const wchar_t* b) { return std::wcscmp(a, b) == 0; }

bool IsResourceElement(const wchar_t* name) {
  return Is(name, L"Image") || Is(name, L"Font") || Is(name, L"Class") || Is(name, L"TextColor");
}

std::wstring Attribute(const MarkupNode& node, const wchar_t* name) {
  wchar_t value[MarkupNode::kAttributeBufferSize];
  return node.GetAttributeValue(name, value) ? std::wstring(value) : std::wstring();
}

// The factory table: the controls of the toolkit by element name. Element
// names whose controls this toolkit does not carry (Combo, Slider, the list
// boxes, TreeView, TreeNode, VirtualListBox, NumberEdit, CircleProgress) make
// nothing and fall through to the create-control callbacks like any unknown
// name.
Control* MakeToolkitControl(const wchar_t* name) {
  switch (name[0]) {
    case L'B':
      if (Is(name, L"Box")) return new Box();
      if (Is(name, L"Button")) return new Button();
      if (Is(name, L"ButtonBox")) return new ButtonBox();
      break;
    case L'C':
      if (Is(name, L"Control")) return new Control();
      if (Is(name, L"CheckBox")) return new CheckBox();
      if (Is(name, L"CheckBoxBox")) return new CheckBoxBox();
      if (Is(name, L"ChildBox")) return new ChildBox();
      break;
    case L'H':
      if (Is(name, L"HBox")) return new HBox();
      if (Is(name, L"HScrollableBox")) return new HScrollableBox();
      break;
    case L'L':
      if (Is(name, L"Label")) return new Label();
      if (Is(name, L"LabelBox")) return new LabelBox();
      break;
    case L'O':
      if (Is(name, L"Option")) return new Option();
      if (Is(name, L"OptionBox")) return new OptionBox();
      break;
    case L'P':
      if (Is(name, L"Progress")) return new Progress();
      break;
    case L'R':
      if (Is(name, L"RichEdit")) return new RichEdit();
      break;
    case L'S':
      if (Is(name, L"ScrollBar")) return new ScrollBar();
      if (Is(name, L"ScrollableBox")) return new ScrollableBox();
      break;
    case L'T':
      if (Is(name, L"TabBox")) return new TabBox();
      if (Is(name, L"TileBox")) return new TileBox();
      if (Is(name, L"TileScrollableBox")) return new TileScrollableBox();
      break;
    case L'V':
      if (Is(name, L"VBox")) return new VBox();
      if (Is(name, L"VScrollableBox")) return new VScrollableBox();
      break;
    default:
      break;
  }
  return nullptr;
}

}  // namespace

WindowBuilder::WindowBuilder() = default;

WindowBuilder::~WindowBuilder() = default;

Control* WindowBuilder::Create(const std::wstring& skin, CreateControlCallback callback,
                               Window* window, Box* parent, Box* user_defined_box) {
  if (!Load(skin)) return nullptr;
  callback_ = std::move(callback);
  return Build(window, parent, user_defined_box);
}

Control* WindowBuilder::Rebuild(CreateControlCallback callback, Window* window, Box* parent,
                                Box* user_defined_box) {
  callback_ = std::move(callback);
  return Build(window, parent, user_defined_box);
}

bool WindowBuilder::Load(const std::wstring& skin) {
  if (!skin.empty() && skin[0] == L'<') return document_.LoadFromText(skin.c_str());
  if (skin.empty()) {
    document_.Release();
    return false;
  }
  if (GlobalManager::IsArchiveOpen()) {
    const auto data = GlobalManager::GetArchiveData(GlobalManager::GetResourcePath() + skin);
    if (data) {
      // Read like a file from disk: UTF-8, a byte-order mark dropped.
      if (data->empty() || data->size() > MarkupDocument::kMaxFileSize) {
        document_.Release();
        return false;
      }
      return document_.LoadFromUtf8(reinterpret_cast<const char*>(data->data()), data->size());
    }
  }
  return document_.LoadFromFile(skin.c_str());
}

Control* WindowBuilder::Build(Window* window, Box* parent, Box* user_defined_box) {
  const MarkupNode root = document_.GetRoot();
  if (!root.IsValid()) return nullptr;
  const wchar_t* root_name = root.GetName();
  if (Is(root_name, L"Global")) {
    ApplyGlobalRoot(root);
  } else if (Is(root_name, L"Window") && window != nullptr) {
    if (window->GetHWND() != nullptr) ApplyWindowAttributes(root, window);
    for (MarkupNode node = root.GetChild(); node.IsValid(); node = node.GetSibling()) {
      if (!Is(node.GetName(), L"Class")) continue;
      const std::wstring name = Attribute(node, L"name");
      if (!name.empty()) window->AddClass(name, ClassAttributeList(node));
    }
  }

  for (MarkupNode node = root.GetChild(); node.IsValid(); node = node.GetSibling()) {
    if (IsResourceElement(node.GetName())) continue;
    if (user_defined_box == nullptr) return Parse(root, parent, window);
    for (int i = 0; i < node.GetAttributeCount(); ++i) {
      user_defined_box->ApplyAttribute(node.GetAttributeName(i), node.GetAttributeValue(i));
    }
    Parse(node, user_defined_box, window);
    return user_defined_box;
  }
  return nullptr;
}

void WindowBuilder::ApplyGlobalRoot(const MarkupNode& root) {
  for (int i = 0; i < root.GetAttributeCount(); ++i) {
    const wchar_t* name = root.GetAttributeName(i);
    const wchar_t* value = root.GetAttributeValue(i);
    if (Is(name, L"defaultfontcolor")) {
      GlobalManager::SetDefaultTextColor(value);
    } else if (Is(name, L"disabledfontcolor")) {
      GlobalManager::SetDefaultDisabledTextColor(value);
    }
    // linkfontcolor, linkhoverfontcolor and selectedcolor are accepted and
    // have no effect.
  }
  for (MarkupNode node = root.GetChild(); node.IsValid(); node = node.GetSibling()) {
    const wchar_t* element = node.GetName();
    if (Is(element, L"Font")) {
      std::wstring id, face;
      int size = 12;
      bool bold = false, underline = false, italic = false, strikeout = false, is_default = false;
      for (int i = 0; i < node.GetAttributeCount(); ++i) {
        const wchar_t* name = node.GetAttributeName(i);
        const std::wstring value = node.GetAttributeValue(i);
        if (Is(name, L"id"))
          id = value;
        else if (Is(name, L"name"))
          face = value;
        else if (Is(name, L"size"))
          size = ParseIntOr(value, size);
        else if (Is(name, L"bold"))
          bold = ParseSwitch(value);
        else if (Is(name, L"underline"))
          underline = ParseSwitch(value);
        else if (Is(name, L"italic"))
          italic = ParseSwitch(value);
        else if (Is(name, L"strikeout"))
          strikeout = ParseSwitch(value);
        else if (Is(name, L"default"))
          is_default = ParseSwitch(value);
      }
      if (!face.empty()) {
        GlobalManager::AddFont(id, face, size, bold, underline, italic, strikeout, is_default);
      }
    } else if (Is(element, L"Class")) {
      const std::wstring name = Attribute(node, L"name");
      if (!name.empty()) GlobalManager::AddClass(name, ClassAttributeList(node));
    } else if (Is(element, L"TextColor")) {
      const std::wstring name = Attribute(node, L"name");
      if (!name.empty()) GlobalManager::AddTextColor(name, Attribute(node, L"value"));
    }
  }
}

void WindowBuilder::ApplyWindowAttributes(const MarkupNode& root, Window* window) {
  // The height share needs the width from "size", wherever that is written.
  const wchar_t* height_percent = nullptr;
  for (int i = 0; i < root.GetAttributeCount(); ++i) {
    const wchar_t* name = root.GetAttributeName(i);
    const std::wstring value = root.GetAttributeValue(i);
    if (Is(name, L"size")) {
      const SIZE size = ParseSize(value);
      window->SetInitialSize(size.cx, size.cy, false, true);
    } else if (Is(name, L"heightpercent")) {
      height_percent = root.GetAttributeValue(i);
    } else if (Is(name, L"sizebox")) {
      window->SetSizeBox(ParseRect(value));
    } else if (Is(name, L"caption")) {
      window->SetCaptionRect(ParseRect(value));
    } else if (Is(name, L"textid")) {
      window->SetTitleFromId(value);
    } else if (Is(name, L"roundcorner")) {
      window->SetRoundCorner(ParseSize(value));
    } else if (Is(name, L"mininfo")) {
      const SIZE size = ParseSize(value);
      window->SetMinInfo(size.cx, size.cy);
    } else if (Is(name, L"maxinfo")) {
      const SIZE size = ParseSize(value);
      window->SetMaxInfo(size.cx, size.cy);
    } else if (Is(name, L"shadowattached")) {
      window->SetShadowAttached(ParseSwitch(value));
    } else if (Is(name, L"shadowimage")) {
      window->SetShadowImage(value);
    } else if (Is(name, L"shadowcorner")) {
      window->SetShadowCorner(ParseRect(value));
    } else if (Is(name, L"alphafixcorner") || Is(name, L"custom_shadow")) {
      window->SetAlphaFixCorner(ParseRect(value));
    }
  }
  if (height_percent != nullptr) window->SetHeightPercent(std::wcstod(height_percent, nullptr));
}

std::wstring WindowBuilder::ClassAttributeList(const MarkupNode& node) {
  std::wstring list;
  for (int i = 0; i < node.GetAttributeCount(); ++i) {
    const wchar_t* name = node.GetAttributeName(i);
    const wchar_t* value = node.GetAttributeValue(i);
    if (Is(name, L"name")) continue;
    if (Is(name, L"value")) {
      list += value;
    } else if (Is(name, L"_value")) {
      list += L" value=\"";
      list += value;
      list += L'"';
    } else {
      list += L' ';
      list += name;
      list += L"=\"";
      list += value;
      list += L'"';
    }
  }
  size_t start = 0;
  while (start < list.size() && (list[start] == L' ' || list[start] <= 29)) ++start;
  return list.substr(start);
}

void WindowBuilder::AttachMarkupEvents(const MarkupNode& node, Control* control, bool bubbled) {
  Box* box = dynamic_cast<Box*>(control);
  if (bubbled && box == nullptr) return;  // only boxes see bubbled events
  const std::vector<std::wstring> types = SplitBySpaces(Attribute(node, L"type"));
  const std::vector<std::wstring> receivers = SplitBySpaces(Attribute(node, L"receiver"));
  const std::wstring list = Attribute(node, L"applyattribute");
  for (const std::wstring& type_name : types) {
    const EventType type = EventTypeFromName(type_name);
    for (const std::wstring& receiver : receivers) {
      EventCallback handler = control->MakeAttributeListHandler(receiver, list);
      if (bubbled) {
        box->AttachBubbledMarkupEvent(type, std::move(handler));
      } else {
        control->AttachMarkupEvent(type, std::move(handler));
      }
    }
  }
}

Control* WindowBuilder::MakeControl(const wchar_t* name) {
  if (Control* control = MakeToolkitControl(name)) return control;
  const std::wstring element(name);
  if (const CreateControlCallback& global = GlobalManager::GetGlobalCreateControlCallback()) {
    if (Control* control = global(element)) return control;
  }
  if (callback_) return callback_(element);
  return nullptr;
}

Control* WindowBuilder::Parse(const MarkupNode& node, Control* parent, Window* window) {
  Box* parent_box = dynamic_cast<Box*>(parent);
  Control* first = nullptr;
  for (MarkupNode child = node.GetChild(); child.IsValid(); child = child.GetSibling()) {
    const wchar_t* name = child.GetName();
    if (IsResourceElement(name)) continue;

    if (Is(name, L"Include")) {
      const std::wstring source = Attribute(child, L"source");
      if (source.empty()) continue;
      const std::wstring count_text = Attribute(child, L"count");
      const int count = ParseIntOr(count_text, 1);
      if (g_include_depth >= kMaxIncludeDepth) continue;
      ++g_include_depth;
      // Read once, built |count| times.
      WindowBuilder nested;
      for (int i = 0; i < count; ++i) {
        Control* made = i == 0 ? nested.Create(source, callback_, window, parent_box)
                               : nested.Rebuild(callback_, window, parent_box);
        // Without a box to take them, the included controls would be lost.
        if (made != nullptr && parent_box == nullptr) delete made;
      }
      --g_include_depth;
      continue;
    }

    Control* control = MakeControl(name);
    if (control == nullptr) {
      if (Is(name, L"Event") || Is(name, L"BubbledEvent")) {
        if (parent != nullptr) AttachMarkupEvents(child, parent, Is(name, L"BubbledEvent"));
      }
      continue;  // unknown elements and their subtrees are skipped
    }

    control->SetWindow(window, nullptr, false);
    for (int i = 0; i < child.GetAttributeCount(); ++i) {
      control->ApplyAttribute(child.GetAttributeName(i), child.GetAttributeValue(i));
    }
    if (child.HasChildren()) Parse(child, control, window);

    if (parent != nullptr) {
      if (parent_box == nullptr) {
        // Only boxes hold children: the rest of this element is dropped.
        delete control;
        return nullptr;
      }
      if (!parent_box->Add(control)) {
        delete control;
        continue;
      }
    } else if (first != nullptr) {
      // Only the first top-level control is handed back; with no parent to
      // own the others they are not kept.
      delete control;
      continue;
    }
    if (first == nullptr) first = control;
  }
  return first;
}

}  // namespace ui
