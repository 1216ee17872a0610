// Reads the version block of a file (a program or library of the system) without loading
// it, and answers its string values in the translation that suits the user's language.
// Threads: main thread only.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

class TFileVerInfo {
 public:
  // Loads the file's block; a name without a folder is looked for beside the program,
  // then in the current folder. A missing file or block leaves none.
  void SetFileName(const std::string& name);
  const std::string& FileName() const { return FFileName; }
  bool Loaded() const { return FLoaded; }
  // Language and code page as 8 upper-case hexadecimal digits ("041103A4"), or empty.
  std::string Translation() const;
  // "\StringFileInfo\<translation>\<name>", or empty.
  std::string Value(const std::string& name) const;
  std::string FileVersion() const { return Value("FileVersion"); }
  std::string LegalCopyright() const { return Value("LegalCopyright"); }

  // The user's language (0x0411 Japanese, 0x0409 otherwise), from the locale settings.
  static uint16_t UserDefaultLangID();

 private:
  std::string FFileName;
  bool FLoaded = false;
  std::vector<std::pair<std::string, std::string>> FEntries;  // path, value
};

// The text of the about box: the program's version, then each library's.
std::string AboutText();
