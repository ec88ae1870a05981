// The customised texts file: multi-line texts in INI keys, and the texts of
// the options saved and loaded through it.
#include "crash/engine/options/OptionsCustomTexts.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "crash/engine/EConsts.h"
#include "crash/engine/ELang.h"
#include "crash/engine/EOptions.h"
#include "tests/crash/engine/options/CountingOptions.h"
#include "tests/crash/engine/stream/StreamTestSupport.h"

namespace crash {
namespace {

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class CustomTexts : public ::testing::Test {
protected:
    void SetUp() override
    {
        FFile = test::CaseFolder() + "\\Russian.ini";
        DeleteFileA(FFile.c_str());
    }
    std::string Read(const std::string& key, const std::string& fallback = "default")
    {
        std::string text;
        ReadRawStrings(FFile, kCustomizedTextsSection, "Count " + key, text, fallback, key);
        return text;
    }
    std::string FFile;
};

TEST_F(CustomTexts, LinesRoundTripWithTheirOwnQuotesAndBlanks)
{
    static constexpr struct {
        const char* text;
        const char* read;
    } kCases[] = {
        {"one", "one"},
        {"a\r\nb", "a\r\nb"},
        {"a\r\nb\r\n", "a\r\nb"},  // a final break opens no line
        {"a\nb\rc", "a\r\nb\r\nc"},
        {"\r\n", ""},  // one empty line
        {"\"", "\""},
        {"\"quoted\"", "\"quoted\""},
        {"'single'", "'single'"},
        {"  blanks  ", "  blanks  "},
        {"Ошибка; = [x] %s", "Ошибка; = [x] %s"},
        {"", "default"},  // no lines: the default
    };
    int n = 0;
    for (const auto& c : kCases) {
        SCOPED_TRACE(testing::PrintToString(std::string(c.text)));
        const std::string key = "mtKey" + std::to_string(n++);
        EXPECT_TRUE(WriteRawStrings(FFile, kCustomizedTextsSection, "Count " + key, c.text, key));
        EXPECT_EQ(Read(key), c.read);
    }
    const std::string file = ReadAll(FFile);
    EXPECT_NE(file.find("[Exception Log]\r\n"), std::string::npos) << file;
    EXPECT_NE(file.find("\r\nCount mtKey1=2\r\nmtKey10=\"a\"\r\nmtKey11=\"b\"\r\n"), std::string::npos) << file;
    EXPECT_NE(file.find("\r\nmtKey90=\"Ошибка; = [x] %s\"\r\n"), std::string::npos) << file;
}

TEST_F(CustomTexts, FileWrittenByHandReadsWithOnePairOfQuotesTaken)
{
    std::ofstream(FFile, std::ios::binary) << "[Exception Log]\r\n"
                                              "Count plain=1\r\nplain0=x\r\n"
                                              "Count quoted=1\r\nquoted0=\"x\"\r\n"
                                              "Count twice=1\r\ntwice0=\"\"x\"\"\r\n"
                                              "Count lone=1\r\nlone0=\"\r\n"
                                              "Count gap=3\r\ngap0=\"a\"\r\ngap2=\"c\"\r\n"
                                              "Count zero=0\r\nzero0=\"z\"\r\n"
                                              "Count bad=many\r\nbad0=\"b\"\r\n";
    static constexpr struct {
        const char* key;
        const char* read;
    } kCases[] = {
        {"plain", "x"},
        {"quoted", "x"},
        {"twice", "\"x\""},
        {"lone", "\""},
        {"gap", "a\r\ndefault\r\nc"},  // a missing line takes the default's place
        {"zero", "default"},
        {"bad", "default"},
        {"missing", "default"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.key);
        EXPECT_EQ(Read(c.key), c.read);
    }
    // The default takes a missing line's place with its blanks.
    EXPECT_EQ(Read("gap", "Name:  "), "a\r\nName:  \r\nc");
}

TEST_F(CustomTexts, OptionsTextsGoThroughTheFileAndNameTheCollection)
{
    int stores = 0;
    const auto source = test::MakeOptions(&stores);
    for (std::size_t i = 0; i < kMessageTypeCount; ++i)
        source->SetCustomizedTexts(static_cast<TMessageType>(i),
                                   "Текст " + std::to_string(i) + (i % 3 ? "" : "\r\n\"вторая\""));
    source->SaveCustomizedTextsToFile(FFile);
    EXPECT_EQ(source->TextsCollection(), "Russian");
    const std::string file = ReadAll(FFile);
    EXPECT_NE(
        file.find(
            "\r\nCount mtDialog_Caption=2\r\nmtDialog_Caption0=\"Текст 3\"\r\nmtDialog_Caption1=\"\"вторая\"\"\r\n"),
        std::string::npos);

    const auto target = test::MakeOptions(&stores);
    stores = 0;
    target->LoadCustomizedTextsFromFile(FFile);
    EXPECT_EQ(stores, 1);
    EXPECT_EQ(target->CustomizedTexts(), source->CustomizedTexts());
    EXPECT_EQ(target->TextsCollection(), "Russian");
}

TEST_F(CustomTexts, AMissingFileOrTextKeepsTheCurrentTexts)
{
    std::ofstream(FFile, std::ios::binary)
        << "[Exception Log]\r\nCount mtDialog_Caption=1\r\nmtDialog_Caption0=\"Сбой\"\r\n";
    int stores = 0;
    const auto o = test::MakeOptions(&stores);
    o->SetCustomizedTexts(mtDialog_GeneralCaption, "Общие");
    o->LoadCustomizedTextsFromFile(FFile);
    EXPECT_EQ(o->GetCustomizedTexts(mtDialog_Caption), "Сбой");
    EXPECT_EQ(o->GetCustomizedTexts(mtDialog_GeneralCaption), "Общие");
    EXPECT_EQ(o->GetCustomizedTexts(mtInvalidEmailMsg), EVals[mtInvalidEmailMsg]);

    const auto before = o->CustomizedTexts();
    o->LoadCustomizedTextsFromFile(test::CaseFolder() + "\\missing.ini");
    EXPECT_EQ(o->CustomizedTexts(), before);
    EXPECT_EQ(o->TextsCollection(), "missing");
}

}  // namespace
}  // namespace crash
