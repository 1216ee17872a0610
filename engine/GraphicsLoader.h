// The engine's cache of decoded images, keyed by the file a name leads to and counted by
// reference: every active scene object borrows its images here, so a file several objects
// show, under whatever names, is decoded once and freed when the last one lets go. A worker
// thread decodes ahead the images of scenes not shown yet, within a fixed memory budget;
// GetImage decodes on demand whatever the worker has done. All the decoded images together
// stay within a budget of their own: an image that would go past it is refused.
// Threads: GetImage, ReleaseImage, DecodeAhead, WaitUntilIdle, construction and
// destruction belong to the engine's thread; the worker runs Execute. The table's lock
// comes first, an entry's lock second; nobody waits for the table holding an entry.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "common/ABitmap.h"
#include "common/Ombrix.h"
#include "common/Tables.h"
#include "platform/Classes.h"

// An image file open in the decoder, closed when it goes. The name is resolved as story
// file names are; Handle() is null when the file could not be opened.
class TImageFile {
 public:
  explicit TImageFile(const AnsiString& fileName);
  ~TImageFile();
  TImageFile(const TImageFile&) = delete;
  TImageFile& operator=(const TImageFile&) = delete;
  HOMBRIX Handle() const { return FHandle; }

 private:
  HOMBRIX FHandle = nullptr;
};

// Decodes one PNG or JPEG file into a 32-bit bitmap; none when it cannot be opened, has a
// bit depth other than 8 or a colour type other than 1 and 129.
std::unique_ptr<TABitmap> LoadImageFile(const AnsiString& fileName);
// Why an image with this header gives no bitmap ("Bitdepth not supported.", "Color type
// not supported."), or null when it decodes, with the format it first takes.
const char* ImageInfoRefusal(const TOmbrixInfo& info, TPixelFormat& format);

// How the cache turns a file into a bitmap: Decoded, Failed (the file gives none) or
// OverBudget (it would take more than maxBytes, so it is left for later). DecodeImageFile is
// the decoder's; tests may give their own.
enum class TImageDecode { Decoded, Failed, OverBudget };
using TImageDecoder =
    std::function<TImageDecode(const AnsiString& fileName, uint64_t maxBytes, std::unique_ptr<TABitmap>& out)>;
TImageDecode DecodeImageFile(const AnsiString& fileName, uint64_t maxBytes, std::unique_ptr<TABitmap>& out);

class TImageTableItem : public TObject {
 public:
  enum TState : uint8_t { stPending = 0, stFailed = 1, stLoaded = 2 };

  std::mutex Lock;
  std::unique_ptr<TABitmap> Image;
  int32_t References = 0;
  uint8_t State = stPending;
};

class TGraphicsLoaderThread : public TThread {
 public:
  // The images decoded ahead and not borrowed by anyone may hold at most this much memory;
  // once they do, nothing more is decoded ahead (about 34 full 800x600 pictures).
  static constexpr uint64_t kDecodeAheadBytes = uint64_t(64) * 1024 * 1024;
  // All decoded images together, borrowed or not (about 280 full 800x600 pictures, far more
  // than any scene shows at once).
  static constexpr uint64_t kCacheBytes = uint64_t(512) * 1024 * 1024;

  TGraphicsLoaderThread(std::unique_ptr<TObjectTable> table, uint64_t decodeAheadBytes, TImageDecoder decode,
                        uint64_t cacheBytes = kCacheBytes);
  ~TGraphicsLoaderThread() override;

  TObjectTable& Table() { return *FTable; }
  const TImageDecoder& Decoder() const { return FDecode; }
  void Wake();
  // Blocks until the worker has searched the whole table since the last Wake and found
  // nothing more it may decode. Not while held.
  void WaitUntilIdle();
  // While held, the worker begins no pass: see TGraphicsLoader::HoldDecodingAhead.
  void Hold(bool held);

 protected:
  void Execute() override;

 private:
  void DecodePending();
  // The next entry to decode from FPosition on in `found` (null when there is none), with
  // its lock held by the answer. Entries nobody has asked for yet count against the
  // budget, which `room` then says is left.
  std::unique_lock<std::mutex> FindNextPending(uint64_t& room, TImageTableItem*& found);
  void SleepUntilWoken();
  // What all decoded images take, and adds to `unborrowed` what those nobody holds take;
  // the table is locked by the caller.
  uint64_t HeldBytes(uint64_t* unborrowed = nullptr);
  friend class TGraphicsLoader;
  // The pass that began after `wakes` wake-ups has ended; the largest count: the worker has.
  void PassDone(uint64_t wakes);
  void ShowFatalError(const std::exception_ptr& error);

  bool FIdle = false;
  AnsiString FFileName;
  std::unique_ptr<TABitmap> FDecodedImage;
  int FPosition = 0;
  std::unique_ptr<TObjectTable> FTable;
  const uint64_t FDecodeAheadBytes;
  const uint64_t FCacheBytes;
  const TImageDecoder FDecode;

  std::mutex FWakeLock;
  std::condition_variable FWakeSignal;
  uint64_t FWakeCount = 0;
  bool FHeld = false;
  uint64_t FPassesDone = 0;  // wake-ups the last finished pass had seen when it began
  std::condition_variable FIdleSignal;
};

class TGraphicsLoader {
 public:
  explicit TGraphicsLoader(uint64_t decodeAheadBytes = TGraphicsLoaderThread::kDecodeAheadBytes,
                           TImageDecoder decode = DecodeImageFile,
                           uint64_t cacheBytes = TGraphicsLoaderThread::kCacheBytes);
  ~TGraphicsLoader();
  TGraphicsLoader(const TGraphicsLoader&) = delete;
  TGraphicsLoader& operator=(const TGraphicsLoader&) = delete;

  // The decoded image of that file (none if it gives none), with one more reference. The
  // cache owns it; it stays valid until the matching ReleaseImage.
  TABitmap* GetImage(const AnsiString& fileName);
  // One reference less; at none the entry and its image go. Unknown names are ignored.
  void ReleaseImage(const AnsiString& fileName);
  // The files worth decoding before anyone asks, most wanted first. Entries nobody holds
  // that are not in the list are freed; the worker decodes the rest within its budget.
  void DecodeAhead(const std::vector<AnsiString>& fileNames);
  void WaitUntilIdle() { FWorker->WaitUntilIdle(); }
  // While held nothing is decoded ahead; GetImage still decodes what it is asked. The
  // engine holds it until its first picture is drawn and shown, so that a start has the
  // processors for what it shows first.
  void HoldDecodingAhead(bool held) { FWorker->Hold(held); }

  TObjectTable& ImageTable() { return FWorker->Table(); }

 private:
  std::unique_ptr<TABitmap> Decode(const AnsiString& key, uint64_t maxBytes);
  // The table's key for a name: the real path of the file it resolves to, or the name as
  // written when it leads to none. Found once per name and kept, so that letting an image
  // go (at the end of a transition) costs no allocation.
  const AnsiString& KeyOf(const AnsiString& fileName);
  // Frees an entry the table has under `fileName`; the table is locked by the caller.
  void RemoveEntry(const AnsiString& fileName, TImageTableItem* entry);

  std::unique_ptr<TGraphicsLoaderThread> FWorker;
  std::map<AnsiString, AnsiString, std::less<>> FKeys;  // the engine's thread only
};
