#include <csignal>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "help.h"
#include "interrupt.h"
#include "options.h"
#include "owner_command.h"
#include "run_command.h"
#include "say.h"
#include "text.h"
#include "truncation.h"
#include "years_command.h"

namespace {

// A report that could not be written is a failure, not a success.
int Finish(int status) {
    std::cout.flush();
    if (!std::cout) {
        devsim::Say("devsim: cannot write to standard output\n");
    }
    std::cerr.flush();
    return (!std::cout || !std::cerr) && status == 0 ? 1 : status;
}

int BadArgs(const std::string& why) {
    // The pointer to the help only where it still fits on the one line.
    // Escaped: the words may quote a file's bytes, which must not steer the terminal.
    const std::string line = "devsim: " + sim::Escaped(why);
    const std::string hint = " (see devsim --help)";
    devsim::Say(line + (line.size() + hint.size() <= devsim::kColumns ? hint : "") + "\n");
    return 2;
}

// --version, help, or --help anywhere: the status once answered, or nothing
// when the command line asks for none of them.
std::optional<int> AnswerHelp(const std::vector<std::string>& args) {
    const std::string& command = args[0];
    if (command == "--version" || command == "-V") {
        std::cout << "devsim " << DEVSIM_VERSION << "\n";
        return Finish(0);
    }
    if (command == "help" || command == "--help" || command == "-h") {
        const char* help = devsim::HelpFor(args.size() > 1 ? args[1] : "");
        if (help == nullptr) {
            return BadArgs("no help on '" + args[1] + "': there is help on run, years and owner");
        }
        std::cout << help;
        return Finish(0);
    }
    for (const std::string& a : args) {
        if (a == "--help" || a == "-h") {
            std::cout << devsim::HelpFor(
                command == "run" || command == "years" || command == "owner" ? command : "");
            return Finish(0);
        }
    }
    return std::nullopt;
}

template <typename Options>
int Run(sim::Result<Options> (*parse)(const std::vector<std::string>&),
        int (*command)(const Options&), const std::vector<std::string>& args) {
    const sim::Result<Options> options = parse(args);
    return options ? Finish(command(*options)) : BadArgs(options.why());
}

}  // namespace

int main(int argc, char** argv) {
    // Past a file size limit a write fails (and is reported) rather than killing devsim.
    std::signal(SIGXFSZ, SIG_IGN);
    devsim::InstallInterruptHandlers();
    sim::ExitOnTruncation("devsim", 2, devsim::CleanUpForExit);
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        return BadArgs("no command given");
    }
    if (const std::optional<int> answered = AnswerHelp(args)) {
        return *answered;
    }
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (args[0] == "run") {
        return Run(devsim::ParseRunOptions, devsim::RunCommand, rest);
    }
    if (args[0] == "years") {
        return Run(devsim::ParseYearsOptions, devsim::YearsCommand, rest);
    }
    if (args[0] == "owner") {
        return Run(devsim::ParseOwnerOptions, devsim::OwnerCommand, rest);
    }
    return BadArgs("unknown command '" + args[0] + "'");
}
