#include <gtest/gtest.h>

#include <cstring>

#include "runtime/DesignReader.h"

namespace {

class TDisplayInfo : public TPersistent {
 public:
  PELLORA_CLASS_NAME(TDisplayInfo)
  void SetBitCount(int32_t v) { BitCount = v; }
  void SetFixed(bool v) { Fixed = v; }
  int32_t BitCount = 8;
  bool Fixed = false;
};

class TThing : public TCollectionItem {
 public:
  PELLORA_CLASS_NAME(TThing)
  explicit TThing(TCollection* c) : TCollectionItem(c) {}
  void SetName(const std::string& v) { Name = v; }
  void SetSize(int32_t v) { Size = v; }
  std::string Name;
  int32_t Size = 0;
};

enum TMode { mdOff, mdSlow, mdFast };
using TPingEvent = std::function<void(TObject* Sender, int32_t Count)>;

// A component with one published property of every kind a design can set.
class TWidget : public TComponent {
 public:
  PELLORA_CLASS_NAME(TWidget)
  explicit TWidget(TComponent* AOwner) : TComponent(AOwner), Things(TCollection::ItemClass<TThing>()) { ++Made; }
  ~TWidget() override { --Made; }
  void SetCount(int32_t v) { Count = v; }
  void SetActive(bool v) {
    // The setter convention: a side effect waits for the after-loading step.
    if (v == Active) return;
    Active = v;
    if (!IsLoading()) ++Applied;
  }
  void SetTitle(const std::string& v) { Title = v; }
  void SetMode(TMode v) { Mode = v; }
  void SetOptions(uint32_t v) { Options = v; }
  void SetColour(int32_t v) { Colour = v; }
  void SetBuddy(TWidget* v) { Buddy = v; }
  void SetOnPing(TPingEvent v) { OnPing = std::move(v); }
  TDisplayInfo* Display() const { return const_cast<TDisplayInfo*>(&DisplayValue); }
  TCollection* Items() const { return const_cast<TCollection*>(&Things); }
  void DefineProperties(TFiler& Filer) override {
    Filer.DefineBinaryProperty(
        "Data", [this](TStream& s) {
          Data.resize(static_cast<size_t>(s.Size()));
          if (!Data.empty()) s.ReadBuffer(Data.data(), static_cast<int64_t>(Data.size()));
          if (!Data.empty() && Data[0] == 0xEE) throw EReadError("Stream read error");
        },
        nullptr, false);
  }
  void Loaded() override {
    TComponent::Loaded();
    LoadedOrder.push_back(Name());
    if (Active) ++Applied;
  }
  int32_t Count = 0;
  bool Active = false;
  int Applied = 0;
  std::string Title;
  TMode Mode = mdOff;
  uint32_t Options = 0;
  int32_t Colour = 0;
  TWidget* Buddy = nullptr;
  TPingEvent OnPing;
  TDisplayInfo DisplayValue;
  TCollection Things;
  std::vector<uint8_t> Data;
  static inline int Made = 0;
  static inline std::vector<std::string> LoadedOrder;
};

class TPanel : public TComponent {
 public:
  PELLORA_CLASS_NAME(TPanel)
  explicit TPanel(TComponent* AOwner) : TComponent(AOwner) {}
  TWidget* Widget1 = nullptr;
  TWidget* Widget2 = nullptr;
  int Pings = 0;
  void WidgetPing(TObject*, int32_t Count) { Pings += Count; }
  void WrongShape(TObject*) {}
};

const bool registered = [] {
  RegisterPersistentClass<TDisplayInfo>().Int("BitCount", &TDisplayInfo::SetBitCount, 1, 32).Bool("Fixed", &TDisplayInfo::SetFixed);
  RegisterPersistentClass<TThing, TCollectionItem>().Str("Name", &TThing::SetName).Int("Size", &TThing::SetSize);
  RegisterComponentClass<TWidget, TComponent>()
      .Int("Count", &TWidget::SetCount)
      .Bool("Active", &TWidget::SetActive)
      .Str("Title", &TWidget::SetTitle)
      .Enum("Mode", &TWidget::SetMode, {{"mdOff", mdOff}, {"mdSlow", mdSlow}, {"mdFast", mdFast}})
      .Set("Options", &TWidget::SetOptions, {"opA", "opB", "opC", "opD"})
      .Color("Colour", &TWidget::SetColour)
      .Ref("Buddy", &TWidget::SetBuddy)
      .Object("Display", &TWidget::Display)
      .Collection("Items", &TWidget::Items)
      .Event("OnPing", &TWidget::SetOnPing);
  RegisterComponentClass<TPanel, TComponent>()
      .Field("Widget1", &TPanel::Widget1)
      .Field("Widget2", &TPanel::Widget2)
      .Method("WidgetPing", &TPanel::WidgetPing)
      .Method("WrongShape", &TPanel::WrongShape);
  return true;
}();

std::string Error(TComponent* root, const std::string& text, const std::string& name = "Panel.pfm") {
  try {
    ReadComponentText(root, name, text);
  } catch (const EReadError& e) {
    return e.what();
  }
  return "(no error)";
}

const char* kGood = R"(// a panel with two widgets
object Panel1: TPanel
  object Widget1: TWidget
    Count = -42
    Active = True
    Title = 'It''s'#13#10'ok' + ' then'
    Mode = mdFast
    Options = [opA, opD]
    Colour = clRed
    Buddy = Widget2
    Display.BitCount = 16
    Display.Fixed = True
    Items = <
      item
        Name = 'first'
        Size = $10
      end
      item
        Name = 'second'
      end>
    Data = {0102 0aFF}
    OnPing = WidgetPing
  end
  object Widget2: TWidget
    Colour = $00FF00
    Options = []
    Data = {}
  end
end
)";

