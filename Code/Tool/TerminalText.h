#pragma once

#include <concepts>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

/// Text for a terminal, built so that nothing read from a bundle, a file name or an argument can
/// move the cursor, change colours, set a window title or forge rows: every string appended goes
/// through `escaped`, and line feeds and tabs come only from the layout tokens.
class TerminalText {
public:
    enum class Layout { newline, tab };
    static constexpr Layout newline = Layout::newline;
    static constexpr Layout tab = Layout::tab;

    /// The text with ill-formed UTF-8 shown as U+FFFD and every control character written as an
    /// escape, so that each character shown stands for itself:
    ///   \t \n \r           tab, line feed, carriage return
    ///   \xHH               the other C0 controls (U+0000..U+001F) and DEL (U+007F), e.g. ESC is \x1b
    ///   \u{HH}             the C1 controls U+0080..U+009F, e.g. CSI is \u{9b}
    ///   \\                 the backslash itself, so that an escape is never confused with a name
    ///                      that happens to hold a backslash
    /// Everything else, including non-ASCII letters, is kept as it is.
    static std::string escaped(std::string_view text);

    /// Appends `text` escaped.
    TerminalText& operator<<(std::string_view text);
    TerminalText& operator<<(Layout layout);
    TerminalText& operator<<(const TerminalText& text);
    /// Appends `value` as JSON on one line. JSON's own escapes keep it unambiguous: ill-formed UTF-8
    /// becomes U+FFFD, and DEL and the C1 controls, which JSON allows raw, are written \u007f and
    /// \u0080..\u009f like the C0 controls.
    TerminalText& appendJSON(const nlohmann::ordered_json& value);
    template <std::integral Number>
    requires(!std::same_as<Number, char> && !std::same_as<Number, bool>) TerminalText&
    operator<<(Number number) {
        _text += std::to_string(number);
        return *this;
    }

    bool empty() const { return _text.empty(); }
    const std::string& string() const { return _text; }

private:
    std::string _text;
};
