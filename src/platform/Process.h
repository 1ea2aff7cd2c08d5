#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace fas::platform {

// The program's arguments (without its name) as UTF-8: on Windows read from the wide command
// line, since `argv` holds them in the ANSI code page.
std::vector<std::string> Utf8Arguments(int argc, char** argv);

// Texts written to a console show as written: on Windows the console is told they are UTF-8.
void UseUtf8Console();

long ProcessId();
std::string HostName();

// The running program's own file; empty when the system cannot tell.
std::filesystem::path ExecutableFile();

// Hands over to the window program `program` with `arguments` (the first is the program's
// name): on Linux it replaces the process, on Windows it starts it and waits for its end.
// Returns its exit status, or throws std::runtime_error saying why it could not start.
int RunWindowProgram(const std::filesystem::path& program,
                     const std::vector<std::string>& arguments);

// The window program's file name beside the server.
extern const char* const kWindowProgramName;

}  // namespace fas::platform
