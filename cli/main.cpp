// eitool: the command line of the Extract\Insert Tool.
#include "EitoolVersion.h"
#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "cli/Console.h"
#include "cli/GradientCommand.h"
#include "cli/PackCommands.h"
#include "cli/TextCommand.h"
#include "cli/TgaCommand.h"

#include <CLI/CLI.hpp>
#include <functional>
#include <new>
#include <optional>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

using eitool::cli::Command;
using eitool::cli::CommandLine;

constexpr const char* kFooter = R"(Forms:
  eitool extract [--target DIR] FILE...          data packs, extended images or fonts
  eitool extract [--target DIR] --scan DIR --type tre|img|fnt
  eitool insert  [--target DIR] FILE...          result logs (*.log) or one project list (*.lst)
  eitool insert  [--target DIR] --scan DIR --type log|lst
  eitool insert  --dry-run ...                   what an insertion would do; writes nothing
  eitool insert  --grow ...                      rebuild packs so that grown pieces fit
  eitool insert  --no-index ...                  read every piece, whatever the log's index says
  eitool list [--target DIR] [--json] PACK...    the members of data packs and their piece paths
  eitool verify PACK...                          check the members of data packs (CRC-32)
  eitool scan DIR --type tre|img|fnt|lst|log     print the scanned input list
  eitool demo [DIR]                              the whole cycle on generated sample files
  eitool text size|list|convert ...              translation text files (see eitool text --help)
  eitool tga info FILE | swap-rb IN OUT          describe a TGA file; exchange its red and blue
  eitool gradient OUT.bmp --size WxH [--lt RRGGBB] [--rt ..] [--lb ..] [--rb ..]
                                                 a four-corner gradient as a 32-bit BMP file

Exit status: 0 the run completed with no results lines; 1 the run completed and
printed results lines (a piece that grew, a pack without names list ...); 2 usage
error, or edited pieces in the target of an extraction without --overwrite; 3 a
failure ended the run (a file that cannot be opened, created, read or written,
or corrupt input); 130 stopped by Ctrl-C (after the current file; a second
Ctrl-C aborts that file between two pieces and puts a data pack back).

Standard output carries the results lines only (or the list of `scan`); the
progress display and error messages go to standard error.)";

void AddTarget(CLI::App* command, CommandLine& line) {
    command
        ->add_option("--target", line.target,
                     "Directory for pieces, result.log and patched copies "
                     "(default: the current directory; created when missing)")
        ->type_name("DIR");
}

void AddProgress(CLI::App* command, CommandLine& line) {
    command->add_flag("--progress", line.progress,
                      "Show the progress display on standard error even when it is not a "
                      "terminal");
}

void AddScan(CLI::App* command, CommandLine& line, const char* types) {
    command
        ->add_option("--scan", line.scanDir,
                     "Take every file of the type found in DIR and below it (hidden "
                     "directories skipped)")
        ->type_name("DIR");
    command->add_option("--type", line.type, std::string("File type of --scan: ") + types)
        ->type_name("TYPE");
}

// The subcommands of the command line, each with its options bound to line.
struct Subcommands {
    CLI::App* extract = nullptr;
    CLI::App* insert = nullptr;
    CLI::App* scan = nullptr;
    CLI::App* demo = nullptr;
};

CLI::App* AddExtract(CLI::App& app, CommandLine& line) {
    CLI::App* extract = app.add_subcommand(
        "extract", "Write the pieces of data packs, extended images or fonts into the target "
                   "directory, with a result log (result.log) that lists them");
    extract->add_option("FILE", line.files, "*.tre, *.bmpx, *.tgax or *.fnt files, one kind")
        ->type_name("");
    AddScan(extract, line, "tre|img|fnt");
    AddTarget(extract, line);
    AddProgress(extract, line);
    extract->add_flag("--overwrite", line.overwrite,
                      "Replace pieces in the target that were edited since they were extracted "
                      "(without it, such a file writes no piece and the run ends with status 2)");
    return extract;
}

CLI::App* AddInsert(CLI::App& app, CommandLine& line) {
    CLI::App* insert = app.add_subcommand(
        "insert", "Put edited pieces back as result logs record them: data packs are changed "
                  "in place; images and fonts are written as patched copies into the target");
    insert->add_option("FILE", line.files, "Result logs (*.log) or one project list (*.lst)")
        ->type_name("");
    AddScan(insert, line, "log|lst");
    AddTarget(insert, line);
    AddProgress(insert, line);
    insert->add_flag("--dry-run", line.dryRun,
                     "Check and print what the insertion would do with every piece (insert, "
                     "unchanged, grown, missing; a pack member's room and the free bytes after "
                     "it) without writing anything; the exit status is that of a real run");
    insert->add_flag("--grow", line.grow,
                     "Rebuild a data pack whose pieces grew beyond their members so that they "
                     "fit: the members after a grown one move, the pack is written anew beside "
                     "itself and renamed over it (needs room for a second copy)");
    insert->add_flag("--no-index", line.noIndex,
                     "Read every piece to learn whether it changed, instead of taking unchanged "
                     "ones from the index beside the log (result.log.eitool-index), which is "
                     "written anew from what was read");
    return insert;
}

