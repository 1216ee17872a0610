#include "engine/KNSceneLoader.h"

#include <algorithm>
#include <future>
#include <new>
#include <system_error>

#include "common/HTMLDoc.h"
#include "engine/KinetraDLL.h"
#include "platform/Classes.h"
#include "platform/CodePage.h"
#include "platform/Dialogs.h"
#include "platform/Files.h"

namespace {

// Calls visit(child) for each child element of `tag`, in order, while visit returns true.
template <typename Visit>
void ForEachChildWhile(const THTMLTag& tag, Visit visit) {
  if (!tag.Content.InfoTable) return;
  int32_t start = 1;
  for (;;) {
    TObject* child = nullptr;
    const int32_t pos = SStrGetTag(tag.Content, start, child);
    if (pos < 0) return;
    if (child && !visit(*static_cast<THTMLTag*>(child))) return;
    start = pos + 1;
  }
}

const THTMLTag* FirstChild(const THTMLTag& tag) {
  const THTMLTag* first = nullptr;
  ForEachChildWhile(tag, [&](const THTMLTag& child) {
    first = &child;
    return false;
  });
  return first;
}

bool Attribute(const THTMLTag& tag, const char* name, AnsiString& value) {
  WideString wide;
  if (!tag.Attributes.TryGetStr(name, wide)) return false;
  value = WideToUtf8(wide);
  return true;
}

class TSceneFileReader {
 public:
  TSceneFileReader(const AnsiString& fileName, const TKNSceneFileTargets& targets)
      : FFileName(fileName), FTargets(targets) {}

  // Steps 2 to 6 of a load: anything they raise is the caller's.
  int32_t Read(const THTMLDoc& doc, int32_t clock) {
    const THTMLTag* kn = FindRoot(doc);
    if (!kn) throw EKNError(Format("There is no <KN> in the follow file.\r\n%s", {FFileName}));
    ReadMasks(*kn);
    DecodeMasks();
    ReadScenes(*kn);
    TKNScene* first = FTargets.Scenes[0].get();
    if (!first) return KN_E_LOAD_FAILED;
    first->Activate(clock);
    DecodeTheOtherScenesAhead();
    return 0;
  }

 private:
  static const THTMLTag* FindRoot(const THTMLDoc& doc) {
    const THTMLTag* root = nullptr;
    ForEachChildWhile(*doc.Root(), [&](const THTMLTag& child) {
      if (child.TagName == "kn") root = &child;
      return root == nullptr;
    });
    return root;
  }

  void ReportError(const AnsiString& type, const AnsiString& details, const AnsiString& location) {
    FTargets.Report.Report(type, details, 0, mbIgnoreOnly, mtError, location);
  }

  void ReadMasks(const THTMLTag& kn) {
    for (TKNMaskSlot& slot : FTargets.Masks) slot = TKNMaskSlot{};
    const THTMLTag* trans = FirstChild(kn);
    if (!trans || trans->TagName != "trans") return;
    int k = 0;
    ForEachChildWhile(*trans, [&](const THTMLTag& rule) {
      if (rule.TagName != "transrule") return true;
      if (k >= kKNMaskCount) return false;
      ReadMask(rule, FTargets.Masks[size_t(k)]);
      ++k;
      return true;
    });
  }

  void Reading(const THTMLTag& element) {
    if (FTargets.Reading) FTargets.Reading(element.Line);
  }

  void ReadMask(const THTMLTag& rule, TKNMaskSlot& slot) {
    Reading(rule);
    AnsiString src;
    if (!Attribute(rule, "src", src)) {
      FTargets.Report.WriteLog("There is no \"Src\" Attribute in <transrule> tag.");
      return;
    }
    auto image = std::make_unique<TImageFile>(src);
    if (!image->Handle()) {
      ReportError("Image File Open Error", Format("Couldn't open following file:\r\n%s", {src}), FFileName);
      return;
    }
    AnsiString vag;
    if (Attribute(rule, "vag", vag)) {
      try {
        slot.Vagueness = int16_t(StrToInt(std::string_view(vag)));
      } catch (const EConvertError& e) {
        ReportError(e.ClassName(), e.Message(), FFileName + "\r\nvag=\"" + vag + "\"");
      }
    }
    slot.Mask = std::make_shared<TBitmap>();
    FMaskJobs.push_back(TMaskJob{std::move(image), slot.Mask});
  }

  // The masks' pixels, decoded one after another on a thread of their own while the scenes
  // are read and shown; here when no thread can be had.
  struct TMaskJob {
    std::unique_ptr<TImageFile> Image;
    std::shared_ptr<TBitmap> Mask;
  };
  static void DecodeMask(const TMaskJob& job) {
    TOmbrixInfo info{};
    GetOmbrixInfo(job.Image->Handle(), &info);
    TBitmap decoded;
    decoded.SetPixelFormat(info.ColorType == OMBRIX_COLOR_RGB_TRANSPARENT ? pf32bit : pf24bit);
    decoded.SetSize(info.Width, info.Height);
    GetImageDataToBitmap(job.Image->Handle(), decoded.Handle());
    ExtractMask8(decoded, *job.Mask);
  }
  void DecodeMasks() {
    if (FMaskJobs.empty()) return;
    auto jobs = std::make_shared<std::vector<TMaskJob>>(std::move(FMaskJobs));
    auto all = [jobs] {
      LowerThisThreadPriority();  // the scenes shown first come before the masks
      for (const TMaskJob& job : *jobs) {
        try {
          DecodeMask(job);
        } catch (const std::exception&) {
          job.Mask->SetSize(0, 0);  // no memory for this one: it masks nothing
        }
      }
    };
    std::shared_future<void> decoding;
    try {
      decoding = std::async(std::launch::async, all).share();
    } catch (const std::system_error&) {
      for (const TMaskJob& job : *jobs) DecodeMask(job);
      return;
    }
    for (TKNMaskSlot& slot : FTargets.Masks)
      if (slot.Mask) slot.Decoding = decoding;
  }

