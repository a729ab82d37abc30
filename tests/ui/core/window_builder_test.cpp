// The window builder over markup text, files on disk and a resource archive,
// and the application's own skins.
#include "ui/core/window_builder.h"

#include <windows.h>

#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <typeinfo>
#include <vector>

#include "tests/support/scoped_temp_dir.h"
#include "tests/support/stored_zip.h"
#include "ui/control/box.h"
#include "ui/control/button.h"
#include "ui/control/check_box.h"
#include "ui/control/child_box.h"
#include "ui/control/label.h"
#include "ui/control/option.h"
#include "ui/control/progress.h"
#include "ui/control/tab_box.h"
#include "ui/core/global_manager.h"
#include "ui/core/window.h"

namespace ui {
namespace {

using testing_support::MakeStoredZip;
using testing_support::ScopedTempDir;
using testing_support::WriteBytes;

class WindowBuilderTest : public ::testing::Test {
 protected:
  void TearDown() override {
    GlobalManager::Shutdown();
    GlobalManager::SetDefaultTextColor(L"textdefaultcolor");
    GlobalManager::SetDefaultDisabledTextColor(L"textdefaultdisablecolor");
  }
};

// Counts the controls made for it that are later deleted.
class Tracked : public Control {
 public:
  explicit Tracked(int* deleted) : deleted_(deleted) {}
  ~Tracked() override { ++*deleted_; }

 private:
  int* deleted_;
};

std::wstring Utf8(const std::string& text) {
  std::wstring wide(text.size(), L'\0');
  wide.resize(::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                    wide.data(), static_cast<int>(wide.size())));
  return wide;
}

TEST_F(WindowBuilderTest, GlobalRootFeedsFontsColoursAndClasses) {
  WindowBuilder builder;
  Control* control = builder.Create(
      LR"(<Global defaultfontcolor="ink" disabledfontcolor="ghost"
                                       linkfontcolor="x">
      <Font id="big" name="Arial" size="20" bold="true" default="true"/>
      <Font name="Arial"/>
      <Font id="nameless"/>
      <Font id="bad_size" name="Arial" size="large"/>
      <TextColor name="ink" value="#ff102030"/>
      <TextColor value="#ff000000"/>
      <Class name="a" bkcolor="white" _value="1"/>
      <Class name="b" value="width=&quot;5&quot;" height="6"/>
      <Image name="ignored"/>
      <Control name="not_a_resource"/>
    </Global>)");
  // After the resources, the other children are built like any layout's.
  ASSERT_NE(control, nullptr);
  EXPECT_EQ(control->GetName(), L"not_a_resource");
  delete control;
  EXPECT_EQ(GlobalManager::GetDefaultTextColor(), L"ink");
  EXPECT_EQ(GlobalManager::GetDefaultDisabledTextColor(), L"ghost");
  EXPECT_EQ(GlobalManager::GetDefaultFontId(), L"big");
  const FontInfo* big = GlobalManager::GetFontInfo(L"big");
  ASSERT_NE(big, nullptr);
  EXPECT_EQ(big->size, 20);
  EXPECT_TRUE(big->bold);
  // A font without an id takes the count of fonts before it; one without a
  // name is not made.
  ASSERT_NE(GlobalManager::GetFontInfo(L"1"), nullptr);
  EXPECT_EQ(GlobalManager::GetFontInfo(L"1")->size, 12);
  EXPECT_EQ(GlobalManager::GetFontInfo(L"nameless"), nullptr);
  // A size that is not a number keeps the default.
  ASSERT_NE(GlobalManager::GetFontInfo(L"bad_size"), nullptr);
  EXPECT_EQ(GlobalManager::GetFontInfo(L"bad_size")->size, 12);
  EXPECT_EQ(GlobalManager::GetTextColor(L"ink"), 0xff102030u);
  EXPECT_EQ(GlobalManager::GetClassAttributes(L"a"), L"bkcolor=\"white\" value=\"1\"");
  EXPECT_EQ(GlobalManager::GetClassAttributes(L"b"), L"width=\"5\" height=\"6\"");
}

TEST_F(WindowBuilderTest, WindowRootWithoutNativeWindowStoresClassesAndBuildsTheTree) {
  Window window;
  WindowBuilder builder;
  Control* root = builder.Create(
      LR"(<Window size="300,200" caption="0,0,0,30">
      <Font id="ignored" name="Arial"/>
      <Class name="wide" width="77"/>
      <VBox name="root">
        <Control name="child" class="wide"/>
      </VBox>
    </Window>)",
      nullptr, &window);
  ASSERT_NE(root, nullptr);
  window.AttachRoot(root);
  // No native window: no window attributes, but the classes are there.
  EXPECT_EQ(window.GetInitialSize().cx, 0);
  EXPECT_EQ(window.GetCaptionRect().bottom, 0);
  EXPECT_EQ(GlobalManager::GetFontInfo(L"ignored"), nullptr);
  EXPECT_EQ(window.GetClassAttributes(L"wide"), L"width=\"77\"");
  EXPECT_EQ(window.FindControlByName(L"child")->GetFixedWidth(), 77);
  EXPECT_EQ(window.FindControlByName(L"root"), root);
}

