#pragma once

#include "ZRFoundation/Localization/ZRLocalization.h"

#include <cstdio>
#include <string>

/// The strings-file lines that the lookup reports for keys missing from `table` while `action`
/// runs; empty when every key it looked up was found.
template <typename Action>
std::string missingLocalizationsReported(const char* table, Action&& action) {
    std::FILE* report = std::tmpfile();
    if (report == nullptr) {
        return "(no temporary file for the report)";
    }
    ZRLocalization::setReportStream(report);
    ZRLocalization::setLogMissingLocalizations(std::string(table));
    action();
    ZRLocalization::setLogMissingLocalizations(std::nullopt);
    ZRLocalization::setReportStream(stdout);
    std::string lines;
    std::rewind(report);
    for (int character = std::fgetc(report); character != EOF; character = std::fgetc(report)) {
        lines.push_back(static_cast<char>(character));
    }
    std::fclose(report);
    return lines;
}
