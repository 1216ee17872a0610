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

 protected:
  void Compile() override;

 private:
  WideString FTitle;
};