TEST_F(WindowBuilderTest, FactoryTableAndCreateControlCallbacks) {
  std::vector<std::wstring> asked;
  int deleted = 0;
  WindowBuilder builder;
  Control* root = builder.Create(
      LR"(<Window><VBox>
        <Control/><Box/><HBox/><VBox/><TabBox/><TileBox/><ChildBox/>
        <Label/><LabelBox/><Button/><ButtonBox/><Option/><OptionBox/>
        <CheckBox/><CheckBoxBox/><Progress/>
        <Combo><Control/></Combo><TreeView/><Slider/>
        <QRCode name="qr"><Control/></QRCode>
        <Tracked/>
      </VBox></Window>)",
      [&](const std::wstring& name) -> Control* {
        asked.push_back(name);
        if (name == L"QRCode") return new Box();
        if (name == L"Tracked") return new Tracked(&deleted);
        return nullptr;
      });
  ASSERT_NE(root, nullptr);
  auto* box = dynamic_cast<VBox*>(root);
  ASSERT_NE(box, nullptr);
  ASSERT_EQ(box->ChildCount(), 18);
  EXPECT_EQ(typeid(*box->ChildAt(0)), typeid(Control));
  EXPECT_EQ(typeid(*box->ChildAt(1)), typeid(Box));
  EXPECT_EQ(typeid(*box->ChildAt(2)), typeid(HBox));
  EXPECT_EQ(typeid(*box->ChildAt(3)), typeid(VBox));
  EXPECT_EQ(typeid(*box->ChildAt(4)), typeid(TabBox));
  EXPECT_EQ(typeid(*box->ChildAt(5)), typeid(TileBox));
  EXPECT_EQ(typeid(*box->ChildAt(6)), typeid(ChildBox));
  EXPECT_EQ(typeid(*box->ChildAt(7)), typeid(Label));
  EXPECT_EQ(typeid(*box->ChildAt(8)), typeid(LabelBox));
  EXPECT_EQ(typeid(*box->ChildAt(9)), typeid(Button));
  EXPECT_EQ(typeid(*box->ChildAt(10)), typeid(ButtonBox));
  EXPECT_EQ(typeid(*box->ChildAt(11)), typeid(Option));
  EXPECT_EQ(typeid(*box->ChildAt(12)), typeid(OptionBox));
  EXPECT_EQ(typeid(*box->ChildAt(13)), typeid(CheckBox));
  EXPECT_EQ(typeid(*box->ChildAt(14)), typeid(CheckBoxBox));
  EXPECT_EQ(typeid(*box->ChildAt(15)), typeid(Progress));
  // The custom element and its child came from the callback.
  auto* qr = dynamic_cast<Box*>(box->ChildAt(16));
  ASSERT_NE(qr, nullptr);
  EXPECT_EQ(qr->GetName(), L"qr");
  EXPECT_EQ(qr->ChildCount(), 1);
  EXPECT_EQ(asked,
            (std::vector<std::wstring>{L"Combo", L"TreeView", L"Slider", L"QRCode", L"Tracked"}));
  delete root;
  EXPECT_EQ(deleted, 1);

  // The global callback is asked before the builder's.
  GlobalManager::SetGlobalCreateControlCallback([](const std::wstring& name) -> Control* {
    return name == L"QRCode" ? new Label() : nullptr;
  });
  WindowBuilder second;
  Control* made = second.Create(L"<Window><QRCode/></Window>",
                                [](const std::wstring&) -> Control* { return new Box(); });
  EXPECT_NE(dynamic_cast<Label*>(made), nullptr);
  delete made;
  // Without any callback, an unknown element and its subtree are skipped.
  GlobalManager::SetGlobalCreateControlCallback(nullptr);
  WindowBuilder third;
  EXPECT_EQ(third.Create(L"<Window><QRCode><Control/></QRCode></Window>"), nullptr);
}

