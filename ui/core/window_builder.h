// WindowBuilder: turns a skin file into live objects.
//
// A builder owns one parsed markup document. Building walks it once: a
// "Global" root feeds the GlobalManager (fonts, text colours, classes); a
// "Window" root configures the window (its attributes once the native window
// exists, its classes in any case) and then yields the control tree. Element
// names become controls through the toolkit's factory table, then through the
// global and the caller's create-control callbacks; "Include" splices other
// skin files in and "Event"/"BubbledEvent" attach attribute-list reactions.
//
// Ownership: the builder owns the document only; the controls it makes belong
// to the caller (usually the window, through AttachRoot, or a parent box).
// UI thread only, like everything it builds.
#pragma once

#include <string>

#include "ui/core/global_manager.h"
#include "ui/core/markup_document.h"

namespace ui {

class Box;
class Control;
class Window;

class WindowBuilder {
 public:
  WindowBuilder();
  ~WindowBuilder();
  WindowBuilder(const WindowBuilder&) = delete;
  WindowBuilder& operator=(const WindowBuilder&) = delete;

  // Loads |skin| and builds it. Text starting with "<" is markup; anything
  // else is a file name under the resource path, taken from the resource
  // archive while it is open (and holds it), else from disk. Answers the
  // first control built (the user-defined box when one is given), or nullptr
  // when the skin does not load or holds no control.
  //
  // |callback| makes controls for element names the toolkit does not know.
  // |window| receives the window attributes and classes; |parent| adopts the
  // top-level controls; with |user_defined_box| the first control element
  // configures that box and its children fill it.
  Control* Create(const std::wstring& skin, CreateControlCallback callback = nullptr,
                  Window* window = nullptr, Box* parent = nullptr, Box* user_defined_box = nullptr);
  // Builds the document loaded before once more, without reading it again.
  Control* Rebuild(CreateControlCallback callback = nullptr, Window* window = nullptr,
                   Box* parent = nullptr, Box* user_defined_box = nullptr);

  MarkupDocument& document() { return document_; }

  // The attribute list of a Class element: its attributes other than "name"
  // as name="value" pairs with one space between them; "value" is appended
  // verbatim and "_value" as an attribute called value.
  static std::wstring ClassAttributeList(const MarkupNode& node);

 private:
  bool Load(const std::wstring& skin);
  Control* Build(Window* window, Box* parent, Box* user_defined_box);
  // Builds the children of |node| under |parent| (which may be nullptr, or a
  // control that is not a box). Answers the first control made.
  Control* Parse(const MarkupNode& node, Control* parent, Window* window);
  // The control for one element name, from the factory table and then the
  // callbacks; nullptr for names nobody knows.
  Control* MakeControl(const wchar_t* name);
  void ApplyGlobalRoot(const MarkupNode& root);
  void ApplyWindowAttributes(const MarkupNode& root, Window* window);
  static void AttachMarkupEvents(const MarkupNode& node, Control* control, bool bubbled);

  MarkupDocument document_;
  CreateControlCallback callback_;
};

}  // namespace ui
