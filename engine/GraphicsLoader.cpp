#include "engine/GraphicsLoader.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <limits>
#include <new>

#include "platform/Dialogs.h"
#include "platform/Files.h"

namespace {

constexpr uint64_t kNoLimit = std::numeric_limits<uint64_t>::max();

uint64_t ImageBytes(int32_t width, int32_t height) {
  return width > 0 && height > 0 ? uint64_t(width) * uint64_t(height) * 4 : 0;
}

}  // namespace

TImageDecode DecodeImageFile(const AnsiString& fileName, uint64_t maxBytes, std::unique_ptr<TABitmap>& out) {
  out.reset();
  try {
    TImageFile image(fileName);
    if (!image.Handle()) return TImageDecode::Failed;  // "Couldn't open file."
    TOmbrixInfo info{};
    if (GetOmbrixInfo(image.Handle(), &info) != 0) return TImageDecode::Failed;
    TPixelFormat format;
    if (ImageInfoRefusal(info, format)) return TImageDecode::Failed;
    if (ImageBytes(info.Width, info.Height) > maxBytes) return TImageDecode::OverBudget;
    // Decoded straight to 32 bits: an image without transparency has its fourth byte 0,
    // as when it is decoded to 24 bits and widened.
    auto bitmap = std::make_unique<TABitmap>();
    bitmap->SetSize(info.Width, info.Height);
    GetImageDataToBitmap(image.Handle(), bitmap->Handle());
    out = std::move(bitmap);
    return TImageDecode::Decoded;
  } catch (const std::bad_alloc&) {
    return TImageDecode::Failed;  // an image too large for the memory left decodes to none
  }
}

TImageFile::TImageFile(const AnsiString& fileName) {
  if (CreateOmbrix(&FHandle, ResolveFileName(std::string_view(fileName)).c_str()) != 0) FHandle = nullptr;
}

TImageFile::~TImageFile() {
  if (FHandle) DeleteOmbrix(&FHandle);
}

const char* ImageInfoRefusal(const TOmbrixInfo& info, TPixelFormat& format) {
  if (info.BitDepth != 8) return "Bitdepth not supported.";
  if (info.ColorType == OMBRIX_COLOR_RGB) {
    format = pf24bit;
  } else if (info.ColorType == OMBRIX_COLOR_RGB_TRANSPARENT) {
    format = pf32bit;
  } else {
    return "Color type not supported.";
  }
  return nullptr;
}

std::unique_ptr<TABitmap> LoadImageFile(const AnsiString& fileName) {
  std::unique_ptr<TABitmap> bitmap;
  DecodeImageFile(fileName, kNoLimit, bitmap);
  return bitmap;
}

// ---- the worker

TGraphicsLoaderThread::TGraphicsLoaderThread(std::unique_ptr<TObjectTable> table, uint64_t decodeAheadBytes,
                                             TImageDecoder decode, uint64_t cacheBytes)
    : FTable(std::move(table)),
      FDecodeAheadBytes(decodeAheadBytes),
      FCacheBytes(cacheBytes),
      FDecode(std::move(decode)) {
  Priority = TPriority::Lower;
}

TGraphicsLoaderThread::~TGraphicsLoaderThread() {
  Terminate();
  Wake();
  WaitFor();
}

void TGraphicsLoaderThread::Wake() {
  std::lock_guard<std::mutex> lock(FWakeLock);
  ++FWakeCount;
  FWakeSignal.notify_one();
}

void TGraphicsLoaderThread::Hold(bool held) {
  std::lock_guard<std::mutex> lock(FWakeLock);
  FHeld = held;
  FWakeSignal.notify_one();
}

void TGraphicsLoaderThread::WaitUntilIdle() {
  std::unique_lock<std::mutex> lock(FWakeLock);
  const uint64_t target = FWakeCount;
  FIdleSignal.wait(lock, [&] { return FPassesDone >= target; });
}

void TGraphicsLoaderThread::PassDone(uint64_t wakes) {
  std::lock_guard<std::mutex> lock(FWakeLock);
  FPassesDone = wakes;
  FIdleSignal.notify_all();
}