TEST_F(WindowBuilderTest, AttributesApplyInOrderBeforeTheParentAndChildrenExist) {
  std::vector<std::pair<Box*, int>> seen;
  class Probe : public Control {
   public:
    explicit Probe(std::vector<std::pair<Box*, int>>* seen) : seen_(seen) {}
    void SetAttribute(const std::wstring& name, const std::wstring& value) override {
      seen_->push_back({GetParent(), static_cast<int>(value.size())});
      Control::SetAttribute(name, value);
    }

   private:
    std::vector<std::pair<Box*, int>>* seen_;
  };
  WindowBuilder builder;
  Control* root =
      builder.Create(L"<Window><HBox><Probe a=\"1\" b=\"22\" width=\"333\"/></HBox></Window>",
                     [&](const std::wstring& name) -> Control* {
                       return name == L"Probe" ? new Probe(&seen) : nullptr;
                     });
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(seen, (std::vector<std::pair<Box*, int>>{{nullptr, 1}, {nullptr, 2}, {nullptr, 3}}));
  EXPECT_EQ(static_cast<Box*>(root)->ChildAt(0)->GetFixedWidth(), 333);
  delete root;
}

TEST_F(WindowBuilderTest, ChildrenOfAControlThatIsNotABoxAreDroppedWithIt) {
  WindowBuilder builder;
  Control* root = builder.Create(
      L"<Window><VBox><Label name=\"l\"><Control/></Label><Control name=\"after\"/></VBox>"
      L"</Window>");
  ASSERT_NE(root, nullptr);
  auto* box = static_cast<Box*>(root);
  // The label's child could not be added: the label's children stop there,
  // but the label itself and its siblings are kept.
  ASSERT_EQ(box->ChildCount(), 2);
  EXPECT_EQ(box->ChildAt(0)->GetName(), L"l");
  EXPECT_EQ(box->ChildAt(1)->GetName(), L"after");
  delete root;
}

TEST_F(WindowBuilderTest, OnlyTheFirstTopLevelControlIsKeptWithoutAParent) {
  int deleted = 0;
  WindowBuilder builder;
  Control* first =
      builder.Create(L"<Window><Tracked/><Tracked/><Tracked/></Window>",
                     [&](const std::wstring&) -> Control* { return new Tracked(&deleted); });
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(deleted, 2);
  delete first;
  EXPECT_EQ(deleted, 3);
}

TEST_F(WindowBuilderTest, UserDefinedBoxTakesTheFirstElementsAttributesAndChildren) {
  VBox box;
  WindowBuilder builder;
  Control* result = builder.Create(
      L"<Window><Class name=\"c\"/><HBox name=\"outer\" width=\"40\"><Control/><Control/></HBox>"
      L"<Control name=\"ignored\"/></Window>",
      nullptr, nullptr, nullptr, &box);
  EXPECT_EQ(result, &box);
  EXPECT_EQ(box.GetName(), L"outer");
  EXPECT_EQ(box.GetFixedWidth(), 40);
  EXPECT_EQ(box.ChildCount(), 2);
}

