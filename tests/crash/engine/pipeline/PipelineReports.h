// Reading the result file of the pipeline's child program.
#pragma once
#include <sstream>
#include <string>
#include <vector>

namespace pipelinetest {

// The lines the recording step wrote, one per report.
inline std::vector<std::string> ReportLines(const std::string& output)
{
    std::vector<std::string> lines;
    std::istringstream in(output);
    for (std::string line; std::getline(in, line);)
        if (line.rfind("report", 0) == 0) lines.push_back(line);
    return lines;
}

inline int CountOf(const std::string& output, const std::string& text)
{
    int count = 0;
    for (std::size_t at = output.find(text); at != std::string::npos; at = output.find(text, at + 1)) ++count;
    return count;
}

}  // namespace pipelinetest