TEST(Designs, EveryKindOfValueReachesItsProperty) {
  TWidget::LoadedOrder.clear();
  TPanel panel(nullptr);
  ReadComponentText(&panel, "Panel.pfm", kGood);
  EXPECT_EQ(panel.Name(), "Panel1");
  ASSERT_NE(panel.Widget1, nullptr);
  ASSERT_NE(panel.Widget2, nullptr);
  TWidget& w = *panel.Widget1;
  EXPECT_EQ(w.Count, -42);
  EXPECT_TRUE(w.Active);
  EXPECT_EQ(w.Title, "It's\r\nok then");
  EXPECT_EQ(w.Mode, mdFast);
  EXPECT_EQ(w.Options, (1u << 0) | (1u << 3));
  EXPECT_EQ(w.Colour, 0x0000FF);
  EXPECT_EQ(w.Buddy, panel.Widget2);  // fixed up although Widget2 came later
  EXPECT_EQ(w.DisplayValue.BitCount, 16);
  EXPECT_TRUE(w.DisplayValue.Fixed);
  ASSERT_EQ(w.Things.Count(), 2);
  EXPECT_EQ(static_cast<TThing*>(w.Things.Items(0))->Name, "first");
  EXPECT_EQ(static_cast<TThing*>(w.Things.Items(0))->Size, 16);
  EXPECT_EQ(static_cast<TThing*>(w.Things.Items(1))->Name, "second");
  EXPECT_EQ(w.Data, (std::vector<uint8_t>{1, 2, 10, 255}));
  ASSERT_TRUE(w.OnPing);
  w.OnPing(&w, 3);
  EXPECT_EQ(panel.Pings, 3);
  EXPECT_EQ(panel.Widget2->Colour, 0x00FF00);
  // Loaded runs for each component once everything is read; the side effect of Active
  // was held back until then and applied once.
  EXPECT_EQ(TWidget::LoadedOrder, (std::vector<std::string>{"Widget1", "Widget2"}));
  EXPECT_EQ(w.Applied, 1);
  EXPECT_FALSE(w.IsLoading());
}

struct BadCase {
  const char* Design;
  const char* Message;
};

class DesignErrors : public ::testing::TestWithParam<BadCase> {};

TEST_P(DesignErrors, AreRefusedWithTheDesignLineAndProblemAndLeaveNothingBehind) {
  const int before = TWidget::Made;
  TPanel panel(nullptr);
  EXPECT_EQ(Error(&panel, GetParam().Design), GetParam().Message);
  EXPECT_EQ(panel.ComponentCount(), 0);
  EXPECT_EQ(panel.Widget1, nullptr);
  EXPECT_EQ(panel.Widget2, nullptr);
  EXPECT_EQ(TWidget::Made, before);
  EXPECT_FALSE(panel.IsLoading());
}