TEST_F(WindowBuilderTest, EventsAttachOneHandlerPerTypeAndReceiver) {
  Window window;
  WindowBuilder builder;
  Control* root = builder.Create(
      LR"(<Window><VBox>
        <ButtonBox name="source">
          <Control name="inner"/>
          <Event type="mouseenter  mouseleave" receiver="a ./inner"
                 applyattribute="bkcolor=&quot;red&quot;"/>
          <BubbledEvent type="keydown" receiver="b" applyattribute="bkcolor=&quot;blue&quot;"/>
        </ButtonBox>
        <Control name="leaf">
          <BubbledEvent type="keydown" receiver="b" applyattribute="width=&quot;9&quot;"/>
        </Control>
        <Control name="a"/><Control name="b"/>
        <Control name="lonely"><Event type="mouseenter" applyattribute="width=&quot;9&quot;"/></Control>
      </VBox></Window>)",
      nullptr, &window);
  ASSERT_NE(root, nullptr);
  window.AttachRoot(root);
  Control* source = window.FindControlByName(L"source");
  Control* a = window.FindControlByName(L"a");
  Control* inner = window.FindControlByName(L"inner");
  Control* b = window.FindControlByName(L"b");

  source->SendEvent(kEventMouseEnter);
  EXPECT_EQ(a->GetBkColor(), L"red");
  EXPECT_EQ(inner->GetBkColor(), L"red");
  a->SetBkColor(L"");
  inner->SetBkColor(L"");
  source->SendEvent(kEventMouseLeave);
  EXPECT_EQ(a->GetBkColor(), L"red");
  EXPECT_EQ(inner->GetBkColor(), L"red");

  // The bubbled reaction runs for events of the box's descendants too.
  inner->SendEvent(kEventKeyDown);
  EXPECT_EQ(b->GetBkColor(), L"blue");
  // A plain control has no bubbled table: its BubbledEvent is dropped.
  window.FindControlByName(L"leaf")->SendEvent(kEventKeyDown);
  EXPECT_NE(b->GetFixedWidth(), 9);
  // No receiver, nothing attached.
  window.FindControlByName(L"lonely")->SendEvent(kEventMouseEnter);
  EXPECT_NE(window.FindControlByName(L"lonely")->GetFixedWidth(), 9);
}

class SkinFolderTest : public WindowBuilderTest {
 protected:
  void SetUp() override { GlobalManager::SetResourcePath(dir_.path()); }
  void Write(const std::wstring& name, const std::string& text) {
    ASSERT_TRUE(WriteBytes(dir_.Child(name), text));
  }
  ScopedTempDir dir_;
};

TEST_F(SkinFolderTest, IncludeAddsTheIncludedControlsCountTimesInOrder) {
  Write(L"row.xml", "<Window><Label text=\"row\"/><Control name=\"second\"/></Window>");
  Write(L"self.xml", "<Window><Control/><Include source=\"self.xml\"/></Window>");
  WindowBuilder builder;
  Control* root = builder.Create(
      L"<Window><VBox><Control name=\"head\"/><Include source=\"row.xml\" count=\"3\"/>"
      L"<Include count=\"2\"/><Include source=\"row.xml\" count=\"many\"/>"
      L"<Control name=\"tail\"/></VBox></Window>");
  ASSERT_NE(root, nullptr);
  auto* box = static_cast<Box*>(root);
  // Each nested build keeps its file's first control only when there is no
  // parent; with one, all of them are added.
  // A count that is not a number includes the file once.
  ASSERT_EQ(box->ChildCount(), 1 + 4 * 2 + 1);
  EXPECT_EQ(box->ChildAt(0)->GetName(), L"head");
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(static_cast<Label*>(box->ChildAt(1 + 2 * i))->GetText(), L"row");
    EXPECT_EQ(box->ChildAt(2 + 2 * i)->GetName(), L"second");
  }
  EXPECT_EQ(box->ChildAt(9)->GetName(), L"tail");
  delete root;

  // A file that includes itself stops at a fixed depth.
  WindowBuilder nested;
  Control* self = nested.Create(L"<Window><VBox><Include source=\"self.xml\"/></VBox></Window>");
  ASSERT_NE(self, nullptr);
  EXPECT_EQ(static_cast<Box*>(self)->ChildCount(), 16);
  delete self;
}

