#include "crash/report/log/LogFile.h"

#include <windows.h>

#include <algorithm>

#include "crash/engine/ECore.h"
#include "crash/engine/errors/InternalErrors.h"
#include "rtl/Streams.h"
#include "rtl/SysUtils.h"

namespace crash {

namespace {

constexpr std::string_view kCRLF = "\r\n";
constexpr std::string_view kTableTop = "-\r\n|";
constexpr std::string_view kEntryTail = "\r\n\r\n\r\n";

std::string SystemReason(DWORD error)
{
    return rtl::WideToAnsi(rtl::SysErrorMessage(error));
}

[[noreturn]] void RaiseCreateError(const std::string& fileName, DWORD error)
{
    throw rtl::EFCreateError("Cannot create file \"" + fileName + "\". " + SystemReason(error));
}

void WriteAll(HANDLE file, std::string_view bytes, const std::string& fileName)
{
    while (!bytes.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 20));
        DWORD written = 0;
        if (!::WriteFile(file, bytes.data(), chunk, &written, nullptr) || written == 0)
            throw rtl::EWriteError("Cannot write file \"" + fileName + "\". " + SystemReason(::GetLastError()));
        bytes.remove_prefix(written);
    }
}

// The key of the item labelled item in an entry.
std::string ItemKey(std::string_view item)
{
    std::string key("\r\n  ");
    key.append(item);
    key += ' ';
    return key;
}

struct TItemPlace {
    std::size_t Key = std::string::npos;    // position of the key's CRLF
    std::size_t Colon = std::string::npos;  // position of the first ": " after it
};

TItemPlace FindItemPlace(const std::string& entry, std::string_view item)
{
    TItemPlace place;
    place.Key = entry.find(ItemKey(item));
    if (place.Key != std::string::npos) place.Colon = entry.find(": ", place.Key + 2);
    return place;
}

// The end of a value that starts at start: the position of the CRLF that
// closes its last line (entry's size when no CRLF closes it). A following
// line belongs to the value unless it is empty or is the next item's line
// (two blanks and a non-blank fourth character).
std::size_t ValueEnd(const std::string& entry, std::size_t start)
{
    std::size_t end = entry.find(kCRLF, start);
    while (end != std::string::npos) {
        const std::size_t next = end + 2;
        if (next >= entry.size() || entry.compare(next, 2, kCRLF) == 0) break;
        std::size_t lineEnd = entry.find(kCRLF, next);
        if (lineEnd == std::string::npos) lineEnd = entry.size();
        const std::string_view line(entry.data() + next, lineEnd - next);
        if (line.size() >= 4 && line.substr(0, 2) == "  " && line[3] != ' ') break;
        end = lineEnd == entry.size() ? std::string::npos : lineEnd;
    }
    return end == std::string::npos ? entry.size() : end;
}

// The lines of a value as the runtime's string lists split text: at CRLF,
// lone CR or lone LF; a final line break opens no further line.
std::vector<std::string_view> SplitLines(std::string_view text)
{
    std::vector<std::string_view> lines;
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

bool IsBlankLine(std::string_view line)
{
    return std::all_of(line.begin(), line.end(), [](char c) { return c == ' '; });
}

// Drops the line breaks that end a report text: an entry never ends with its
// own, so that the list and the file it is saved to hold the same entry.
std::string_view WithoutFinalLineBreaks(std::string_view text)
{
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) text.remove_suffix(1);
    return text;
}

}  // namespace

// ---- Free functions ------------------------------------------------------------------

std::string NormalizeLineBreaks(std::string_view text)
{
    if (text.find_first_of("\r\n") == std::string_view::npos) return std::string(text);
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r') {
            out += kCRLF;
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else if (c == '\n') {
            if (i == 0)
                out += '\n';
            else
                out += kCRLF;
        } else {
            out += c;
        }
    }
    return out;
}

std::string StoredItemValue(std::string_view value, std::size_t colonPosition)
{
    const std::string escaped = QuickStringReplace(value, ": ", ":_");
    const std::vector<std::string_view> lines = SplitLines(escaped);
    if (lines.empty()) return std::string(kCRLF);
    std::string stored;
    stored.reserve(escaped.size() + lines.size() * (colonPosition + 4));
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) {
            stored.append(colonPosition + 1, ' ');
            if (IsBlankLine(lines[i])) {
                stored += '.';
            } else {
                stored.append(lines[i]);
            }
        } else {
            stored.append(lines[i]);
        }
        stored += kCRLF;
    }
    return stored;
}

