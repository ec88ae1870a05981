// TLogFile: the crash log (".vlf"), one entry per report, kept as the file's
// bytes (8-bit text of the ANSI code page, never converted, so every byte of
// the file comes back as it was).
//
// The file is a run of entries, each followed by four CRLFs. An entry is a
// report text: its first line begins "VexlorLog " and the library version,
// header items are lines "  S.n Caption: value", and its call-stack table
// gives it the sequence "-\r\n|", without which a chunk is not an entry.
//
// Several writers (processes, or modules with their own copy of the library)
// share one log: take TLogFileLock (LogFileLock.h) before making the object
// and keep it until the object is gone, so that what is loaded is what the
// last writer saved. Save never rewrites the file where it lies while it can
// replace it with a complete new copy.
//
// Failure: creating, loading and saving raise rtl::EStreamError kinds (cannot
// open, create, write) and an index outside the list raises rtl::Exception
// from DeleteItem and GetItem; the reading operations answer empty text, -1 or
// false instead.
// Threads: an object belongs to one thread at a time; nothing locks inside.
// Zone: report thread and ordinary code (it allocates); never from hooks.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "crash/engine/ReportSteps.h"
#include "rtl/Handles.h"
#include "rtl/System.h"

namespace crash {

class TLogFile;

// The steps the log takes from the units beside it: the XML copy is made by
// the XML builder, which fills this slot at start-up.
struct TLogFileSteps {
    // The XML copy of the whole log (every entry, read with the log's
    // Password); empty slot: no XML copy can be made.
    TReportStep<std::string(const TLogFile& log)> XMLCopy;
};
inline TLogFileSteps LogFileSteps;

// The four CRLFs after every entry.
inline constexpr std::string_view kLogEntrySeparator = "\r\n\r\n\r\n\r\n";

class TLogFile : public rtl::TObject {
public:
    // Resolves fileName for reading or writing (GetWorkingFile, in a
    // folder of the program's name when it falls back to the user's folder)
    // and loads the file when it exists. The file is not kept open:
    // the writers' lock, not an open handle, keeps others out while this
    // object lives. An empty fileName makes a log without a file (Save
    // raises).
    TLogFile(const std::string& fileName, bool readOnly);
    ~TLogFile() override = default;
    TLogFile(const TLogFile&) = delete;
    TLogFile& operator=(const TLogFile&) = delete;

    // The path the log reads and writes, as resolved at creation.
    const std::string& FileName() const noexcept { return FFileName; }
    const std::string& Password() const noexcept { return FPassword; }
    void SetPassword(std::string value) { FPassword = std::move(value); }

    // ---- Loading and saving ----
    // Adds the entries of the text: from fewer than 8 bytes none; a text
    // that does not end with the separator gets it first.
    void LoadFromText(std::string text);
    // Splits zero-free 8-bit text into entries and adds them (line breaks
    // normalised first). Chunks without a call-stack table are dropped.
    void ParseBuffer(std::string_view text);
    // The file's bytes: the list's text, less one CRLF when the newest entry
    // ended with its own line break.
    std::string SaveToText() const;
    // Writes the log to its file: a complete copy beside it, flushed, then
    // put in its place. When the system refuses the replacement (another
    // program holds the log open without sharing its deletion), the file is
    // rewritten where it lies and a warning recorded.
    void Save();
    // The rewrite in place alone: from the start of the file, then cut after
    // the text. A crash in the middle tears the file; only the fallback of
    // Save (and a test that measures the difference) uses it.
    void SaveInPlace();

    // ---- Entries ----
    // Keeps at most maxNum entries after the addition (a negative maxNum:
    // no limit; 0 keeps the new entry alone) and adds log as the newest.
    void Append(std::string_view log, std::int32_t maxNum);
    void DeleteItem(int itemNumber);
    void Clear() noexcept { FList.clear(); }
    int Count() const noexcept { return static_cast<int>(FList.size()); }
    // Every entry string followed by CRLF.
    std::string Text() const;
    // The stored string of one entry, with its three trailing CRLFs.
    const std::string& GetItem(int itemNumber) const;

    // ---- Items of an entry ----
    // The index of the newest entry that holds one of the pairs
    // (items[j], values[j]), the pairs of an entry tried in order; -1 when
    // none does (or the arrays differ in length).
    int FindItem(const std::vector<std::string>& items, const std::vector<std::string>& values) const;
    // The value of the item labelled item ("2.7") of entry itemNumber, read back from its
    // stored form; empty for a missing item or an index outside the list.
    std::string GetItemValue(const std::string& item, int itemNumber) const;
    // Replaces the value of the item labelled item, or adds the item as the last line of
    // its section when the entry lacks it (caption after the label, padded to
    // the width of its section's labels). The value is stored in the form
    // GetItemValue and FindItem read, so ": " and line breaks survive.
    void SetItemValue(const std::string& item, const std::string& value, int itemNumber, const std::string& caption);
    // The entry's first line from its 11th character on.
    std::string GetLogVersion(int itemNumber) const;
    // True when the entry's first line does not begin "VexlorLog" or its
    // items 2.2, 2.5, 2.6 and 2.7 are all empty; false outside the list.
    bool GetCorruptedLog(int itemNumber) const;

    // ---- XML copy (made by LogFileSteps.XMLCopy) ----
    // rtl::Exception when the slot is empty.
    std::string GetXML() const;
    // Writes GetXML() to fileName (replacing it).
    void SaveXMLCopy(const std::string& fileName) const;

private:
    std::string FFileName;
    std::vector<std::string> FList;
    std::string FPassword;
};

// Lone CRs and LFs become CRLF; an LF that is the text's first character
// stays as it is.
std::string NormalizeLineBreaks(std::string_view text);

// The form in which a value is stored on an item line whose ": " stands at
// position colonPosition (counted from 1, from the line's two blanks): ": "
// as ":_", every line after the first indented to the value's column, an
// empty one of them as ".", every line closed by CRLF.
std::string StoredItemValue(std::string_view value, std::size_t colonPosition);

// ---- Whole files ------------------------------------------------------------------

// The bytes of the file; raises rtl::EFOpenError when it cannot be opened.
// Others may read, write and delete it meanwhile.
std::string ReadFileBytes(const std::string& fileName);
// Replaces fileName by a complete file holding bytes: written beside it under
// the name fileName + ".tmp", flushed and closed, then put in its place. True
// on success; false, with the temporary file gone, when the system refuses
// the replacement. Raises rtl::EFCreateError / rtl::EWriteError when the
// temporary file cannot be written.
bool ReplaceFileBytes(const std::string& fileName, std::string_view bytes);
// Opens or creates fileName shared for reading and writing, writes bytes from
// its start and cuts it after them. rtl::EFCreateError / rtl::EWriteError.
void RewriteFileBytes(const std::string& fileName, std::string_view bytes);

}  // namespace crash
