// Writes a report's files as the sending code does (log copy, captured page,
// XML copy, a file of the user's), lists them with BuildAttachmentList and
// zips them under the names SendFileName gives; beside the archive, a copy
// of each file under its archive name and the list of names, for
// verify_attachment_zip.py to compare.
//
// usage: AttachmentZipMaker.exe FOLDER
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "crash/delivery/EZip.h"
#include "crash/engine/EOptions.h"
#include "crash/report/files/ReportFiles.h"
#include "crash/report/log/LogFile.h"
#include "rtl/Startup.h"
#include "tests/crash/report/files/CannedReports.h"

namespace {

// A well-formed stand-in for the XML builder's copy: one element per entry,
// the identifier and message as text of the log's code page.
std::string SimpleXML(const crash::TLogFile& log)
{
    auto escape = [](const std::string& text) {
        std::string out;
        for (const char c : text) {
            switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default: out += c;
            }
        }
        return out;
    };
    std::string xml = "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\r\n<Log>\r\n";
    for (int i = 0; i < log.Count(); ++i)
        xml += "  <Entry ID=\"" + escape(log.GetItemValue("2.7", i)) + "\">" + escape(log.GetItemValue("2.6", i)) +
               "</Entry>\r\n";
    return xml + "</Log>\r\n";
}

}  // namespace

int main(int argc, char** argv)
{
    const rtl::TProgramStartup programStartup;
    if (argc != 2) return 2;
    const std::string folder = std::string(argv[1]) + "\\";
    crash::LogFileSteps.XMLCopy.Set(&SimpleXML);
    try {
        auto options = crash::TVexlorModuleOptions::Create("");
        options->SetOutputPath(folder + "Report.vlf");
        crash::TCommonSendOptions send;
        for (auto option : {crash::sndSendXMLLogCopy, crash::sndSendLastHTMLPage, crash::sndAddDateInFileName})
            send.Include(option);
        options->SetCommonSendOptions(send);
        SetEnvironmentVariableA("ZIP_MAKER_DIR", folder.c_str());
        options->SetAttachedFiles("%ZIP_MAKER_DIR%user.ini");
        crash::TReportFilesState state;
        state.Options = options.get();
        state.ExceptionTime = SYSTEMTIME{2013, 2, 6, 2, 14, 30, 5, 0};
        state.CapturedWebPage = "x";

        {
            crash::TLogFile copy(crash::LogCopyFileName(state), false);
            copy.Clear();
            copy.Append(testsupport::CannedReport("0A0A"), -1);
            copy.Append(testsupport::CannedReport("1B1B"), -1);
            copy.Save();
        }
        crash::SaveLastHTMLPage(state, "<html><title>\xce\xf8\xe8\xe1\xea\xe0</title>\n</html>");
        crash::SaveXMLLogCopy(state);
        crash::RewriteFileBytes(folder + "user.ini", "[User]\r\nName=\xc8\xe2\xe0\xed\r\n");

        std::vector<std::string> list;
        crash::BuildAttachmentList(state, false, list);
        std::string names;
        {
            crash::TZipWriter zip(folder + "BugReport.zip", "");
            for (const std::string& file : list) {
                const std::string name = crash::SendFileName(state, file);
                zip.AddFile(file, name);
                crash::RewriteFileBytes(folder + "expected-" + name, crash::ReadFileBytes(file));
                names += name + "\n";
            }
        }
        crash::RewriteFileBytes(folder + "names.txt", names);
        DeleteFileA(crash::LogCopyFileName(state).c_str());
        DeleteFileA(crash::XMLCopyFileName(state).c_str());
        DeleteFileA(crash::LastHTMLPageFileName(state).c_str());
    } catch (const rtl::Exception& e) {
        std::fprintf(stderr, "%s\n", e.Message().c_str());
        return 1;
    }
    return 0;
}
