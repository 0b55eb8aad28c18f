// Turns one manual source (docs/manual/*.manual) into the program's manual page and into a C++
// header with the texts its --help prints, so that the two never disagree.
//
//   lumora-manual SOURCE VERSION PAGE.1 HEADER.h
//
// The source is line-oriented. Directives start with '@' in the first column:
//   @name NAME            the program
//   @title TEXT           one line on what it does (the manual's NAME line)
//   @synopsis TEXT        one form of the command line (repeatable)
//   @heading NAME         starts a section (DESCRIPTION, OPTIONS, EXIT STATUS, EXAMPLES, ...)
//   @command NAME         starts a command of the program, in its own COMMANDS section
//   @usage TEXT           the command's command line; indented lines after it continue it
//   @summary TEXT         the command's one-line summary
//   @item TERM            a term with its explanation in the lines that follow (an option, a code)
//   @example              the lines that follow, to the next blank line, as typed
// Other lines are text: lines join into paragraphs, a blank line ends one.
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Block {
    enum class Kind { paragraph, item, example } kind = Kind::paragraph;
    std::string term;
    std::vector<std::string> lines;
};

struct Section {
    std::string heading;
    std::vector<Block> blocks;
};

struct Command {
    std::string name;
    std::vector<std::string> usage;
    std::string summary;
    std::vector<Block> blocks;
};

struct Manual {
    std::string name;
    std::string title;
    std::vector<std::string> synopsis;
    std::vector<Section> sections;
    std::vector<Command> commands;
    /// Where the COMMANDS section goes among the others: before sections[commandsPosition].
    size_t commandsPosition = 0;
};

[[noreturn]] void fail(const std::string& source, size_t line, const std::string& message) {
    std::cerr << source << ":" << line << ": " << message << "\n";
    std::exit(1);
}

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

Manual parse(const std::string& source) {
    std::ifstream stream(source);
    if (!stream) {
        fail(source, 0, "cannot read the file");
    }
    Manual manual;
    std::vector<Block>* blocks = nullptr;
    Command* command = nullptr;
    bool blockOpen = false;
    bool inUsage = false;
    std::string line;
    size_t number = 0;
    while (std::getline(stream, line)) {
        ++number;
        if (line.find('\t') != std::string::npos) {
            fail(source, number, "tabs are not allowed; indent with spaces");
        }
        const bool isDirective = !line.empty() && line[0] == '@';
        if (!isDirective && inUsage && line.starts_with("  ") && !trimmed(line).empty()) {
            command->usage.back().append(1, '\n').append(trimmed(line));
            continue;
        }
        inUsage = false;
        if (!isDirective) {
            if (trimmed(line).empty()) {
                blockOpen = false;
                continue;
            }
            if (blocks == nullptr) {
                fail(source, number, "text before the first @heading or @command");
            }
            if (!blockOpen) {
                blocks->push_back(Block{});
                blockOpen = true;
            }
            Block& block = blocks->back();
            block.lines.push_back(block.kind == Block::Kind::example ? line : trimmed(line));
            continue;
        }
        const auto space = line.find(' ');
        const std::string directive =
            line.substr(1, space == std::string::npos ? std::string::npos : space - 1);
        const std::string argument = space == std::string::npos ? std::string() : trimmed(line.substr(space));
        blockOpen = false;
        if (directive == "name") {
            manual.name = argument;
        } else if (directive == "title") {
            manual.title = argument;
        } else if (directive == "synopsis") {
            manual.synopsis.push_back(argument);
        } else if (directive == "heading") {
            manual.sections.push_back(Section{argument, {}});
            blocks = &manual.sections.back().blocks;
            command = nullptr;
        } else if (directive == "command") {
            if (manual.commands.empty()) {
                manual.commandsPosition = manual.sections.size();
            }
            manual.commands.push_back(Command{argument, {}, {}, {}});
            command = &manual.commands.back();
            blocks = &command->blocks;
        } else if (directive == "usage" || directive == "summary") {
            if (command == nullptr) {
                fail(source, number, "@" + directive + " outside a @command");
            }
            if (directive == "usage") {
                command->usage.push_back(argument);
                inUsage = true;
            } else {
                command->summary = argument;
            }
        } else if (directive == "item" || directive == "example") {
            if (blocks == nullptr) {
                fail(source, number, "@" + directive + " before the first @heading or @command");
            }
            blocks->push_back(
                Block{directive == "item" ? Block::Kind::item : Block::Kind::example, argument, {}});
            blockOpen = true;
        } else {
            fail(source, number, "unknown directive @" + directive);
        }
    }
    if (manual.name.empty() || manual.title.empty() || manual.synopsis.empty()) {
        fail(source, number, "@name, @title and @synopsis are required");
    }
    for (const auto& each : manual.commands) {
        if (each.usage.empty() || each.summary.empty()) {
            fail(source, number, "command " + each.name + " needs @usage and @summary");
        }
    }
    return manual;
}

