// MakeSkinDocument: a deterministic, skin-like UTF-8 document for the markup
// benchmarks. Window > boxes nested up to four deep > labels and buttons with
// 3 to 8 attributes, entities in values and text, comments, some Chinese
// text. Plain C++ so the Windows benchmark and the native baseline generate
// the same bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace bench {

class SkinDocumentWriter {
 public:
  explicit SkinDocumentWriter(size_t target_bytes) : target_(target_bytes) {}

  std::string Make() {
    out_.reserve(target_ + 4096);
    out_ += "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n";
    out_ += "<!-- generated skin for the markup benchmark -->\n";
    out_ +=
        "<Window size=\"800,600\" caption=\"0,0,0,36\" roundcorner=\"4,4\" "
        "shadowattached=\"true\">\n";
    int page = 0;
    while (out_.size() < target_) Box(1, page++);
    out_ += "</Window>\n";
    return out_;
  }

 private:
  uint32_t Next() {
    seed_ = seed_ * 1664525u + 1013904223u;
    return seed_ >> 8;
  }
  int Between(int low, int high) { return low + static_cast<int>(Next() % (high - low + 1)); }
  void Indent(int depth) { out_.append(static_cast<size_t>(depth) * 2, ' '); }
  void Attr(const char* name, const std::string& value) {
    out_ += ' ';
    out_ += name;
    out_ += "=\"";
    out_ += value;
    out_ += '"';
  }

  void Box(int depth, int page) {
    static const char* const kBoxes[] = {"VBox", "HBox", "Box", "TabBox"};
    const char* kind = kBoxes[Next() % 4];
    Indent(depth);
    out_ += '<';
    out_ += kind;
    Attr("name", "box_" + std::to_string(page) + "_" + std::to_string(depth));
    Attr("width", Next() % 3 == 0 ? "stretch" : std::to_string(Between(40, 800)));
    Attr("height", Next() % 2 == 0 ? "auto" : std::to_string(Between(20, 600)));
    if (Next() % 2 == 0) Attr("padding", "10,8,10,8");
    if (Next() % 3 == 0) Attr("bkcolor", "bk_wnd_lightcolor");
    out_ += ">\n";
    if (Next() % 4 == 0) {
      Indent(depth + 1);
      out_ += "<!-- section " + std::to_string(page) + " -->\n";
    }
    const int children = Between(2, 7);
    for (int i = 0; i < children; ++i) {
      const uint32_t pick = Next() % 10;
      if (pick < 2 && depth < 4) {
        Box(depth + 1, page);
      } else if (pick < 6) {
        Label(depth + 1, page * 10 + i);
      } else {
        Button(depth + 1, page * 10 + i);
      }
    }
    Indent(depth);
    out_ += "</";
    out_ += kind;
    out_ += ">\n";
  }

  void Control(int depth, const char* element, int id) {
    Indent(depth);
    out_ += '<';
    out_ += element;
    const int attributes = Between(3, 8);
    Attr("name", std::string(element[0] == 'L' ? "lb_" : "btn_") + std::to_string(id));
    Attr("text",
         Next() % 3 == 0
             ? "\xE5\xAE\x89\xE8\xA3\x85 &amp; \xE5\x90\xAF\xE5\x8A\xA8 " + std::to_string(id)
             : "Install &quot;Fernwick&quot; &lt;" + std::to_string(id) + "&gt;");
    static const char* const kExtra[][2] = {
        {"font", "2"},
        {"normaltextcolor", "textdefaultcolor"},
        {"width", "auto"},
        {"height", "32"},
        {"margin", "0,10,0,0"},
        {"align", "center"},
        {"normalimage",
         "file='../public/button/btn_global_blue_80x30_normal.png' corner='4,4,4,4'"},
        {"tooltiptext", "Opens the folder &apos;downloads&apos;"},
        {"cursortype", "hand"},
    };
    for (int i = 2; i < attributes; ++i) {
      const auto& pair = kExtra[Next() % (sizeof(kExtra) / sizeof(kExtra[0]))];
      Attr(pair[0], pair[1]);
    }
    if (Next() % 5 == 0) {
      out_ += ">caption &amp; text</";
      out_ += element;
      out_ += ">\n";
    } else {
      out_ += "/>\n";
    }
  }
  void Label(int depth, int id) { Control(depth, "Label", id); }
  void Button(int depth, int id) { Control(depth, "Button", id); }

  size_t target_;
  uint32_t seed_ = 12345;
  std::string out_;
};

inline std::string MakeSkinDocument(size_t target_bytes) {
  return SkinDocumentWriter(target_bytes).Make();
}

// Median of a small sample (sorted copy).
template <typename T>
T Median(T* values, size_t count) {
  for (size_t i = 1; i < count; ++i) {
    for (size_t j = i; j > 0 && values[j] < values[j - 1]; --j) {
      T t = values[j];
      values[j] = values[j - 1];
      values[j - 1] = t;
    }
  }
  return count % 2 ? values[count / 2] : (values[count / 2 - 1] + values[count / 2]) / 2;
}

}  // namespace bench
