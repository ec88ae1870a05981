// TZipWriter: packs files into one zip archive, as the delivery code does with
// a report's attachments before sending them.
//
// Ordinary delivery code: a writer belongs to the thread that uses it.
#pragma once
#include <string>

#include "crash/delivery/EZlib2.h"
#include "rtl/System.h"

namespace crash {

class TZipWriter : public rtl::TObject {
public:
    // Creates a new, empty archive fileName (an existing file of that name is
    // replaced). When it cannot be created the writer holds no archive and
    // AddFile does nothing. An empty password writes entries unencrypted.
    TZipWriter(const std::string& fileName, const std::string& password);
    // Closes the archive, writing its directory.
    ~TZipWriter() override;
    TZipWriter(const TZipWriter&) = delete;
    TZipWriter& operator=(const TZipWriter&) = delete;

    // Adds fileName as the entry archiveFileName (see AddZipFile). A file that
    // cannot be read whole is left out silently.
    void AddFile(const std::string& fileName, const std::string& archiveFileName);

private:
    ZipHandle FZipHandle = nullptr;
    std::string FPassword;
};

}  // namespace crash
