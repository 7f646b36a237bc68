#include <gtest/gtest.h>

#include <string>

#include "UIBuilder.h"
#include "UIManager.h"
#include "UIText.h"

using namespace VantorUI;

namespace {

std::vector<uint8_t> bytesOf(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

// Builds `body` inside a Window element, attaches it and lays it out.
struct Built {
  CManagerUI manager;
  std::string error;
  bool ok = false;

  Built(const std::string& windowAttrs, const std::string& body, int width, int height,
        IDialogBuilderCallback* callback = nullptr) {
    CDialogBuilder builder;
    auto root =
        builder.CreateFromBytes(bytesOf("<Window " + windowAttrs + ">" + body + "</Window>"), callback, &manager);
    error = builder.GetLastErrorText();
    ok = manager.AttachDialog(std::move(root));
    if (ok) manager.SetClientSize(width, height);
  }
  UIRect pos(const wchar_t* name) {
    CControlUI* c = manager.FindControl(name);
    return c ? c->GetPos() : UIRect{-1, -1, -1, -1};
  }
};

struct LayoutCase {
  const char* what;
  const char* body;
  int width, height;
  const wchar_t* name;
  UIRect expected;
};

}  // namespace

TEST(LayoutTest, SizingRules) {
  const LayoutCase cases[] = {
      {"pos then width and height",
       "<VerticalLayout><Progress name='p' float='true' pos='320,320,0,0' height='13' width='530'/></VerticalLayout>",
       960,
       620,
       L"p",
       {320, 320, 850, 333}},
      {"width and height before pos lose to it",
       "<VerticalLayout><Label name='l' float='true' width='530' height='13' pos='10,20,30,60'/></VerticalLayout>",
       960,
       620,
       L"l",
       {10, 20, 30, 60}},
      {"float from the far edges",
       "<VerticalLayout><Button name='b' float='true' pos='-30,-40,-6,-16'/></VerticalLayout>",
       400,
       300,
       L"b",
       {370, 260, 394, 284}},
      {"float button in the caption",
       "<VerticalLayout><Button name='b' float='true' pos='902,6,926,30'/></VerticalLayout>",
       960,
       620,
       L"b",
       {902, 6, 926, 30}},
      {"label between two spacers",
       "<HorizontalLayout><Control width='10'/><Label name='l'/><Control width='10'/></HorizontalLayout>",
       420,
       28,
       L"l",
       {10, 0, 410, 28}},
      {"fixed height in a column",
       "<VerticalLayout><VerticalLayout name='top' height='134'/><HorizontalLayout height='28'/><VerticalLayout "
       "name='rest'/></VerticalLayout>",
       440,
       260,
       L"rest",
       {0, 162, 440, 260}},
      {"remaining height shared equally, remainder left empty",
       "<VerticalLayout><Control/><Control name='second'/><Control/></VerticalLayout>",
       100,
       100,
       L"second",
       {0, 33, 100, 66}},
      {"fixed width sits at the left edge",
       "<VerticalLayout><Control name='c' width='50' height='20'/></VerticalLayout>",
       200,
       100,
       L"c",
       {0, 0, 50, 20}},
      {"hidden children take no room",
       "<HorizontalLayout><Control width='100' visible='false'/><Label name='l'/></HorizontalLayout>",
       300,
       20,
       L"l",
       {0, 0, 300, 20}},
      {"padding counts as used space",
       "<HorizontalLayout><Control width='10' padding='5,0,5,0'/><Label name='l' "
       "padding='2,3,4,5'/></HorizontalLayout>",
       100,
       40,
       L"l",
       {22, 3, 96, 35}},
      {"inset shrinks the area",
       "<VerticalLayout inset='10,20,30,40'><Control name='c'/></VerticalLayout>",
       200,
       200,
       L"c",
       {10, 20, 170, 160}},
      {"min and max bound the share",
       "<HorizontalLayout><Control name='c' maxwidth='60'/><Control minwidth='150'/></HorizontalLayout>",
       200,
       10,
       L"c",
       {0, 0, 60, 10}},
      {"fixed sizes larger than the layout leave nothing",
       "<HorizontalLayout><Control width='500'/><Label name='l'/></HorizontalLayout>",
       300,
       20,
       L"l",
       {500, 0, 500, 20}},
      {"float is relative to the container",
       "<VerticalLayout><VerticalLayout height='162'/><VerticalLayout><Button name='ok' float='true' pos='172,46,0,0' "
       "width='96' height='32'/></VerticalLayout></VerticalLayout>",
       440,
       260,
       L"ok",
       {172, 208, 268, 240}},
      {"tab pages fill the tab",
       "<TabLayout><VerticalLayout name='page0'/><VerticalLayout name='page1'/></TabLayout>",
       960,
       620,
       L"page0",
       {0, 0, 960, 620}},
      {"huge numbers are clamped, not overflowed",
       "<HorizontalLayout><Control width='99999999999'/><Control width='99999999999'/><Label "
       "name='l'/></HorizontalLayout>",
       300,
       20,
       L"l",
       {200000, 0, 200000, 20}},
  };
  for (const LayoutCase& c : cases) {
    Built b("size='960,620'", c.body, c.width, c.height);
    ASSERT_TRUE(b.ok) << c.what << ": " << b.error;
    EXPECT_EQ(b.pos(c.name), c.expected) << c.what;
  }
}

TEST(LayoutTest, WindowAttributesAndFonts) {
  Built b(
      "size=\"960,620\" sizebox=\"6,6,6,6\" caption=\"0,0,0,340\" mininfo=\"960,620\" maxinfo=\"960,620\" "
      "showshadow=\"true\" shadowimage=\"shadow.png\" shadowcorner=\"9,9,9,9\"",
      "<Font name='\xE5\xBE\xAE\xE8\xBD\xAF\xE9\x9B\x85\xE9\xBB\x91' size='12' default='true'/>"
      "<Font name='x' size='12' underline='true'/><Font name='y' size='28' bold='true'/>"
      "<VerticalLayout name='verLayout' bkcolor='#FFFFFFFF'/>",
      960, 620);
  ASSERT_TRUE(b.ok) << b.error;
  CManagerUI& m = b.manager;
  EXPECT_EQ(m.GetInitSize().cx, 960);
  EXPECT_EQ(m.GetInitSize().cy, 620);
  EXPECT_EQ(m.GetSizeBox(), (UIRect{6, 6, 6, 6}));
  EXPECT_EQ(m.GetCaptionRect(), (UIRect{0, 0, 0, 340}));
  EXPECT_EQ(m.GetMinInfo().cx, 960);
  EXPECT_EQ(m.GetMaxInfo().cy, 620);
  EXPECT_TRUE(m.GetShadowSettings().show);
  EXPECT_TRUE(m.GetShadowSettings().imageMode);
  EXPECT_EQ(m.GetShadowSettings().image, L"shadow.png");
  EXPECT_EQ(m.GetShadowSettings().corner, (UIRect{9, 9, 9, 9}));
  ASSERT_EQ(m.GetFontCount(), 3);
  EXPECT_EQ(m.GetFont(-1)->face, L"\u5FAE\u8F6F\u96C5\u9ED1");
  EXPECT_TRUE(m.GetFont(1)->underline);
  EXPECT_EQ(m.GetFont(2)->size, 28);
  EXPECT_TRUE(m.GetFont(2)->bold);
  EXPECT_EQ(m.GetFont(7), m.GetFont(0)) << "an unknown font number falls back to the default";
  EXPECT_EQ(m.GetRoot()->GetBkColor(), 0xFFFFFFFFu);
}

TEST(LayoutTest, LaterNameWinsAndTabSelection) {
  Built b("",
          "<VerticalLayout><Label name='labelTip' text='first'/><TabLayout name='tab'>"
          "<VerticalLayout name='p0'/><VerticalLayout name='p1'><Label name='labelTip' text='second'/></VerticalLayout>"
          "</TabLayout></VerticalLayout>",
          100, 100);
  ASSERT_TRUE(b.ok) << b.error;
  EXPECT_EQ(b.manager.FindControl(L"labelTip")->GetText(), L"second");
  EXPECT_EQ(b.manager.FindControl(L"missing"), nullptr);
  auto* tab = static_cast<CTabLayoutUI*>(b.manager.FindControl(L"tab"));
  ASSERT_EQ(tab->GetClass(), L"TabLayoutUI");
  EXPECT_EQ(tab->GetCurSel(), 0);
  EXPECT_TRUE(b.manager.FindControl(L"p0")->IsVisible());
  EXPECT_FALSE(b.manager.FindControl(L"p1")->IsVisible());
  EXPECT_TRUE(tab->SelectItem(1));
  EXPECT_FALSE(b.manager.FindControl(L"p0")->IsVisible());
  EXPECT_TRUE(b.manager.FindControl(L"p1")->IsVisible());
  EXPECT_FALSE(tab->SelectItem(2));
  EXPECT_EQ(tab->GetCurSel(), 1);
}

TEST(LayoutTest, HiddenContainersHideWhatTheyHold) {
  Built b("",
          "<TabLayout name='tab'><VerticalLayout><HorizontalLayout><Label name='deep'/></HorizontalLayout>"
          "</VerticalLayout><VerticalLayout><Label name='other'/></VerticalLayout></TabLayout>",
          100, 100);
  ASSERT_TRUE(b.ok) << b.error;
  CControlUI* deep = b.manager.FindControl(L"deep");
  CControlUI* other = b.manager.FindControl(L"other");
  EXPECT_TRUE(deep->IsInternVisible());
  EXPECT_FALSE(other->IsInternVisible());
  auto* tab = static_cast<CTabLayoutUI*>(b.manager.FindControl(L"tab"));
  tab->SelectItem(1);
  EXPECT_FALSE(deep->IsInternVisible());
  EXPECT_TRUE(deep->IsVisible());
  EXPECT_TRUE(other->IsInternVisible());
  tab->SelectItem(0);
  EXPECT_TRUE(deep->IsInternVisible());
  tab->SetVisible(false);
  EXPECT_FALSE(deep->IsInternVisible());
}

TEST(LayoutTest, ProgressValueRules) {
  int repaints = 0;
  Built b("",
          "<VerticalLayout><Progress name='progress' float='true' pos='320,320,0,0' height='13' width='530' "
          "min='0' max='100' value='0'/></VerticalLayout>",
          960, 620);
  ASSERT_TRUE(b.ok) << b.error;
  b.manager.SetInvalidateHook([&](const UIRect&) { ++repaints; });
  auto* bar = static_cast<CProgressUI*>(b.manager.FindControl(L"progress"));
  ASSERT_NE(bar, nullptr);
  struct Step {
    int value;
    bool taken;
    int after;
  } steps[] = {{50, true, 50}, {50, false, 50}, {101, false, 50}, {-1, false, 50}, {100, true, 100}, {0, true, 0}};
  for (const Step& s : steps) {
    repaints = 0;
    EXPECT_EQ(bar->SetValue(s.value), s.taken) << s.value;
    EXPECT_EQ(bar->GetValue(), s.after) << s.value;
    EXPECT_EQ(repaints > 0, s.taken) << "repaint only when the value changes: " << s.value;
  }
  bar->SetAttribute(L"value", L"150");
  EXPECT_EQ(bar->GetValue(), 0) << "the attribute follows the same rule";
  bar->SetValue(50);
  EXPECT_EQ(bar->FilledWidth(530), 265);
  EXPECT_EQ(bar->FilledWidth(0), 0);
  bar->SetMaxValue(0);  // range collapsed: the bar paints as if max were min + 1
  EXPECT_EQ(bar->FilledWidth(530), 530);
}

namespace {

struct Recorder : INotifyUI {
  std::vector<std::pair<std::wstring, std::wstring>> seen;
  void Notify(NotifyRecord& msg) override { seen.emplace_back(msg.sType, msg.pSender ? msg.pSender->GetName() : L""); }
};

}  // namespace

TEST(LayoutTest, ButtonClickRouting) {
  Built b("",
          "<VerticalLayout name='root'><Button name='btnOk' float='true' pos='10,10,50,30'/>"
          "<Label name='label' float='true' pos='60,10,100,30'/></VerticalLayout>",
          200, 100);
  ASSERT_TRUE(b.ok) << b.error;
  Recorder rec;
  b.manager.AddNotifier(&rec);
  CManagerUI& m = b.manager;
  auto clicks = [&] {
    int n = 0;
    for (auto& s : rec.seen) n += s.first == L"click";
    return n;
  };

  m.OnButtonDown({20, 20});
  m.OnButtonUp({20, 20});
  EXPECT_EQ(clicks(), 1) << "press and release over the button";
  EXPECT_EQ(rec.seen.back().second, L"btnOk");

  m.OnButtonDown({20, 20});
  m.OnMouseMove({150, 80});
  m.OnButtonUp({150, 80});
  EXPECT_EQ(clicks(), 1) << "released outside: no click";

  m.OnButtonDown({150, 80});
  m.OnMouseMove({20, 20});
  m.OnButtonUp({20, 20});
  EXPECT_EQ(clicks(), 1) << "pressed outside: no click";

  m.OnButtonDown({70, 20});
  m.OnButtonUp({70, 20});
  EXPECT_EQ(clicks(), 1) << "labels do not click";

  m.FindControl(L"btnOk")->SetEnabled(false);
  m.OnButtonDown({20, 20});
  m.OnButtonUp({20, 20});
  EXPECT_EQ(clicks(), 1) << "a disabled button does not click";

  EXPECT_EQ(m.FindControl(UIPoint{20, 20})->GetClass(), L"ButtonUI");
  EXPECT_EQ(m.FindControl(UIPoint{70, 20})->GetClass(), L"LabelUI");
  EXPECT_EQ(m.FindControl(UIPoint{150, 80})->GetName(), L"root");
  EXPECT_EQ(m.FindControl(UIPoint{500, 500}), nullptr);
  EXPECT_TRUE(m.RemoveNotifier(&rec));
  EXPECT_FALSE(m.RemoveNotifier(&rec));
}

namespace {

struct Pump : CNotifyPump {
  std::vector<std::string> calls;
  NotifyMap base;
  NotifyMap own;
  Pump() {
    base.entries.push_back({L"click", L"", 2, [this](NotifyRecord&) { calls.push_back("base click"); }, nullptr});
    base.entries.push_back({L"return", L"", 1, nullptr, [this](UIWParam w, UILParam l) {
                              calls.push_back("base return " + std::to_string(w) + "," + std::to_string(l));
                            }});
    own.base = &base;
    own.entries.push_back({L"click", L"", 2, [this](NotifyRecord&) { calls.push_back("any click"); }, nullptr});
    own.entries.push_back({L"click", L"btnOk", 2, [this](NotifyRecord&) { calls.push_back("ok click"); }, nullptr});
  }
  const NotifyMap* GetNotifyMap() const override { return &own; }
};

}  // namespace

TEST(LayoutTest, MessageMapDispatch) {
  CLabelUI ok, other;
  ok.SetName(L"btnOk");
  other.SetName(L"btnOther");
  Pump pump, virtualPump;
  ASSERT_TRUE(pump.AddVirtualWnd(L"Page", &virtualPump));
  EXPECT_FALSE(pump.AddVirtualWnd(L"page", &virtualPump)) << "names compare without case";

  NotifyRecord msg;
  msg.sType = L"click";
  msg.pSender = &ok;
  pump.NotifyPump(msg);
  msg.pSender = &other;
  pump.NotifyPump(msg);
  msg.sType = L"return";
  msg.wParam = 3;
  msg.lParam = -4;
  pump.NotifyPump(msg);
  msg.sType = L"unknown";
  EXPECT_FALSE(pump.LoopDispatch(msg));
  EXPECT_EQ(pump.calls, (std::vector<std::string>{"ok click", "any click", "base return 3,-4"}));

  msg.sType = L"click";
  msg.sVirtualWnd = L"PAGE";
  pump.NotifyPump(msg);
  EXPECT_EQ(virtualPump.calls, (std::vector<std::string>{"any click"}));
  EXPECT_EQ(pump.calls.size(), 3u);
  EXPECT_TRUE(pump.RemoveVirtualWnd(L"page"));
}

namespace {

struct CustomFactory : IDialogBuilderCallback {
  std::vector<std::wstring> asked;
  CControlUI* CreateCustomControl(const std::wstring& name) override {
    asked.push_back(name);
    if (EqualsNoCase(name, std::wstring(L"IeBrowser"))) return new CControlUI;
    return nullptr;
  }
};

}  // namespace

TEST(LayoutTest, CustomAndUnknownElements) {
  CustomFactory factory;
  Built b("",
          "<VerticalLayout><IeBrowser name='ie' homepage='about:blank'/><Gizmo name='g'><Label name='inner'/></Gizmo>"
          "<Label name='after'/></VerticalLayout>",
          100, 100, &factory);
  ASSERT_TRUE(b.ok) << b.error;
  EXPECT_EQ(factory.asked, (std::vector<std::wstring>{L"IeBrowser", L"Gizmo"}));
  EXPECT_NE(b.manager.FindControl(L"ie"), nullptr);
  EXPECT_EQ(b.manager.FindControl(L"g"), nullptr);
  EXPECT_EQ(b.manager.FindControl(L"inner"), nullptr) << "an unknown element is left out with its children";
  EXPECT_EQ(b.pos(L"after"), (UIRect{0, 50, 100, 100}));
}

TEST(LayoutTest, BrokenLayoutsFailClearly) {
  const std::string deep = std::string(5000, '<') + "x";
  std::string nested;
  for (int i = 0; i < 200; ++i) nested += "<VerticalLayout>";
  for (int i = 0; i < 200; ++i) nested += "</VerticalLayout>";
  std::string wide = "<Window><HorizontalLayout>";
  for (int i = 0; i <= kMaxLayoutControls; ++i) wide += "<Control/>";
  wide += "</HorizontalLayout></Window>";
  struct Case {
    std::string text;
    const char* error;
  } cases[] = {
      {"", "File is empty"},
      {"\xEF\xBB\xBF", "File is empty"},
      {"<Window><VerticalLayout></Window>", "XML error"},
      {"<Window", "XML error"},
      {"not xml at all", ""},
      {"<Dialog><VerticalLayout/></Dialog>", "no Window element"},
      {"<Window size='10,10'><Font name='a'/></Window>", "no control"},
      {"<Window><Gizmo/></Window>", "no control"},
      {std::string("<Window><Label/>\0</Window>", 26), "NUL byte"},
      {"<Window>" + nested + "</Window>", "nested too deeply"},
      {"<Window>" + deep + "</Window>", ""},
      {wide, "too many controls"},
  };
  for (const Case& c : cases) {
    CManagerUI manager;
    CDialogBuilder builder;
    auto root = builder.CreateFromBytes(bytesOf(c.text), nullptr, &manager);
    EXPECT_EQ(root, nullptr) << c.text.substr(0, 60);
    EXPECT_NE(builder.GetLastErrorText().find(c.error), std::string::npos)
        << c.text.substr(0, 60) << " gave " << builder.GetLastErrorText();
    EXPECT_FALSE(builder.GetLastErrorText().empty());
  }
  // A byte order mark in front is fine.
  CManagerUI manager;
  CDialogBuilder builder;
  EXPECT_NE(builder.CreateFromBytes(bytesOf("\xEF\xBB\xBF<Window><Control/></Window>"), nullptr, &manager), nullptr);
}

namespace {

std::vector<uint8_t> readSkin(const char* name) {
  std::vector<uint8_t> bytes;
  FILE* f = std::fopen((std::string(VEKT_SKIN_DIR "/") + name).c_str(), "rb");
  if (!f) return bytes;
  int c;
  while ((c = std::fgetc(f)) != EOF) bytes.push_back(static_cast<uint8_t>(c));
  std::fclose(f);
  return bytes;
}

struct SkinLayout {
  CManagerUI manager;
  CustomFactory factory;
  explicit SkinLayout(const char* file) {
    CDialogBuilder builder;
    auto root = builder.CreateFromBytes(readSkin(file), &factory, &manager);
    EXPECT_NE(root, nullptr) << file << ": " << builder.GetLastErrorText();
    manager.AttachDialog(std::move(root));
    manager.SetClientSize(manager.GetInitSize().cx, manager.GetInitSize().cy);
  }
  UIRect pos(const wchar_t* name) {
    CControlUI* c = manager.FindControl(name);
    return c ? c->GetPos() : UIRect{-1, -1, -1, -1};
  }
};

}  // namespace

TEST(LayoutTest, LauncherSkinLayouts) {
  SkinLayout main("GameLoader.xml");
  EXPECT_EQ(main.manager.GetInitSize().cx, 960);
  EXPECT_EQ(main.manager.GetFontCount(), 7);
  EXPECT_EQ(main.factory.asked, (std::vector<std::wstring>{L"IeBrowser"}));
  // The download page is laid out only once it is selected.
  static_cast<CTabLayoutUI*>(main.manager.FindControl(L"wizardTab"))->SelectItem(1);
  main.manager.UpdateLayout();
  EXPECT_EQ(main.pos(L"btnMin"), (UIRect{902, 6, 926, 30}));
  EXPECT_EQ(main.pos(L"btnClose"), (UIRect{928, 4, 956, 34}));
  EXPECT_EQ(main.pos(L"progress"), (UIRect{320, 320, 850, 333}));
  EXPECT_EQ(main.pos(L"progTip"), (UIRect{320, 332, 850, 352}));
  EXPECT_EQ(main.pos(L"vLayoutDownload"), (UIRect{0, 0, 960, 620}));
  EXPECT_EQ(main.manager.FindControl(L"progTip")->GetText(),
            L"\u6B63\u5728\u4E0B\u8F7D\u6E38\u620F\u6587\u4EF6\uFF0C\u8BF7\u8010\u5FC3\u7B49\u5F85.");

  SkinLayout box("CustomMsgBox.xml");
  EXPECT_EQ(box.manager.GetInitSize().cx, 440);
  EXPECT_EQ(box.manager.GetInitSize().cy, 260);
  EXPECT_EQ(box.manager.GetCaptionRect(), (UIRect{0, 0, 0, 260}));
  EXPECT_EQ(box.pos(L"labelTip"), (UIRect{10, 134, 430, 162})) << "the later labelTip is the message line";
  EXPECT_EQ(box.pos(L"labelIcon"), (UIRect{190, 50, 250, 110}));
  EXPECT_EQ(box.pos(L"btnClose"), (UIRect{408, 8, 432, 32}));
  EXPECT_EQ(box.pos(L"btnOk"), (UIRect{172, 208, 268, 240}));
  EXPECT_EQ(static_cast<CButtonUI*>(box.manager.FindControl(L"btnOk"))->GetTextStyle(), kTextCenter | kTextVCenter)
      << "button captions are centred unless the layout says otherwise";
  EXPECT_EQ(box.manager.FindControl(UIPoint{20, 20})->GetClass(), L"LabelUI") << "the caption label drags";
  EXPECT_EQ(box.manager.FindControl(UIPoint{420, 20})->GetClass(), L"ButtonUI");
}