TEST_F(SkinFolderTest, FilesLoadFromDiskAndFromTheArchiveWithOrWithoutAByteOrderMark) {
  Write(L"plain.xml", "<Window><Control name=\"disk\"/></Window>");
  Write(L"bom.xml", "\xEF\xBB\xBF<Window><Control name=\"disk_bom\"/></Window>");
  WindowBuilder builder;
  Control* control = builder.Create(L"plain.xml");
  ASSERT_NE(control, nullptr);
  EXPECT_EQ(control->GetName(), L"disk");
  delete control;
  // A byte-order mark is dropped, from disk as from the archive.
  control = builder.Create(L"bom.xml");
  ASSERT_NE(control, nullptr);
  EXPECT_EQ(control->GetName(), L"disk_bom");
  delete control;

  const std::string zip = MakeStoredZip({
      {"skin/plain.xml", "<Window><Control name=\"zip\"/></Window>"},
      {"skin/bom.xml", "\xEF\xBB\xBF<Window><Control name=\"zip_bom\"/></Window>"},
      {"skin/broken.xml", "<Window><Control></Window>"},
  });
  ASSERT_TRUE(GlobalManager::OpenResourceArchive(zip.data(), zip.size()));
  GlobalManager::SetResourcePath(L"skin");
  control = builder.Create(L"plain.xml");
  ASSERT_NE(control, nullptr);
  EXPECT_EQ(control->GetName(), L"zip");
  delete control;
  control = builder.Create(L"bom.xml");
  ASSERT_NE(control, nullptr);
  EXPECT_EQ(control->GetName(), L"zip_bom");
  delete control;
  EXPECT_EQ(builder.Create(L"broken.xml"), nullptr);
  // A member the archive lacks is read from disk.
  GlobalManager::SetResourcePath(dir_.path());
  control = builder.Create(L"plain.xml");
  ASSERT_NE(control, nullptr);
  EXPECT_EQ(control->GetName(), L"disk");
  delete control;
  EXPECT_EQ(builder.Create(L"absent.xml"), nullptr);
  EXPECT_EQ(builder.Create(L""), nullptr);
}

TEST_F(SkinFolderTest, ChildBoxesBuildTheirLayoutFromTheCache) {
  Write(L"child.xml", "<Window><HBox name=\"content\"><Label text=\"x\"/></HBox></Window>");
  Write(L"loop.xml", "<Window><ChildBox xmlfile=\"loop.xml\"/></Window>");
  Window window;
  WindowBuilder builder;
  Control* root = builder.Create(
      L"<Window><VBox><ChildBox name=\"one\" xmlfile=\"child.xml\"/>"
      L"<ChildBox name=\"two\" xmlfile=\"child.xml\"/></VBox></Window>",
      nullptr, &window);
  ASSERT_NE(root, nullptr);
  window.AttachRoot(root);
  EXPECT_TRUE(GlobalManager::IsLayoutCached(L"child.xml"));
  for (const wchar_t* name : {L"one", L"two"}) {
    auto* child_box = dynamic_cast<ChildBox*>(window.FindControlByName(name));
    ASSERT_NE(child_box, nullptr);
    ASSERT_EQ(child_box->ChildCount(), 1);
    EXPECT_EQ(child_box->ChildAt(0)->GetName(), L"content");
  }
  EXPECT_NE(window.FindControlByName(L"one")->GetWindow(), nullptr);

  // The cached document serves later boxes even once the file is gone.
  ASSERT_TRUE(::DeleteFileW(dir_.Child(L"child.xml").c_str()));
  Control* again = GlobalManager::CreateBoxWithCache(L"child.xml", nullptr);
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(again->GetName(), L"content");
  delete again;
  EXPECT_EQ(GlobalManager::CreateBoxWithCache(L"missing.xml", nullptr), nullptr);
  EXPECT_FALSE(GlobalManager::IsLayoutCached(L"missing.xml"));

  // A layout that shows itself ends instead of recursing for ever.
  Control* loop = GlobalManager::CreateBoxWithCache(L"loop.xml", nullptr);
  ASSERT_NE(loop, nullptr);
  EXPECT_EQ(static_cast<Box*>(loop)->ChildCount(), 0);
  delete loop;
}

// The assistant's own skins, from the resources folder and from the packed
// archive, build with the controls the application looks up.
class ApplicationSkinTest : public WindowBuilderTest, public ::testing::WithParamInterface<bool> {
 protected:
  static std::wstring TestFolder() {
    wchar_t path[MAX_PATH];
    const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    return folder.substr(0, folder.find_last_of(L"\\/") + 1) + L"app_skins\\";
  }

