// The customised texts file of the options and its INI helpers.
#include "crash/engine/options/OptionsCustomTexts.h"

#include <vector>

#include "crash/engine/ECore.h"
#include "crash/engine/core/ECoreInternal.h"
#include "crash/engine/EConsts.h"
#include "crash/engine/EOptions.h"

namespace crash {

namespace {

// Lines as a text list splits them: at CR LF, a lone CR or a lone LF; a break
// at the very end opens no empty line.
std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n') continue;
        lines.push_back(text.substr(start, i - start));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        start = i + 1;
    }
    if (start < text.size()) lines.push_back(text.substr(start));
    return lines;
}

// The collection a texts file stands for: its name without folder and extension.
std::string CollectionName(const std::string& fileName)
{
    std::string name = core::ExtractFileName(fileName);
    if (const std::size_t dot = name.rfind('.'); dot != std::string::npos) name.erase(dot);
    return name;
}

}  // namespace

bool WriteRawStrings(const std::string& file, const std::string& section, const std::string& countKey,
                     const std::string& text, const std::string& keyPrefix)
{
    const std::vector<std::string> lines = SplitLines(text);
    bool written = WriteInteger(file, section, countKey, static_cast<int>(lines.size()));
    for (std::size_t i = 0; i < lines.size(); ++i)
        written = WriteString(file, section, keyPrefix + std::to_string(i), "\"" + lines[i] + "\"") && written;
    return written;
}

void ReadRawStrings(const std::string& file, const std::string& section, const std::string& countKey,
                    std::string& result, const std::string& defaultText, const std::string& keyPrefix)
{
    const int count = ReadInteger(file, section, countKey, 0);
    if (count < 1) {
        result = defaultText;
        return;
    }
    // The profile functions already take off one pair of quotes; taking off
    // another would eat quotes that belong to the text.
    std::string text;
    for (int i = 0; i < count; ++i) {
        if (i > 0) text += "\r\n";
        text += ReadString(file, section, keyPrefix + std::to_string(i), defaultText);
    }
    result = std::move(text);
}

void TVexlorModuleOptions::SaveCustomizedTextsToFile(const std::string& fileName)
{
    for (std::size_t i = 0; i < kMessageTypeCount; ++i) {
        const std::string name(MessageTypeName(static_cast<TMessageType>(i)));
        if (!WriteRawStrings(fileName, kCustomizedTextsSection, "Count " + name, FCustomizedTexts[i], name)) {
            // The file is not writable: every further key would fail the same way.
            break;
        }
    }
    SetTextsCollection(CollectionName(fileName));
}

void TVexlorModuleOptions::LoadCustomizedTextsFromFile(const std::string& fileName)
{
    RunBulkChange([this, &fileName] {
        for (std::size_t i = 0; i < kMessageTypeCount; ++i) {
            const std::string name(MessageTypeName(static_cast<TMessageType>(i)));
            std::string text;
            ReadRawStrings(fileName, kCustomizedTextsSection, "Count " + name, text, FCustomizedTexts[i], name);
            FCustomizedTexts[i] = std::move(text);
        }
        FTextsCollection = CollectionName(fileName);
    });
}

}  // namespace crash
