// The player's message texts.
#pragma once

namespace ResStr {
// Fatal start-up errors: cause, then location code.
inline constexpr const char* FatalStartup = "次のエラーが発生したため、プログラムを終了します\r\n原因: %s 発生箇所ID: %s";
inline constexpr const char* ScriptReadFailed = "スクリプト読み込みに失敗";
inline constexpr const char* OutOfMemory = "メモリー不足です";
inline constexpr const char* NoBody = "スクリプト \"%s\" にBODY要素がありません。最後のWAITだけを置きます。";
inline constexpr const char* TooManyElements =
    "スクリプト \"%s\" の要素が4999個を超えています。超えた%s個の要素とその中身は無視されます。";
}  // namespace ResStr