void TGraphicsLoaderThread::Execute() {
  try {
    while (!Terminated()) {
      uint64_t wakes;
      {
        std::unique_lock<std::mutex> lock(FWakeLock);
        FWakeSignal.wait(lock, [&] { return !FHeld || Terminated(); });
        wakes = FWakeCount;
      }
      if (Terminated()) break;
      FIdle = false;
      FPosition = 0;
      DecodePending();
      PassDone(wakes);
      if (Terminated()) break;
      SleepUntilWoken();
    }
  } catch (...) {
    ShowFatalError(std::current_exception());
    PassDone(kNoLimit);  // nobody waits for a worker that has ended
    throw;
  }
  PassDone(kNoLimit);
}

void TGraphicsLoaderThread::DecodePending() {
  for (;;) {
    uint64_t room = kNoLimit;
    TImageTableItem* entry = nullptr;
    // The entry stays locked while it is decoded, and is let go however the decode ends:
    // the engine's thread would otherwise wait for it forever.
    const std::unique_lock<std::mutex> held = FindNextPending(room, entry);
    if (!entry) return;
    TImageDecode result;
    try {
      result = FDecode(FFileName, room, FDecodedImage);
    } catch (...) {
      entry->State = TImageTableItem::stFailed;
      throw;
    }
    if (result != TImageDecode::OverBudget) {
      entry->Image = std::move(FDecodedImage);
      entry->State = entry->Image ? TImageTableItem::stLoaded : TImageTableItem::stFailed;
    }
  }
}

std::unique_lock<std::mutex> TGraphicsLoaderThread::FindNextPending(uint64_t& room, TImageTableItem*& found) {
  const std::lock_guard<TObjectTable> table(*FTable);
  // What the images held ahead take already (only this thread adds to it), and all of them.
  uint64_t held = 0;
  const uint64_t all = HeldBytes(&held);
  AnsiString key;
  TObject* object;
  const uint64_t cacheRoom = all < FCacheBytes ? FCacheBytes - all : 0;
  const uint64_t aheadRoom = std::min(cacheRoom, held < FDecodeAheadBytes ? FDecodeAheadBytes - held : 0);
  while (FTable->NextObject(FPosition, key, object)) {
    auto* entry = static_cast<TImageTableItem*>(object);
    std::unique_lock<std::mutex> lock(entry->Lock);
    if (entry->State == TImageTableItem::stPending && (entry->References > 0 || aheadRoom > 0)) {
      FFileName = key;
      FDecodedImage.reset();
      room = entry->References > 0 ? cacheRoom : aheadRoom;
      found = entry;
      return lock;
    }
  }
  FIdle = true;
  found = nullptr;
  return {};
}

uint64_t TGraphicsLoaderThread::HeldBytes(uint64_t* unborrowed) {
  uint64_t bytes = 0;
  int walk = 0;
  AnsiString key;
  TObject* object;
  while (FTable->NextObject(walk, key, object)) {
    auto* entry = static_cast<TImageTableItem*>(object);
    std::lock_guard<std::mutex> lock(entry->Lock);
    if (!entry->Image) continue;
    const uint64_t size = ImageBytes(entry->Image->Width(), entry->Image->Height());
    bytes += size;
    if (unborrowed && entry->References <= 0) *unborrowed += size;
  }
  return bytes;
}

void TGraphicsLoaderThread::SleepUntilWoken() {
  std::unique_lock<std::mutex> lock(FWakeLock);
  // A wake after the last pass began is one that pass may have missed.
  FWakeSignal.wait(lock, [&] { return FWakeCount != FPassesDone || Terminated(); });
}

void TGraphicsLoaderThread::ShowFatalError(const std::exception_ptr& error) {
  std::string text = "GraphicsLoaderThread Error!\r\n";
  try {
    std::rethrow_exception(error);
  } catch (const Exception& e) {
    text += std::string(e.ClassName()) + "\r\n" + e.Message();
  } catch (const std::exception& e) {
    text += std::string("Exception\r\n") + e.what();
  } catch (...) {
    text += "Exception\r\n";
  }
  MessageDlg(text, mtError, mbOKOnly);
}

// ---- the cache

TGraphicsLoader::TGraphicsLoader(uint64_t decodeAheadBytes, TImageDecoder decode, uint64_t cacheBytes) {
  auto table = std::make_unique<TObjectTable>();
  table->Overwrite = false;
  table->OwnsObjects = true;
  FWorker = std::make_unique<TGraphicsLoaderThread>(std::move(table), decodeAheadBytes, std::move(decode), cacheBytes);
  FWorker->Start();
  FWorker->Wake();
}