  void ReadScenes(const THTMLTag& kn) {
    int m = 0;
    ForEachChildWhile(kn, [&](const THTMLTag& element) {
      if (element.TagName != "scene") return true;
      if (m >= kKNSceneCount) {
        // Said once, not once a scene: the scenes past the engine's count are left out.
        Reading(element);
        ReportError("SyntaxError",
                    Format("Too many scenes: the engine holds %s; the scenes after the %sth are not loaded.",
                           {std::to_string(kKNSceneCount), std::to_string(kKNSceneCount)}),
                    FFileName);
        return false;
      }
      ReadScene(element, m);
      ++m;
      return true;
    });
  }

  void ReadScene(const THTMLTag& element, int m) {
    Reading(element);
    bool control = false;
    AnsiString value;
    if (Attribute(element, "control", value)) {
      try {
        control = StrToInt(std::string_view(value)) != 0;
      } catch (const EConvertError& e) {
        ReportError(e.ClassName(), e.Message(), FFileName + "\r\ncontrol=" + value);
      }
    }
    FTargets.Scenes[size_t(m)] = std::make_unique<TKNScene>(control);
    TKNScene& scene = *FTargets.Scenes[size_t(m)];
    AnsiString where = FFileName + ", scene " + std::to_string(m);
    // An empty name names nothing, as no name does.
    if (Attribute(element, "index", value) && !value.empty()) {
      where += " \"" + value + "\"";
      if (!FTargets.SceneIndex.SetInt(value, m))
        ReportError("SyntaxError", "Index redeclared.", FFileName + "\r\nindex=\"" + value + "\"");
    } else {
      FTargets.Report.WriteLog("There is no \"index\" Attribute in <scene> tag.");
    }
    ForEachChildWhile(element, [&](THTMLTag& object) {
      if (object.TagName == "knobject") ReadObject(object, scene, where);
      return true;
    });
  }

  void ReadObject(THTMLTag& element, TKNScene& scene, const AnsiString& sceneWhere) {
    Reading(element);
    KNSCENEOBJ_OPTIONS& o = FOptions;
    o.Reset();
    o.loader = &FTargets.Loader;
    o.report = &FTargets.Report;
    o.where = sceneWhere + ", object " + std::to_string(scene.Objects().size());
    try {
      element.GetAttributes(
          {&o.src, &o.width, &o.height, &o.pos_x, &o.pos_y, &o.alpha, &o.index, &o.hover},
          {"src", "width", "height", "pos_x", "pos_y", "alpha", "index", "hover"},
          {THTMLTag::atText, THTMLTag::atInteger, THTMLTag::atInteger, THTMLTag::atText, THTMLTag::atText,
           THTMLTag::atText, THTMLTag::atInteger, THTMLTag::atText});
    } catch (const EHTMLTagError& e) {
      MessageDlg(e.Message(), mtWarning, mbIgnoreOnly);
    }
    AnsiString type;
    if (!Attribute(element, "type", type)) {
      FTargets.Report.WriteLog("There is no \"type\" Attribute in <knobject> tag.");
    } else if (type == "img") {
      scene.AddObject(std::make_unique<TKNSceneObjectIMG>(o));
    } else if (type == "button") {
      scene.AddObject(std::make_unique<TKNSceneObjectButton>(o));
    } else {
      ReportError("SyntaxError", "Unkown type.", FFileName + "\r\ntype=\"" + type + "\"");
    }
  }

  // Scene 0 holds its images now; the others' are worth having before they are shown.
  void DecodeTheOtherScenesAhead() {
    std::vector<AnsiString> names;
    auto want = [&](const AnsiString& name) {
      if (!name.empty() && std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
    };
    for (size_t m = 1; m < FTargets.Scenes.size(); ++m) {
      if (!FTargets.Scenes[m]) continue;
      for (const auto& object : FTargets.Scenes[m]->Objects()) {
        auto* image = static_cast<const TKNSceneObjectIMG*>(object.get());
        want(image->SourceName());
        if (auto* button = dynamic_cast<const TKNSceneObjectButton*>(image)) want(button->HoverSourceName());
      }
    }
    FTargets.Loader.DecodeAhead(names);
  }

  const AnsiString& FFileName;
  const TKNSceneFileTargets& FTargets;
  KNSCENEOBJ_OPTIONS FOptions;
  std::vector<TMaskJob> FMaskJobs;
};

}  // namespace

int32_t LoadSceneFile(const AnsiString& fileName, const TKNSceneFileTargets& targets, int32_t clock) {
  auto doc = std::make_unique<THTMLDoc>();
  try {
    doc->LoadFromFile(ResolveFileName(std::string_view(fileName)));
  } catch (const Exception& e) {
    MessageDlg(e.Message(), mtError, MsgDlgButton(mbAbort));
    return KN_E_LOAD_FAILED;
  } catch (const std::bad_alloc&) {
    MessageDlg("Out of memory while reading \"" + fileName + "\".", mtError, MsgDlgButton(mbAbort));
    return KN_E_LOAD_FAILED;
  }
  try {
    TSceneFileReader reader(fileName, targets);
    const int32_t result = reader.Read(*doc, clock);
    doc.reset();
    return result;
  } catch (const Exception& e) {
    doc.reset();
    MessageDlg(e.Message(), mtError, mbOKOnly);
  } catch (const std::bad_alloc&) {
    doc.reset();
    MessageDlg("Out of memory while loading \"" + fileName + "\".", mtError, mbOKOnly);
  }
  return KN_E_LOAD_OTHER;
}
