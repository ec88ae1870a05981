// The zip writer of the delivery code.
#include "crash/delivery/EZip.h"

namespace crash {

TZipWriter::TZipWriter(const std::string& FileName, const std::string& Password)
    : FZipHandle(CreateZipFile(FileName)), FPassword(Password)
{}

TZipWriter::~TZipWriter()
{
    CloseZipFile(FZipHandle);
}

void TZipWriter::AddFile(const std::string& FileName, const std::string& ArchiveFileName)
{
    AddZipFile(FZipHandle, FileName, ArchiveFileName, FPassword);
}

}  // namespace crash
