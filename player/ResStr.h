// The player's message texts.
#pragma once

namespace ResStr {
// Fatal start-up errors: cause, then location code.
inline constexpr const char* FatalStartup = "次のエラーが発生したため、プログラムを終了します\r\n原因: %s 発生箇所ID: %s";
inline constexpr const char* ScriptReadFailed = "スクリプト読み込みに失敗";
inline constexpr const char* OutOfMemory = "メモリー不足です";
inline constexpr const char* EngineNoThread = "グラフィックエンジンのスレッドを開始できません";
inline constexpr const char* EngineNotCreated = "グラフィックエンジンを作成できません (詳細は Kinetra.log に)";
inline constexpr const char* NoBody = "スクリプト \"%s\" にBODY要素がありません。最後のWAITだけを置きます。";
inline constexpr const char* TooManyElements =
    "スクリプト \"%s\" の要素が4999個を超えています。超えた%s個の要素とその中身は無視されます。";
inline constexpr const char* MsgImageOpenFailed = "メッセージ背景画像を開けません。";
inline constexpr const char* MsgImageCopyFailed = "メッセージ背景画像をコピーできません。";
inline constexpr const char* ProgramStarted = "プログラムを開始しました。";
inline constexpr const char* ProgramEnded = "プログラムを終了しました。";
inline constexpr const char* FontUsed = "文字の表示に使うフォント: %s (%s)";
inline constexpr const char* TranslationNote = "翻訳: %s";
inline constexpr const char* UnknownCommand = "Unkown command.\r\n";
inline constexpr const char* CountError = "Not enough or too many parameters.\r\n";
inline constexpr const char* VariableNotFound = "Variable not found. %s";
inline constexpr const char* UnknownCompare = "Unknown Compare Operand %s";
inline constexpr const char* ScriptErrorType = "SVXScriptError";
inline constexpr const char* ScriptLocation = "???.svx";
inline constexpr const char* InvalidValue = "Invalid value.\r\n";
inline constexpr const char* IndexNotDeclared = "Index not declared: %s\r\n";
inline constexpr const char* SonaraError = "Sonara Error [%s]: %s\r\n";
inline constexpr const char* SoundNotLoaded = "Sound Not Loaded SOUND[%s]";
inline constexpr const char* ProcessConfirm =
    "このストーリーはプログラム \"%s\" を起動しようとしています。\r\nコマンドライン: %s\r\n\r\n"
    "信頼できるストーリーの場合だけ起動してください。起動しますか?";
inline constexpr const char* ProcessRefused = "プログラムを起動しませんでした: %s";
inline constexpr const char* LogsElsewhere = "ストーリーのフォルダに書き込めないため、ログは %s に書きます。";
inline constexpr const char* LogsNoStory = "このフォルダには %s がないため、ログは %s に書きます。";
inline constexpr const char* LogsNowhere =
    "ストーリーのフォルダにも %s にも書き込めないため、ログは書きません。";
inline constexpr const char* Runaway =
    "WAITのないまま1回の更新で%s個のコマンドを実行しました。スクリプトが止まらずに繰り返している可能性があります。"
    "\r\n続きは次の更新で実行します。";
inline constexpr const char* OlderSave =
    "このセーブは以前の版で作られたもので、同じ名前のフォルダの別の物語のものかもしれません。\r\n"
    "「%s」のセーブとして読み込みますか？";
inline constexpr const char* SavedPlaceLost =
    "このセーブの場所は、更新された物語の中に見つかりません。\r\n"
    "ラベル「%s」の始めから続けますか？ (いいえ: ロードしません)";
}  // namespace ResStr
