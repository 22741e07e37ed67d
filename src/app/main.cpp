#include "ui/run_program.h"

int main(int argc, char** argv) {
    return varnel::RunProgram(argc, argv);
}