// Plain text for --help ------------------------------------------------------------------------

constexpr size_t helpWidth = 80;

/// Fills `text` into lines of at most helpWidth columns, continuing at `indent`. The first line
/// starts `firstIndent` spaces after `startColumn`, where the output already stands.
void wrap(std::ostream& out, const std::string& text, size_t indent, size_t firstIndent,
          size_t startColumn = 0) {
    std::istringstream words(text);
    std::string word;
    size_t column = startColumn + firstIndent;
    out << std::string(firstIndent, ' ');
    bool lineEmpty = true;
    while (words >> word) {
        if (!lineEmpty && column + 1 + word.size() > helpWidth) {
            out << "\n" << std::string(indent, ' ');
            column = indent;
            lineEmpty = true;
        }
        if (!lineEmpty) {
            out << ' ';
            ++column;
        }
        out << word;
        column += word.size();
        lineEmpty = false;
    }
    out << "\n";
}

std::string joined(const std::vector<std::string>& lines, const char* separator = " ") {
    std::string text;
    for (const auto& line : lines) {
        text += text.empty() ? line : separator + line;
    }
    return text;
}

void helpBlocks(std::ostream& out, const std::vector<Block>& blocks, size_t indent) {
    for (const auto& block : blocks) {
        switch (block.kind) {
        case Block::Kind::paragraph:
            wrap(out, joined(block.lines), indent, indent);
            out << "\n";
            break;
        case Block::Kind::item: {
            const size_t termColumn = indent + 2;
            const size_t textColumn = indent + 28;
            out << std::string(termColumn, ' ') << block.term;
            if (termColumn + block.term.size() + 2 <= textColumn) {
                wrap(out, joined(block.lines), textColumn, textColumn - termColumn - block.term.size(),
                     termColumn + block.term.size());
            } else {
                out << "\n";
                wrap(out, joined(block.lines), textColumn, textColumn);
            }
            break;
        }
        case Block::Kind::example:
            for (const auto& line : block.lines) {
                out << std::string(indent + 2, ' ') << line << "\n";
            }
            out << "\n";
            break;
        }
    }
}

std::string usageLines(const std::string& usage, size_t indent) {
    std::string text;
    std::istringstream lines(usage);
    std::string line;
    bool first = true;
    while (std::getline(lines, line)) {
        if (!first) {
            text.append(1, '\n').append(indent + 4, ' ');
        }
        text += line;
        first = false;
    }
    return text;
}

std::string programHelp(const Manual& manual) {
    std::ostringstream out;
    for (size_t index = 0; index < manual.synopsis.size(); ++index) {
        out << (index == 0 ? "usage: " : "       ") << manual.synopsis[index] << "\n";
    }
    out << "\n" << manual.name << ": " << manual.title << "\n\n";
    for (size_t index = 0; index <= manual.sections.size(); ++index) {
        if (index == manual.commandsPosition && !manual.commands.empty()) {
            out << "commands:\n";
            for (const auto& command : manual.commands) {
                out << "  " << usageLines(command.usage.front(), 2) << "\n";
                wrap(out, command.summary, 6, 6);
            }
            out << "\nRun '" << manual.name << " COMMAND --help' for a command's options.\n\n";
        }
        if (index == manual.sections.size()) {
            break;
        }
        const Section& section = manual.sections[index];
        // The manual page's own sections have no place in a terminal's help.
        if (section.heading == "SEE ALSO") {
            continue;
        }
        std::string heading = section.heading;
        for (size_t position = 1; position < heading.size(); ++position) {
            heading[position] =
                static_cast<char>(std::tolower(static_cast<unsigned char>(heading[position])));
        }
        out << heading << ":\n";
        helpBlocks(out, section.blocks, 0);
    }
    std::string text = out.str();
    while (text.ends_with("\n\n")) {
        text.pop_back();
    }
    return text;
}

std::string commandHelp(const Command& command) {
    std::ostringstream out;
    for (size_t index = 0; index < command.usage.size(); ++index) {
        out << (index == 0 ? "usage: " : "       ") << usageLines(command.usage[index], 7) << "\n";
    }
    out << "\n";
    wrap(out, command.summary, 0, 0);
    out << "\n";
    helpBlocks(out, command.blocks, 0);
    std::string text = out.str();
    while (text.ends_with("\n\n")) {
        text.pop_back();
    }
    return text;
}

// The manual page ------------------------------------------------------------------------------

std::string roff(const std::string& text) {
    std::string escaped;
    for (const char character : text) {
        if (character == '\\') {
            escaped += "\\e";
        } else if (character == '-') {
            escaped += "\\-";
        } else {
            escaped += character;
        }
    }
    if (escaped.starts_with('.') || escaped.starts_with('\'')) {
        escaped.insert(0, "\\&");
    }
    return escaped;
}

