#include "ui/CommandEntry.h"

int main(int argc, char** argv) {
    return fas::ui::RunCommandLine(argc, argv, fas::ui::ExecWindowProgram);
}