std::string ReadFileBytes(const std::string& fileName)
{
    rtl::FileHandle file(::CreateFileA(fileName.c_str(), GENERIC_READ,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) throw rtl::EFOpenError("Cannot open file \"" + fileName + "\". " + SystemReason(::GetLastError()));
    std::string bytes;
    char buffer[65536];
    for (;;) {
        DWORD read = 0;
        if (!::ReadFile(file.Get(), buffer, sizeof buffer, &read, nullptr))
            throw rtl::EReadError("Cannot read file \"" + fileName + "\". " + SystemReason(::GetLastError()));
        if (read == 0) break;
        bytes.append(buffer, read);
    }
    return bytes;
}

constexpr int kRenameAttempts = 20;

bool ReplaceFileBytes(const std::string& fileName, std::string_view bytes)
{
    // One temporary name per log: only the holder of the log's lock writes
    // it, and what a writer that crashed left there is overwritten.
    const std::string temporary = fileName + ".tmp";
    {
        rtl::FileHandle file(
            ::CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) RaiseCreateError(temporary, ::GetLastError());
        try {
            WriteAll(file.Get(), bytes, temporary);
            if (!::FlushFileBuffers(file.Get()))
                throw rtl::EWriteError("Cannot write file \"" + temporary + "\". " + SystemReason(::GetLastError()));
            if (!file.Close())
                throw rtl::EWriteError("Cannot write file \"" + temporary + "\". " + SystemReason(::GetLastError()));
        } catch (...) {
            file.Reset();
            ::DeleteFileA(temporary.c_str());
            throw;
        }
    }
    // A rename over the log, not ReplaceFile: the rename is one step, so a
    // writer killed at any moment leaves the old log or the new one. Wine's
    // ReplaceFile is not one step, and a writer killed inside it left an
    // empty log.
    // A reader that holds the log open for a moment (another program's
    // check of the file) makes the rename fail; it is tried again shortly.
    for (int attempt = 0; attempt < kRenameAttempts; ++attempt) {
        if (::MoveFileExA(temporary.c_str(), fileName.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return true;
        const DWORD error = ::GetLastError();
        if (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) break;
        ::Sleep(10);
    }
    const DWORD error = ::GetLastError();
    ::DeleteFileA(temporary.c_str());
    ::SetLastError(error);
    return false;
}

void RewriteFileBytes(const std::string& fileName, std::string_view bytes)
{
    rtl::FileHandle file(::CreateFileA(fileName.c_str(), GENERIC_READ | GENERIC_WRITE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                       nullptr));
    if (!file) RaiseCreateError(fileName, ::GetLastError());
    WriteAll(file.Get(), bytes, fileName);
    if (!::SetEndOfFile(file.Get()) || !file.Close())
        throw rtl::EWriteError("Cannot write file \"" + fileName + "\". " + SystemReason(::GetLastError()));
}

// ---- TLogFile ------------------------------------------------------------------------

TLogFile::TLogFile(const std::string& fileName, bool readOnly) : FFileName(fileName)
{
    if (FFileName.empty()) return;
    GetWorkingFile(FFileName, true, readOnly);
    if (IsReadableFile(FFileName)) LoadFromText(ReadFileBytes(FFileName));
}

void TLogFile::LoadFromText(std::string text)
{
    if (text.size() < kLogEntrySeparator.size()) return;
    if (std::string_view(text).substr(text.size() - kLogEntrySeparator.size()) != kLogEntrySeparator)
        text += kLogEntrySeparator;
    ParseBuffer(text);
}

void TLogFile::ParseBuffer(std::string_view buffer)
{
    const std::string text = NormalizeLineBreaks(buffer);
    std::size_t start = 0;
    for (;;) {
        // An entry that ended with its own line break leaves it before the
        // next entry, which never begins with an empty line.
        while (text.compare(start, 2, kCRLF) == 0) start += 2;
        const std::size_t run = text.find(kLogEntrySeparator, start);
        if (run == std::string::npos) break;
        std::string chunk = text.substr(start, run - start + kEntryTail.size());
        if (chunk.find(kTableTop) != std::string::npos) FList.push_back(std::move(chunk));
        start = run + kLogEntrySeparator.size();
    }
}

std::string TLogFile::Text() const
{
    std::size_t size = 0;
    for (const std::string& entry : FList) size += entry.size() + 2;
    std::string text;
    text.reserve(size);
    for (const std::string& entry : FList) {
        text += entry;
        text += kCRLF;
    }
    return text;
}

std::string TLogFile::SaveToText() const
{
    std::string text = Text();
    const std::size_t length = text.size();
    if (length >= 10 && text[length - 10] == '\r' && text[length - 9] == '\n') text.resize(length - 2);
    return text;
}

void TLogFile::Save()
{
    if (FFileName.empty()) throw rtl::EFCreateError("Cannot create file \"\". The log has no file.");
    const std::string bytes = SaveToText();
    if (ReplaceFileBytes(FFileName, bytes)) return;
    const DWORD error = ::GetLastError();
    RewriteFileBytes(FFileName, bytes);
    SetLastVexlorLogError(eeLogError, "The log file \"" + FFileName +
                                          "\" could not be replaced and was rewritten in place. " +
                                          SystemReason(error));
}

void TLogFile::SaveInPlace()
{
    if (FFileName.empty()) throw rtl::EFCreateError("Cannot create file \"\". The log has no file.");
    RewriteFileBytes(FFileName, SaveToText());
}

void TLogFile::Append(std::string_view log, std::int32_t maxNum)
{
    if (maxNum >= 0) {
        const std::size_t keep = maxNum > 0 ? static_cast<std::size_t>(maxNum) - 1 : 0;
        if (FList.size() > keep) FList.erase(FList.begin(), FList.end() - static_cast<std::ptrdiff_t>(keep));
    }
    std::string entry(WithoutFinalLineBreaks(log));
    entry += kEntryTail;
    FList.push_back(std::move(entry));
}

void TLogFile::DeleteItem(int itemNumber)
{
    if (itemNumber < 0 || itemNumber >= Count())
        throw rtl::Exception("List index out of bounds (" + std::to_string(itemNumber) + ")");
    FList.erase(FList.begin() + itemNumber);
}

const std::string& TLogFile::GetItem(int itemNumber) const
{
    if (itemNumber < 0 || itemNumber >= Count())
        throw rtl::Exception("List index out of bounds (" + std::to_string(itemNumber) + ")");
    return FList[static_cast<std::size_t>(itemNumber)];
}

int TLogFile::FindItem(const std::vector<std::string>& items, const std::vector<std::string>& values) const
{
    if (items.size() != values.size()) return -1;
    int found = -1;
    for (std::size_t i = 0; i < FList.size(); ++i) {
        const std::string& entry = FList[i];
        for (std::size_t j = 0; j < items.size(); ++j) {
            const TItemPlace place = FindItemPlace(entry, items[j]);
            if (place.Colon == std::string::npos) continue;
            const std::size_t colonPosition = place.Colon - (place.Key + 2) + 1;
            const std::string stored = StoredItemValue(values[j], colonPosition);
            if (entry.compare(place.Colon + 2, stored.size(), stored) == 0 &&
                entry.size() >= place.Colon + 2 + stored.size()) {
                found = static_cast<int>(i);
                break;
            }
        }
    }
    return found;
}

std::string TLogFile::GetItemValue(const std::string& item, int itemNumber) const
{
    if (itemNumber < 0 || itemNumber >= Count()) return std::string();
    const std::string& entry = FList[static_cast<std::size_t>(itemNumber)];
    const TItemPlace place = FindItemPlace(entry, item);
    if (place.Colon == std::string::npos) return std::string();
    const std::size_t start = place.Colon + 2;
    const std::size_t end = ValueEnd(entry, start);

    std::string value;
    std::size_t lineStart = start;
    for (bool first = true;; first = false) {
        std::size_t lineEnd = entry.find(kCRLF, lineStart);
        if (lineEnd == std::string::npos || lineEnd > end) lineEnd = end;
        std::size_t from = lineStart;
        if (!first) {
            value += kCRLF;
            while (from < lineEnd && entry[from] == ' ') ++from;
        }
        value.append(entry, from, lineEnd - from);
        if (lineEnd >= end) break;
        lineStart = lineEnd + 2;
    }

    value = QuickStringReplace(value, ":_", ": ");
    // A "." stands for an empty line only when it is the whole line: a
    // sentence that ends a line keeps its full stop.
    for (std::size_t i = 1; i < value.size(); ++i) {
        if (value[i] == '.' && value[i - 1] == '\n' && (i + 1 == value.size() || value[i + 1] == '\r')) value[i] = ' ';
    }
    const auto isTrimmed = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
    const auto first = std::find_if_not(value.begin(), value.end(), isTrimmed);
    const auto last = std::find_if_not(value.rbegin(), value.rend(), isTrimmed).base();
    return first < last ? std::string(first, last) : std::string();
}

void TLogFile::SetItemValue(const std::string& item, const std::string& value, int itemNumber,
                            const std::string& caption)
{
    if (itemNumber < 0 || itemNumber >= Count()) return;
    std::string entry = FList[static_cast<std::size_t>(itemNumber)];
    const TItemPlace place = FindItemPlace(entry, item);
    if (place.Key != std::string::npos) {
        if (place.Colon == std::string::npos) return;
        const std::size_t start = place.Colon + 2;
        std::size_t end = ValueEnd(entry, start);
        if (end < entry.size()) end += 2;  // the CRLF that closes the value
        const std::size_t colonPosition = place.Colon - (place.Key + 2) + 1;
        entry.replace(start, end - start, StoredItemValue(value, colonPosition));
        if (entry.size() < kEntryTail.size() ||
            std::string_view(entry).substr(entry.size() - kEntryTail.size()) != kEntryTail)
            entry += kCRLF;
        FList[static_cast<std::size_t>(itemNumber)] = std::move(entry);
        return;
    }

    const std::size_t dot = item.find('.');
    if (dot == std::string::npos) return;
    const std::string section = item.substr(0, dot + 1);
    std::size_t reference = std::string::npos;
    for (int i = 19; i >= 1 && reference == std::string::npos; --i)
        reference = entry.find(ItemKey(section + std::to_string(i)));
    if (reference == std::string::npos) return;
    const std::size_t colon = entry.find(": ", reference);
    const std::size_t sectionEnd = entry.find("\r\n\r\n", reference);
    if (colon == std::string::npos || sectionEnd == std::string::npos) return;
    const std::size_t width = colon - reference >= 4 ? colon - reference - 4 : 0;
    std::string label = item + " " + caption;
    if (label.size() < width) label.append(width - label.size(), ' ');
    std::string line = "  " + label + ": ";
    line += StoredItemValue(value, 2 + label.size() + 1);
    entry.insert(sectionEnd + 2, line);
    FList[static_cast<std::size_t>(itemNumber)] = std::move(entry);
}

std::string TLogFile::GetLogVersion(int itemNumber) const
{
    if (itemNumber < 0 || itemNumber >= Count()) return std::string();
    const std::string& entry = FList[static_cast<std::size_t>(itemNumber)];
    const std::size_t lineEnd = std::min(entry.find(kCRLF), entry.size());
    return lineEnd > 10 ? entry.substr(10, lineEnd - 10) : std::string();
}

bool TLogFile::GetCorruptedLog(int itemNumber) const
{
    if (itemNumber < 0 || itemNumber >= Count()) return false;
    const std::string& entry = FList[static_cast<std::size_t>(itemNumber)];
    if (entry.compare(0, 9, "VexlorLog") != 0) return true;
    for (const char* item : {"2.2", "2.5", "2.6", "2.7"})
        if (!GetItemValue(item, itemNumber).empty()) return false;
    return true;
}

std::string TLogFile::GetXML() const
{
    if (!LogFileSteps.XMLCopy) throw rtl::Exception("The XML copy of the log cannot be made.");
    return LogFileSteps.XMLCopy(*this);
}

void TLogFile::SaveXMLCopy(const std::string& fileName) const
{
    const std::string xml = GetXML();
    rtl::FileHandle file(::CreateFileA(fileName.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) RaiseCreateError(fileName, ::GetLastError());
    WriteAll(file.Get(), xml, fileName);
    if (!file.Close())
        throw rtl::EWriteError("Cannot write file \"" + fileName + "\". " + SystemReason(::GetLastError()));
}

}  // namespace crash
