// `eitool text`: the text object for translators. Texts go in and out as bytes, never
// re-encoded.
#include "cli/TextCommand.h"

#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "cli/Console.h"
#include "common/RunError.h"
#include "common/TextLines.h"
#include "textobject/TextObject.h"

#include <CLI/CLI.hpp>
#include <cstdio>
#include <new>
#include <vector>

namespace eitool::cli {

namespace {

using textobject::TTextObject;

constexpr const char* kTextFooter =
    R"(Styles: ini (numbered blocks "[0x00000000]") or blank (blocks framed by a line of
underscores, a "#H#E#A#D#E#R#" line and an "#E#N#D#" line).

Exit status: 0 done; 1 the file reads with complaints (a gap in the block numbers,
a block header that is not found, a block without its end line), named on standard
error; 2 usage error; 3 a file that cannot be read or written.)";

void Complain(const std::string& file, const std::string& message) {
    WriteStderr("eitool: " + ShownPath(file) + ": " + message + "\n");
}

// A text on one line: a line break (CR LF or LF) as "\n", a lone CR as "\r", a backslash as
// "\\"; every other byte as it is.
std::string Escaped(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            out += "\\n";
            ++i;
        } else if (c == '\r') {
            out += "\\r";
        } else {
            out += c;
        }
    }
    return out;
}

std::string StatusText(std::uint32_t status) {
    char text[11];
    std::snprintf(text, sizeof text, "0x%08X", status);
    return text;
}

// Loads path in the style onto text. A missing file throws; complaints of the load (gaps in the
// block numbers) go to standard error and give true.
bool Open(TTextObject& text, const std::string& path, const std::string& style) {
    if (style == "ini") {
        text.TextStyle = textobject::IniStyle;
        text.FileName = path;
        text.New(textobject::omRead);
        if ((text.Status & textobject::kStatusFileNotFound) != 0) {
            throw FileOpenError(path, "cannot open file: no such file");
        }
        if (text.Status == 0) {
            return false;
        }
        for (const std::string& message : text.Log) {
            Complain(path, message);
        }
        Complain(path, "Status " + StatusText(text.Status) +
                           ": the block numbers have a gap, so no text is read (--no-errors "
                           "reads them all the same)");
        return true;
    }
    text.TextStyle = textobject::BlanshStyle;
    if (!text.LoadText(path)) {
        throw FileOpenError(path, "cannot open file: no such file");
    }
    return false;
}

// Whether another text follows at the cursor: counted by the object's state, so that a stored
// text equal to "#OUT_OF_TEXT#" does not end the file.
bool HasText(const TTextObject& text) {
    if (text.TextStyle == textobject::IniStyle) {
        return text.Status == 0 && text.Position < text.TextCount;
    }
    return static_cast<std::int64_t>(text.Lines.size()) > std::int64_t{text.LinePos} + 2;
}

// Reads the next text; a text that cannot be read well is named on standard error and gives
// complaint.
std::string ReadText(TTextObject& text, const std::string& path, bool& complaint) {
    const int number = text.Position;
    std::string read = text.Read();
    if (text.TextStyle == textobject::IniStyle) {
        if (read == textobject::NoText) {
            Complain(path, "text " + std::to_string(number) + ": no header \"[" +
                               text.Lines[static_cast<std::size_t>(number)] +
                               "]\" in the file (block numbers are 8 upper-case hexadecimal "
                               "digits)");
            complaint = true;
        }
    } else if (text.Lines.back() != textobject::EndMark &&
               static_cast<std::size_t>(text.LinePos) == text.Lines.size()) {
        Complain(path, "text " + std::to_string(number) +
                           ": no end line \"#E#N#D#\"; the text runs to the end of the file and "
                           "is not counted in the total");
        complaint = true;
    }
    return read;
}

int RunSize(const TextCommandLine& line) {
    TTextObject text;
    text.AsciiZ = line.asciiZ;
    text.TextAlign = line.align;
    text.SingleLine = line.singleLine;
    text.LinuxFormat = line.linuxFormat;
    text.NoErrors = line.noErrors;
    bool complaint = Open(text, line.file, line.style);
    // Every text is read, so that its complaints show even without --each.
    BufferedStdout out;
    while (HasText(text)) {
        const int number = text.Position;
        int size = 0;
        if (text.TextStyle == textobject::IniStyle) {
            size = text.GetCurrentLength();
            ReadText(text, line.file, complaint);
        } else {
            // The blank style counts every line break as CR LF, whatever LinuxFormat says.
            text.LinuxFormat = false;
            size = text.GetStringLength(ReadText(text, line.file, complaint));
            text.LinuxFormat = line.linuxFormat;
        }
        if (line.each) {
            out << std::to_string(number) + "\t" + std::to_string(size) << "\n";
        }
    }
    out << "total " + std::to_string(text.GetSize()) << "\n";
    return complaint ? kExitResults : kExitClean;
}

int RunList(const TextCommandLine& line) {
    TTextObject text;
    text.SingleLine = line.singleLine;
    text.LinuxFormat = line.linuxFormat;
    text.NoErrors = line.noErrors;
    bool complaint = Open(text, line.file, line.style);
    BufferedStdout out;
    while (HasText(text)) {
        const int number = text.Position;
        out << std::to_string(number) + "\t" + Escaped(ReadText(text, line.file, complaint))
            << "\n";
    }
    return complaint ? kExitResults : kExitClean;
}