INSTANTIATE_TEST_SUITE_P(
    Designs, DesignErrors,
    ::testing::Values(
        BadCase{"object Panel1: TPanel\n  object Widget1: TWidget\n    Colour = clBlack\n  end\n"
                "  object Widget2: TWidget\n    Colur = 5\n  end\nend\n",
                "\"Panel.pfm\" line 6: unknown property 'Colur' of TWidget"},
        BadCase{"object Panel1: TPanel\n  object W: TGadget\n  end\nend\n", "\"Panel.pfm\" line 2: unknown class TGadget"},
        BadCase{"object Panel1: TPanel\n  object Widget1: TWidget\n    Mode = mdWarp\n  end\nend\n",
                "\"Panel.pfm\" line 3: bad value mdWarp for property 'Mode' of TWidget: expected one of its names"},
        BadCase{"object Panel1: TPanel\n  object Widget1: TWidget\n    Count = 'ten'\n  end\nend\n",
                "\"Panel.pfm\" line 3: bad value 'ten' for property 'Count' of TWidget: expected a number"},
        BadCase{"object Panel1: TPanel\n  object Widget1: TWidget\n    Display.BitCount = 64\n  end\nend\n",
                "\"Panel.pfm\" line 3: value 64 is out of range for property 'BitCount' of TDisplayInfo"},
        BadCase{"object Panel1: TPanel\n  object Widget1: TWidget\n    Buddy = Widget9\n  end\nend\n",
                "\"Panel.pfm\" line 3: component 'Widget9' not found for property 'Buddy' of TWidget"},
        BadCase{"object Panel1: TPanel\n  object Widget1: TWidget\n    OnPing = NoSuchMethod\n  end\nend\n",
                "\"Panel.pfm\" line 3: method 'NoSuchMethod' not found in TPanel for event 'OnPing' of TWidget"},
        BadCase{"object Panel1: TPanel\n  object Widget1: TWidget\n    OnPing = WrongShape\n  end\nend\n",
                "\"Panel.pfm\" line 3: method 'WrongShape' of TPanel does not fit event 'OnPing' of TWidget"},
        BadCase{"object Panel1: TPanel\n  object Widget1: TWidget\n    Options = [opA, opZ]\n  end\nend\n",
                "\"Panel.pfm\" line 3: unknown element 'opZ' in property 'Options' of TWidget"},
        BadCase{"object Panel1: TPanel\n  object Widget1: TWidget\n    Title = 'open\n  end\nend\n",
                "\"Panel.pfm\" line 3: string is not closed"},
        BadCase{"object Panel1: TPanel\n  object Widget1: TWidget\n    Data = {ABC}\n  end\nend\n",
                "\"Panel.pfm\" line 3: binary data has an odd number of hex digits"},
        BadCase{"object Panel1: TPanel\n  object Widget1: TWidget\n    Data = {EE}\n  end\nend\n",
                "\"Panel.pfm\" line 3: bad data for property 'Data' of TWidget: Stream read error"},
        BadCase{"object Panel1: TPanel\n  object Widget1: TWidget\n    Data = { @include Missing.bin }\n  end\nend\n",
                "\"Panel.pfm\" line 3: included file 'Missing.bin' not found"},
        BadCase{"object Panel1: TPanel\n  object Widget1: TWidget\n  end\n  object Widget1: TWidget\n  end\nend\n",
                "\"Panel.pfm\" line 4: a component named Widget1 already exists"},
        BadCase{"object Panel1: TPanel\n  object Widget1: TWidget\n    Count = 1\n", "\"Panel.pfm\" line 4: 'end' missing for object 'Widget1'"},
        BadCase{"object Panel1: TWidget\nend\n", "\"Panel.pfm\" line 1: the design is for class TWidget, not TPanel"},
        BadCase{"object Panel1: TPanel\n  object Widget1: TWidget\n    Count = 99999999999\n  end\nend\n",
                "\"Panel.pfm\" line 3: number is too large"}));

TEST(Designs, BinaryDataCanComeFromAnIncludedFile) {
  static const uint8_t bytes[] = {9, 8, 7};
  RegisterDesignResource("Three.bin", bytes, sizeof bytes);
  TPanel panel(nullptr);
  ReadComponentText(&panel, "Panel.pfm",
                    "object Panel1: TPanel\n  object Widget1: TWidget\n    Data = { @include Three.bin }\n  end\nend\n");
  UnregisterDesignResource("Three.bin");
  ASSERT_NE(panel.Widget1, nullptr);
  EXPECT_EQ(panel.Widget1->Data, (std::vector<uint8_t>{9, 8, 7}));
}

TEST(Designs, CompiledInDesignsAreFoundByTheirRootClass) {
  static const char text[] = "object Panel1: TPanel\n  object Widget1: TWidget\n    Count = 7\n  end\nend\n";
  RegisterDesignResource("Panel1.pfm", reinterpret_cast<const uint8_t*>(text), strlen(text));
  TPanel panel(nullptr);
  ReadComponentRes(&panel);
  UnregisterDesignResource("Panel1.pfm");
  ASSERT_NE(panel.Widget1, nullptr);
  EXPECT_EQ(panel.Widget1->Count, 7);
  TWidget lonely(nullptr);
  EXPECT_THROW(ReadComponentRes(&lonely), EReadError);
}

TEST(Designs, MalformedTextNeverCrashesTheReader) {
  // Every prefix of a good design is either read or refused with a design error.
  const std::string good = kGood;
  for (size_t n = 0; n < good.size(); n += 7) {
    TPanel panel(nullptr);
    try {
      ReadComponentText(&panel, "Cut.pfm", good.substr(0, n));
    } catch (const EDesignError& e) {
      EXPECT_NE(std::string(e.what()).find("\"Cut.pfm\" line "), std::string::npos);
    }
  }
  // Deep nesting is refused instead of exhausting the stack.
  std::string deep;
  for (int i = 0; i < 200; ++i) deep += "object W" + std::to_string(i) + ": TWidget\n";
  TPanel panel(nullptr);
  EXPECT_THROW(ReadComponentText(&panel, "Deep.pfm", "object Panel1: TPanel\n" + deep), EDesignError);
}

}  // namespace
