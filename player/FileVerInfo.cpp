#include "player/FileVerInfo.h"

#include <elf.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>

namespace {

constexpr size_t kMaxBlock = 64 * 1024;

std::string ProgramFolder() {
  std::error_code ec;
  const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : exe.parent_path().string();
}

std::string Locate(const std::string& name) {
  if (name.find('/') != std::string::npos) return name;
  // Beside the program in a build, in lib/sorvane when installed.
  for (const std::string& folder : {ProgramFolder(), ProgramFolder() + "/../lib/sorvane"}) {
    const std::string path = folder + "/" + name;
    if (::access(path.c_str(), R_OK) == 0) return path;
  }
  return name;
}

// The contents of the ".sorvane_version" section of an ELF64 file, or empty.
std::string ReadVersionSection(const std::string& path) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(path.c_str(), "rb"), std::fclose);
  if (!f) return {};
  auto readAt = [&](long offset, void* out, size_t n) {
    return std::fseek(f.get(), offset, SEEK_SET) == 0 && std::fread(out, 1, n, f.get()) == n;
  };
  Elf64_Ehdr eh;
  if (!readAt(0, &eh, sizeof eh) || std::memcmp(eh.e_ident, ELFMAG, SELFMAG) != 0 ||
      eh.e_ident[EI_CLASS] != ELFCLASS64 || eh.e_shentsize != sizeof(Elf64_Shdr) || eh.e_shnum == 0 ||
      eh.e_shstrndx >= eh.e_shnum)
    return {};
  std::vector<Elf64_Shdr> sections(eh.e_shnum);
  if (!readAt(long(eh.e_shoff), sections.data(), sizeof(Elf64_Shdr) * sections.size())) return {};
  const Elf64_Shdr& names = sections[eh.e_shstrndx];
  if (names.sh_size > 1024 * 1024) return {};
  std::string strtab(names.sh_size, '\0');
  if (!readAt(long(names.sh_offset), strtab.data(), strtab.size())) return {};
  for (const Elf64_Shdr& s : sections) {
    if (s.sh_name >= strtab.size() || std::strcmp(strtab.c_str() + s.sh_name, ".sorvane_version") != 0) continue;
    if (s.sh_size == 0 || s.sh_size > kMaxBlock || s.sh_type == SHT_NOBITS) return {};
    std::string block(s.sh_size, '\0');
    if (!readAt(long(s.sh_offset), block.data(), block.size())) return {};
    block.resize(std::strlen(block.c_str()));
    return block;
  }
  return {};
}

std::string Hex4(unsigned v) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%04X", v & 0xFFFF);
  return buf;
}

}  // namespace

uint16_t TFileVerInfo::UserDefaultLangID() {
  for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* v = std::getenv(var);
    if (v && *v) return std::strncmp(v, "ja", 2) == 0 ? 0x0411 : 0x0409;
  }
  return 0x0409;
}

void TFileVerInfo::SetFileName(const std::string& name) {
  FFileName = name;
  FLoaded = false;
  FEntries.clear();
  const std::string block = ReadVersionSection(Locate(name));
  size_t pos = 0;
  while (pos < block.size()) {
    size_t end = block.find('\n', pos);
    if (end == std::string::npos) end = block.size();
    const std::string line = block.substr(pos, end - pos);
    pos = end + 1;
    const size_t eq = line.find('=');
    if (eq != std::string::npos) FEntries.emplace_back(line.substr(0, eq), line.substr(eq + 1));
  }
  FLoaded = !FEntries.empty();
}

std::string TFileVerInfo::Translation() const {
  std::string list;
  for (const auto& [path, value] : FEntries)
    if (path == "VarFileInfo\\Translation") list = value;
  std::vector<std::pair<unsigned, unsigned>> pairs;
  for (size_t pos = 0; pos + 8 <= list.size();) {
    pairs.emplace_back(std::strtoul(list.substr(pos, 4).c_str(), nullptr, 16),
                       std::strtoul(list.substr(pos + 4, 4).c_str(), nullptr, 16));
    pos += 8;
    if (pos < list.size() && list[pos] == ',') ++pos;
  }
  if (pairs.empty()) return {};
  // From the last pair down to the second, the first in the user's language; else the first.
  size_t chosen = 0;
  for (size_t i = pairs.size() - 1; i >= 1; --i)
    if (pairs[i].first == UserDefaultLangID()) {
      chosen = i;
      break;
    }
  return Hex4(pairs[chosen].first) + Hex4(pairs[chosen].second);
}

std::string TFileVerInfo::Value(const std::string& name) const {
  if (!FLoaded) return {};
  const std::string path = "StringFileInfo\\" + Translation() + "\\" + name;
  for (const auto& [p, value] : FEntries)
    if (p == path) return value;
  return {};
}

std::string AboutText() {
  TFileVerInfo info;
  info.SetFileName(ProgramFolder() + "/sorvane");
  std::string text = "Sorvane\r\nVersion " + info.FileVersion() + "\r\n" + info.LegalCopyright() + "\r\n\r\n";
  static const struct {
    const char* File;
    const char* Label;
  } kLibraries[] = {
      {"libkinetra.so", "Powered by Kinetra System\r\nVersion "},
      {"libombrix.so", "Ombrix.dll\r\nVersion "},
      {"libsonara2.so", "Sonara2.dll\r\nVersion "},
      {"libsonaraogg.so", "Sonara2 OggVorbisPlugin\r\nVersion "},
      {"libvorbisfile.so.3", "Ogg Vorbis decoder\r\nVersion "},
  };
  for (const auto& lib : kLibraries) {
    info.SetFileName(lib.File);
    text += lib.Label + info.FileVersion() + "\r\n" + info.LegalCopyright() + "\r\n\r\n";
  }
  return text;
}