void roffBlocks(std::ostream& out, const std::vector<Block>& blocks) {
    for (const auto& block : blocks) {
        switch (block.kind) {
        case Block::Kind::paragraph:
            out << ".PP\n" << roff(joined(block.lines)) << "\n";
            break;
        case Block::Kind::item:
            out << ".TP\n\\fB" << roff(block.term) << "\\fR\n" << roff(joined(block.lines)) << "\n";
            break;
        case Block::Kind::example:
            out << ".PP\n.RS 4\n.nf\n";
            for (const auto& line : block.lines) {
                out << roff(line) << "\n";
            }
            out << ".fi\n.RE\n";
            break;
        }
    }
}

std::string manualPage(const Manual& manual, const std::string& version) {
    std::ostringstream out;
    std::string upper = manual.name;
    for (auto& character : upper) {
        character = static_cast<char>(std::toupper(static_cast<unsigned char>(character)));
    }
    out << ".\\\" Generated by lumora-manual from docs/manual/" << manual.name
        << ".manual; edit that file.\n";
    out << ".TH " << roff(upper) << " 1 \"\" \"LumoraViewer " << roff(version) << "\" \"User Commands\"\n";
    out << ".SH NAME\n" << roff(manual.name) << " \\- " << roff(manual.title) << "\n";
    out << ".SH SYNOPSIS\n";
    for (size_t index = 0; index < manual.synopsis.size(); ++index) {
        out << (index == 0 ? "" : ".br\n") << roff(manual.synopsis[index]) << "\n";
    }
    for (size_t index = 0; index <= manual.sections.size(); ++index) {
        if (index == manual.commandsPosition && !manual.commands.empty()) {
            out << ".SH COMMANDS\n";
            for (const auto& command : manual.commands) {
                out << ".SS " << roff(command.name) << "\n";
                for (const auto& usage : command.usage) {
                    std::string line = usage;
                    std::replace(line.begin(), line.end(), '\n', ' ');
                    out << ".PP\n\\fB" << roff(line) << "\\fR\n";
                }
                out << ".PP\n" << roff(command.summary) << "\n";
                roffBlocks(out, command.blocks);
            }
        }
        if (index == manual.sections.size()) {
            break;
        }
        out << ".SH " << roff(manual.sections[index].heading) << "\n";
        roffBlocks(out, manual.sections[index].blocks);
    }
    return out.str();
}

// The header -----------------------------------------------------------------------------------

std::string rawString(const std::string& text, const std::string& source) {
    static const std::string delimiter = "manual";
    if (text.find(")" + delimiter + "\"") != std::string::npos) {
        fail(source, 0, "the text holds the header's string delimiter");
    }
    return "R\"" + delimiter + "(" + text + ")" + delimiter + "\"";
}

std::string header(const Manual& manual, const std::string& source) {
    std::string identifier;
    bool upperNext = true;
    for (const char character : manual.name) {
        if (std::isalnum(static_cast<unsigned char>(character)) == 0) {
            upperNext = true;
            continue;
        }
        identifier +=
            upperNext ? static_cast<char>(std::toupper(static_cast<unsigned char>(character))) : character;
        upperNext = false;
    }
    std::ostringstream out;
    out << "// Generated by lumora-manual from docs/manual/" << manual.name << ".manual; edit that file.\n";
    out << "#pragma once\n\n#include <array>\n#include <string_view>\n\n";
    out << "namespace " << identifier << "Manual {\n\n";
    out << "struct CommandHelp {\n    std::string_view name;\n    std::string_view usage;\n"
        << "    std::string_view help;\n};\n\n";
    out << "/// What `" << manual.name << " --help` prints.\n";
    out << "inline constexpr std::string_view help = " << rawString(programHelp(manual) + "\n", source)
        << ";\n\n";
    out << "/// Each command's usage (for errors) and what `" << manual.name << " COMMAND --help` prints.\n";
    out << "inline constexpr std::array<CommandHelp, " << manual.commands.size() << "> commands{";
    for (const auto& command : manual.commands) {
        std::string usage;
        for (const auto& each : command.usage) {
            if (!usage.empty()) {
                usage += "\n       ";
            }
            usage += usageLines(each, 7);
        }
        out << "\n    CommandHelp{\"" << command.name << "\", " << rawString(usage, source)
            << ",\n                " << rawString(commandHelp(command) + "\n", source) << "},";
    }
    out << "\n};\n\n} // namespace " << identifier << "Manual\n";
    return out.str();
}

bool write(const std::string& path, const std::string& contents) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << contents;
    return static_cast<bool>(out);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::cerr << "usage: lumora-manual SOURCE VERSION PAGE.1 HEADER.h\n";
        return 2;
    }
    const std::string source = argv[1];
    const Manual manual = parse(source);
    if (!write(argv[3], manualPage(manual, argv[2])) || !write(argv[4], header(manual, source))) {
        std::cerr << "lumora-manual: cannot write the outputs\n";
        return 1;
    }
    return 0;
}
