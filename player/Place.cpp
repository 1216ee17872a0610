#include "player/Place.h"

#include <limits>

#include "platform/CodePage.h"
#include "platform/SysUtils.h"
#include "player/Commands.h"

namespace {

constexpr int32_t kFingerprintReach = 2;  // commands on each side of the place

uint32_t Fingerprint(const TScriptLoader& script, int32_t from, int32_t to) {
  uint32_t h = Fnv1a32(nullptr, 0);
  for (int32_t i = from; i <= to; ++i) {
    if (i < 0 || i > script.LastIndex()) {
      h = Fnv1a32("|", 1, h);
      continue;
    }
    h = Fnv1a32(script.CommandName(i).data(), script.CommandName(i).size(), h);
    h = Fnv1a32(script.CommandParam(i).data(), script.CommandParam(i).size() * 2, h);
    h = Fnv1a32("\n", 1, h);
  }
  return h;
}
uint32_t BeforeOf(const TScriptLoader& s, int32_t p) { return Fingerprint(s, p - kFingerprintReach, p); }
uint32_t AfterOf(const TScriptLoader& s, int32_t p) { return Fingerprint(s, p, p + kFingerprintReach); }

}  // namespace

TPlace LocatePlace(const TScriptLoader& script, int32_t position) {
  TPlace place;
  place.Position = position;
  place.Offset = position;
  if (position < 0) return place;
  for (int32_t i = position; i >= 0; --i) {
    const TCommand* label = FindCommand(script.CommandName(i));
    if (label && label->Flow == TFlow::Label) {
      place.Label = WideToUtf8(script.CommandParam(i));
      place.Offset = position - i;
      break;
    }
  }
  place.Before = BeforeOf(script, position);
  place.After = AfterOf(script, position);
  return place;
}

int32_t LabelStart(const TScriptLoader& script, const TPlace& place) {
  int32_t at = -1;
  if (place.Label.empty() || !script.Labels().TryGetInt(place.Label, at)) return -1;
  return at;
}

TPlaceFound FindPlace(const TScriptLoader& script, const TPlace& place, int32_t& position) {
  position = -1;
  if (place.Position < 0) return TPlaceFound::Found;  // past the end stays there
  const int32_t base = place.Label.empty() ? 0 : LabelStart(script, place);
  // Where it was: the label still there and the commands on either side of the place. An
  // offset from a damaged save may be anything: the sum is taken in 64 bits.
  const int64_t at = base >= 0 ? int64_t(base) + place.Offset : -1;
  if (at >= 0 && at <= script.LastIndex()) {
    const int32_t i = int32_t(at);
    if (BeforeOf(script, i) == place.Before || AfterOf(script, i) == place.After) {
      position = i;
      return TPlaceFound::Found;
    }
  }
  // Elsewhere: the one place whose commands on both sides are those of the save.
  int32_t found = -1, count = 0;
  for (int32_t i = 0; i <= script.LastIndex() && count < 2; ++i)
    if (BeforeOf(script, i) == place.Before && AfterOf(script, i) == place.After) found = i, ++count;
  if (count == 1) {
    position = found;
    return TPlaceFound::Found;
  }
  return count > 1 ? TPlaceFound::Ambiguous : TPlaceFound::Lost;
}

uint64_t PageKey(const TScriptLoader& script, int32_t wait) {
  // The fingerprints a place keeps, without its label: a page shown asks nothing more.
  const uint32_t before = BeforeOf(script, wait), after = AfterOf(script, wait);
  const uint64_t h = Fnv1a64(&before, sizeof before);
  return Fnv1a64(&after, sizeof after, h);
}
