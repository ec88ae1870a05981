// The zip writer of the delivery code.
#include "crash/delivery/EZip.h"

namespace crash {

TZipWriter::TZipWriter(const std::string& fileName, const std::string& password)
    : FZipHandle(CreateZipFile(fileName)), FPassword(password)
{}

TZipWriter::~TZipWriter()
{
    CloseZipFile(FZipHandle);
}

void TZipWriter::AddFile(const std::string& fileName, const std::string& archiveFileName)
{
    AddZipFile(FZipHandle, fileName, archiveFileName, FPassword);
}

}  // namespace crash
