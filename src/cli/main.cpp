#include "cli/varnel_cli.h"

int main(int argc, char** argv) {
    return varnel::cli::Run(argc, argv);
}
