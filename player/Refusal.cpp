#include "player/Refusal.h"

namespace {

struct TText {
  TRefusalCode Code;
  const char* English;
  const char* Japanese;
};

// A detail follows the English in brackets, or after a colon where it is the system's reason.
constexpr TText kTexts[] = {
    {TRefusalCode::None, "", ""},
    {TRefusalCode::NotASave, "it is not a save (no SORVSAVE at its start)", "セーブファイルではありません。"},
    {TRefusalCode::CutShort, "it is cut short", "ファイルが途中で切れています。"},
    {TRefusalCode::TrailingBytes, "it has bytes after its end", "ファイルの後ろに余分なデータがあります。"},
    {TRefusalCode::OtherVersion, "it is a save of another version", "別の版のセーブです。"},
    {TRefusalCode::SaysTooLarge, "it says it is larger than a save may be", "セーブとして大きすぎます。"},
    {TRefusalCode::FileTooLarge, "it is larger than a save may be", "セーブとして大きすぎます。"},
    {TRefusalCode::ChecksumWrong, "it is damaged (its checksum does not match)", "ファイルが壊れています。"},
    {TRefusalCode::DoesNotUnpack, "it is damaged (its contents do not unpack)", "ファイルが壊れています。"},
    {TRefusalCode::NotASaveInside, "it is damaged (its contents do not make a save)", "ファイルが壊れています。"},
    {TRefusalCode::TooMuchMemory, "it would take more memory than a save may", "セーブとして大きすぎます。"},
    {TRefusalCode::CannotRead, "it cannot be read", "ファイルを読めません。"},
    {TRefusalCode::PlaceLost, "the saved place is no longer in the story", "セーブした場所が物語の中に見つかりません。"},
    {TRefusalCode::PlaceAmbiguous, "the saved place is found more than once in the story",
     "セーブした場所が物語の中で一つに決まりません。"},
    {TRefusalCode::PlacePastEnd, "its place in the script is past the script's end", "セーブした場所がスクリプトの外です。"},
    {TRefusalCode::SceneChanged, "a scene it shows is no longer in the story's scene file, or has changed",
     "セーブした場面がシーンファイルにないか、変わっています。"},
    {TRefusalCode::ScenesDamaged, "its scenes' state is damaged", "場面の状態が壊れています。"},
    {TRefusalCode::MessageDamaged, "its message window is damaged", "メッセージウィンドウの状態が壊れています。"},
    {TRefusalCode::PictureSize, "its picture is not of the screen's size", "画像の大きさが画面と違います。"},
    {TRefusalCode::OtherStory, "it is a save of another story", "別の物語のセーブです。"},
    {TRefusalCode::NoDataFolder, "there is no folder for the reader's data", "読者データのフォルダを作れません。"},
    {TRefusalCode::CannotWrite, "it cannot be written", "ファイルを書き込めません。"},
    {TRefusalCode::StateTooLarge, "the state is too large to save", "状態が大きすぎてセーブできません。"},
    {TRefusalCode::Declined, "the reader chose not to load it", "読み込みをやめました。"},
    {TRefusalCode::StoryStopped, "the story stopped on an error", "物語がエラーで止まっています。"},
};
static_assert(sizeof kTexts / sizeof kTexts[0] == size_t(TRefusalCode::StoryStopped) + 1);

const TText& TextOf(TRefusalCode code) {
  for (const TText& t : kTexts)
    if (t.Code == code) return t;
  return kTexts[0];
}

// Details that are the system's own words follow a colon; others are in brackets.
bool SystemDetail(TRefusalCode code) {
  return code == TRefusalCode::CannotRead || code == TRefusalCode::CannotWrite || code == TRefusalCode::NoDataFolder;
}

}  // namespace

std::string TRefusal::English() const {
  std::string text = TextOf(Code).English;
  if (Detail.empty()) return text;
  return SystemDetail(Code) ? text + ": " + Detail : text + " (" + Detail + ")";
}

std::string TRefusal::Japanese() const {
  std::string text = TextOf(Code).Japanese;
  if (Code == TRefusalCode::OtherStory && !Detail.empty()) return "このセーブは別の物語 (" + Detail + ") のものです。";
  if (SystemDetail(Code) && !Detail.empty()) text += "\r\n(" + Detail + ")";
  return text;
}
