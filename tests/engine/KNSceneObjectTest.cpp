#include "engine/KNSceneObject.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "../PngWriter.h"
#include "../TestSupport.h"
#include "engine/KNRects.h"
#include "engine/KNScene.h"

namespace {

// Objects over a cache of two 4x3 pictures: "a.png" opaque (blue 10, green 20, red 30) and
// "b.png" opaque white. Dialogs are counted, not shown.
class SceneObjectTest : public testing::Test {
 protected:
  void SetUp() override {
    std::vector<uint8_t> a, b(4 * 3 * 3, 255);
    for (int i = 0; i < 12; ++i) a.insert(a.end(), {30, 20, 10});
    WritePng(FDir / "a.png", 4, 3, PNG_COLOR_TYPE_RGB, 8, a);
    WritePng(FDir / "b.png", 4, 3, PNG_COLOR_TYPE_RGB, 8, b);
    FPrevious = SetMessageDlgHandler([this](const std::string& text, TMsgDlgType, TMsgDlgButtons) {
      Dialogs.push_back(text);
      return int(mrIgnore);
    });
    FContext.Rects = &FList;
  }
  void TearDown() override {
    SetMessageDlgHandler(FPrevious);
  }

  KNSCENEOBJ_OPTIONS Options(const char* x, const char* y, const char* alpha, int w = 4, int h = 3) {
    KNSCENEOBJ_OPTIONS o;
    o.pos_x = x;
    o.pos_y = y;
    o.alpha = alpha;
    o.width = w;
    o.height = h;
    o.src = "a.png";
    o.loader = &Cache;
    o.report = &Report;
    return o;
  }
  KNSCENEOBJ_OPTIONS Button(const char* x, const char* y, int index) {
    KNSCENEOBJ_OPTIONS o = Options(x, y, "255");
    o.hover = "b.png";
    o.index = index;
    return o;
  }

  // One engine tick: a fresh list, the update at `now`, then a draw that clears `queued`.
  std::vector<TRect> Tick(TKNSceneObject& object, int32_t now, int32_t mouseX = -1, int32_t mouseY = -1) {
    FList.Count = 0;
    FContext.Now = now;
    FContext.MouseX = mouseX;
    FContext.MouseY = mouseY;
    FContext.Hover = -1;
    FContext.Changed = 0;
    object.Update(FContext);
    std::vector<TRect> queued(FList.Rects, FList.Rects + FList.Count);
    TKNDrawContext d{&FList, &Target};
    object.Draw(d);
    return queued;
  }