TGraphicsLoader::~TGraphicsLoader() = default;  // the worker stops, then frees the table

std::unique_ptr<TABitmap> TGraphicsLoader::Decode(const AnsiString& key, uint64_t maxBytes) {
  // An image past what the cache may still hold is refused, as one that cannot be decoded.
  std::unique_ptr<TABitmap> image;
  if (FWorker->Decoder()(key, maxBytes, image) != TImageDecode::Decoded) image.reset();
  return image;
}

const AnsiString& TGraphicsLoader::KeyOf(const AnsiString& fileName) {
  const auto known = FKeys.find(fileName);
  if (known != FKeys.end()) return known->second;
  char real[PATH_MAX + 1];
  const bool found = ::realpath(ResolveFileName(std::string_view(fileName)).c_str(), real) != nullptr;
  return FKeys.emplace(fileName, found ? AnsiString(real) : fileName).first->second;
}

TABitmap* TGraphicsLoader::GetImage(const AnsiString& fileName) {
  if (fileName.empty()) return nullptr;  // no file named: no image, and no entry to count
  const AnsiString& key = KeyOf(fileName);
  TObjectTable& table = ImageTable();
  std::unique_lock<TObjectTable> tableLock(table);
  const uint64_t held = FWorker->HeldBytes();
  const uint64_t room = held < FWorker->FCacheBytes ? FWorker->FCacheBytes - held : 0;
  TObject* object = nullptr;
  if (table.TryGetObject(key, object)) {
    auto* entry = static_cast<TImageTableItem*>(object);
    std::lock_guard<std::mutex> lock(entry->Lock);
    tableLock.unlock();
    if (entry->State == TImageTableItem::stPending) {
      entry->Image = Decode(key, room);
      if (entry->Image) entry->State = TImageTableItem::stLoaded;
    }
    ++entry->References;
    return entry->Image.get();
  }
  // Decoded while the table is locked: nobody else can see the new entry yet.
  auto created = std::make_unique<TImageTableItem>();
  created->Image = Decode(key, room);
  if (created->Image) created->State = TImageTableItem::stLoaded;
  created->References = 1;
  TImageTableItem* entry = created.get();
  table.SetObject(key, created.release());  // the table owns it whatever happens
  return entry->Image.get();
}

void TGraphicsLoader::ReleaseImage(const AnsiString& fileName) {
  const AnsiString& key = KeyOf(fileName);
  TObjectTable& table = ImageTable();
  const std::lock_guard<TObjectTable> tableLock(table);
  TObject* object = nullptr;
  if (table.TryGetObject(key, object)) {
    auto* entry = static_cast<TImageTableItem*>(object);
    bool last;
    {
      const std::lock_guard<std::mutex> lock(entry->Lock);
      last = --entry->References <= 0;
    }
    if (last) RemoveEntry(key, entry);
  }
}

void TGraphicsLoader::RemoveEntry(const AnsiString& fileName, TImageTableItem* entry) {
  // Taking the entry's lock waits out a decode the worker may be running on it; the
  // worker cannot find the entry again while the table is locked.
  { const std::lock_guard<std::mutex> decoded(entry->Lock); }
  ImageTable().Remove(fileName);
}

void TGraphicsLoader::DecodeAhead(const std::vector<AnsiString>& names) {
  std::vector<AnsiString> fileNames;
  for (const AnsiString& name : names)
    if (!name.empty()) fileNames.push_back(KeyOf(name));
  TObjectTable& table = ImageTable();
  {
    const std::lock_guard<TObjectTable> tableLock(table);
    std::vector<std::pair<AnsiString, TImageTableItem*>> unwanted;
    int position = 0;
    AnsiString key;
    TObject* object;
    while (table.NextObject(position, key, object)) {
      auto* entry = static_cast<TImageTableItem*>(object);
      std::lock_guard<std::mutex> lock(entry->Lock);
      if (entry->References <= 0 && std::find(fileNames.begin(), fileNames.end(), key) == fileNames.end())
        unwanted.emplace_back(key, entry);
    }
    for (auto& [name, entry] : unwanted) RemoveEntry(name, entry);
    for (const AnsiString& name : fileNames) {
      if (name.empty() || table.IndexOf(name) >= 0) continue;
      table.SetObject(name, new TImageTableItem());
    }
  }
  FWorker->Wake();
}