textobject::TTextTypes TextTypeOf(const std::string& name) {
    if (name == "plain") {
        return textobject::ttPlain;
    }
    if (name == "string") {
        return textobject::ttStringDepeneded;
    }
    return textobject::ttIndexed;
}

int RunConvert(const TextCommandLine& line) {
    if (line.to == "ini" && (!line.type.empty() || line.crc)) {
        throw UsageError("--type and --crc go with --to blank");
    }
    TTextObject in;
    in.NoErrors = line.noErrors;
    // Texts bound for the INI style are read with LF line breaks, which its writer stores as
    // CR LF; texts bound for the blank style keep CR LF, which splits into lines when saved.
    in.LinuxFormat = line.to == "ini";
    bool complaint = Open(in, line.file, line.style);
    std::vector<std::string> texts;
    while (HasText(in)) {
        texts.push_back(ReadText(in, line.file, complaint));
    }
    if (complaint) {
        Complain(line.output, "not written, since the input reads with complaints");
        return kExitResults;
    }

    TTextObject out;
    if (line.to == "ini") {
        out.TextStyle = textobject::IniStyle;
        out.FileName = line.output;
        out.New(textobject::omWrite);
        for (const std::string& text : texts) {
            out.Write(text);
        }
        if ((out.Status & textobject::kStatusWriteFailed) != 0) {
            for (const std::string& message : out.Log) {
                Complain(line.output, message);
            }
            return kExitFailed;
        }
    } else {
        out.TextStyle = textobject::BlanshStyle;
        out.TextType = TextTypeOf(line.type);
        out.CRC = line.crc;
        out.New(textobject::omWrite);
        for (const std::string& text : texts) {
            out.Write(text);
        }
        SaveTextLines(line.output, out.Lines);
    }
    WriteStdout("converted " + std::to_string(texts.size()) + " texts\n");
    return kExitClean;
}

void AddStyle(CLI::App* command, std::string& style, const char* option) {
    command->add_option(option, style, "Style of the file: ini or blank")
        ->type_name("STYLE")
        ->required()
        ->check(CLI::IsMember({"ini", "blank"}));
}

void AddReading(CLI::App* command, TextCommandLine& line) {
    command->add_flag("--single-line", line.singleLine, "Texts without line breaks");
    command->add_flag("--linux", line.linuxFormat, "A single LF as line break");
    command->add_flag("--no-errors", line.noErrors,
                      "INI style: read on over gaps in the block numbers");
}

} // namespace

CLI::App* AddTextCommand(CLI::App& app, TextCommandLine& line) {
    CLI::App* text = app.add_subcommand(
        "text", "Measure, list and convert translation text files (INI style or blank style)");
    text->require_subcommand(1);
    text->footer(kTextFooter);

    CLI::App* size = text->add_subcommand(
        "size", "Print how many bytes the texts take stored one after another: \"total N\"");
    size->add_option("FILE", line.file, "Text file")->type_name("")->required();
    AddStyle(size, line.style, "--style");
    size->add_flag("--asciiz", line.asciiZ, "Every text takes one more byte, a terminating zero");
    size->add_option("--align", line.align,
                     "Round every text's size up to a multiple of N (default 1)")
        ->type_name("N");
    AddReading(size, line);
    size->add_flag("--each", line.each, "First one line per text: its number and its size");
    size->callback([&line] { line.action = TextAction::Size; });

    CLI::App* list = text->add_subcommand(
        "list", "Print every text with its number, a line break as \\n and a backslash as \\\\");
    list->add_option("FILE", line.file, "Text file")->type_name("")->required();
    AddStyle(list, line.style, "--style");
    AddReading(list, line);
    list->callback([&line] { line.action = TextAction::List; });

    CLI::App* convert =
        text->add_subcommand("convert", "Read every text of one style and write it in the other");
    convert->add_option("IN", line.file, "Text file to read")->type_name("")->required();
    convert->add_option("OUT", line.output, "Text file to write")->type_name("")->required();
    AddStyle(convert, line.style, "--from");
    AddStyle(convert, line.to, "--to");
    convert
        ->add_option("--type", line.type,
                     "Blank style: the type in every header line (default indexed, which also "
                     "writes the text's number)")
        ->type_name("TYPE")
        ->check(CLI::IsMember({"indexed", "plain", "string"}));
    convert->add_flag("--crc", line.crc, "Blank style: a checksum in every header line");
    convert->add_flag("--no-errors", line.noErrors,
                      "INI style: read on over gaps in the block numbers");
    convert->callback([&line] { line.action = TextAction::Convert; });
    return text;
}

int RunText(const TextCommandLine& line) {
    return RunReportingFailures("text", [&line]() -> int {
        switch (line.action) {
        case TextAction::Size:
            return RunSize(line);
        case TextAction::List:
            return RunList(line);
        case TextAction::Convert:
            return RunConvert(line);
        case TextAction::None:
            break;
        }
        return kExitUsage;
    });
}

} // namespace eitool::cli
