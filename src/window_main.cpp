#include "ui/Application.h"

int main(int argc, char** argv) {
    return fas::ui::RunApplication(argc, argv);
}
