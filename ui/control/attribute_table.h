// AttributeTable: the attribute names a control class handles itself, each
// with the setter that reads its value, looked up by binary search. A class's
// SetAttribute applies its table and passes names the table lacks to its
// base class, so a derived table overrides a base entry of the same name.
//
// Tables are built once, on first use, as function-local statics (the
// controls' SetAttribute runs thousands of times while a skin loads). A built
// table is immutable and may be read from any thread; the setters run on the
// control's UI thread like any attribute.
//
// The value-kind setters below turn one member setter into a table entry:
// SwitchAttribute<Control, &Control::SetEnabled> reads "true" as on.
#pragma once

#include <algorithm>
#include <initializer_list>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "base/check.h"
#include "ui/control/attribute_parsing.h"

namespace ui {

template <typename T>
class AttributeTable {
 public:
  using Setter = void (*)(T& target, const std::wstring& value);
  struct Entry {
    std::wstring_view name;
    Setter set;
  };

  AttributeTable(std::initializer_list<Entry> entries) : entries_(entries) {
    std::sort(entries_.begin(), entries_.end(),
              [](const Entry& a, const Entry& b) { return a.name < b.name; });
    // A name given twice would leave the winner to the sort.
    CBASE_DCHECK(
        std::adjacent_find(entries_.begin(), entries_.end(), [](const Entry& a, const Entry& b) {
          return a.name == b.name;
        }) == entries_.end());
  }

  // Runs the setter of |name| on |target|; false when the table lacks the
  // name. Names match exactly (case and every character, embedded NULs too).
  bool Apply(T& target, const std::wstring& name, const std::wstring& value) const {
    const std::wstring_view key(name);
    const auto it =
        std::lower_bound(entries_.begin(), entries_.end(), key,
                         [](const Entry& entry, std::wstring_view k) { return entry.name < k; });
    if (it == entries_.end() || it->name != key) return false;
    it->set(target, value);
    return true;
  }

 private:
  std::vector<Entry> entries_;  // sorted by name
};

// --- Value kinds ---
// Set is a member setter of T (or of a base of T), called with the value
// read; the switch and text kinds also take a data member, which is assigned.

namespace attribute_internal {

template <auto Set, typename T, typename V>
void Assign(T& target, V&& value) {
  if constexpr (std::is_member_function_pointer_v<decltype(Set)>) {
    (target.*Set)(std::forward<V>(value));
  } else {
    target.*Set = std::forward<V>(value);
  }
}

}  // namespace attribute_internal

// On only for "true".
template <typename T, auto Set>
void SwitchAttribute(T& target, const std::wstring& value) {
  attribute_internal::Assign<Set>(target, ParseSwitch(value));
}

// The value as written: colour names, image strings, names and ids.
template <typename T, auto Set>
void TextAttribute(T& target, const std::wstring& value) {
  attribute_internal::Assign<Set>(target, value);
}

// The leading integer, 0 when there is none.
template <typename T, auto Set>
void IntAttribute(T& target, const std::wstring& value) {
  (target.*Set)(ParseInt(value.c_str()));
}

// A skin length scaled to the display (the setter's second argument).
template <typename T, auto Set>
void ScaledIntAttribute(T& target, const std::wstring& value) {
  (target.*Set)(ParseInt(value.c_str()), true);
}

// "l,t,r,b" scaled to the display (the setter's second argument).
template <typename T, auto Set>
void ScaledRectAttribute(T& target, const std::wstring& value) {
  (target.*Set)(ParseRect(value), true);
}

// "cx,cy".
template <typename T, auto Set>
void SizeAttribute(T& target, const std::wstring& value) {
  (target.*Set)(ParseSize(value));
}

// "x,y".
template <typename T, auto Set>
void PointAttribute(T& target, const std::wstring& value) {
  (target.*Set)(ParsePoint(value));
}

}  // namespace ui
