#include "ZRFoundation/Localization/ZRLocalization.h"

#include "ZRFoundation/Bundle/ZRBundle.h"
#include "ZRFoundation/Text/ZRUnicodeText.h"

#include <mutex>
#include <set>

#include <unicode/uchar.h>
#include <unicode/utf8.h>

namespace ZRLocalization {

namespace {

struct ReportingState {
    std::mutex mutex;
    std::optional<std::string> setting;
    std::set<std::string> reportedKeys;
    std::FILE* stream = stdout;
};

ReportingState& reportingState() {
    static ReportingState state;
    return state;
}

bool containsLetter(std::string_view text) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    std::size_t offset = 0;
    while (offset < text.size()) {
        const auto windowLength = static_cast<std::int32_t>(std::min<std::size_t>(4, text.size() - offset));
        std::int32_t consumed = 0;
        UChar32 c = 0;
        U8_NEXT(bytes + offset, consumed, windowLength, c);
        if (c >= 0 && u_isalpha(c)) {
            return true;
        }
        offset += static_cast<std::size_t>(consumed);
    }
    return false;
}

void reportMissingKey(std::string_view key, std::optional<std::string_view> table) {
    auto& state = reportingState();
    std::lock_guard lock(state.mutex);
    if (!state.setting || !state.reportedKeys.insert(std::string(key)).second) {
        return;
    }
    const std::string& setting = *state.setting;
    const bool wanted =
        setting == reportAllTables || (table && setting == *table) || (!table && setting == defaultTable);
    if (!wanted || !containsLetter(key)) {
        return;
    }
    const std::string escaped = ZRUnicodeText::replacingOccurrences(key, "\\", "\\\\");
    std::fprintf(state.stream, "\"%s\" = \"%s\";\n", escaped.c_str(),
                 std::string(notYetLocalizedMarker).c_str());
    std::fflush(state.stream);
}

} // namespace

void setLogMissingLocalizations(std::optional<std::string> setting) {
    auto& state = reportingState();
    std::lock_guard lock(state.mutex);
    state.setting = std::move(setting);
    state.reportedKeys.clear();
}

void setReportStream(std::FILE* stream) {
    auto& state = reportingState();
    std::lock_guard lock(state.mutex);
    state.stream = stream;
}

std::string lookupLocalizedString(std::string_view key, std::optional<std::string_view> table,
                                  const ZRBundle* bundle) {
    const ZRBundle& source = bundle != nullptr ? *bundle : ZRBundle::mainBundle();
    std::string answer = source.localizedStringForKey(key, missingKeyMarker, table.value_or(defaultTable));
    if (answer == missingKeyMarker) {
        reportMissingKey(key, table);
        return std::string(key);
    }
    if (answer == notYetLocalizedMarker) {
        return std::string(key);
    }
    return answer;
}

} // namespace ZRLocalization