  TempDir FDir;
  InDirectory FIn{FDir.Path()};
  TMessageDlgHandler FPrevious;
  TGraphicsLoader Cache;
  TErrorReport Report;
  std::vector<std::string> Dialogs;
  TRect FStore[32];
  TClipRects FList{FStore, 0, 32};
  TKNUpdateContext FContext;
  TABitmap Target;
};

TEST_F(SceneObjectTest, ConstantExpressionsQueueOnceAfterActivationAndNeverAgain) {
  TKNSceneObjectIMG object(Options("10", "20", "255"));
  EXPECT_EQ(object.ExpressionX(), 10);
  object.Activate();
  const std::vector<TRect> first = Tick(object, 1);
  ASSERT_FALSE(first.empty());
  EXPECT_TRUE(std::find(first.begin(), first.end(), Rect(10, 20, 14, 23)) != first.end());
  EXPECT_EQ(FContext.Changed, 1);
  for (int32_t now = 2; now < 6; ++now) {
    EXPECT_TRUE(Tick(object, now).empty()) << now;
    EXPECT_EQ(FContext.Changed, 0);
  }
  EXPECT_TRUE(Dialogs.empty());
}

TEST_F(SceneObjectTest, AnInvisibleObjectThatMovesQueuesOnlyWhereItArrives) {
  TKNSceneObjectIMG object(Options("#t", "0", "0"));
  object.Activate();
  Tick(object, 5);
  EXPECT_EQ(Tick(object, 6), std::vector<TRect>{Rect(6, 0, 10, 3)});
  // Visible, it queues both places; fading queues its rectangle once.
  TKNSceneObjectIMG shown(Options("#t", "0", "#t * 10"));
  shown.Activate();
  Tick(shown, 5);
  const std::vector<TRect> moved = Tick(shown, 6);
  EXPECT_EQ(moved, std::vector<TRect>{Rect(5, 0, 10, 3)});  // old and new place merged
  EXPECT_EQ(shown.Alpha(), 60);
}

TEST_F(SceneObjectTest, ButtonsSwapPicturesUnderTheMouseWithRightAndBottomEdgesOutside) {
  TKNSceneObjectButton button(Button("10", "10", 4));
  button.Activate();
  Tick(button, 1, 0, 0);
  struct TCase {
    int32_t X, Y;
    bool Inside;
  } cases[] = {{10, 10, true}, {13, 12, true}, {14, 12, false}, {13, 13, false}, {9, 11, false}, {11, 11, true}};
  bool hovered = false;
  for (const TCase& c : cases) {
    const std::vector<TRect> queued = Tick(button, 2, c.X, c.Y);
    EXPECT_EQ(button.Hovered(), c.Inside) << c.X << "," << c.Y;
    EXPECT_EQ(FContext.Hover, c.Inside ? 4 : -1);
    EXPECT_EQ(queued.size(), c.Inside != hovered ? 1u : 0u) << c.X << "," << c.Y;
    EXPECT_EQ(FContext.Changed, c.Inside != hovered ? 1 : 0);
    hovered = c.Inside;
  }
  // Hovered, it draws the hover picture.
  Target.SetSize(20, 20);
  FList.Count = 0;
  const TRect all = Rect(0, 0, 20, 20);
  AddRect(&FList, &all);
  TKNDrawContext d{&FList, &Target};
  button.Draw(d);
  EXPECT_GT(Target.ScanLine(11)[11 * 4], 200);  // white, not the normal picture's blue 10
}

TEST_F(SceneObjectTest, OverlappingButtonsAreBothHoveredAndTheLaterOneIsTheSelection) {
  TKNScene scene(true);
  scene.AddObject(std::make_unique<TKNSceneObjectButton>(Button("0", "0", 1)));
  scene.AddObject(std::make_unique<TKNSceneObjectButton>(Button("2", "1", 2)));
  scene.Activate(0);
  EXPECT_TRUE(scene.Input());
  FContext.Now = 1;
  FContext.MouseX = 3;
  FContext.MouseY = 2;
  FContext.Hover = -1;
  EXPECT_TRUE(scene.Update(FContext));
  for (const auto& object : scene.Objects()) EXPECT_TRUE(static_cast<TKNSceneObjectButton&>(*object).Hovered());
  EXPECT_EQ(FContext.Hover, 2);
  scene.Deactivate();
}

TEST_F(SceneObjectTest, ShowingASceneAgainRestartsTimeAndQueuesEveryObject) {
  TKNScene scene(false);
  scene.AddObject(std::make_unique<TKNSceneObjectIMG>(Options("#t", "0", "255")));
  scene.AddObject(std::make_unique<TKNSceneObjectIMG>(Options("50", "50", "255")));
  auto update = [&](int32_t now) {
    FList.Count = 0;
    FContext.Now = now;
    scene.Update(FContext);
    TKNDrawContext d{&FList, &Target};
    scene.Draw(d);
  };
  scene.Activate(100);
  update(103);
  EXPECT_EQ(scene.Objects()[0]->Left(), 3);
  update(104);
  scene.Deactivate();
  EXPECT_THROW(
      {
        scene.Activate(200);
        scene.Objects()[0]->Activate();
      },
      EKNSceneObjectError);
  FList.Count = 0;
  FContext.Now = 201;
  scene.Update(FContext);
  EXPECT_EQ(scene.Objects()[0]->Left(), 1);
  TRect both;
  bool secondQueued = false;
  for (int i = 0; i < FList.Count; ++i) secondQueued |= IntersectRect(both, FList.Rects[i], Rect(50, 50, 54, 53));
  EXPECT_TRUE(secondQueued);
  try {
    scene.Objects()[1]->Activate();
    FAIL();
  } catch (const EKNSceneObjectError& e) {
    EXPECT_EQ(e.Message(), "This KNSceneObject has already activated.");
  }
  scene.Deactivate();
}

TEST_F(SceneObjectTest, ObjectsDrawOnlyInsideTheFramesRectanglesAtTheirOpacity) {
  for (int32_t alpha : {255, 400, 128, 0, -5}) {
    TKNSceneObjectIMG object(Options("2", "2", std::to_string(alpha).c_str()));
    object.Activate();
    Tick(object, 1);
    Target.SetSize(8, 8);
    Target.FillRGB(100, 100, 100);
    TABitmap expected;
    expected.SetSize(8, 8);
    expected.FillRGB(100, 100, 100);
    const TABitmap* image = object.Image();
    ASSERT_NE(image, nullptr);
    // Only the column x = 2 lies inside the frame's one rectangle.
    if (alpha >= 255)
      image->DrawAlpha(expected, 2, 2, 1, 3, 0, 0);
    else if (alpha > 0)
      image->DrawAlphaOpacity(expected, 2, 2, 1, 3, 0, 0, uint16_t(alpha));
    FList.Count = 0;
    const TRect column = Rect(0, 0, 3, 8);
    AddRect(&FList, &column);
    TKNDrawContext d{&FList, &Target};
    object.Draw(d);
    for (int y = 0; y < 8; ++y)
      EXPECT_EQ(0, std::memcmp(Target.ScanLine(y), expected.ScanLine(y), 8 * 4)) << "alpha " << alpha << " row " << y;
    object.Deactivate();
  }
}

TEST_F(SceneObjectTest, ObjectsWithoutExpressionsOrImagesUpdateAndDrawAsNothing) {
  KNSCENEOBJ_OPTIONS o = Options("1 +", "", "#t *");
  o.src = "missing.png";
  TKNSceneObjectIMG broken(o);
  EXPECT_EQ(Dialogs.size(), 3u);
  EXPECT_NE(Dialogs[0].find("KNSCOBJ_CR_POSX"), std::string::npos);
  EXPECT_NE(Dialogs[2].find("KNSCOBJ_CR_ALPHA"), std::string::npos);
  broken.Activate();
  EXPECT_EQ(broken.Image(), nullptr);
  Target.SetSize(8, 8);
  for (int32_t now = 1; now < 4; ++now) Tick(broken, now);
  EXPECT_EQ(broken.Left(), 0);
  EXPECT_EQ(broken.Top(), 0);
  EXPECT_EQ(broken.Alpha(), 0);
  // A value that cannot be computed at some #t keeps the last one; a far edge stays in range.
  TKNSceneObjectIMG wild(Options("2147483647", "-2147483648", "100 / ( #t - 2 )", 1000, 1000));
  wild.Activate();
  Tick(wild, 1);
  EXPECT_EQ(wild.Alpha(), -100);
  Tick(wild, 2);
  EXPECT_EQ(wild.Alpha(), -100);
  EXPECT_EQ(wild.Bounds().Right, 2147483647);
  EXPECT_EQ(Dialogs.size(), 3u);
}

TEST_F(SceneObjectTest, ActiveObjectsGiveTheirImagesBackWhenTheyGo) {
  {
    TKNSceneObjectButton button(Button("0", "0", 1));
    button.Activate();
    EXPECT_EQ(Cache.ImageTable().UsedCount(), 2);
  }
  EXPECT_EQ(Cache.ImageTable().UsedCount(), 0);
}

}  // namespace