  void SetUp() override {
    if (GetParam()) {
      HANDLE file = ::CreateFileW((TestFolder() + L"theme.zip").c_str(), GENERIC_READ,
                                  FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
      ASSERT_NE(file, INVALID_HANDLE_VALUE);
      zip_.resize(::GetFileSize(file, nullptr));
      DWORD read = 0;
      ::ReadFile(file, zip_.data(), static_cast<DWORD>(zip_.size()), &read, nullptr);
      ::CloseHandle(file);
      ASSERT_TRUE(GlobalManager::OpenResourceArchive(zip_.data(), zip_.size()));
      GlobalManager::SetResourcePath(L"resources/themes/default");
    } else {
      GlobalManager::SetResourcePath(TestFolder() + L"resources\\themes\\default");
    }
  }

  std::string zip_;
};

TEST_P(ApplicationSkinTest, GlobalBasicAndToastBuild) {
  WindowBuilder global;
  EXPECT_EQ(global.Create(L"global.xml"), nullptr);
  EXPECT_EQ(GlobalManager::GetDefaultFontId(), L"system_12");
  EXPECT_EQ(GlobalManager::GetTextColor(L"primary"), 0xff14a37au);
  EXPECT_FALSE(GlobalManager::GetClassAttributes(L"btn_primary").empty());
  EXPECT_FALSE(GlobalManager::GetClassAttributes(L"vscrollbar").empty());

  std::vector<std::wstring> custom;
  Window window;
  WindowBuilder basic;
  Control* root = basic.Create(
      L"basic/basic.xml",
      [&](const std::wstring& name) -> Control* {
        custom.push_back(name);
        return name == L"QRCode" ? new Control() : nullptr;
      },
      &window);
  ASSERT_NE(root, nullptr);
  window.AttachRoot(root);
  for (const wchar_t* name : {L"btn_close",
                              L"pages",
                              L"p1_lb_name",
                              L"p1_et_location",
                              L"p1_lb_intro",
                              L"p1_lb_fullname",
                              L"ok1",
                              L"p3_support",
                              L"p3_install_tutorial",
                              L"p3_install_tutorial_text",
                              L"p3_install_launch",
                              L"p3_install_launch_text",
                              L"p3_dir",
                              L"p3_dir_text",
                              L"install",
                              L"install_close",
                              L"install_lb_status",
                              L"install_progress",
                              L"support",
                              L"support_close",
                              L"support_qr",
                              L"support_qq_link",
                              L"support_qq",
                              L"support_ok"}) {
    EXPECT_NE(window.FindControlByName(name), nullptr) << std::string(name, name + wcslen(name));
  }
  EXPECT_NE(dynamic_cast<TabBox*>(window.FindControlByName(L"pages")), nullptr);
  EXPECT_NE(dynamic_cast<Progress*>(window.FindControlByName(L"install_progress")), nullptr);
  EXPECT_NE(dynamic_cast<Button*>(window.FindControlByName(L"ok1")), nullptr);
  EXPECT_EQ(static_cast<Label*>(window.FindControlByName(L"p1_lb_fullname"))->GetText(),
            Utf8("{product} \xE5\xAE\x98\xE6\x96\xB9\xE4\xB8\xAD\xE6\x96\x87\xE7\x89\x88"));
  // The class applied: the primary button is green.
  EXPECT_EQ(window.FindControlByName(L"ok1")->GetBkColor(), L"primary");
  EXPECT_NE(std::find(custom.begin(), custom.end(), L"QRCode"), custom.end());
  // The markup events of the folder link recolour its label.
  Control* link = window.FindControlByName(L"p3_dir");
  link->SendEvent(kEventMouseEnter);
  EXPECT_EQ(static_cast<Label*>(window.FindControlByName(L"p3_dir_text"))
                ->GetStateTextColor(kControlStateNormal),
            L"blue");

  Window toast_window;
  WindowBuilder toast;
  Control* toast_root = toast.Create(L"toast/toast.xml", nullptr, &toast_window);
  ASSERT_NE(toast_root, nullptr);
  toast_window.AttachRoot(toast_root);
  EXPECT_NE(dynamic_cast<Box*>(toast_root), nullptr);
  EXPECT_NE(toast_window.FindControlByName(L"content"), nullptr);
}

INSTANTIATE_TEST_SUITE_P(FromFolderAndArchive, ApplicationSkinTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return info.param ? std::string("Archive") : std::string("Folder");
                         });

}  // namespace
}  // namespace ui
