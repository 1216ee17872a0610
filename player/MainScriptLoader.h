// The script loader for the player's script language: parses the script's markup and
// turns the children of BODY (P, A, CODE, UL choice menus) into commands.
// Threads: main thread only.
#pragma once

#include "player/ScriptLoader.h"

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
  WideString FTitle;
  int32_t FElementLimitLine = 0;
  size_t FElementsPassedOver = 0;
};