namespace {
TEST_F(SceneObjectTest, AnExpressionThatFailsKeepsTheLastValueAndIsLoggedOnceWithWhereItIs) {
  Report.LogFileName = "Kinetra.log";
  Report.LogEnabled = true;
  KNSCENEOBJ_OPTIONS o = Options("100 / ( #t - 5 )", "0", "255 / ( 8 - #t )");
  o.where = "knv\\background.knv, scene 2 \"town\", object 1";
  TKNSceneObjectIMG object(o);
  object.Activate();
  for (int32_t now = 1; now <= 10; ++now) {
    Tick(object, now);
    if (now == 5) {
      EXPECT_EQ(object.Left(), 100 / (4 - 5)) << "stays where #t = 4 put it";
    }
    if (now == 8) {
      EXPECT_EQ(object.Alpha(), 255 / (8 - 7));
    }
  }
  EXPECT_EQ(object.Left(), 100 / (10 - 5));
  const std::string log = ReadFile("Kinetra.log");
  EXPECT_NE(log.find("Expression failed at #t=5: knv\\background.knv, scene 2 \"town\", object 1, pos_x=\"100 / ( #t - 5 )\": "
                     "EDivByZero"),
            std::string::npos)
      << log;
  // Once per object: the opacity's failure at #t = 8 is not written again.
  EXPECT_EQ(log.find("Expression failed"), log.rfind("Expression failed")) << log;
  EXPECT_TRUE(Dialogs.empty());
}
}  // namespace
