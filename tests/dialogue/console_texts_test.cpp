// Decodes every console text from code page 932 and compares it with the Japanese text, so
// that no byte of them can be wrong unnoticed.

#include "texts/console_texts.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#if __has_include(<iconv.h>)
#include <iconv.h>

namespace {

std::string DecodeCp932(const char* bytes) {
    iconv_t decoder = iconv_open("UTF-8", "CP932");
    if (decoder == reinterpret_cast<iconv_t>(-1)) return "(no CP932 decoder)";
    std::string in(bytes);
    std::string out(in.size() * 4 + 4, '\0');
    char* inAt = in.data();
    char* outAt = out.data();
    std::size_t inLeft = in.size();
    std::size_t outLeft = out.size();
    const std::size_t done = iconv(decoder, &inAt, &inLeft, &outAt, &outLeft);
    iconv_close(decoder);
    if (done == static_cast<std::size_t>(-1) || inLeft != 0) return "(not CP932)";
    out.resize(out.size() - outLeft);
    return out;
}

TEST(ConsoleTexts, AreTheJapaneseTextsInCodePage932) {
    const struct {
        const char* bytes;
        const char* utf8;
        std::size_t length;
    } cases[] = {
        {texts::TEXT_BANNER, u8"PCMデータをWAVファイルに変換します Ver1.00", 42},
        {texts::TEXT_PCM_DATA_PROMPT, u8"\n\nPCMデータのファイル名をフルパスで指定\nPcmData--->", 51},
        {texts::TEXT_OUTPUT_PROMPT, u8"\n出力ファイル名を名をフルパスで指定\nPcmData--->", 47},
        {texts::TEXT_CONVERTING, u8"\n変換中...", 10},
        {texts::TEXT_RESULT_LEAD, u8"...", 3},
        {texts::TEXT_RESULT_DONE, u8"正常に終了しました", 18},
        {texts::TEXT_RESULT_NO_INPUT, u8"指定されたファイルがありません", 30},
        {texts::TEXT_RESULT_WRITE_FAILED, u8"出力ファイルに書き込めません", 28},
        {texts::TEXT_RESULT_SAME_FILE, u8"入力と出力に同じファイルが指定されています", 42},
        {texts::TEXT_RESULT_READ_FAILED, u8"PCMデータを読み込めません", 25},
        {texts::TEXT_OVER_LENGTH, u8"文字列の長さが２５５文字を超えています。", 40},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DecodeCp932(c.bytes), std::string(reinterpret_cast<const char*>(c.utf8)));
        EXPECT_EQ(std::strlen(c.bytes), c.length) << c.utf8;
    }
}

}  // namespace
#endif