CLI::App* AddScanCommand(CLI::App& app, CommandLine& line) {
    CLI::App* scan = app.add_subcommand(
        "scan", "Print the input list that a directory scan gives, one entry a line");
    scan->add_option("DIR", line.scanDir, "Directory to scan")->type_name("")->required();
    scan->add_option("--type", line.type, "File type: tre|img|fnt|lst|log")
        ->type_name("TYPE")
        ->required();
    return scan;
}

CLI::App* AddDemo(CLI::App& app, CommandLine& line) {
    CLI::App* demo = app.add_subcommand(
        "demo", "Run the whole cycle on generated sample files: make, extract, edit, insert, "
                "check, and report");
    demo->add_option("DIR", line.demoDir,
                     "Directory to work in (default: ./eitool-demo); must be empty or made by "
                     "an earlier demo")
        ->type_name("");
    AddProgress(demo, line);
    return demo;
}

Subcommands BuildApp(CLI::App& app, CommandLine& line) {
    app.set_version_flag("--version", "eitool " EITOOL_VERSION_TEXT);
    app.footer(kFooter);
    AddProgress(&app, line); // also before the subcommand
    app.require_subcommand(1);
    return {AddExtract(app, line), AddInsert(app, line), AddScanCommand(app, line),
            AddDemo(app, line)};
}

int UsageFailure(const std::string& message) {
    eitool::cli::WriteStderr("eitool: " + message + "\nRun \"eitool --help\" for usage.\n");
    return eitool::cli::kExitUsage;
}

// Parses the arguments into line; an exit status when the parse already ends the program (help,
// version, a parse error). The first argument that is not an option names the subcommand.
std::optional<int> Parse(CLI::App& app, int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument.empty() || argument[0] != '-') {
            try {
                app.get_subcommand(argument);
            } catch (const CLI::OptionNotFound&) {
                return UsageFailure("unknown command: " + argument);
            }
            break;
        }
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        return UsageFailure(e.what());
    }
    return std::nullopt;
}

Command ParsedCommand(const Subcommands& commands) {
    if (commands.extract->parsed()) {
        return Command::Extract;
    }
    if (commands.insert->parsed()) {
        return Command::Insert;
    }
    if (commands.scan->parsed()) {
        return Command::Scan;
    }
    if (commands.demo->parsed()) {
        return Command::Demo;
    }
    return Command::None;
}

int Dispatch(const CommandLine& line) {
    switch (line.command) {
    case Command::Extract:
    case Command::Insert:
        return eitool::cli::RunBatch(line);
    case Command::Scan:
        return eitool::cli::RunScan(line);
    case Command::Demo:
        return eitool::cli::RunDemo(line);
    case Command::None:
        break;
    }
    return eitool::cli::kExitUsage;
}

// Runs a command and turns what escapes it into a message and an exit status: misuse 2, anything
// else 3.
int RunCommand(const std::function<int()>& command) {
    try {
        return command();
    } catch (const eitool::cli::UsageError& e) {
        return UsageFailure(e.what());
    } catch (const std::bad_alloc&) {
        eitool::cli::WriteStderr("eitool: out of memory\n");
        return eitool::cli::kExitFailed;
    } catch (const std::exception& e) {
        eitool::cli::WriteStderr(std::string("eitool: ") + e.what() + "\n");
        return eitool::cli::kExitFailed;
    }
}

// A subcommand: whether the parse chose it, and what runs it.
struct Runner {
    std::function<bool()> parsed;
    std::function<int()> run;
};

} // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
    // Output goes out byte for byte, lines ending as the program writes them.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
#endif
    CommandLine line;
    CLI::App app{"eitool, the Extract\\Insert Tool: takes pieces out of PlayStation 2 game data "
                 "files (data packs *.tre, extended images *.bmpx/*.tgax, fonts *.fnt) so that "
                 "they can be edited as ordinary files, and puts the edited pieces back.",
                 "eitool"};
    const Subcommands commands = BuildApp(app, line);
    eitool::cli::TextCommandLine textLine;
    const CLI::App* text = eitool::cli::AddTextCommand(app, textLine);
    eitool::cli::PackCommandLine packLine;
    eitool::cli::AddPackCommands(app, packLine);
    eitool::cli::TgaCommandLine tgaLine;
    const CLI::App* tga = eitool::cli::AddTgaCommand(app, tgaLine);
    eitool::cli::GradientCommandLine gradientLine;
    const CLI::App* gradient = eitool::cli::AddGradientCommand(app, gradientLine);
    if (const std::optional<int> status = Parse(app, argc, argv)) {
        return *status;
    }
    const Runner runners[] = {
        {[&] { return ParsedCommand(commands) != Command::None; },
         [&] {
             line.command = ParsedCommand(commands);
             return Dispatch(line);
         }},
        {[&] { return text->parsed(); }, [&] { return eitool::cli::RunText(textLine); }},
        {[&] { return tga->parsed(); }, [&] { return eitool::cli::RunTga(tgaLine); }},
        {[&] { return gradient->parsed(); },
         [&] { return eitool::cli::RunGradient(gradientLine); }},
        {[&] { return packLine.action != eitool::cli::PackAction::None; },
         [&] {
             return packLine.action == eitool::cli::PackAction::List
                        ? eitool::cli::RunList(packLine)
                        : eitool::cli::RunVerify(packLine);
         }},
    };
    for (const Runner& runner : runners) {
        if (runner.parsed()) {
            return RunCommand(runner.run);
        }
    }
    return eitool::cli::kExitUsage;
}
