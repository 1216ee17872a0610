// The script loader for the player's script language: parses the script's markup and
// turns the children of BODY (P, A, CODE, UL choice menus) into commands.
// Threads: main thread only.
#pragma once

#include "player/ScriptLoader.h"

class THTMLDoc;
class THTMLTag;

class TMainScriptLoader : public TScriptLoader {
 public:
  using TScriptLoader::TScriptLoader;
  // The text of the script's TITLE element (empty: none).
  const WideString& Title() const { return FTitle; }
  // Where the markup ran past the elements a script may hold (0: it did not), and how many
  // elements were passed over from there.
  int32_t ElementLimitLine() const { return FElementLimitLine; }
  size_t ElementsPassedOver() const { return FElementsPassedOver; }

 protected:
  void Compile() override;

 private:
  // A script in UTF-8 is compiled whenever this many elements wait in its document.
  static constexpr int32_t kStreamedElements = 4096;
  void CompileElement(const THTMLTag& child);
  void CompileFinished(THTMLDoc& doc);
  WideString FTitle;
  bool FTitleTaken = false, FBodySeen = false;
  int32_t FElementLimitLine = 0;
  size_t FElementsPassedOver = 0;
};
