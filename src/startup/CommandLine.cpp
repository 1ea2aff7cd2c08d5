#include "startup/CommandLine.h"

#include <array>
#include <functional>
#include <string_view>

#include "platform/Files.h"

namespace fas::startup {

namespace {

struct OptionSpec {
    std::string_view name;
    std::string_view valueName;  // empty for a flag
    std::string_view help;
    std::function<void(CommandLine&, const std::string&)> apply;
};

const std::array<OptionSpec, 12>& options() {
    static const std::array<OptionSpec, 12> kOptions = {{
        {"--config", "FILE",
         "read the configuration from FILE instead of config.txt beside the program; a relative "
         "sqlite: path in it resolves against FILE's directory",
         [](CommandLine& c, const std::string& v) { c.configFile = platform::PathFromText(v); }},
        {"--headless", "",
         "run without a window: the same start-up and poll schedule, each results line on "
         "standard output, refusals and errors on standard error",
         [](CommandLine& c, const std::string&) { c.headless = true; }},
        {"--once", "",
         "start up, perform one task run, print its results line and exit (see the exit "
         "statuses below)",
         [](CommandLine& c, const std::string&) { c.once = true; }},
        {"--pickup-dir", "DIR",
         "write each outgoing message as an .eml file into DIR instead of sending it through SMTP",
         [](CommandLine& c, const std::string& v) {
             c.pickupDirectory = platform::PathFromText(v);
         }},
        {"--dry-run", "",
         "perform one task run inside a transaction that is rolled back at its end: nothing in "
         "the database changes and no message is sent; messages go to --pickup-dir when given, "
         "otherwise they are listed on standard output",
         [](CommandLine& c, const std::string&) { c.dryRun = true; }},
        {"--check", "",
         "preflight: check config.txt, the database, the tables and columns the catalog uses, "
         "the Company row, the alert settings and the mail server, print one line per finding "
         "and exit 0 when nothing blocks a run, 1 otherwise; writes nothing, sends nothing",
         [](CommandLine& c, const std::string&) { c.check = true; }},
        {"--test-mail", "ADDRESS",
         "send one message, \"Test message from <company name>\", to ADDRESS through the mail "
         "server of the Company row (or into --pickup-dir), say what happened and exit 0 when "
         "the server accepted it, 1 otherwise; writes nothing to the database",
         [](CommandLine& c, const std::string& v) { c.testMailAddress = v; }},
        {"--verbose", "",
         "after each run, print what each catalog step did (issues created and closed, "
         "notifications queued) and each error with its step",
         [](CommandLine& c, const std::string&) { c.verbose = true; }},
        {"--service", "",
         "Windows: run as the service the service control manager started (the installer "
         "registers it as automation-server): the headless server, its lines in the "
         "Application event log",
         [](CommandLine& c, const std::string&) { c.service = true; }},
        {"--install-service", "NAME",
         "Windows, as an administrator: register the service automation-server$NAME for the "
         "database of --config FILE, started at boot and after a crash, then exit",
         [](CommandLine& c, const std::string& v) { c.installServiceName = v; }},
        {"--help", "", "show this text and exit",
         [](CommandLine& c, const std::string&) { c.help = true; }},
        {"--version", "", "print the version and exit",
         [](CommandLine& c, const std::string&) { c.version = true; }},
    }};
    return kOptions;
}

const OptionSpec* find(std::string_view name) {
    for (const auto& option : options()) {
        if (option.name == name) {
            return &option;
        }
    }
    return nullptr;
}

// The settings that are not the system's own.
constexpr std::array<std::pair<std::string_view, std::string_view>, 7> kVariables{{
    {"AUTOMATION_SERVER_QUERY_TIMEOUT",
     "the longest one statement may run or wait for another program's lock, in seconds "
     "(default 180, from 1 to 86400)"},
    {"AUTOMATION_SERVER_ODBC_DRIVER",
     "the ODBC driver an old OLE DB connection string is converted for (default \"ODBC Driver "
     "18 for SQL Server\")"},
    {"AUTOMATION_SERVER_SMTP_CA_FILE",
     "a CA file to trust for a mail server with a private certificate"},
    {"AUTOMATION_SERVER_MAX_MESSAGE_BYTES",
     "the largest message the server sends, in bytes (default 10000000, from 1000 to "
     "2000000000); a larger digest, or one larger than the SIZE the mail server announces, goes "
     "out as several messages of whole rows"},
    {"AUTOMATION_SERVER_METRICS_FILE",
     "with --headless or --once: the file to write Prometheus metrics to after start-up and "
     "after each run, for node_exporter's textfile collector (a .prom file in its folder)"},
    {"AUTOMATION_SERVER_HEARTBEAT_URL",
     "with --headless or --once: the address an outside monitor (Healthchecks.io, Uptime "
     "Kuma) receives a POST of the results line at after each run without error"},
    {"AUTOMATION_SERVER_HEARTBEAT_FAIL_URL",
     "where that POST goes after a run with errors (default: AUTOMATION_SERVER_HEARTBEAT_URL "
     "with /fail appended)"},
}};

// Every status the program ends with; the packaged units restart on 75 only.
constexpr std::array<std::pair<std::string_view, std::string_view>, 5> kExitStatuses{{
    {"0",
     "the run completed without error (--once), nothing blocks a run (--check), the server "
     "accepted the test message (--test-mail), or the server was stopped"},
    {"1",
     "the run reported an error or could not open the database (--once), something blocks a "
     "run (--check), or the test message was not accepted (--test-mail)"},
    {"2",
     "start-up failed for a reason only a person can cure: config.txt missing, unreadable "
     "or malformed, an unusable Company setting or AUTOMATION_SERVER_* variable, a missing "
     "SQLite file, a log-in the database refuses, a wrong command line"},
    {"3", "another copy runs on the same database"},
    {"75",
     "start-up failed for a reason that may pass by itself: the database server did not "
     "answer, or the database stayed locked past the query timeout; try again later"},
}};

// Wraps `text` at `width` columns, each line indented by `indent` blanks.
std::string wrapped(std::string_view text, std::size_t indent, std::size_t width) {
    std::string out;
    std::string line(indent, ' ');
    std::size_t pos = 0;
    while (pos < text.size()) {
        auto end = text.find(' ', pos);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        const auto word = text.substr(pos, end - pos);
        if (line.size() > indent && line.size() + 1 + word.size() > width) {
            out += line + "\n";
            line.assign(indent, ' ');
        }
        if (line.size() > indent) {
            line += ' ';
        }
        line += word;
        pos = end + 1;
    }
    return out + line + "\n";
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
    CommandLine result;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::optional<std::string> value;
        if (const auto equals = name.find('='); name.starts_with("--") && equals != name.npos) {
            value = name.substr(equals + 1);
            name.resize(equals);
        }
        const OptionSpec* option = find(name);
        if (option == nullptr) {
            throw CommandLineError("unknown option \"" + args[i] + "\" (see --help)");
        }
        if (option->valueName.empty()) {
            if (value) {
                throw CommandLineError(name + " takes no value");
            }
            option->apply(result, {});
            continue;
        }
        if (!value) {
            if (i + 1 >= args.size()) {
                throw CommandLineError(name + " needs a value: " + name + " " +
                                       std::string(option->valueName));
            }
            value = args[++i];
        }
        if (value->empty()) {
            throw CommandLineError(name + " needs a non-empty " + std::string(option->valueName));
        }
        option->apply(result, *value);
    }
    return result;
}

std::string UsageText(std::string_view version) {
    std::string text =
        "Usage: automation-server [--config FILE] [--headless] [--once] [--pickup-dir DIR]\n"
        "                         [--dry-run] [--check] [--test-mail ADDRESS] [--verbose]\n"
        "                         [--service] [--install-service NAME] [--help] [--version]\n\n" +
        wrapped("Ferrow Automation Server " + std::string(version) +
                    ": applies the compliance rule catalog to the database named in config.txt at "
                    "every poll interval, raises and closes issues and delivers the notification "
                    "e-mails. Without options it shows its window.",
                0, 79) +
        "\nOptions:\n";
    for (const auto& option : options()) {
        std::string head = "  " + std::string(option.name);
        if (!option.valueName.empty()) {
            head += " " + std::string(option.valueName);
        }
        text += head + "\n" + wrapped(option.help, 6, 79);
    }
    text += "\nEnvironment:\n";
    for (const auto& [variable, meaning] : kVariables) {
        text += "  " + std::string(variable) + "\n" + wrapped(meaning, 6, 79);
    }
    text += "\nExit statuses:\n";
    for (const auto& [status, meaning] : kExitStatuses) {
        text += "  " + std::string(status) + "\n" + wrapped(meaning, 6, 79);
    }
    return text;
}

}  // namespace fas::startup
